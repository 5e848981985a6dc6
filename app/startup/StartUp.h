#pragma once

// The program's start-up: CVelloraApp::InitInstance brings the system up on
// the user-interface thread in one fixed order (single instance, data
// folders, run log, version, enciphered profiles, main settings file, main
// window, instrument power, camera, worker threads, digital I/O, serial
// devices, camera details, modeless windows, customer script, cartridge
// catalogue) and decides which failures end the program (false) and which
// are only reported (log and message box) while start-up goes on.
//
// The windows belong to higher layers: the program installs them here
// (StartupWindows) before InitInstance. A step whose window is not installed
// is passed over, so the sequence also runs headless.
//
// Errors: fatal steps show their message through the user-interface bridge
// and make InitInstance return false; nothing made before is undone.

#include <functional>
#include <string>

#include "platform/CString.h"

// What start-up asks of the program's windows.
struct StartupWindows {
    // The image document template; false ends the program.
    std::function<bool()> createDocumentTemplate;
    // The main window, made and shown; false ends the program.
    std::function<bool()> createMainWindow;
    // The modeless windows, made hidden: the wait and inform-operator
    // prompts, the scripts console, the customer run screen. Failures are
    // not reported.
    std::function<void()> createModelessWindows;
    // The main window's run-the-user-interface command (starts the customer
    // run screen's default script).
    std::function<void()> runUserInterface;
};
void SetStartupWindows(StartupWindows windows);

// The instrument's USB probe (mode 1: power, mode 2: camera present).
using UsbProbe = std::function<bool(int mode, bool runLister)>;

// False when the user declines to go on without instrument power. The waits
// go through the program's clock.
bool CheckInstrumentPower();
bool CheckInstrumentPower(const UsbProbe& probe);

// Registers an existing enciphered file with the profile store, so that its
// rewrites stay enciphered; a missing or plain file is left alone.
void RegisterEncryptedProfile(const char* path);

// "%d.%d.%d.%d" of the program's four version numbers.
std::string ProgramFileVersion();

// Appended to the camera and digital I/O failures of start-up.
extern const char* const kPowerCycleText;

// The single-instance lock that InitInstance took; released for a headless
// start that ends inside a running process (tests).
void ReleaseInstanceLock();

// Ends the worker threads that start-up started and that wait on objects
// the process tears down at exit (the workflow thread). The program calls it
// once its message loop has ended.
void StopStartupThreads();
