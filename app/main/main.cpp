// The program's entry point: the user-interface bridge, the main window, the
// data root with its main settings file, the virtual instrument, and the
// serial discovery of its devices.

#include <QApplication>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "app/CartridgeTypes.h"
#include "app/FrameHooks.h"
#include "app/SuppliedFiles.h"
#include "app/VelloraApp.h"
#include "app/ui/CartridgeDialogs.h"
#include "app/ui/MainFrame.h"
#include "app/ui/SettingsWindows.h"
#include "devices/ui/DeviceWindows.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/ImageDoc.h"
#include "imaging/ui/DocTemplate.h"
#include "imaging/ui/LivePreview.h"
#include "app/ui/ExperimentSettingsDlg.h"
#include "operator/CustomerUICommands.h"
#include "operator/ui/CUIScriptsDlg.h"
#include "operator/ui/CustomerScreen.h"
#include "operator/ui/ScriptWindows.h"
#include "operator/ui/PromptWindows.h"
#include "platform/Folders.h"
#include "platform/UiBridge.h"
#include "platform/ui/QtUiBridge.h"
#include "platform/ui/TerminationSignals.h"
#include "script/DispatcherCommands.h"
#include "script/Script.h"
#include "sim/VirtualInstrumentSession.h"
#include "support/AppLogs.h"
#include "support/SerialPort.h"

namespace {

// <public documents>/Tessaly/Vellora with the folders the program writes into.
bool PrepareDataRoot(std::string* error) {
    const std::filesystem::path root = std::filesystem::path(platform::PublicDocumentsFolder()) / "Tessaly" / "Vellora";
    for (const char* folder : {"LOG", "Tmp", "LIB", "Backup"}) {
        std::error_code ec;
        std::filesystem::create_directories(root / folder, ec);
        if (ec) {
            *error = "Unable to create the folder " + (root / folder).string() + ": " + ec.message();
            return false;
        }
    }
    theApp.m_strDataRoot = root.c_str();
    theApp.m_strIniPath = (root / "Vellora.ini").c_str();
    theApp.m_strDisplayName = "Vellora";
    theApp.m_strFileVersion = "1.0.0.0";
    g_IniPath = theApp.m_strIniPath;
    SetAppLogSources({&theApp.m_strDataRoot, &theApp.m_strFileVersion, &theApp.m_strDisplayName, &g_IniPath});
    return true;
}

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

    // The main window reads the main settings file (the image type names),
    // so the data root and that file come first.
    std::string error;
    if (!PrepareDataRoot(&error)) {
        platform::ShowMessageBox(error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        return 1;
    }
    // The files the installation supplies, then the main settings file that
    // everything after this point reads.
    if (!InstallMissingDataRootFiles(theApp.m_strDataRoot, &error)) {
        LogErrAndInfo(__FILE__, __LINE__, error.c_str());
        error.clear();
    }
    if (!theApp.CreateIniIfMissing() || !theApp.RestoreIniFromBackupIfInvalid()) {
        return 1;
    }

    CMainFrame frame;
    terminationSignals.CloseOnSignal(&frame);
    bridge.SetMessageBoxParent(&frame);
    // Posted commands (the serial recovery among them) go to the main window.
    bridge.SetCommandHandler([&frame](int command) { frame.OnCommand(command); });
    theApp.m_pMainWnd = &frame;
    CMultiDocTemplate imageDocTemplate(frame.mdiArea());
    ScopedImageDocTemplate installedImageDocTemplate(&imageDocTemplate);
    InstallDeviceWindows(frame.Commands(), &frame);
    InstallSettingsWindows(frame.Commands(), &frame, [](const std::string& name, CString& error) {
        return CreateNewExperiment(name.c_str(), error);
    });
    const auto operatorPromptWindows = InstallOperatorPromptWindows(frame.Commands(), &frame);
    InstallScriptHooks();
    InstallScriptWindows(frame.Commands(), &frame);
    InstallCustomerScriptChooser(frame.Commands(), &frame);
    InstallCustomerScreen();
    InstallCustomerUICommands();
    SetExperimentSettingsWindow([&frame] {
        platform::RunOnUiThread([&frame] { ExperimentSettingsDlg(&frame).DoModal(); });
    });
    frame.show();

    // Without a real instrument the program drives the virtual one.
    sim::VirtualInstrumentSession instrument;
    if (!instrument.Start(&error)) {
        LogErrAndInfo(__FILE__, __LINE__, error.c_str());
        platform::ShowMessageBox(error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
    }
    ScopedLiveView liveView(frame.Commands(), [&frame] { return ChooseCartridgeForLiveImage(&frame); });

    // Discovery probes every COM port, so it runs beside the user interface;
    // its messages reach the user through the bridge.
    frame.statusBar()->showMessage("Looking for the pumps and the stage...");
    std::atomic<bool> discoveryDone{false};
    std::thread discovery([&frame, &discoveryDone]() {
        const bool found = theApp.ReInitializeSerialPortDevices(nullptr);
        // Discovery probes without the hook; from now on a failed transaction
        // asks the main window to find the devices again.
        g_SerialPortFailureHook = OnSerialPortFailure;
        discoveryDone = true;
        QMetaObject::invokeMethod(&frame, [&frame, found]() {
            QString text = found ? QString("Serial devices ready:") : QString("Serial devices missing:");
            text += theApp.m_nPumpComPort ? QString(" pumps on COM%1").arg(theApp.m_nPumpComPort)
                                          : QString(" no pumps");
            if (theApp.m_nStageComPort) text += QString(", stage on COM%1").arg(theApp.m_nStageComPort);
            frame.statusBar()->showMessage(text);
        });
    });

    // The cartridge catalogue comes last; without it start-up still goes on.
    CString cartridgeError;
    if (!LoadCartridgeTypes(cartridgeError)) {
        LogErrAndInfo(__FILE__, __LINE__, cartridgeError);
        platform::ShowMessageBox(cartridgeError.str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
    }

    // Test facility: close the program on its own after a delay, so that the
    // start-up and shut-down paths can run unattended.
    if (const char* exitAfter = std::getenv("VELLORA_EXIT_AFTER_MS")) {
        QTimer::singleShot(std::atoi(exitAfter), &frame, &QWidget::close);
    }
    const int result = application.exec();
    // A discovery still running may wait on the user-interface thread; keep
    // serving it until it ends.
    while (!discoveryDone) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    discovery.join();
    SetFrameHooks({});
    SetExperimentSettingsWindow(nullptr);
    theApp.ExitInstance();
    theApp.m_pMainWnd = nullptr;
    return result;
}
