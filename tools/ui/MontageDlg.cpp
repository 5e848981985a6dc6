#include "tools/ui/MontageDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "analysis/MontagePipeline.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/String.h"
#include "support/ui/DialogControls.h"
#include "tools/MontageRequest.h"

MontageDlg::MontageDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Create Montage Image From Sample Flow");
    auto* grid = new QGridLayout(this);
    m_directoryEdit = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(m_directoryEdit, 1413);
    auto* browse = new QPushButton("...", this);
    browse->setMaximumWidth(32);
    browse->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(browse, 1412);
    m_nameEdit = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(m_nameEdit, 1414);
    grid->addWidget(new QLabel("Experiment Directory:", this), 0, 0);
    grid->addWidget(m_directoryEdit, 0, 1);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(new QLabel("Montage Image Name:", this), 1, 0);
    grid->addWidget(m_nameEdit, 1, 1, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    resize(520, 120);

    m_directoryEdit->setText(QString::fromStdString(g_MontageExperimentDirectory));
    connect(browse, &QPushButton::clicked, this, [this] { OnBnClickedBrowse(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OnBnClickedOk(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void MontageDlg::OnBnClickedBrowse() {
    Tovanix::String folder(m_directoryEdit->text().toStdString().c_str());
    if (folder.BrowseForFolder("Select a directory with images.")) m_directoryEdit->setText(QString::fromUtf8(folder.c_str()));
}

bool MontageDlg::OnBnClickedOk() {
    g_MontageExperimentDirectory = m_directoryEdit->text().toStdString().substr(0, 1023);
    m_strMontageImageName = m_nameEdit->text().toStdString();
    const std::string refusal = CheckMontageRequest(g_MontageExperimentDirectory, m_strMontageImageName);
    if (!refusal.empty()) {
        platform::ShowMessageBox(refusal);
        return false;
    }
    m_strExperimentDirectory = g_MontageExperimentDirectory;
    accept();
    return true;
}

void RunMontageCommand(QWidget* parent) {
    MontageDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return;
    std::string error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool made = CreateMontage(nullptr, dialog.m_strExperimentDirectory, 0, 0, dialog.m_strMontageImageName, &error);
    QApplication::restoreOverrideCursor();
    // The message box names no cause; the log keeps it.
    if (!made) LogErrAndInfo("MainFrm", __LINE__, error.c_str());
    platform::ShowMessageBox(MontageOutcomeMessage(made, dialog.m_strExperimentDirectory, dialog.m_strMontageImageName));
}
