#pragma once

// The live preview window and the Live Image command that toggles it: the
// command closes an open preview, or opens a new image window for the live
// view and wakes the live-view thread. Closing the preview window (by the
// command, the Close Preview command or its own close box) ends the live
// view.
//
// Everything here runs on the user-interface thread.

class CommandRouter;
class CImageDoc;

// Closes the live preview; true when one was open (and had its window).
bool CloseLivePreview();

// Makes the program's live view work: the camera of [ExperimentSettings]
// CameraType is opened when start-up has not made one, the digital I/O
// mapping is loaded, the live-view thread starts, the Live Image command
// (and the main window's questions about the preview) are handled here.
// Failures are logged; the command then reports through the live view's log.
// Undone, the thread ended, when the scope ends: before the image document
// template and the main window go away.
class ScopedLiveView {
public:
    explicit ScopedLiveView(CommandRouter& commands);
    ~ScopedLiveView();
    ScopedLiveView(const ScopedLiveView&) = delete;
    ScopedLiveView& operator=(const ScopedLiveView&) = delete;

private:
    CommandRouter& m_commands;
};
