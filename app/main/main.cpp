// The program's entry point: the user-interface bridge, the main window, the
// data root, the virtual instrument, and the serial discovery of its devices.

#include <QApplication>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "app/VelloraApp.h"
#include "app/ui/MainFrame.h"
#include "platform/Folders.h"
#include "platform/UiBridge.h"
#include "platform/ui/QtUiBridge.h"
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

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vellora");

    platform::QtUiBridge bridge;
    platform::ScopedUiBridge installedBridge(bridge);

    // The main window reads the main settings file (the image type names),
    // so the data root comes first.
    std::string error;
    if (!PrepareDataRoot(&error)) {
        platform::ShowMessageBox(error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        return 1;
    }

    CMainFrame frame;
    bridge.SetMessageBoxParent(&frame);
    // Posted commands (the serial recovery among them) go to the main window.
    bridge.SetCommandHandler([&frame](int command) { frame.OnCommand(command); });
    theApp.m_pMainWnd = &frame;
    frame.show();

    // Without a real instrument the program drives the virtual one.
    sim::VirtualInstrumentSession instrument;
    if (!instrument.Start(&error)) {
        LogErrAndInfo(__FILE__, __LINE__, error.c_str());
        platform::ShowMessageBox(error, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
    }

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
    theApp.m_pMainWnd = nullptr;
    return result;
}
