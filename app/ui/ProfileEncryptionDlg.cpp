#include "app/ui/ProfileEncryptionDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ProfileEncryption.h"
#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/EncryptedProfile.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"

namespace {

void ReportError(const char* message) {
    LogErrAndInfo(__FILE__, __LINE__, message);
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
}

}  // namespace

ProfileEncryptionDlg::ProfileEncryptionDlg(QWidget* parent)
    : QDialog(parent), m_usersBox(new QCheckBox("Users.ini", this)), m_mainBox(new QCheckBox("ExperimentSettings.ini", this)) {
    setWindowTitle("Profile Encryption");
    Tovanix::SetDlgCtrlID(m_usersBox, IDC_USERS_INI);
    Tovanix::SetDlgCtrlID(m_mainBox, IDC_MAIN_INI);
    auto* editUsers = new QPushButton("Edit", this);
    auto* editMain = new QPushButton("Edit", this);
    Tovanix::SetDlgCtrlID(editUsers, IDC_EDIT_USERS_INI);
    Tovanix::SetDlgCtrlID(editMain, IDC_EDIT_MAIN_INI);
    editUsers->setAutoDefault(false);
    editMain->setAutoDefault(false);

    for (QTimer* timer : {&m_mainTimer, &m_usersTimer}) {
        timer->setSingleShot(true);
        timer->setInterval(kToggleDelayMs);
    }
    connect(&m_mainTimer, &QTimer::timeout, this, [this] { OnTimer(IDT_MAIN_INI); });
    connect(&m_usersTimer, &QTimer::timeout, this, [this] { OnTimer(IDT_USERS_INI); });
    connect(m_mainBox, &QCheckBox::clicked, this, [this] { m_mainTimer.start(); });
    connect(m_usersBox, &QCheckBox::clicked, this, [this] { m_usersTimer.start(); });
    connect(editMain, &QPushButton::clicked, this, &ProfileEncryptionDlg::OnEditMainIni);
    connect(editUsers, &QPushButton::clicked, this, &ProfileEncryptionDlg::OnEditUsersIni);

    auto* grid = new QGridLayout;
    grid->addWidget(m_usersBox, 0, 0);
    grid->addWidget(editUsers, 0, 1);
    grid->addWidget(m_mainBox, 1, 0);
    grid->addWidget(editMain, 1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Ok), platform::IDOK);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Click checkbox to change encryption state for the file.", this));
    layout->addLayout(grid);
    layout->addWidget(buttons);

    Tovanix::String messages;
    RefreshCheckBox(g_IniPath, IDC_MAIN_INI, messages);
    RefreshCheckBox(UsersIniPath().c_str(), IDC_USERS_INI, messages);
    if (messages.HasText()) {
        // Shown once the window is up, so it has a parent to sit on.
        const std::string text = messages.c_str();
        QTimer::singleShot(0, this, [text] { ReportError(text.c_str()); });
    }
}

int ProfileEncryptionDlg::DoModal() {
    const int result = exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
    // A click just before closing still reaches its file.
    if (m_mainTimer.isActive()) OnTimer(IDT_MAIN_INI);
    if (m_usersTimer.isActive()) OnTimer(IDT_USERS_INI);
    return result;
}

QCheckBox* ProfileEncryptionDlg::Box(int checkBoxId) const {
    return checkBoxId == IDC_MAIN_INI ? m_mainBox : m_usersBox;
}

bool ProfileEncryptionDlg::RefreshCheckBox(const char* path, int checkBoxId, Tovanix::String& messages) {
    bool encrypted = false;
    Tovanix::String error;
    if (!Tovanix::E_IsFileEncrypted(path, encrypted, error)) {
        if (messages.HasText()) messages.Append("\n");
        messages.Append(error.c_str());
        return false;
    }
    Box(checkBoxId)->setChecked(encrypted);
    return true;
}

void ProfileEncryptionDlg::OnTimer(int timerId) {
    if (timerId == IDT_MAIN_INI) {
        m_mainTimer.stop();
        ToggleEncryption(IDC_MAIN_INI, g_IniPath);
    } else if (timerId == IDT_USERS_INI) {
        m_usersTimer.stop();
        ToggleEncryption(IDC_USERS_INI, UsersIniPath().c_str());
    }
}

void ProfileEncryptionDlg::ToggleEncryption(int checkBoxId, const char* path) {
    Tovanix::String error;
    if (!SetProfileEncryption(path, Box(checkBoxId)->isChecked(), error)) ReportError(error.c_str());
}

void ProfileEncryptionDlg::OnEditMainIni() { Edit(IDC_MAIN_INI, g_IniPath); }

void ProfileEncryptionDlg::OnEditUsersIni() { Edit(IDC_USERS_INI, UsersIniPath().c_str()); }

void ProfileEncryptionDlg::Edit(int checkBoxId, const char* path) {
    bool deciphered = false;
    Tovanix::String error;
    if (!DecipherProfileForEditing(path, deciphered, error)) {
        ReportError(error.c_str());
        return;
    }
    if (!deciphered) return;
    Box(checkBoxId)->setChecked(false);
    Tovanix::OpenUsingDefaultApp(path, ".txt");
}
