#pragma once

// Installs the script windows of interpreter 0: the scripts console (made
// hidden now) and the button control panel (made on the first use of its
// command), the main window's commands that show and hide them, what a run
// of interpreter 0 shows in the console, and the administrator mode's
// effect on both. Seeds the default control panel when it is missing.

class CommandRouter;
class QWidget;

void InstallScriptWindows(CommandRouter& commands, QWidget* parent);
