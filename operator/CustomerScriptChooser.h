#pragma once

// The logic behind the customer script chooser: its two settings in the
// main settings file ([CustomerUI] DefaultScript and RunOnStartup), whether
// the customer script's interpreter runs, the enabled states of its buttons,
// and the end of a customer run. The script files themselves are handled
// by the scripts console's operations on the customer Scripts folder
// (ScriptsConsole::CustomerScriptsFolder).

#include <string>

namespace CustomerScriptChooser {

struct Settings {
    std::string defaultScript;
    bool runOnStartup = false;
};
// Reads both; "TRUE" in any letter case checks Run On Startup.
Settings LoadSettings();
// Writes the name (at most 1023 characters) and "TRUE" or "FALSE". A write
// that fails is logged; false then.
bool SaveSettings(const Settings& settings);

// Interpreter instance 1 exists and its running flag is set.
bool CustomerScriptRunning();

struct Buttons {
    bool edit = false;
    bool run = false;
    bool stop = false;
    bool list = true;
};
// The buttons for a selection (empty name: none), the administrator mode
// and a running customer script.
Buttons ComputeButtons(const std::string& selectedName, bool adminMode, bool running);
// The buttons after a run ended; `editBefore` is Edit's state until then
// (kept outside administrator mode).
Buttons ButtonsAfterRun(const std::string& selectedName, bool adminMode, bool editBefore);

// A refused start only because instance 1 already runs: logged, not shown.
bool IsAlreadyRunningError(const std::string& error);

// What ends every run of instance 1 while the chooser exists: the run
// screen's timers, event and state are reset and live capture stops.
void EndCustomerRun();

}  // namespace CustomerScriptChooser
