#pragma once

// Installs the main window's commands that open the device windows. Each
// window is created on the first use of its command and then shown or
// hidden by the same command; the camera settings window is modal.

class CommandRouter;
class QWidget;

void InstallDeviceWindows(CommandRouter& commands, QWidget* parent);
