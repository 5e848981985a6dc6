#include "app/ui/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QSessionManager>
#include <QStatusBar>
#include <QWindowStateChangeEvent>

#include "app/MainWindowRules.h"
#include "app/VelloraApp.h"
#include "app/ui/PasswordDlg.h"
#include "app/ui/ToolBarEx.h"
#include "app/ui/ToolbarIcons.h"
#include "platform/Clock.h"
#include "platform/UiBridge.h"
#include "devices/DigitalIO.h"
#include "devices/SerialDiscovery.h"

namespace {

// Logical digital lines of the four LEDs.
constexpr int kFirstLedLine = 3;
constexpr int kLastLedLine = 6;
// A second minimise within this time is taken as the echo of the first.
constexpr uint32_t kMinimizeEchoMs = 1000;

// Commands whose windows come with their own subsystems: routed and enabled
// by their rules, they do nothing until those install their handlers.
constexpr int kCommandsAwaitingTheirWindows[] = {
    cmd::ID_FILE_OPEN,         cmd::ID_APP_ABOUT,           cmd::CaptureActiveImages,
    cmd::SingleWorkflowCapture, cmd::CameraSettings,        cmd::ExperimentSettings,
    cmd::StartExperimentWorkflow, cmd::LiveImage,           cmd::DioReset,
    cmd::SystemState,          cmd::FluidicScripts,         cmd::DioConfiguration,
    cmd::ControlPanel,         cmd::PumpInformation,        cmd::CountingAlgorithmParameters,
    cmd::ImageAnalysisTool,    cmd::EpiCellCountingParameters, cmd::AlgoIterator,
    cmd::WatchScriptVariables, cmd::StageControlPanel,      cmd::FocusTool,
    cmd::ProjectionAnalysisParameters, cmd::CustomerUIScripts, cmd::FlattenRows,
    cmd::EncryptedProfiles,    cmd::ROIManager,             cmd::FractionationAnalysisTool,
    cmd::CreateVideo,          cmd::FindMeniscus,           cmd::ProjectionAnalysisTool,
    cmd::Montage,
};

bool AskPasswordWithDialog(QWidget* parent, const std::string& prompt, std::string* typed) {
    PasswordDlg dialog(parent);
    dialog.m_strPrompt = prompt.c_str();
    if (dialog.DoModal() != platform::IDOK) return false;
    *typed = dialog.m_strPassword.GetString();
    return true;
}

}  // namespace

void CMainFrame::Timer1000::SetTimer(uint32_t periodMs) {
    m_timer.start(static_cast<int>(periodMs));
}

void CMainFrame::Timer1000::KillTimer() { m_timer.stop(); }

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_mdiArea(new QMdiArea(this)) {
    setCentralWidget(m_mdiArea);
    m_passwordPrompt = [this](const std::string& prompt, std::string* typed) {
        return AskPasswordWithDialog(this, prompt, typed);
    };

    InstallHandlers();
    AddMainFrameRules(m_router);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    setWindowTitle(QString::fromLocal8Bit(theApp.m_strDisplayName.GetString()));
    resize(1280, 800);

    m_workflowTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_workflowTimer, &QTimer::timeout, this, [this] { m_workflow.OnTimer(); });
    SetMainWindowWorkflow(&m_workflow);

    // Menus and buttons follow their rules while the program is idle.
    connect(&m_updateTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    m_updateTimer.start(250);
    UpdateCommandUI();

#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, [](QSessionManager& manager) {
        if (!QueryEndSession()) manager.cancel();
    });
#endif
}

CMainFrame::~CMainFrame() {
    SetMainWindowWorkflow(nullptr);
    m_workflowTimer.stop();
    // An LED left on would light the channel until the next start.
    for (int line = kFirstLedLine; line <= kLastLedLine; ++line) {
        CString ignored;
        ClearDIOLine(line, &ignored);
    }
}

void CMainFrame::InstallHandlers() {
    for (int id : kCommandsAwaitingTheirWindows) m_router.SetHandler(id, [] {});
    m_router.SetHandler(cmd::AdminMode, [this] { RunAdminModeCommand(m_passwordPrompt); });
    m_router.SetHandler(cmd::CustomerUI, [] { OnCustomerUI(); });
    m_router.SetHandler(cmd::RunUserInterface, [this] { OnRunUserInterface(); });
    m_router.SetHandler(cmd::Manual, [] { OnManual(); });
    m_router.SetHandler(cmd::CloseLivePreview, [] { OnCloseLivePreview(); });
    m_router.SetHandler(cmd::StopExperimentWorkflow, [this] { m_workflow.Stop(); });
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const char* text) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    m_actions.emplace(id, action);
    return action;
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    AddCommand(file, cmd::ID_FILE_OPEN, "&Open...")->setShortcut(QKeySequence("Ctrl+O"));
    AddCommand(file, cmd::SaveAs, "Save &As...");

    QMenu* view = menuBar()->addMenu("&View");
    AddCommand(view, cmd::ScaleIntensities, "Scale Intensities");
    AddCommand(view, cmd::AutoScaleIntensities, "Auto Scale Intensities");
    AddCommand(view, cmd::ZoomIn, "Zoom In");
    AddCommand(view, cmd::ZoomOut, "Zoom Out");
    AddCommand(view, cmd::FullScale, "Full Scale");

    QMenu* action = menuBar()->addMenu("&Action");
    AddCommand(action, cmd::LiveImage, "Live Image")->setCheckable(true);
    AddCommand(action, cmd::CaptureActiveImages, "Capture Active Image(s) to File");
    AddCommand(action, cmd::StartExperimentWorkflow, "Start Experiment Workflow");
    AddCommand(action, cmd::StopExperimentWorkflow, "Stop Experiment Workflow");
    AddCommand(action, cmd::SaveImageToExperiment, "Save Image To Experiment [F1]")->setShortcut(QKeySequence(Qt::Key_F1));
    AddCommand(action, cmd::SaveReferenceImage, "Save Reference Image");
    AddCommand(action, cmd::ChannelAndMagnetPositions, "Channel and Magnet Positions");
    action->addSeparator();
    AddCommand(action, cmd::ExperimentSettings, "Experiment Settings");
    AddCommand(action, cmd::CameraSettings, "Camera Settings");
    action->addSeparator();
    AddCommand(action, cmd::FluidicScripts, "Fluidic System Scripts");
    AddCommand(action, cmd::ControlPanel, "Fluidic System Control Panel");
    AddCommand(action, cmd::SystemState, "Show Fluidic System State");
    AddCommand(action, cmd::WatchScriptVariables, "Watch Script Variables");
    AddCommand(action, cmd::CustomerUI, "Customer UI");
    AddCommand(action, cmd::CustomerUIScripts, "Customer UI Scripts");
    action->addSeparator();
    AddCommand(action, cmd::StageControlPanel, "Zaber (Focus)");
    AddCommand(action, cmd::PumpInformation, "Pump Information Dialog");
    AddCommand(action, cmd::DioConfiguration, "D I/O Configuration");
    AddCommand(action, cmd::DioReset, "D I/O Reset")->setStatusTip("Reset the National Instruments Digital I/O system");
    action->addSeparator();
    AddCommand(action, cmd::ImageAnalysisTool, "Image Analysis Tool");
    AddCommand(action, cmd::CountingAlgorithmParameters, "Counting Algorithm Parameters");
    AddCommand(action, cmd::EpiCellCountingParameters, "Epi Cell Counting Algo Parameters");
    AddCommand(action, cmd::ProjectionAnalysisParameters, "Projection Analysis Parameters");
    AddCommand(action, cmd::AlgoIterator, "Algo Iterator Tool");
    AddCommand(action, cmd::FocusTool, "Focus Tool");
    AddCommand(action, cmd::FractionationAnalysisTool, "Fractionation Analysis Tool");
    AddCommand(action, cmd::ProjectionAnalysisTool, "Projection Analysis Tool");
    AddCommand(action, cmd::CreateVideo, "Create a Video from Images");
    AddCommand(action, cmd::Montage, "Create Montage Image From Sample Flow...");
    AddCommand(action, cmd::FindMeniscus, "Find Meniscus");
    AddCommand(action, cmd::ROIManager, "ROI Manager");
    action->addSeparator();
    AddCommand(action, cmd::EncryptedProfiles, "Encrypted Profiles");
    AddCommand(action, cmd::AdminMode, "Admin Mode")->setCheckable(true);

    QMenu* help = menuBar()->addMenu("&Help");
    AddCommand(help, cmd::ID_APP_ABOUT, "&About Vellora...");

    for (QMenu* menu : {file, view, action, help}) connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateToolBar() {
    m_wndToolBar = new CToolBarEx(this);
    m_wndToolBar->setObjectName("MainToolBar");
    m_wndToolBar->setIconSize(kToolbarButtonSize);
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);

    struct Button {
        int id;
        const char* tip;
    };
    // 0 stands for a separator.
    const Button buttons[] = {
        {cmd::RunUserInterface, "Run the user interface"},
        {0, nullptr},
        {cmd::ID_FILE_OPEN, "Open"},
        {0, nullptr},
        {cmd::LiveImage, "Capture + Auto Refresh"},
        {0, nullptr},
        {cmd::ImageTypePlaceholder, nullptr},
        {0, nullptr},
        {cmd::StartExperimentWorkflow, "Start Experiment Workflow"},
        {cmd::StopExperimentWorkflow, "Stop Experiment Workflow"},
        {0, nullptr},
        {cmd::SingleWorkflowCapture, "Single Workflow Capture"},
        {0, nullptr},
        {cmd::AutoScaleIntensities, "Auto Scale Intensities"},
        {cmd::ScaleIntensities, "Scale Intensities"},
        {0, nullptr},
        {cmd::ZoomIn, "Zoom In"},
        {cmd::ZoomOut, "Zoom Out"},
        {cmd::FullScale, "Full Scale"},
        {0, nullptr},
        {cmd::Manual, "Manual"},
    };
    for (const Button& button : buttons) {
        if (button.id == 0) {
            m_wndToolBar->addSeparator();
            continue;
        }
        QAction* action = m_wndToolBar->addAction(ToolbarIcon(button.id), button.tip ? button.tip : "");
        action->setData(button.id);
        if (button.id == cmd::ImageTypePlaceholder) continue;
        action->setToolTip(button.tip);
        action->setStatusTip(button.tip);
        if (button.id == cmd::LiveImage) action->setCheckable(true);
        const int id = button.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_actions.emplace(id, action);
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);

    m_wndToolBar->CreateImageTypeCombo();
    m_wndToolBar->SetCommandPoster([this](int id) { PostCommand(id); });
    m_wndToolBar->SetLiveImageChecked([this] { return IsLiveImageChecked(); });
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    for (int pane = 1; pane <= 2; ++pane) {
        auto* label = new QLabel(bar);
        label->setFixedWidth(250);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        bar->addPermanentWidget(label);
        m_statusPanes.push_back(label);
    }
    bar->showMessage("Ready");
}

QLabel* CMainFrame::StatusPane(int index) const {
    return index >= 1 && index <= static_cast<int>(m_statusPanes.size()) ? m_statusPanes[static_cast<size_t>(index - 1)]
                                                                          : nullptr;
}

bool CMainFrame::OnCommand(int id) {
    if (id == cmd::SerialRecovery) {
        // Whatever the outcome, the failure hook is back in place afterwards.
        RecoverSerialPortDevices();
        return true;
    }
    const bool handled = m_router.Execute(id);
    UpdateCommandUI();
    return handled;
}

void CMainFrame::PostCommand(int id) {
    QMetaObject::invokeMethod(this, [this, id] { OnCommand(id); }, Qt::QueuedConnection);
}

void CMainFrame::StartExperimentWorkflow() { ::StartExperimentWorkflow(); }

void CMainFrame::StopExperimentWorkflow() { ::StopExperimentWorkflow(); }

void CMainFrame::OnRunUserInterface() { ::OnRunUserInterface(); }

void CMainFrame::UpdateCommandUI() {
    for (const auto& [id, action] : m_actions) {
        const CommandState state = m_router.State(id);
        action->setEnabled(state.enabled);
        if (action->isCheckable()) action->setChecked(state.checked);
    }
    if (const std::optional<std::string> text = ScriptStatusPaneText()) {
        m_statusPanes[0]->setText(QString::fromLocal8Bit(text->c_str()));
    }
}

bool CMainFrame::IsLiveImageChecked() const { return m_router.State(cmd::LiveImage).checked; }

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (RefuseMinimizeOrClose(IsLiveImageChecked())) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !(windowState() & Qt::WindowMinimized)) return;
    const Qt::WindowStates before = static_cast<QWindowStateChangeEvent*>(event)->oldState() & ~Qt::WindowMinimized;
    if (m_minimizeRefusalQueued || MainWindowBusyReason(IsLiveImageChecked()).empty()) return;
    // The window comes back first, then the reason is shown over it. Some
    // window systems report the minimising again after the window came back;
    // the window comes back again, but the reason is shown once.
    m_minimizeRefusalQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this, before] {
            setWindowState(before);
            const uint32_t now = platform::GetTickCount();
            if (!m_minimizeRefused || now - m_lastMinimizeRefusalTick > kMinimizeEchoMs) {
                m_minimizeRefused = RefuseMinimizeOrClose(IsLiveImageChecked());
                m_lastMinimizeRefusalTick = now;
            }
            m_minimizeRefusalQueued = false;
        },
        Qt::QueuedConnection);
}
