// The program's entry point: the user-interface bridge and the virtual
// instrument, then the start-up sequence (CVelloraApp::InitInstance) with the
// windows it creates, then the message loop.

#include <QApplication>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "app/startup/ApplicationCommands.h"
#include "app/startup/StartUp.h"
#include "app/startup/ui/ApplicationWindows.h"
#include "app/ui/CartridgeDialogs.h"
#include "app/ui/MainFrame.h"
#include "app/ui/SettingsWindows.h"
#include "devices/ui/DeviceWindows.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/ImageDoc.h"
#include "imaging/ui/DocTemplate.h"
#include "imaging/ui/ImageViewCommands.h"
#include "imaging/ui/LivePreview.h"
#include "app/ui/ExperimentSettingsDlg.h"
#include "operator/CustomerUICommands.h"
#include "operator/ui/CUIScriptsDlg.h"
#include "operator/ui/CustomerScreen.h"
#include "operator/ui/ScriptWindows.h"
#include "operator/ui/PromptWindows.h"
#include "platform/UiBridge.h"
#include "platform/ui/QtUiBridge.h"
#include "platform/ui/TerminationSignals.h"
#include "script/DispatcherCommands.h"
#include "script/Script.h"
#include "tools/ui/ToolWindows.h"
#include "sim/VirtualInstrumentSession.h"
#include "support/AppLogs.h"

namespace {

// Test facility: a program started to close on its own (VELLORA_EXIT_AFTER_MS)
// runs unattended. Its message boxes are answered with their first button and
// written to standard error, so that no start-up message can hold it open.
class UnattendedUiBridge : public platform::UiBridge {
public:
    explicit UnattendedUiBridge(platform::UiBridge& ui) : m_ui(ui) {}
    void PostCommand(int commandId, intptr_t argument = 0) override { m_ui.PostCommand(commandId, argument); }
    void RunOnUiThread(const std::function<void()>& function) override { m_ui.RunOnUiThread(function); }
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
        std::fprintf(stderr, "Vellora: [%s] %s\n", caption.c_str(), text.c_str());
        return m_answers.MessageBox(text, caption, type);
    }

private:
    platform::UiBridge& m_ui;
    platform::ScriptedUiBridge m_answers;
};

// What the main window asks of the script interpreters: whether one runs
// (it refuses to close meanwhile) and its script's name.
void InstallScriptHooks() {
    FrameHooks hooks = GetFrameHooks();
    hooks.isScriptRunning = [](uint32_t handle, CString* scriptName) {
        return Script::IsScriptRunning(static_cast<int32_t>(handle), scriptName);
    };
    SetFrameHooks(hooks);
}

}  // namespace

int main(int argc, char** argv) {
    // A shutdown, a closed terminal or Ctrl+C closes the main window like the
    // user would, so the orderly exit runs; one that comes before the window
    // exists waits for it.
    platform::TerminationSignals terminationSignals;
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vellora");

    platform::QtUiBridge bridge;
    UnattendedUiBridge unattended(bridge);
    const bool runUnattended = std::getenv("VELLORA_EXIT_AFTER_MS") != nullptr;
    platform::ScopedUiBridge installedBridge(runUnattended ? static_cast<platform::UiBridge&>(unattended) : bridge);

    // Without a real instrument the program drives the virtual one; it is on
    // before start-up looks for the instrument's power and devices.
    sim::VirtualInstrumentSession instrument;
    std::string error;
    if (!instrument.Start(&error)) {
        LogErrAndInfo(__FILE__, __LINE__, error.c_str());
        platform::ShowMessageBox(error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
    }

    // The windows that start-up creates, in its order.
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CMultiDocTemplate> imageDocTemplate;
    std::optional<ScopedImageDocTemplate> installedImageDocTemplate;
    std::unique_ptr<OperatorPromptWindows> operatorPromptWindows;
    std::optional<ScopedApplicationWindows> applicationWindows;
    StartupWindows windows;
    windows.createMainWindow = [&] {
        frame = std::make_unique<CMainFrame>();
        terminationSignals.CloseOnSignal(frame.get());
        bridge.SetMessageBoxParent(frame.get());
        // Posted commands (the serial recovery among them) go to the main window.
        bridge.SetCommandHandler([&frame](int command) { frame->OnCommand(command); });
        theApp.m_pMainWnd = frame.get();
        imageDocTemplate = std::make_unique<CMultiDocTemplate>(frame->mdiArea());
        installedImageDocTemplate.emplace(imageDocTemplate.get());

        // The windows of the subsystems, each on the main window's commands.
        InstallApplicationCommands(frame->Commands());
        applicationWindows.emplace(frame->Commands(), frame.get(), imageDocTemplate.get());
        InstallDeviceWindows(frame->Commands(), frame.get());
        InstallImageViewCommands(frame->Commands(), frame->mdiArea(), frame->StatusPane(2), frame.get());
        InstallSettingsWindows(frame->Commands(), frame.get(), [](const std::string& name, CString& error) {
            return CreateNewExperiment(name.c_str(), error);
        });
        operatorPromptWindows = InstallOperatorPromptWindows(frame->Commands(), frame.get());
        InstallScriptHooks();
        InstallScriptWindows(frame->Commands(), frame.get());
        InstallCustomerScriptChooser(frame->Commands(), frame.get());
        InstallCustomerUICommands();
        SetExperimentSettingsWindow([window = frame.get()] {
            platform::RunOnUiThread([window] { ExperimentSettingsDlg(window).DoModal(); });
        });
        InstallToolWindows(frame->Commands(), frame.get());
        frame->show();
        frame->statusBar()->showMessage("Starting...");
        return true;
    };
    windows.createModelessWindows = [] { InstallCustomerScreen(); };
    windows.runUserInterface = [&frame] { frame->OnRunUserInterface(); };
    SetStartupWindows(windows);

    int result = 1;
    if (theApp.InitInstance()) {
        ScopedLiveView liveView(frame->Commands(), [&frame] { return ChooseCartridgeForLiveImage(frame.get()); });
        QString text = theApp.m_nPumpComPort ? QString("Ready: pumps on COM%1").arg(theApp.m_nPumpComPort)
                                             : QString("Ready: no pumps");
        if (theApp.m_nStageComPort) text += QString(", stage on COM%1").arg(theApp.m_nStageComPort);
        frame->statusBar()->showMessage(text);

        // Test facility: close the program on its own after a delay, so that
        // the start-up and shut-down paths can run unattended.
        if (const char* exitAfter = std::getenv("VELLORA_EXIT_AFTER_MS")) {
            QTimer::singleShot(std::atoi(exitAfter), frame.get(), &QWidget::close);
        }
        result = application.exec();
    }
    StopStartupThreads();
    SetStartupWindows({});
    SetFrameHooks({});
    applicationWindows.reset();
    installedImageDocTemplate.reset();
    SetExperimentSettingsWindow(nullptr);
    theApp.ExitInstance();
    theApp.m_pMainWnd = nullptr;
    return result;
}
