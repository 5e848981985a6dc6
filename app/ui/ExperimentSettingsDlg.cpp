#include "app/ui/ExperimentSettingsDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ExperimentSettingsForm.h"
#include "app/VelloraApp.h"
#include "devices/TecanCentris.h"
#include "devices/ui/ZaberControlPanel.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"

namespace id = ExperimentSettingsId;

namespace {

QString Local(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }

void ReportError(const std::string& message, unsigned icon) {
    LogErrAndInfo(__FILE__, __LINE__, message.c_str());
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK | icon);
}

QPushButton* Button(QWidget* parent, const char* text, int controlId) {
    auto* button = new QPushButton(text, parent);
    Tovanix::SetDlgCtrlID(button, controlId);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

ExperimentSettingsDlg::ExperimentSettingsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Experiment Settings");
    m_saveTimer.setSingleShot(true);
    connect(&m_saveTimer, &QTimer::timeout, this, &ExperimentSettingsDlg::OnTimer);

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(BuildGeneral());
    left->addWidget(BuildWarnings());
    left->addWidget(BuildImageTypes());
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(BuildRendering());
    right->addWidget(BuildHardware());
    right->addStretch();
    columns->addLayout(left);
    columns->addLayout(right);

    auto* done = Button(this, "Done", id::Done);
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &ExperimentSettingsDlg::OnDone);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(done);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(bottom);

    LoadSettings();
}

int ExperimentSettingsDlg::DoModal() {
    const int result = exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
    m_saveTimer.stop();
    return result;
}

QLineEdit* ExperimentSettingsDlg::AddEdit(QGridLayout* grid, int row, int column, const char* label, int controlId) {
    auto* edit = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(edit, controlId);
    m_edits[controlId] = edit;
    connect(edit, &QLineEdit::textChanged, this, [this] { RestartSaveTimer(kEditDelayMs); });
    if (label) grid->addWidget(new QLabel(label, this), row, column);
    grid->addWidget(edit, row, column + (label ? 1 : 0));
    return edit;
}

QCheckBox* ExperimentSettingsDlg::AddCheck(const char* label, int controlId, int delayMs) {
    auto* check = new QCheckBox(label, this);
    Tovanix::SetDlgCtrlID(check, controlId);
    m_checks[controlId] = check;
    connect(check, &QCheckBox::clicked, this, [this, delayMs] { RestartSaveTimer(delayMs); });
    return check;
}

QWidget* ExperimentSettingsDlg::BuildGeneral() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    AddEdit(grid, 0, 0, "Data Directory", id::DataDirectory);
    auto* browse = Button(this, "...", id::Browse);
    connect(browse, &QPushButton::clicked, this, &ExperimentSettingsDlg::OnBrowse);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(AddCheck("Create Daily Sub Directory", id::CreateDailySubDirectory, kCheckDelayMs), 1, 1);
    auto* openIni = Button(this, "Open Vellora.ini", id::OpenSettingsFile);
    connect(openIni, &QPushButton::clicked, this, &ExperimentSettingsDlg::OnOpenSettingsFile);
    grid->addWidget(openIni, 1, 2);
    AddEdit(grid, 2, 0, "Experiment Name", id::ExperimentName);
    auto* openLog = Button(this, "Open Session Log", id::OpenRunLog);
    connect(openLog, &QPushButton::clicked, this, &ExperimentSettingsDlg::OnOpenRunLog);
    grid->addWidget(openLog, 2, 2);
    AddEdit(grid, 3, 0, "Image Capture Period (ms) (zero for single capture)", id::ImageCapturePeriod);
    AddEdit(grid, 4, 0, "Image Capture Count", id::ImageCaptureCount);
    return box;
}

QWidget* ExperimentSettingsDlg::BuildWarnings() {
    auto* box = new QGroupBox("Acquisition Warnings", this);
    auto* grid = new QGridLayout(box);
    AddEdit(grid, 0, 0, "Warning if fraction of dark pixels exceeds", id::DarkPixelsMaxFraction);
    AddEdit(grid, 1, 0, "Dark pixels have intensity at or below (counts)", id::DarkPixelThreshold);
    AddEdit(grid, 2, 0, "Warning if fraction of satured pixels exceeds", id::SatPixelsMaxFraction);
    AddEdit(grid, 3, 0, "Saturated pixels have intensity at or above (counts)", id::SatPixelThreshold);
    return box;
}

QWidget* ExperimentSettingsDlg::BuildImageTypes() {
    static constexpr int kActive[] = {id::IsActive1, id::IsActive2, id::IsActive3, id::IsActive4};
    static constexpr int kName[] = {id::ImageTypeName1, id::ImageTypeName2, id::ImageTypeName3, id::ImageTypeName4};
    static constexpr int kExposure[] = {id::ImageTypeExposure1, id::ImageTypeExposure2, id::ImageTypeExposure3,
                                        id::ImageTypeExposure4};
    auto* box = new QGroupBox("Image Types", this);
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Active", this), 0, 0);
    grid->addWidget(new QLabel("Name", this), 0, 1);
    grid->addWidget(new QLabel("Exposure (us)", this), 0, 2);
    for (int type = 0; type < 4; ++type) {
        grid->addWidget(AddCheck("", kActive[type], kActiveTypeDelayMs), type + 1, 0);
        AddEdit(grid, type + 1, 1, nullptr, kName[type]);
        AddEdit(grid, type + 1, 2, nullptr, kExposure[type]);
    }
    return box;
}

QWidget* ExperimentSettingsDlg::BuildRendering() {
    auto* box = new QGroupBox("Rendering", this);
    auto* grid = new QGridLayout(box);
    grid->addWidget(AddCheck("Lock Aspect Ratio", id::LockAspectRatio, kCheckDelayMs), 0, 0, 1, 2);
    AddEdit(grid, 1, 0, "Width/Height", id::AspectRatio);
    AddEdit(grid, 2, 0, "Monitor scale factor", id::MonitorScaleFactor);
    return box;
}

QWidget* ExperimentSettingsDlg::BuildHardware() {
    auto* box = new QGroupBox("H/W Configuration", this);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(AddCheck("Tecan dual syringe pumps", id::InitializeTecanPumps, kCheckDelayMs));
    auto* pumpGrid = new QGridLayout;
    AddEdit(pumpGrid, 0, 0, "Tecan: Min time between commands (ms)", id::PumpMinTimeBetweenCommands)
        ->setMinimumWidth(60);
    layout->addLayout(pumpGrid);

    auto* zaber = new QGroupBox("Zaber", box);
    auto* grid = new QGridLayout(zaber);
    auto* focus = AddCheck("Focus", id::InitializeZaber, kCheckDelayMs);
    auto* xAxis = AddCheck("X-Axis", id::InitializeZaberXAxis, kCheckDelayMs);
    connect(focus, &QCheckBox::clicked, this, &ExperimentSettingsDlg::OnStageStartupClicked);
    connect(xAxis, &QCheckBox::clicked, this, &ExperimentSettingsDlg::OnStageStartupClicked);
    grid->addWidget(focus, 1, 1);
    grid->addWidget(xAxis, 1, 2);
    AddEdit(grid, 2, 0, "Device", id::ZaberFocusDeviceIndex);
    AddEdit(grid, 2, 2, nullptr, id::ZaberXAxisDeviceIndex);
    AddEdit(grid, 3, 0, "Axis", id::ZaberFocusAxisIndex);
    AddEdit(grid, 3, 2, nullptr, id::ZaberXAxisIndex);
    AddEdit(grid, 4, 0, "Steps per mm", id::ZaberStepsPerMM_Z);
    AddEdit(grid, 4, 2, nullptr, id::ZaberStepsPerMM_X);
    layout->addWidget(zaber);
    return box;
}

void ExperimentSettingsDlg::LoadSettings() {
    m_bLoading = true;
    const ExperimentSettingsValues values = LoadExperimentSettings(g_IniPath, theApp.m_strDataRoot);
    for (const auto& [control, text] : values.texts) {
        if (auto found = m_edits.find(control); found != m_edits.end()) found->second->setText(Local(text));
    }
    for (const auto& [control, on] : values.checks) {
        if (auto found = m_checks.find(control); found != m_checks.end()) found->second->setChecked(on);
    }
    m_saveTimer.stop();
    m_bLoading = false;
}

bool ExperimentSettingsDlg::SaveSettings() {
    if (m_bLoading) return false;
    ExperimentSettingsValues values;
    for (const auto& [control, edit] : m_edits) values.texts[control] = edit->text().toLocal8Bit().toStdString();
    for (const auto& [control, check] : m_checks) values.checks[control] = check->isChecked();
    const std::vector<std::string> messages =
        SaveExperimentSettings(values, g_IniPath, TecanCentris::SetMinimumTimeBetweenCommands);
    for (const std::string& message : messages) ReportError(message, 0);
    return true;
}

void ExperimentSettingsDlg::OnTimer() {
    m_saveTimer.stop();
    SaveSettings();
}

void ExperimentSettingsDlg::RestartSaveTimer(int delayMs) {
    if (m_bLoading) return;
    m_saveTimer.start(delayMs);
}

void ExperimentSettingsDlg::OnBrowse() {
    QLineEdit* edit = m_edits[id::DataDirectory];
    Tovanix::String folder(edit->text().toLocal8Bit().constData());
    if (folder.BrowseForFolder("Select Data Directory...")) edit->setText(QString::fromLocal8Bit(folder.c_str()));
}

void ExperimentSettingsDlg::OnOpenSettingsFile() {
    CString error;
    if (!OpenMainSettingsFileForEditing(theApp.m_strDataRoot, error)) ReportError(error.str(), platform::MB_ICONERROR);
}

void ExperimentSettingsDlg::OnOpenRunLog() {
    Tovanix::OpenUsingDefaultApp(theApp.m_strRunLogPath, ".xls");
}

void ExperimentSettingsDlg::OnStageStartupClicked() {
    // The panel reads the stage settings when it is made; the next
    // "Zaber (Focus)" command makes it anew.
    if (g_ZaberControlPanel != nullptr) {
        ZaberControlPanel* panel = g_ZaberControlPanel;
        g_ZaberControlPanel = nullptr;
        panel->close();
        delete panel;
    }
}

void ExperimentSettingsDlg::OnDone() {
    m_saveTimer.stop();
    SaveSettings();
    accept();
}
