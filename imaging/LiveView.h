#pragma once

// The live view: a thread of its own grabs the image type named by the main
// window's image-type box, rotates the frame while a rotation correction is
// in force, hands it to the live preview document and paces the frames,
// while a small log (<data root>/LOG/YYYYMMDD_HHMMSS_LiveImageCapture.LOG)
// records the pacing. The Live Image command opens the preview document and
// wakes the thread; closing the preview document ends the run. The preview
// is titled with theApp.m_strLiveImageType, the name of the type it shows,
// which the run sets on the user-interface thread.
//
// Pacing: the base interval is the camera model's RefreshPeriodMs; while the
// per-type map holds any entry, the shown type's entry (0 when it has none)
// replaces it. A change of the shown type or of the map ends a wait at once.
//
// Errors: a failed run returns false with its text; the thread logs it and
// starts the live view again one second later while the preview is open.
//
// Threads: the run functions are called on the live-view thread only. The
// map and its changed flag are guarded by g_LiveIntervalLock; the rotation
// values and the preview registry may be touched from any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "platform/CString.h"

namespace cv {
class Mat;
}
class CImageDoc;

// Interval in ms by exact image-type name, and whether it changed since the
// pacing loop last looked. Filled and cleared by script commands.
extern std::map<std::string, int> g_LiveIntervalByImageType;
extern bool g_LiveIntervalChanged;
extern std::mutex g_LiveIntervalLock;

// Rotation correction of live frames (radians, rows, pixels); all 0: none.
// Set by script commands, cleared after every run. The four values belong
// together: they are written and read only as one unit, under
// g_LiveRotationLock, so a frame is never corrected with a mix of old and new
// values. Use SetLiveRotation and GetLiveRotation.
struct LiveRotation {
    double angle = 0.0;
    int offset = 0;
    int centerX = 0;
    int centerY = 0;
};
extern std::mutex g_LiveRotationLock;
extern double g_LiveRotationAngle;
extern int g_LiveRotationOffset;
extern int g_LiveRotationCenterX;
extern int g_LiveRotationCenterY;
void SetLiveRotation(const LiveRotation& rotation);
LiveRotation GetLiveRotation();

// The live log of the current run and the local time of its first line
// (ms since 1601). Live-view thread only.
extern CString g_LiveImageCaptureLogPath;
extern uint64_t g_LiveLogStartMs;

// The live-view thread's procedure: waits for g_LiveViewEvent and runs the
// live view, for the life of the process.
void ImageCaptureLiveViewThreadProc();
// The same loop, ending when `stop` is set (and the thread woken).
void RunLiveViewLoop(const std::atomic<bool>& stop);

// One live run; true when it ended because the preview document went away.
bool RunImageCaptureLiveView_low_level(CString& error);

// Waits until the interval has passed since the call, the shown type changed
// (shownType then holds the new text) or the map changed. Returns the
// interval it used: 0 when the type had changed before the wait.
int WaitForNextLiveImage(int interval, CString& shownType);

// Appends one line to the live log; lineNumber 0 starts a new file with the
// column line. Best effort: a file that cannot be opened loses the line.
void AppendLiveImageCaptureLog(int channel, int interval, int exposureUs, int lineNumber);

// Rotates and shifts the frame in place when a correction is in force;
// returns the same frame.
cv::Mat* ApplyLiveImageRotation(cv::Mat* frame);

// The live preview document. The user-interface thread registers it when it
// opens it and forgets it when it closes it (the document's destructor
// forgets it too); the live-view thread hands frames over only while it is
// registered, so a closing document is never written to.
void SetPreviewDocument(CImageDoc* document);
void ForgetPreviewDocument(const CImageDoc* document);
bool PreviewDocumentExists();
// The size of the preview document's image, read under the registry's lock
// (frames are handed over under it). False when there is no preview
// document (`noDocument` set) or it holds no image.
bool GetPreviewImageSize(int& width, int& height, bool& noDocument);
// SetMat on the registered preview document under the registry's lock.
// False with "no document" set when none is registered (the frame stays
// with the caller), else SetMat's result.
bool HandFrameToPreviewDocument(cv::Mat*& frame, bool& noDocument, CString& error);

// The customer run screen follows the live image type while it shows its
// video screen: called on the live-view thread with the new type index
// whenever it changes during a run. Installed by the run screen.
void SetLiveChannelChangeHandler(std::function<void(int typeIndex)> handler);

// Creates the capture semaphore and the live-view event when start-up has
// not made them yet, and starts the live-view thread once.
void StartLiveViewThread();
// Ends the live-view thread after its current frame. `whileWaiting` is
// called repeatedly until the thread has ended (the user-interface thread
// serves its queued calls there, which the thread may be waiting for).
void StopLiveViewThread(const std::function<void()>& whileWaiting);
