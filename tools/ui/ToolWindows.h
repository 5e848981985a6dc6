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

// The folder tools' ROI manager button: makes the program's ROI manager
// window on first use (owned by the tool's parent) and shows it.
void ShowROIManagerFrom(QWidget* tool);

// The projection tool's "..." beside its parameter set: makes the parameter
// editor on first use and shows it; a shown editor stays shown.
void ShowProjectionParamEditor(QWidget* parent);
