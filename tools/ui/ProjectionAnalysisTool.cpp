#include "tools/ui/ProjectionAnalysisTool.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <functional>

#include "app/ActiveROI.h"
#include "app/NamedROIList.h"
#include "app/VelloraApp.h"
#include "imaging/ImageView.h"
#include "imaging/RenderList.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/ShellUtils.h"
#include "support/String.h"
#include "support/ui/DialogControls.h"
#include "tools/ImageAnalysisTool.h"
#include "tools/ProjectionTool.h"
#include "tools/ui/FractionationAnalysisDlg.h"
#include "tools/ui/ImageSelectionDlg.h"
#include "tools/ui/ParamSetCombo.h"
#include "tools/ui/ToolWindows.h"

ProjectionAnalysisTool* g_ProjectionAnalysisTool = nullptr;

namespace {

constexpr const char* kSelectAtLeastOne = "You must select at least one file from the list.";

// The ROI list: refilled with the named ROIs of the main settings file each
// time it opens, the text kept as typed; tells when it closes.
class RoiNameCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> closedUp;

    void Refill() {
        const QString text = currentText();
        const QSignalBlocker blocker(this);
        clear();
        NamedROIList list;
        if (list.LoadFromIni(g_IniPath.GetString())) {
            for (int i = 0; i < list.count; ++i) addItem(QString::fromUtf8(list.SortedAt(i)->name.c_str()));
        }
        setCurrentIndex(-1);
        setEditText(text);
    }
    void showPopup() override {
        Refill();
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        if (closedUp) closedUp();
    }
};

QPushButton* MakeButton(const char* text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    Tovanix::SetDlgCtrlID(button, id);
    return button;
}

QPushButton* MakeDotsButton(int id, QWidget* parent) {
    QPushButton* button = MakeButton("...", id, parent);
    button->setMaximumWidth(32);
    return button;
}

}  // namespace

ProjectionAnalysisTool::ProjectionAnalysisTool(QWidget* parent)
    : ToolWindow("Projection Analysis Tool", parent), m_settings(MakeProjectionToolSettings()) {
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    // The wide controls and the file list reach to 3 pixels from the right
    // and the list to 3 pixels from the bottom of the window.
    layout->setContentsMargins(9, 9, 3, 3);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(new QLabel("Image Directory", this), 0, 0);
    grid->addWidget(MakeFolderEdit(), 0, 1, 1, 2);
    grid->addWidget(MakeBrowseButton(), 0, 3);
    grid->addWidget(new QLabel("Filter", this), 1, 0);
    grid->addWidget(MakeFilterEdit(), 1, 1, 1, 3);

    m_paramSet = new ParamSetCombo(kProjectionParamsExtension, 1344, this);
    m_editParams = MakeDotsButton(1396, this);
    grid->addWidget(new QLabel("Projection Analysis Params", this), 2, 0);
    grid->addWidget(m_paramSet, 2, 1, 1, 2);
    grid->addWidget(m_editParams, 2, 3);

    auto* roi = new RoiNameCombo(this);
    roi->setEditable(true);
    roi->setInsertPolicy(QComboBox::NoInsert);
    Tovanix::SetDlgCtrlID(roi, 1362);
    m_roi = roi;
    m_roiManager = MakeDotsButton(1397, this);
    grid->addWidget(new QLabel("ROI", this), 3, 0);
    grid->addWidget(m_roi, 3, 1, 1, 2);
    grid->addWidget(m_roiManager, 3, 3);

    m_lpCurve = new ParamSetCombo(kLPCurveExtension, 1220, this);
    m_openLPCurve = MakeDotsButton(1082, this);
    grid->addWidget(new QLabel("LP Curve", this), 4, 0);
    grid->addWidget(m_lpCurve, 4, 1, 1, 2);
    grid->addWidget(m_openLPCurve, 4, 3);

    m_gd = new QLineEdit(this);
    Tovanix::SetDlgCtrlID(m_gd, 1249);
    m_openSummary = new QCheckBox("Open Summary", this);
    Tovanix::SetDlgCtrlID(m_openSummary, 1232);
    auto* gdRow = new QHBoxLayout;
    gdRow->addWidget(m_gd);
    gdRow->addWidget(new QLabel("mM", this));
    gdRow->addSpacing(12);
    gdRow->addWidget(m_openSummary);
    gdRow->addStretch(1);
    grid->addWidget(new QLabel("Gd conc", this), 5, 0);
    grid->addLayout(gdRow, 5, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    auto* backgroundRow = new QHBoxLayout;
    m_background = MakeButton("Select Background Images", 1367, this);
    m_bgCount = new QLineEdit("0", this);
    m_bgCount->setReadOnly(true);
    m_bgCount->setMaximumWidth(40);
    Tovanix::SetDlgCtrlID(m_bgCount, 1373);
    backgroundRow->addWidget(m_background);
    backgroundRow->addWidget(new QLabel("bg image count", this));
    backgroundRow->addWidget(m_bgCount);
    backgroundRow->addStretch(1);
    layout->addLayout(backgroundRow);

    auto* runRow = new QHBoxLayout;
    m_preview = MakeButton("Preview", 1375, this);
    runRow->addWidget(m_preview);
    runRow->addStretch(1);
    runRow->addWidget(MakeRunButton());
    runRow->addWidget(MakeStopButton());
    layout->addLayout(runRow);
    layout->addWidget(MakeStatusLine());
    layout->addWidget(MakeFileList(), 1);
    FileList()->setMinimumSize(19, 19);
    // Run and Preview wait for a background choice.
    RunButton()->setEnabled(false);
    m_preview->setEnabled(false);
    resize(480, 600);

    connect(FolderEdit(), &QLineEdit::textChanged, this, [this] {
        RestartTimer(1000, 1000);
        RestartTimer(1001, 1000);
        RestartTimer(1003, 1000);
    });
    connect(FilterEdit(), &QLineEdit::textChanged, this, [this] {
        RestartTimer(1000, 1000);
        RestartTimer(1001, 1000);
    });
    connect(m_paramSet, &QComboBox::editTextChanged, this, [this] { RestartTimer(1000, 1000); });
    connect(m_paramSet, &ParamSetCombo::closedUp, this, [this] { RestartTimer(1000, 1000); });
    const auto roiChanged = [this] {
        RestartTimer(1002, 1000);
        RestartTimer(1000, 1000);
    };
    connect(m_roi, &QComboBox::editTextChanged, this, roiChanged);
    roi->closedUp = roiChanged;
    connect(m_lpCurve, &QComboBox::currentTextChanged, this, [this] { RestartTimer(1000, 1000); });
    connect(m_lpCurve, &ParamSetCombo::closedUp, this, [this] { RestartTimer(1000, 1000); });
    connect(m_gd, &QLineEdit::textChanged, this, [this] { RestartTimer(1000, 1000); });
    connect(m_openSummary, &QCheckBox::clicked, this, [this] { RestartTimer(1000, 1000); });

    connect(BrowseButton(), &QPushButton::clicked, this,
            [this] { BrowseForFolder("Select a directory with images to process."); });
    connect(m_editParams, &QPushButton::clicked, this, [this] { ShowProjectionParamEditor(parentWidget()); });
    connect(m_roiManager, &QPushButton::clicked, this, [this] { ShowROIManagerFrom(this); });
    connect(m_openLPCurve, &QPushButton::clicked, this, [this] {
        Tovanix::OpenUsingDefaultApp(ParamSetPath(m_lpCurve->Text(), kLPCurveExtension).c_str(), ".txt");
    });
    connect(m_background, &QPushButton::clicked, this, [this] { OnBnClickedSelectBackgroundImages(); });
    connect(m_preview, &QPushButton::clicked, this, [this] { PreviewSelectedFiles(*this); });
    connect(RunButton(), &QPushButton::clicked, this, [this] { OnBnClickedRun(); });

    RegisterFolderTool(this);
    InstallViewHooks();
    LoadSettings();
}

ProjectionAnalysisTool::~ProjectionAnalysisTool() {
    RemoveViewHooks();
    static_cast<RoiNameCombo*>(m_roi)->closedUp = nullptr;
    DisconnectControls();
}

void ProjectionAnalysisTool::InstallViewHooks() {
    // While visible the views draw this tool's rows and store picked rows in
    // its folder; it comes before the fractionation tool in both.
    ToolLinesSources lines = GetToolLinesSources();
    lines.projectionTool = [this](int32_t rows[4]) {
        if (!IsShown()) return false;
        m_rows.CopyTo(rows);
        return true;
    };
    SetToolLinesSources(lines);
    ImageViewToolHooks hooks = GetImageViewToolHooks();
    hooks.projectionToolStore = [this](const char* key, int row, bool* stored) {
        if (!isVisible()) return false;
        *stored = StoreCalibrationValue(key, row);
        return true;
    };
    SetImageViewToolHooks(hooks);
}

void ProjectionAnalysisTool::RemoveViewHooks() {
    ToolLinesSources lines = GetToolLinesSources();
    lines.projectionTool = nullptr;
    SetToolLinesSources(lines);
    ImageViewToolHooks hooks = GetImageViewToolHooks();
    hooks.projectionToolStore = nullptr;
    SetImageViewToolHooks(hooks);
}

ChannelMagnetRows ProjectionAnalysisTool::Rows() const { return m_rows.Get(); }

void ProjectionAnalysisTool::LoadSettings() {
    if (m_saving) return;
    m_settings.SetLoading(true);
    m_settings.Load();
    FolderEdit()->setText(QString::fromStdString(m_settings.Get("Directory")));
    m_paramSet->SetText(m_settings.Get("ProjectionAnalysisParams"));
    m_roi->setEditText(QString::fromStdString(m_settings.Get("ROI")));
    FilterEdit()->setText(QString::fromStdString(m_settings.Get("Filter")));
    m_lpCurve->SetText(m_settings.Get("LPCurve"));
    m_openSummary->setChecked(m_settings.GetFlag("OpenSummary", m_openSummary->isChecked()));
    m_gd->setText(QString::fromStdString(m_settings.Get("Gd_conc")));
    m_settings.SetLoading(false);
}

bool ProjectionAnalysisTool::SaveSettings() {
    if (m_settings.Loading()) return false;
    m_saving = true;
    m_settings.Set("Directory", FolderEdit()->text().toStdString());
    m_settings.Set("ProjectionAnalysisParams", m_paramSet->Text());
    m_settings.Set("ROI", m_roi->currentText().toStdString());
    m_settings.Set("Filter", FilterEdit()->text().toStdString());
    m_settings.Set("LPCurve", m_lpCurve->Text());
    m_settings.SetFlag("OpenSummary", m_openSummary->isChecked());
    m_settings.Set("Gd_conc", m_gd->text().toStdString());
    m_settings.Save();
    m_saving = false;
    return true;
}

bool ProjectionAnalysisTool::LoadCalibrationValues() {
    std::string error;
    if (!m_rows.Load(FolderEdit()->text().toStdString(), error)) {
        if (!error.empty()) {
            LogErrAndInfo("ProjectionAnalysisTool", __LINE__, error.c_str());
            platform::ShowMessageBox(error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        }
        return false;
    }
    return true;
}

bool ProjectionAnalysisTool::StoreCalibrationValue(const std::string& name, int32_t value) {
    return m_rows.Store(FolderEdit()->text().toStdString(), name, value);
}

void ProjectionAnalysisTool::DisableControls() {
    SetInputsEnabled(false);
    StopButton()->setEnabled(true);
}

void ProjectionAnalysisTool::EnableControls() {
    SetInputsEnabled(true);
    StopButton()->setEnabled(false);
}

void ProjectionAnalysisTool::SetInputsEnabled(bool enabled) {
    // "Select Background Images" and the count stay as they are: a choice
    // made during a run counts for the next one.
    for (QWidget* control : std::initializer_list<QWidget*>{FolderEdit(), BrowseButton(), FilterEdit(), m_lpCurve,
                                                            m_openLPCurve, m_gd, FileList(), m_openSummary, m_paramSet,
                                                            m_editParams, m_roiManager, m_roi}) {
        control->setEnabled(enabled);
    }
    // Run and Preview need a background image.
    const bool withBackground = enabled && !m_backgrounds.empty();
    RunButton()->setEnabled(withBackground);
    m_preview->setEnabled(withBackground);
}

void ProjectionAnalysisTool::SetBackgroundImages(const std::vector<std::string>& names) {
    m_backgrounds = names;
    m_bgCount->setText(QString::number(static_cast<int>(names.size())));
    if (IsRunning()) return;  // the end of the run enables what the choice allows
    RunButton()->setEnabled(!names.empty());
    m_preview->setEnabled(!names.empty());
}

void ProjectionAnalysisTool::OnBnClickedSelectBackgroundImages() {
    const std::string folder = FolderEdit()->text().toStdString();
    ImageSelectionList list;
    for (const std::string& name : SelectedFileNames()) {
        ImageSelectionItem item;
        item.path = JoinToolFolder(folder, name).c_str();
        list.push_back(item);
    }
    if (list.empty()) {
        platform::ShowMessageBox(kSelectAtLeastOne, "Vellora", platform::MB_OK);
        return;
    }
    ImageSelectionDlg grid(&list, this);
    if (grid.exec() != QDialog::Accepted) return;
    std::vector<std::string> names;
    for (const ImageSelectionItem& item : list) {
        if (!item.selected) continue;
        Tovanix::String name;
        Tovanix::GetPathPart(name, item.path.c_str(), false, true, true);
        names.emplace_back(name.c_str());
    }
    SetBackgroundImages(names);
}

ProjectionRunRequest ProjectionAnalysisTool::BuildRunRequest() const {
    ProjectionRunRequest request;
    request.folder = FolderEdit()->text().toStdString();
    request.fileNames = SelectedFileNames();
    request.backgroundNames = m_backgrounds;
    request.paramSetName = m_paramSet->Text();
    request.roiName = m_roi->currentText().toStdString();
    request.lpCurveName = m_lpCurve->Text();
    request.gdText = m_gd->text().toStdString();
    request.openSummary = m_openSummary->isChecked();
    request.programName = theApp.m_strDisplayName.GetString();
    request.programVersion = theApp.m_strFileVersion.GetString();
    return request;
}

void ProjectionAnalysisTool::ShowRunMessage(const ProjectionRunMessage& message) const {
    if (message.logged) LogErrAndInfo("ProjectionAnalysisTool", __LINE__, message.text.c_str());
    platform::ShowMessageBox(message.text, "Vellora",
                             platform::MB_OK | (message.errorIcon ? platform::MB_ICONERROR : 0u));
}

bool ProjectionAnalysisTool::OnBnClickedRun() {
    if (IsRunning()) return false;
    const ProjectionRunRequest request = BuildRunRequest();
    ProjectionRunMessage refusal;
    if (!PrepareProjectionRun(request, m_runParams, m_runLPCurve, refusal)) {
        ShowRunMessage(refusal);
        return false;
    }
    // The worker has copies of its own; what it leaves in the parameters
    // (baseline, scale) comes back to the window when it ends.
    auto params = std::make_shared<ProjectionAnalysisParams>(m_runParams);
    const LPCurveParams lpCurve = m_runLPCurve;
    return StartWorker([this, request, params, lpCurve](const ToolWorkerContext& context) -> std::function<void()> {
        auto result = std::make_shared<ProjectionRunResult>(
            WORKER_THREAD_AnalyzeProjections(request, *params, lpCurve, context));
        return [this, params, result] {
            m_runParams = *params;
            m_lastResult = *result;
            for (const ProjectionRunMessage& message : result->messages) ShowRunMessage(message);
        };
    });
}

void ProjectionAnalysisTool::OnToolTimer(int id) {
    switch (id) {
    case 1000:
        SaveSettings();
        break;
    case 1001:
        FillFileListBox();
        break;
    case 1002:
        if (!m_roi->currentText().isEmpty()) SetActiveROIByName(m_roi->currentText().toStdString().c_str());
        break;
    case 1003:
        LoadCalibrationValues();
        break;
    default:
        break;
    }
}

void ProjectionAnalysisTool::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    ShowOnlyFolderTool(this);
    RestartTimer(1002, 100);
}

void ProjectionAnalysisTool::closeEvent(QCloseEvent* event) {
    // The views go back to their own lines and curves.
    theApp.InvalidateAllImageViews();
    ToolWindow::closeEvent(event);
}
