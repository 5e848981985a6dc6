#pragma once

// Installs the analysis tool windows on the main window's commands: each
// window is made on the first use of its command and afterwards shown (and,
// for the tools that toggle, hidden) by it. Also answers the main window's
// question whether a batch image analysis runs.

class CommandRouter;
class QWidget;

void InstallToolWindows(CommandRouter& commands, QWidget* parent);

// The folder analysis windows, of which at most one is shown: each registers
// itself, and showing one hides the others.
void RegisterFolderTool(QWidget* window);
void ShowOnlyFolderTool(QWidget* shown);
