// The main window's window commands with every subsystem's windows installed
// on them, as the program's start-up installs them: each is enabled by its
// rule in and out of administrator mode, and running it twice toggles its
// window (or, for the windows that are only ever shown, leaves it shown).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "app/startup/ApplicationCommands.h"
#include "app/startup/ui/ApplicationWindows.h"
#include "app/ui/MainFrame.h"
#include "app/ui/SettingsWindows.h"
#include "devices/ui/DeviceWindows.h"
#include "devices/ui/DigitalIOConfigurationDlg.h"
#include "devices/ui/PumpInformationDlg.h"
#include "devices/ui/ZaberControlPanel.h"
#include "imaging/ui/DocTemplate.h"
#include "imaging/ui/ImageViewCommands.h"
#include "imaging/ui/ROIManager.h"
#include "operator/ui/CUIScriptsDlg.h"
#include "operator/ui/ControlPanelDlg.h"
#include "operator/ui/PromptDialogs.h"
#include "operator/ui/PromptWindows.h"
#include "operator/ui/ScriptWindows.h"
#include "operator/ui/ScriptsDlg.h"
#include "operator/ui/SystemStateDlg.h"
#include "operator/ui/VariableWatchDlg.h"
#include "platform/UiBridge.h"
#include "platform/testsupport/QtTestApplication.h"
#include "tools/ui/AlgoIteratorTool.h"
#include "tools/ui/CountingAlgorithmDlg.h"
#include "tools/ui/EpiCellCountingAlgoDlg.h"
#include "tools/ui/FindMeniscusDlg.h"
#include "tools/ui/ProjectionAnalysisTool.h"
#include "tools/ui/FocusToolDlg.h"
#include "tools/ui/FractionationAnalysisDlg.h"
#include "tools/ui/ImageAnalysisToolDlg.h"
#include "tools/ui/ProjectionAnalysisDlg.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/VideoDlg.h"

namespace {

namespace fs = std::filesystem;

enum class Rule { Admin, AdminWithPumps, Stage, Always };
enum class Action { Toggle, Show, NoWindow, Modal };

struct WindowCommand {
    int id;
    const char* menuText;  // null: reached only by a posted command
    Rule rule;
    Action action;
    std::function<QWidget*()> window;  // the command's window once made
};

QAction* MenuAction(const CMainFrame& frame, int id) {
    for (QAction* menu : frame.menuBar()->actions()) {
        for (QAction* action : menu->menu()->actions()) {
            if (!action->isSeparator() && action->data().toInt() == id) return action;
        }
    }
    return nullptr;
}

TEST(MainFrameWindowCommands, EachCommandFollowsItsRuleAndShowsOrTogglesItsWindow) {
    testsupport::EnsureApplication();
    const fs::path root = fs::path(std::getenv("VELLORA_TEST_ROOT")) / "window-commands";
    fs::create_directories(root / "LOG");
    fs::create_directories(root / "LIB");
    theApp.m_strDataRoot = root.c_str();
    g_IniPath = (root / "Vellora.ini").c_str();
    theApp.m_strIniPath = g_IniPath;
    std::ofstream(g_IniPath.GetString(), std::ios::binary) << "[Zaber]\r\nInitializeZaberOnStartup=true\r\n";
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi(ui);
    SetFrameHooks({});

    // The windows of the subsystems, installed as the program's start-up does.
    auto frame = std::make_unique<CMainFrame>();
    CMultiDocTemplate documents(frame->mdiArea());
    CommandRouter& commands = frame->Commands();
    InstallApplicationCommands(commands);
    auto applicationWindows = std::make_unique<ScopedApplicationWindows>(commands, frame.get(), &documents);
    InstallDeviceWindows(commands, frame.get());
    InstallImageViewCommands(commands, frame->mdiArea(), frame->StatusPane(2), frame.get());
    InstallSettingsWindows(commands, frame.get(), [](const std::string&, CString&) { return false; });
    auto promptWindows = InstallOperatorPromptWindows(commands, frame.get());
    InstallScriptWindows(commands, frame.get());
    InstallCustomerScriptChooser(commands, frame.get());
    InstallToolWindows(commands, frame.get());

    const WindowCommand table[] = {
        {cmd::SystemState, "Show Fluidic System State", Rule::Admin, Action::Toggle, [] { return g_SystemStateDlg; }},
        {cmd::FluidicScripts, "Fluidic System Scripts", Rule::Admin, Action::Toggle, [] { return g_ScriptsDlg; }},
        {cmd::DioConfiguration, "D I/O Configuration", Rule::Admin, Action::Toggle,
         [] { return g_DigitalIOConfigurationDlg; }},
        {cmd::ControlPanel, "Fluidic System Control Panel", Rule::Admin, Action::Toggle,
         [] { return g_ControlPanelDlg; }},
        {cmd::PumpInformation, "Pump Information Dialog", Rule::AdminWithPumps, Action::Toggle,
         [] { return g_PumpInformationDlg; }},
        {cmd::CountingAlgorithmParameters, "Counting Algorithm Parameters", Rule::Always, Action::Show,
         [] { return g_CountingAlgorithmDlg; }},
        {cmd::ImageAnalysisTool, "Image Analysis Tool", Rule::Always, Action::Show,
         [] { return g_ImageAnalysisToolDlg; }},
        {cmd::EpiCellCountingParameters, "Epi Cell Counting Algo Parameters", Rule::Always, Action::Show,
         [] { return g_EpiCellCountingAlgoDlg; }},
        {cmd::AlgoIterator, nullptr, Rule::Admin, Action::Toggle, [] { return g_AlgoIteratorTool; }},
        {cmd::WatchScriptVariables, "Watch Script Variables", Rule::Admin, Action::Toggle,
         [] { return g_VariableWatchDlg; }},
        {cmd::StageControlPanel, "Zaber (Focus)", Rule::Stage, Action::Toggle, [] { return g_ZaberControlPanel; }},
        {cmd::FocusTool, "Focus Tool", Rule::Admin, Action::Toggle, [] { return g_FocusToolDlg; }},
        {cmd::ProjectionAnalysisParameters, "Projection Analysis Parameters", Rule::Always, Action::Toggle,
         [] { return g_ProjectionAnalysisDlg; }},
        {cmd::CustomerUIScripts, "Customer UI Scripts", Rule::Admin, Action::Toggle, [] { return g_CUIScriptsDlg; }},
        {cmd::FlattenRows, nullptr, Rule::Always, Action::NoWindow, nullptr},
        {cmd::EncryptedProfiles, "Encrypted Profiles", Rule::Admin, Action::Modal, nullptr},
        {cmd::ROIManager, "ROI Manager", Rule::Always, Action::Toggle, [] { return FindROIManager(); }},
        {cmd::FractionationAnalysisTool, "Fractionation Analysis Tool", Rule::Always, Action::Toggle,
         [] { return g_FractionationAnalysisDlg; }},
        {cmd::CreateVideo, "Create a Video from Images", Rule::Always, Action::Toggle, [] { return g_VideoDlg; }},
        {cmd::FindMeniscus, nullptr, Rule::Always, Action::Toggle, [] { return g_FindMeniscusDlg; }},
        {cmd::ProjectionAnalysisTool, "Projection Analysis Tool", Rule::Always, Action::Toggle,
         [] { return g_ProjectionAnalysisTool; }},
        {cmd::Montage, nullptr, Rule::Always, Action::Modal, nullptr},
    };

    // Every command with a menu text has its menu entry.
    for (const WindowCommand& command : table) {
        if (!command.menuText) continue;
        QAction* action = MenuAction(*frame, command.id);
        ASSERT_NE(action, nullptr) << "command " << command.id;
        EXPECT_EQ(action->text().toStdString(), command.menuText);
    }

    // The pumps and the stage were found; the stage is set to start.
    theApp.m_nPumpComPort = 5;
    theApp.m_nStageComPort = 6;
    for (const bool admin : {false, true}) {
        theApp.m_bAdminMode = admin;
        for (const WindowCommand& command : table) {
            const bool expected = command.rule == Rule::Always || command.rule == Rule::Stage || admin;
            EXPECT_EQ(commands.State(command.id).enabled, expected)
                << "command " << command.id << (admin ? " in" : " out of") << " administrator mode";
        }
    }
    // No device is attached here: the device windows open without one.
    theApp.m_nPumpComPort = 0;
    theApp.m_nStageComPort = 0;

    frame->show();
    for (const WindowCommand& command : table) {
        if (command.action == Action::Modal) continue;
        ASSERT_TRUE(commands.Execute(command.id)) << command.id;
        if (command.action == Action::NoWindow) {
            EXPECT_TRUE(commands.Execute(command.id));
            continue;
        }
        QWidget* window = command.window();
        ASSERT_NE(window, nullptr) << "command " << command.id << " made no window";
        EXPECT_TRUE(window->isVisible()) << command.id;
        ASSERT_TRUE(commands.Execute(command.id));
        EXPECT_EQ(command.window(), window) << "command " << command.id << " made a second window";
        EXPECT_EQ(window->isVisible(), command.action == Action::Show) << command.id;
    }

    // The stage control panel, once deleted, is made anew by the next use.
    delete g_ZaberControlPanel;
    g_ZaberControlPanel = nullptr;
    ASSERT_TRUE(commands.Execute(cmd::StageControlPanel));
    ASSERT_NE(g_ZaberControlPanel, nullptr);
    EXPECT_TRUE(g_ZaberControlPanel->isVisible());

    // The windows belong to the main window and go with it.
    RemoveImageViewCommands(commands);
    applicationWindows.reset();
    promptWindows.reset();
    frame.reset();
    g_SystemStateDlg = nullptr;
    g_VariableWatchDlg = nullptr;
    g_WaitWithTimerDlg = nullptr;
    g_InformOperatorDlg = nullptr;
    g_PumpInformationDlg = nullptr;
    g_DigitalIOConfigurationDlg = nullptr;
    g_ZaberControlPanel = nullptr;
    theApp.m_bAdminMode = false;
    SetFrameHooks({});
}

}  // namespace
