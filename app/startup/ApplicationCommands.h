#pragma once

// The application's own commands that need no window: the single capture of
// the active image types (32815, and 32771 which does the same), the digital
// I/O reset (32818), and capturing (32834) and unloading (32835) the
// background images. Their failures are logged and shown, as each command
// says.

class CommandRouter;

// 32815 / 32771: every active image type captured into the current
// experiment; a failure is logged and shown with the error icon.
void OnCaptureActiveImages();
// 32818: forced reset of the digital I/O device, then the four LED lines off.
void OnDioReset();
// 32834: refused while the workflow runs; otherwise the background images
// are captured again into memory and saved to file (failures shown only).
void OnCaptureBackgroundImages();
// 32835: frees the four background images.
void OnUnloadBackgroundImages();

// Installs the handlers above and the rules of 32834 and 32835.
void InstallApplicationCommands(CommandRouter& commands);
