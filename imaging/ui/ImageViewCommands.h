#pragma once

// The main window's commands that act on the active image view (scaling,
// zooming, saving, the line search, the row flattening), the pixel readout
// of the status bar, and the ROI Manager window with the hooks through which
// the main window and the scripts reach it.
//
// User-interface thread.

class CommandRouter;
class QLabel;
class QMdiArea;
class QWidget;
class ImageViewWidget;

// The view of the active MDI window, or null.
ImageViewWidget* ActiveImageView(QMdiArea* area);

// Installs the handlers and hooks; `readoutPane` (may be null) shows the
// pixel readout of the active view. Undone by RemoveImageViewCommands.
void InstallImageViewCommands(CommandRouter& commands, QMdiArea* area, QLabel* readoutPane, QWidget* parent);
void RemoveImageViewCommands(CommandRouter& commands);
