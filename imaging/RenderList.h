#pragma once

// The render list and the render thread. Image views queue render requests
// (at most one pending request per image path, always the newest) on a list
// of 100 slots; one render thread takes them in order, draws each into a
// picture of its target's client size off the user-interface thread, and
// hands the finished picture to its target window. The thread never touches
// a window: it finds the target in a thread-safe registry and the target
// queues the picture onto the user-interface thread.
//
// Errors are written to the error-and-info log; a refused request stays with
// its caller.

#include <atomic>
#include <cstdint>
#include <functional>

#include "imaging/RenderRequest.h"

namespace cv {
class Mat;
}

// A window the render thread draws for.
class RenderTarget {
public:
    virtual ~RenderTarget() = default;
    // Receives a finished picture (8-bit, 4 channels, pixels 0x00RRGGBB) on
    // the render thread; must only queue it for the user-interface thread.
    // Called under the registry's lock, so the target cannot go away meanwhile.
    virtual void PresentPicture(const cv::Mat& picture) = 0;
};

// The windows that can receive pictures. Handles are never reused, so a
// request for a closed window finds nothing even when another window opened
// since.
HWND RegisterRenderTarget(RenderTarget* target);
void UnregisterRenderTarget(HWND window);
bool IsWindow(HWND window);
// Hands the picture to the window; false when it no longer exists.
bool PresentRenderedPicture(HWND window, const cv::Mat& picture);

// Queues a request. True: the list owns it (a pending request for the same
// path is replaced, and its reference-image and close flags carry over).
// False: refused (lock time-out or 100 other images pending); the caller
// still owns and deletes it.
bool AddToRenderList(RenderRequest* request);

// Takes the request at the head of the list and moves the others up; null
// when the list is empty (the render event is then reset).
RenderRequest* TakeRenderListHead();

// Draws a request into `picture` ((width + 1) x (height + 1) of its target
// rectangle, 8-bit 4 channels, not cleared). True when the whole picture was
// drawn; only then is it shown.
using RenderImageFunction = std::function<bool(RenderRequest* request, cv::Mat& picture)>;
// Installed once by the views' library before requests are served.
void SetRenderImageFunction(RenderImageFunction function);

// The channel and magnet rows of a visible folder analysis tool, in the
// order of g_ChannelMagnetLines: the projection tool's while its window is
// visible, else the fractionation tool's; each source answers false while its
// window is not visible. Installed by the tools while their windows exist.
using ToolLinesSource = std::function<bool(int32_t rows[4])>;
struct ToolLinesSources {
    ToolLinesSource projectionTool;
    ToolLinesSource fractionationTool;
};
void SetToolLinesSources(ToolLinesSources sources);
ToolLinesSources GetToolLinesSources();
// While a tool's rows are drawn, the view's own rows are kept here.
extern int32_t g_SavedChannelMagnetLines[4];
extern bool g_ToolLinesActive;  // render thread only
// Puts a visible tool's rows in place of the view's, or the view's back.
void ApplyToolChannelMagnetLines();

// Draws one request for its target window, queues the close of its document
// when asked, and deletes it.
void ServeRenderRequest(RenderRequest* request);

// The render thread's procedure; serves the list forever.
void ImageRenderThreadProc(void* parameter);
// The same loop, ending when `stop` is set and the render event is set.
void RunRenderLoop(const std::atomic<bool>& stop);

// Creates the matrix lock, the render list's lock and event when start-up
// has not made them yet, and starts the render thread once.
void StartImageRenderThread();
// Ends the render thread after the request it is drawing, before the
// process tears down the objects it waits on. Pending requests stay queued.
void StopImageRenderThread();
