#include "imaging/LiveView.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "app/ImageTypes.h"
#include "app/VelloraApp.h"
#include "imaging/ImageDoc.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"

std::map<std::string, int> g_LiveIntervalByImageType;
bool g_LiveIntervalChanged = false;
std::mutex g_LiveIntervalLock;

std::mutex g_LiveRotationLock;
double g_LiveRotationAngle = 0.0;
int g_LiveRotationOffset = 0;
int g_LiveRotationCenterX = 0;
int g_LiveRotationCenterY = 0;

CString g_LiveImageCaptureLogPath;
uint64_t g_LiveLogStartMs = 0;

namespace {

constexpr uint32_t kRetryDelayMs = 1000;
constexpr int kPollMs = 10;
// An unchanged pacing is logged this many times in a row, then no more.
constexpr int kRepeatedLines = 10;

// The preview document and a serial number that changes with every
// registration, so a run can tell its own document from one opened after it.
std::mutex g_previewMutex;
CImageDoc* g_previewDocument = nullptr;
uint64_t g_previewSerial = 0;

std::mutex g_channelHandlerMutex;
std::function<void(int)> g_channelHandler;

// Set while the thread is asked to end; runs and waits end at the next look.
std::atomic<bool> g_liveViewStopping{false};

// The map's interval for the type when the map holds any entry; a type
// without an entry is entered with 0. Under g_LiveIntervalLock.
int MapIntervalOr(int interval, const CString& type) {
    std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
    if (!g_LiveIntervalByImageType.empty()) {
        interval = g_LiveIntervalByImageType[type.str()];
    }
    return interval;
}

bool TakeIntervalChange() {
    std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
    if (!g_LiveIntervalChanged) return false;
    g_LiveIntervalChanged = false;
    return true;
}

CString ShownImageType() { return CString(ImageTypeBox::Text().c_str()); }

uint64_t PreviewSerial() {
    std::lock_guard<std::mutex> lock(g_previewMutex);
    return g_previewDocument ? g_previewSerial : 0;
}

// Whether the run's own preview document is still open.
bool PreviewStillOpen(uint64_t serial) { return serial != 0 && PreviewSerial() == serial; }

// SetMat on the preview document of the given serial (0: whichever is
// registered). A document whose views are gone is closing and counts as none.
bool HandFrameTo(uint64_t serial, cv::Mat*& frame, bool& noDocument, uint64_t* handedTo, CString& error) {
    std::lock_guard<std::mutex> lock(g_previewMutex);
    noDocument = !g_previewDocument || (serial != 0 && serial != g_previewSerial) ||
                 g_previewDocument->GetViewCount() == 0;
    if (noDocument) return false;
    if (handedTo) *handedTo = g_previewSerial;
    return g_previewDocument->SetMat(frame, error);
}

void ReportChannelChange(int typeIndex) {
    std::function<void(int)> handler;
    {
        std::lock_guard<std::mutex> lock(g_channelHandlerMutex);
        handler = g_channelHandler;
    }
    if (handler) handler(typeIndex);
}

// One frame of the type the image-type box names.
bool GrabLiveFrame(cv::Mat*& frame, int& typeIndex, int& exposure, CString& typeName, CString& error) {
    frame = new cv::Mat;
    typeIndex = -1;
    if (!theApp.capture_single_active_image(*frame, typeIndex, exposure, typeName, error)) {
        delete frame;
        frame = nullptr;
        return false;
    }
    return true;
}

}  // namespace

void SetPreviewDocument(CImageDoc* document) {
    std::lock_guard<std::mutex> lock(g_previewMutex);
    g_previewDocument = document;
    ++g_previewSerial;
}

void ForgetPreviewDocument(const CImageDoc* document) {
    std::lock_guard<std::mutex> lock(g_previewMutex);
    if (document && g_previewDocument == document) {
        g_previewDocument = nullptr;
    }
}

bool PreviewDocumentExists() { return PreviewSerial() != 0; }

bool GetPreviewImageSize(int& width, int& height, bool& noDocument) {
    std::lock_guard<std::mutex> lock(g_previewMutex);
    noDocument = !g_previewDocument;
    if (noDocument || !g_previewDocument->m_pImage) return false;
    width = g_previewDocument->m_pImage->cols;
    height = g_previewDocument->m_pImage->rows;
    return true;
}

bool HandFrameToPreviewDocument(cv::Mat*& frame, bool& noDocument, CString& error) {
    return HandFrameTo(0, frame, noDocument, nullptr, error);
}

CImageDoc* CVelloraApp::GetPreviewDoc() {
    std::lock_guard<std::mutex> lock(g_previewMutex);
    return g_previewDocument;
}

void SetLiveChannelChangeHandler(std::function<void(int typeIndex)> handler) {
    std::lock_guard<std::mutex> lock(g_channelHandlerMutex);
    g_channelHandler = std::move(handler);
}

void SetLiveRotation(const LiveRotation& rotation) {
    std::lock_guard<std::mutex> lock(g_LiveRotationLock);
    g_LiveRotationAngle = rotation.angle;
    g_LiveRotationOffset = rotation.offset;
    g_LiveRotationCenterX = rotation.centerX;
    g_LiveRotationCenterY = rotation.centerY;
}

LiveRotation GetLiveRotation() {
    std::lock_guard<std::mutex> lock(g_LiveRotationLock);
    return LiveRotation{g_LiveRotationAngle, g_LiveRotationOffset, g_LiveRotationCenterX, g_LiveRotationCenterY};
}

cv::Mat* ApplyLiveImageRotation(cv::Mat* frame) {
    const LiveRotation rotation = GetLiveRotation();
    if (!frame || frame->empty() || (rotation.angle == 0.0 && rotation.offset == 0)) {
        return frame;
    }
    // The offset moves the frame vertically (a positive offset moves it up),
    // so it goes into the y translation of the rotation.
    const cv::Point2f centre(static_cast<float>(rotation.centerX), static_cast<float>(rotation.centerY));
    cv::Mat matrix = cv::getRotationMatrix2D(centre, rotation.angle * 180.0 / CV_PI, 1.0);
    matrix.at<double>(1, 2) -= rotation.offset;
    cv::warpAffine(*frame, *frame, matrix, frame->size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return frame;
}

void AppendLiveImageCaptureLog(int channel, int interval, int exposureUs, int lineNumber) {
    SYSTEMTIME local;
    GetLocalTime(&local);
    const uint64_t now = platform::SystemTimeToFileTime100ns(local) / 10000;
    if (lineNumber == 0) {
        char name[64];
        std::snprintf(name, sizeof name, "%04u%02u%02u_%02u%02u%02u_LiveImageCapture.LOG", local.wYear, local.wMonth,
                      local.wDay, local.wHour, local.wMinute, local.wSecond);
        CString root = theApp.m_strDataRoot;
        root.Trim();
        const std::string folder = root.IsEmpty() ? std::string("LOG") : platform::JoinPath(root.str(), "LOG");
        g_LiveImageCaptureLogPath = platform::JoinPath(platform::NativePath(folder), name).c_str();
        g_LiveLogStartMs = now;
    }
    FILE* file = std::fopen(g_LiveImageCaptureLogPath.GetString(), "ab");
    if (!file) return;
    if (lineNumber == 0) {
        std::fputs("Elapsed Time(ms)\tChannel\tInterval(ms)\tExposure(us)\r\n", file);
    }
    std::fprintf(file, "%ld\t%ld\t%ld\t%ld\r\n", static_cast<long>(static_cast<int32_t>(now - g_LiveLogStartMs)),
                 static_cast<long>(channel), static_cast<long>(interval), static_cast<long>(exposureUs));
    std::fclose(file);
}

int WaitForNextLiveImage(int interval, CString& shownType) {
    platform::Clock& clock = platform::GetClock();
    const auto start = clock.Now();
    CString text = ShownImageType();
    if (text != shownType) {
        shownType = text;
        return 0;
    }
    interval = MapIntervalOr(interval, shownType);
    for (;;) {
        if (clock.Now() - start >= std::chrono::milliseconds(interval)) {
            return interval;
        }
        text = ShownImageType();
        if (text != shownType) {
            shownType = text;
            return MapIntervalOr(interval, shownType);
        }
        if (TakeIntervalChange() || g_liveViewStopping) {
            return interval;
        }
        clock.SleepFor(std::chrono::milliseconds(kPollMs));
    }
}

bool RunImageCaptureLiveView_low_level(CString& error) {
    if (g_LiveViewEvent) g_LiveViewEvent->Reset();

    cv::Mat* frame = nullptr;
    int typeIndex = -1;
    int exposure = -1;
    CString typeName;
    if (!GrabLiveFrame(frame, typeIndex, exposure, typeName, error)) {
        return false;
    }
    int lastChannel = typeIndex;
    // The view titles the preview with it on the user-interface thread.
    platform::RunOnUiThread([&typeName]() { theApp.m_strLiveImageType = typeName; });

    bool noDocument = false;
    uint64_t serial = 0;
    ApplyLiveImageRotation(frame);
    if (!HandFrameTo(0, frame, noDocument, &serial, error)) {
        delete frame;
        if (noDocument) {
            error = "RunImageCaptureLiveView_low_level() - theApp.GetPreviewDoc() returns 0";
        }
        return false;
    }

    const int interval = GetCameraRefreshPeriodMs(error);
    if (interval == 0) {
        if (error.IsEmpty()) {
            error.Format("%s() at line %ld: Error #1 ", "RunImageCaptureLiveView_low_level", 1284L);
        }
        return false;
    }

    CString shownType = ShownImageType();
    int loggedInterval = 0;
    int loggedChannel = -1;
    int loggedExposure = -1;
    int lineNumber = 0;
    int repeats = 0;
    for (;;) {
        const int used = WaitForNextLiveImage(interval, shownType);
        if (!PreviewStillOpen(serial) || g_liveViewStopping) {
            return true;
        }
        if (!GrabLiveFrame(frame, typeIndex, exposure, typeName, error)) {
            return false;
        }
        if (typeIndex != lastChannel) {
            ReportChannelChange(typeIndex);
            lastChannel = typeIndex;
            // The preview's title names the type it shows.
            platform::RunOnUiThread([&typeName]() { theApp.m_strLiveImageType = typeName; });
        }
        const bool changed = used != loggedInterval || typeIndex != loggedChannel || exposure != loggedExposure;
        if (changed || repeats < kRepeatedLines - 1) {
            AppendLiveImageCaptureLog(typeIndex, used, exposure, lineNumber);
            ++lineNumber;
            repeats = changed ? 0 : repeats + 1;
            loggedInterval = used;
            loggedChannel = typeIndex;
            loggedExposure = exposure;
        }
        ApplyLiveImageRotation(frame);
        if (!HandFrameTo(serial, frame, noDocument, nullptr, error)) {
            delete frame;
            if (noDocument) return true;
            return false;
        }
    }
}

void RunLiveViewLoop(const std::atomic<bool>& stop) {
    while (!stop) {
        g_LiveViewEvent->Wait(platform::kInfinite);
        if (stop) break;
        // Without a preview there is nothing to show: a wake-up left over
        // from a closed preview must not start the camera.
        g_LiveViewEvent->Reset();
        if (!PreviewDocumentExists()) continue;

        CString error;
        if (!RunImageCaptureLiveView_low_level(error)) {
            LogErrAndInfo(__FILE__, __LINE__, error);
            platform::GetClock().SleepFor(std::chrono::milliseconds(kRetryDelayMs));
            // Start again by itself while the preview is open.
            if (PreviewDocumentExists()) g_LiveViewEvent->Set();
        }
        SetLiveRotation(LiveRotation{});
    }
}

void ImageCaptureLiveViewThreadProc() {
    if (!g_LiveViewEvent) return;
    static const std::atomic<bool> never{false};
    RunLiveViewLoop(never);
}

namespace {
std::mutex g_threadMutex;
std::thread g_liveViewThread;
std::atomic<bool> g_liveViewThreadEnded{false};
}  // namespace

void StartLiveViewThread() {
    std::lock_guard<std::mutex> lock(g_threadMutex);
    if (g_liveViewThread.joinable()) return;
    if (!g_CaptureSemaphore) g_CaptureSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    if (!g_LiveViewEvent) g_LiveViewEvent = std::make_unique<platform::Event>(true, false);
    g_liveViewStopping = false;
    g_liveViewThreadEnded = false;
    g_liveViewThread = std::thread([] {
        RunLiveViewLoop(g_liveViewStopping);
        g_liveViewThreadEnded = true;
    });
}

void StopLiveViewThread(const std::function<void()>& whileWaiting) {
    std::lock_guard<std::mutex> lock(g_threadMutex);
    if (!g_liveViewThread.joinable()) return;
    g_liveViewStopping = true;
    g_LiveViewEvent->Set();
    while (!g_liveViewThreadEnded) {
        if (whileWaiting) whileWaiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    g_liveViewThread.join();
    g_liveViewStopping = false;
}
