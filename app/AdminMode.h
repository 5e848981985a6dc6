#pragma once

// The administrator mode: off at start-up, switched on by the main window's
// Admin Mode command after the administrator password, and then on until the
// program ends. It unlocks the engineering windows.

#include <functional>
#include <string>

// The state of the Admin Mode command: checked while the mode is on;
// enabled while it is off and [AdminMode] Setting of the main settings file
// is not 0 (a missing or unparsable value counts as 1).
struct AdminModeCommandState {
    bool enabled = false;
    bool checked = false;
};
AdminModeCommandState GetAdminModeCommandState();

// Asks for the password: shows the prompt and returns true with the typed
// text when the user confirms, false when the prompt is cancelled or closed.
using PasswordPrompt = std::function<bool(const std::string& prompt, std::string* typed)>;

// The windows that show the mode (control panel, scripts console) install
// one function that is told every change; none until then.
void SetAdminModeChangedHook(std::function<void(bool adminMode)> hook);
// The installed function, so that a window can chain its own to it.
std::function<void(bool adminMode)> GetAdminModeChangedHook();

// The Admin Mode command: up to three tries. The right password switches
// the mode on; a cancelled prompt leaves it off; three wrong ones end with a
// message. Runs on the user-interface thread.
void RunAdminModeCommand(const PasswordPrompt& prompt);
