#pragma once

// The live preview window and the Live Image command that toggles it: the
// command closes an open preview, or opens a new image window for the live
// view and wakes the live-view thread. Closing the preview window (by the
// command, the Close Preview command or its own close box) ends the live
// view.
//
// Everything here runs on the user-interface thread.

#include <cstdint>
#include <functional>

class CommandRouter;
class CImageDoc;

// Closes the live preview; true when one was open (and had its window).
bool CloseLivePreview();

// The tick count at which the Live Image command last closed the preview.
extern uint32_t g_LastPreviewCloseTick;

// The question the Live Image command asks before it opens the preview
// (which cartridge is in use); false cancels the command. It is not asked
// while the customer run screen is shown, nor when the preview was closed
// by the command a moment ago (the image-type box restarts the live view
// by closing and reopening it at once).
using LiveImageQuestion = std::function<bool()>;

// Makes the program's live view work: the camera of [ExperimentSettings]
// CameraType is opened when start-up has not made one, the digital I/O
// mapping is loaded, the live-view thread starts, the Live Image command
// (with its question, which may be empty) and the main window's questions
// about the preview are handled here.
// Failures are logged; the command then reports through the live view's log.
// Undone, the thread ended, when the scope ends: before the image document
// template and the main window go away.
class ScopedLiveView {
public:
    ScopedLiveView(CommandRouter& commands, LiveImageQuestion askFirst);
    ~ScopedLiveView();
    ScopedLiveView(const ScopedLiveView&) = delete;
    ScopedLiveView& operator=(const ScopedLiveView&) = delete;

private:
    CommandRouter& m_commands;
};
