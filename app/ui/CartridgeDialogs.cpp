#include "app/ui/CartridgeDialogs.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/ui/DialogControls.h"

namespace {

constexpr int kRadioIds[kCartridgeChoiceCount] = {CartridgeDialogId::Radio0, CartridgeDialogId::Radio1,
                                                  CartridgeDialogId::Radio2, CartridgeDialogId::Radio3};
// The name edit reads up to 1023 characters.
constexpr int kNameBufferSize = 1024;

QButtonGroup* AddRadios(QDialog* dialog, QBoxLayout* layout, bool experimentNameWindow) {
    auto* group = new QButtonGroup(dialog);
    for (int index = 0; index < kCartridgeChoiceCount; ++index) {
        auto* radio = new QRadioButton(QString::fromStdString(CartridgeChoiceLabel(index, experimentNameWindow)), dialog);
        Tovanix::SetDlgCtrlID(radio, kRadioIds[index]);
        group->addButton(radio, index);
        layout->addWidget(radio);
    }
    return group;
}

QDialogButtonBox* AddOkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Ok), platform::IDOK);
    Tovanix::SetDlgCtrlID(buttons->button(QDialogButtonBox::Cancel), platform::IDCANCEL);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// The radio group shows the index; an index outside the choices checks none.
void ShowChoice(QButtonGroup* radios, int index) {
    if (QAbstractButton* radio = radios->button(index)) radio->setChecked(true);
}

int ChosenIndex(const QButtonGroup* radios) { return radios->checkedId(); }

}  // namespace

CSelectCartridgeDlg::CSelectCartridgeDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Select Cartridge");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Please Select a Cartridge Type:", this));
    m_radios = AddRadios(this, layout, false);
    auto* buttons = AddOkCancel(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSelectCartridgeDlg::OnOK);
    layout->addWidget(buttons);
}

int CSelectCartridgeDlg::DoModal() { return exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL; }

void CSelectCartridgeDlg::showEvent(QShowEvent* event) {
    ShowChoice(m_radios, m_nCartridgeTypeIndex);
    QDialog::showEvent(event);
}

const char* CSelectCartridgeDlg::GetCartridgeTypeCode() const { return CartridgeTypeCodeOfChoice(m_nCartridgeTypeIndex); }

void CSelectCartridgeDlg::OnOK() {
    m_nCartridgeTypeIndex = ChosenIndex(m_radios);
    accept();
}

PromptForExperimentNameDlg::PromptForExperimentNameDlg(ExperimentCreator create, QWidget* parent)
    : QDialog(parent), m_create(std::move(create)), m_name(new QLineEdit(this)) {
    setWindowTitle("Update Experiment Name");
    Tovanix::SetDlgCtrlID(m_name, CartridgeDialogId::ExperimentName);

    auto* nameBox = new QGroupBox("Experiment Name", this);
    auto* nameLayout = new QVBoxLayout(nameBox);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel("Name:", this));
    nameRow->addWidget(m_name);
    nameLayout->addLayout(nameRow);
    auto* note = new QLabel(
        "The name must be between 1 and 32 characters and may not include an asterisk (*), a vertical bar (|), "
        "a question mark (?), a colon (:), a double or single quote (\" '), a slash (/) or a backslash (\\).",
        this);
    note->setWordWrap(true);
    nameLayout->addWidget(note);

    auto* cartridgeBox = new QGroupBox("Cartridge Type", this);
    auto* cartridgeLayout = new QVBoxLayout(cartridgeBox);
    m_radios = AddRadios(this, cartridgeLayout, true);

    auto* buttons = AddOkCancel(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PromptForExperimentNameDlg::OnOK);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nameBox);
    layout->addWidget(cartridgeBox);
    layout->addWidget(buttons);
    setMinimumWidth(380);

    char buffer[kNameBufferSize] = {};
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", "ExperimentName", "", buffer, kNameBufferSize,
                                       theApp.m_strIniPath);
    m_name->setText(QString::fromLocal8Bit(buffer));
}

int PromptForExperimentNameDlg::DoModal() { return exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL; }

void PromptForExperimentNameDlg::showEvent(QShowEvent* event) {
    ShowChoice(m_radios, m_nCartridgeTypeIndex);
    QDialog::showEvent(event);
}

void PromptForExperimentNameDlg::OnOK() {
    std::string name = m_name->text().toLocal8Bit().left(kNameBufferSize - 1).toStdString();
    std::string message;
    if (CheckExperimentName(name, message) != ExperimentNameCheck::Accepted) {
        platform::ShowMessageBox(message, "Vellora", platform::MB_OK);
        m_name->setText(QString::fromLocal8Bit(name.c_str()));
        return;
    }
    m_nCartridgeTypeIndex = ChosenIndex(m_radios);
    CString cartridgeError;
    CString createError;
    const bool created = AcceptExperimentName(name, m_nCartridgeTypeIndex, m_create, cartridgeError, createError);
    if (!cartridgeError.IsEmpty()) LogErrAndInfo(__FILE__, __LINE__, cartridgeError);
    // Without its folder the experiment's images would land in the previous
    // one: say why and stay, so the workflow does not start.
    if (!created) {
        LogErrAndInfo(__FILE__, __LINE__, createError);
        platform::ShowMessageBox(createError.str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    accept();
}

bool ChooseCartridgeForLiveImage(QWidget* parent) {
    CSelectCartridgeDlg dialog(parent);
    dialog.m_nCartridgeTypeIndex = CartridgeChoiceOfCode(theApp.m_strCartridgeTypeCode.c_str());
    if (dialog.DoModal() != platform::IDOK) return false;
    CString error;
    if (!ApplyCartridgeChoice(dialog.m_nCartridgeTypeIndex, error)) LogErrAndInfo(__FILE__, __LINE__, error);
    return true;
}
