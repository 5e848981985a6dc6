#include "tools/ui/FractionationAnalysisDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ActiveROI.h"
#include "app/VelloraApp.h"
#include "imaging/ImageView.h"
#include "imaging/RenderList.h"
#include "imaging/RenderOverlays.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/ShellUtils.h"
#include "support/ui/DialogControls.h"
#include "tools/FractionationRun.h"
#include "tools/ui/ImageSelectionDlg.h"
#include "tools/ui/ToolWindows.h"

FractionationAnalysisDlg* g_FractionationAnalysisDlg = nullptr;

namespace {

void ReportError(const std::string& text) {
    LogErrAndInfo("FractionationAnalysisDlg", __LINE__, text.c_str());
    platform::ShowMessageBox(text, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
}

QComboBox* MakeCombo(int id, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    Tovanix::SetDlgCtrlID(combo, id);
    return combo;
}

QPushButton* MakeButton(const char* text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(button, id);
    return button;
}

}  // namespace

FractionationAnalysisDlg::FractionationAnalysisDlg(QWidget* parent)
    : ToolWindow("Fractionation Analysis", parent), m_settings(MakeFractionationToolSettings()) {
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(new QLabel("Image Directory", this), 0, 0);
    grid->addWidget(MakeFolderEdit(), 0, 1, 1, 2);
    grid->addWidget(MakeBrowseButton(), 0, 3);
    m_params = MakeCombo(1344, this);
    grid->addWidget(new QLabel("Projection Parameters", this), 1, 0);
    grid->addWidget(m_params, 1, 1, 1, 2);
    m_roi = MakeCombo(1362, this);
    m_roiManager = MakeButton("ROI Mgr", 1395, this);
    grid->addWidget(new QLabel("Region of interest", this), 2, 0);
    grid->addWidget(m_roi, 2, 1, 1, 2);
    grid->addWidget(m_roiManager, 2, 3);
    grid->addWidget(new QLabel("Filter", this), 3, 0);
    grid->addWidget(MakeFilterEdit(), 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(MakeFileList(), 1);
    layout->addWidget(MakeStatusLine());

    auto* options = new QHBoxLayout;
    m_brightField = new QCheckBox("Bright Field", this);
    Tovanix::SetDlgCtrlID(m_brightField, 1389);
    m_background = MakeButton("Select Background Images", 1367, this);
    m_bgCount = new QLineEdit("0", this);
    m_bgCount->setReadOnly(true);
    m_bgCount->setMaximumWidth(40);
    Tovanix::SetDlgCtrlID(m_bgCount, 1373);
    options->addWidget(m_brightField);
    options->addWidget(m_background);
    options->addWidget(new QLabel("bg image count", this));
    options->addWidget(m_bgCount);
    options->addStretch(1);
    layout->addLayout(options);

    auto* buttons = new QHBoxLayout;
    m_openLog = MakeButton("Open LOG File", 1376, this);
    m_preview = MakeButton("Preview", 1375, this);
    m_cancel = MakeButton("Cancel", 2, this);
    QPushButton* run = MakeRunButton();
    run->setText("Run Cell Fractionation Analysis");
    run->setDefault(true);
    m_openLog->setEnabled(false);
    m_preview->setEnabled(false);
    run->setEnabled(false);
    buttons->addWidget(m_openLog);
    buttons->addWidget(m_preview);
    buttons->addStretch(1);
    buttons->addWidget(run);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    resize(520, 560);

    connect(FolderEdit(), &QLineEdit::textChanged, this, [this] {
        RestartTimer(1000, 1000);
        RestartTimer(1001, 500);
        RestartTimer(1002, 1000);
        RestartTimer(1004, 1000);
    });
    connect(FilterEdit(), &QLineEdit::textChanged, this, [this] {
        RestartTimer(1000, 1000);
        RestartTimer(1001, 500);
    });
    connect(m_params, &QComboBox::currentTextChanged, this, [this] { RestartTimer(1000, 1000); });
    connect(m_roi, &QComboBox::currentTextChanged, this, [this] {
        RestartTimer(1000, 1000);
        RestartTimer(1003, 1000);
    });
    connect(m_brightField, &QCheckBox::clicked, this, [this] { RestartTimer(1000, 300); });
    connect(BrowseButton(), &QPushButton::clicked, this,
            [this] { BrowseForFolder("Select directory with images to analyze."); });
    connect(m_background, &QPushButton::clicked, this, [this] { OnBnClickedSelectBackgroundImages(); });
    connect(m_openLog, &QPushButton::clicked, this,
            [this] { Tovanix::OpenUsingDefaultApp(m_log.LogPath.c_str(), ".xls"); });
    connect(m_preview, &QPushButton::clicked, this, [this] { PreviewSelectedFiles(*this); });
    connect(m_roiManager, &QPushButton::clicked, this, [this] { ShowROIManagerFrom(this); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { close(); });
    connect(run, &QPushButton::clicked, this, [this] { OnBnClickedRun(); });

    // The render thread reads the folder and the set, never the controls.
    connect(FolderEdit(), &QLineEdit::textChanged, this, [this](const QString& text) {
        std::lock_guard<std::mutex> lock(m_viewMutex);
        m_viewFolder = text.toStdString();
    });
    connect(m_params, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        std::lock_guard<std::mutex> lock(m_viewMutex);
        m_viewSet = text.toStdString();
    });

    RegisterFolderTool(this);
    InstallViewHooks();
    FillParamsCombo();
    FillRoiCombo();
    MigrateFractionationSettings(g_IniPath.GetString());
    LoadSettings();
    ApplyChannelDividerText("");
}

FractionationAnalysisDlg::~FractionationAnalysisDlg() {
    RemoveViewHooks();
    DisconnectControls();
}

void FractionationAnalysisDlg::InstallViewHooks() {
    // While visible the views draw this tool's rows, store picked rows in its
    // folder and draw projection curves with its set.
    ToolLinesSources lines = GetToolLinesSources();
    lines.fractionationTool = [this](int32_t rows[4]) {
        if (!IsShown()) return false;
        m_rows.CopyTo(rows);
        return true;
    };
    SetToolLinesSources(lines);
    ImageViewToolHooks hooks = GetImageViewToolHooks();
    hooks.fractionationToolStore = [this](const char* key, int row, bool* stored) {
        if (!isVisible()) return false;
        *stored = StoreCalibrationValue(key, row);
        return true;
    };
    SetImageViewToolHooks(hooks);
    ProjectionParamsSources sources = GetProjectionParamsSources();
    sources.fractionationTool = [this](ProjectionAnalysisParams& params) {
        if (!IsShown()) return false;
        std::string folder, set;
        {
            std::lock_guard<std::mutex> lock(m_viewMutex);
            folder = m_viewFolder;
            set = m_viewSet;
        }
        std::string error;
        return GetFractionationProjectionParams(folder, set, params, error);
    };
    SetProjectionParamsSources(sources);
}

void FractionationAnalysisDlg::RemoveViewHooks() {
    ToolLinesSources lines = GetToolLinesSources();
    lines.fractionationTool = nullptr;
    SetToolLinesSources(lines);
    ImageViewToolHooks hooks = GetImageViewToolHooks();
    hooks.fractionationToolStore = nullptr;
    SetImageViewToolHooks(hooks);
    ProjectionParamsSources sources = GetProjectionParamsSources();
    sources.fractionationTool = nullptr;
    SetProjectionParamsSources(sources);
}

ChannelMagnetRows FractionationAnalysisDlg::Rows() const { return m_rows.Get(); }

void FractionationAnalysisDlg::LoadSettings() {
    m_settings.SetLoading(true);
    m_settings.Load();
    FolderEdit()->setText(QString::fromStdString(m_settings.Get("Directory")));
    m_params->setEditText(QString::fromStdString(m_settings.Get("ProjectionAnalysisParams")));
    m_roi->setEditText(QString::fromStdString(m_settings.Get("ROI")));
    FilterEdit()->setText(QString::fromStdString(m_settings.Get("Filter")));
    // Any stored text other than "FALSE" sets the box.
    m_brightField->setChecked(m_settings.GetFlag("BrightField", true));
    m_settings.SetLoading(false);
}

bool FractionationAnalysisDlg::SaveSettings() {
    if (m_settings.Loading()) return false;
    m_settings.Set("Directory", FolderEdit()->text().toStdString());
    m_settings.Set("ProjectionAnalysisParams", m_params->currentText().toStdString());
    m_settings.Set("ROI", m_roi->currentText().toStdString());
    m_settings.Set("Filter", FilterEdit()->text().toStdString());
    m_settings.Set("ChannelDivider", "");
    m_settings.SetFlag("BrightField", m_brightField->isChecked());
    m_settings.Save();
    ApplyChannelDividerText("");
    return true;
}

bool FractionationAnalysisDlg::LoadCalibrationValues() {
    std::string error;
    if (!m_rows.Load(FolderEdit()->text().toStdString(), error)) {
        if (!error.empty()) ReportError(error);
        return false;
    }
    return true;
}

bool FractionationAnalysisDlg::StoreCalibrationValue(const std::string& key, int32_t row) {
    return m_rows.Store(FolderEdit()->text().toStdString(), key, row);
}

bool FractionationAnalysisDlg::GetProjectionParams(ProjectionAnalysisParams& params, std::string& error) const {
    return GetFractionationProjectionParams(FolderEdit()->text().toStdString(), m_params->currentText().toStdString(),
                                            params, error);
}

std::vector<std::string> FractionationAnalysisDlg::GetSelectedImageFiles() const {
    std::vector<std::string> paths;
    for (const std::string& name : SelectedFileNames()) {
        paths.push_back(JoinToolFolder(FolderEdit()->text().toStdString(), name));
    }
    return paths;
}

bool FractionationAnalysisDlg::ReloadLog() {
    m_openLog->setEnabled(false);
    std::string error;
    if (!m_log.Load(FolderEdit()->text().toStdString(), error)) {
        ReportError(error);
        return false;
    }
    m_openLog->setEnabled(m_log.LogPath.HasText());
    return true;
}

void FractionationAnalysisDlg::SetBackgroundImages(const std::vector<std::string>& names) {
    m_backgrounds = names;
    m_bgCount->setText(QString::number(static_cast<int>(names.size())));
    const bool any = !names.empty();
    if (!IsRunning()) RunButton()->setEnabled(any);
    m_preview->setEnabled(any);
}

void FractionationAnalysisDlg::OnBnClickedSelectBackgroundImages() {
    ImageSelectionList list = SelectedFileItems(*this);
    if (list.empty()) {
        platform::ShowMessageBox(kSelectAtLeastOneFile, "Vellora", platform::MB_OK);
        return;
    }
    ImageSelectionDlg grid(&list, this);
    if (grid.exec() != QDialog::Accepted) return;
    std::vector<std::string> names;
    for (const auto& item : list) {
        if (!item.selected) continue;
        Tovanix::String name;
        Tovanix::GetPathPart(name, item.path.c_str(), false, true, true);
        names.emplace_back(name.c_str());
    }
    SetBackgroundImages(names);
}

bool FractionationAnalysisDlg::OnBnClickedRun() {
    if (m_params->currentText().isEmpty()) {
        ReportError("You must select Projection Parameters from the drop down");
        return false;
    }
    if (m_roi->currentText().isEmpty()) {
        ReportError("You must select Region of interest from the drop down");
        return false;
    }
    if (m_log.Rows.count == 0) {
        std::string error;
        if (!m_log.LoadFromText(error)) {
            ReportError(error);
            return false;
        }
    }
    FractionationRequest request;
    request.folder = FolderEdit()->text().toStdString();
    for (const std::string& name : m_backgrounds) request.backgroundPaths.push_back(JoinToolFolder(request.folder, name));
    request.roiName = m_roi->currentText().toStdString();
    request.paramSetName = m_params->currentText().toStdString();
    request.imagePaths = GetSelectedImageFiles();
    request.brightField = m_brightFieldImages;
    request.programName = theApp.m_strDisplayName.GetString();
    request.programVersion = theApp.m_strFileVersion.GetString();
    // The log is not reloaded while the inputs are disabled for the run.
    const LogFileData* log = &m_log;
    return StartWorker([this, request, log](const ToolWorkerContext& context) -> std::function<void()> {
        auto result = std::make_shared<FractionationResult>(WORKER_THREAD_AnalyzeFractionation(request, *log, context));
        return [this, result] {
            for (const std::string& error : result->errors) ReportError(error);
            m_lastReport = result->reportPath;
            if (!result->reportPath.empty()) Tovanix::OpenUsingDefaultApp(result->reportPath.c_str(), ".xls");
        };
    });
}

void FractionationAnalysisDlg::OnToolTimer(int id) {
    switch (id) {
    case 1000:
        SaveSettings();
        break;
    case 1001:
        FillFileListBox();
        break;
    case 1002:
        ReloadLog();
        break;
    case 1003:
        if (!m_roi->currentText().isEmpty()) SetActiveROIByName(m_roi->currentText().toStdString().c_str());
        break;
    case 1004:
        LoadCalibrationValues();
        break;
    default:
        break;
    }
}

void FractionationAnalysisDlg::SetInputsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{FolderEdit(), BrowseButton(), m_params, m_roi,
                                                            FilterEdit(), FileList(), m_background, m_cancel}) {
        control->setEnabled(enabled);
    }
    RunButton()->setEnabled(enabled && !m_backgrounds.empty());
}

void FractionationAnalysisDlg::FillParamsCombo() {
    const QString text = m_params->currentText();
    m_params->clear();
    for (const std::string& name : ListFractionationParamSets()) m_params->addItem(QString::fromStdString(name));
    m_params->setEditText(text);
}

void FractionationAnalysisDlg::FillRoiCombo() {
    const QString text = m_roi->currentText();
    m_roi->clear();
    for (const std::string& name : ListFractionationRois(FolderEdit() ? FolderEdit()->text().toStdString() : ""))
        m_roi->addItem(QString::fromStdString(name));
    m_roi->setEditText(text);
}

void FractionationAnalysisDlg::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    FillParamsCombo();
    FillRoiCombo();
    ShowOnlyFolderTool(this);
    RestartTimer(1003, 100);
}

void FractionationAnalysisDlg::closeEvent(QCloseEvent* event) {
    theApp.InvalidateAllImageViews();
    ToolWindow::closeEvent(event);
}
