#include "imaging/RenderList.h"

#include <map>
#include <mutex>
#include <thread>

#include <opencv2/core.hpp>

#include "app/VelloraApp.h"
#include "imaging/ImageView.h"
#include "imaging/RenderOverlays.h"
#include "support/AppLogs.h"

namespace {

// The log lines of the render list and the render thread name the view's source.
constexpr const char* kLogSource = "ImageView.cpp";
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr uint32_t kIdleRequestWaitMs = 1000;

std::mutex g_targetsMutex;
std::map<HWND, RenderTarget*> g_targets;
HWND g_nextTarget = 1;

std::mutex g_toolLinesMutex;
ToolLinesSources g_toolLinesSources;

std::mutex g_renderFunctionMutex;
RenderImageFunction g_renderFunction;

bool DrawRequest(RenderRequest* request, cv::Mat& picture) {
    RenderImageFunction function;
    {
        std::lock_guard<std::mutex> lock(g_renderFunctionMutex);
        function = g_renderFunction;
    }
    return function && function(request, picture);
}

// Asks the idle handler to close the document of the path.
void QueueDocumentClose(const CString& path) {
    if (!g_IdleRequestSemaphore || !g_IdleRequestSemaphore->Wait(kIdleRequestWaitMs)) {
        return;  // the document stays open
    }
    g_CloseDocumentRequests.emplace_back(path.GetString());
    g_IdleRequestSemaphore->Release();
}

}  // namespace

int32_t g_SavedChannelMagnetLines[4] = {-1, -1, -1, -1};
bool g_ToolLinesActive = false;

void SetToolLinesSources(ToolLinesSources sources) {
    std::lock_guard<std::mutex> lock(g_toolLinesMutex);
    g_toolLinesSources = std::move(sources);
}

ToolLinesSources GetToolLinesSources() {
    std::lock_guard<std::mutex> lock(g_toolLinesMutex);
    return g_toolLinesSources;
}

void ApplyToolChannelMagnetLines() {
    const ToolLinesSources sources = GetToolLinesSources();
    int32_t toolRows[4] = {};
    const bool fromTool = (sources.projectionTool && sources.projectionTool(toolRows)) ||
                          (sources.fractionationTool && sources.fractionationTool(toolRows));
    if (fromTool) {
        if (!g_ToolLinesActive) {
            for (int i = 0; i < 4; ++i) g_SavedChannelMagnetLines[i] = g_ChannelMagnetLines[i];
        }
        for (int i = 0; i < 4; ++i) g_ChannelMagnetLines[i] = toolRows[i];
        g_ToolLinesActive = true;
    } else if (g_ToolLinesActive) {
        for (int i = 0; i < 4; ++i) g_ChannelMagnetLines[i] = g_SavedChannelMagnetLines[i];
        g_ToolLinesActive = false;
    }
}

HWND RegisterRenderTarget(RenderTarget* target) {
    std::lock_guard<std::mutex> lock(g_targetsMutex);
    const HWND window = g_nextTarget++;
    g_targets[window] = target;
    return window;
}

void UnregisterRenderTarget(HWND window) {
    std::lock_guard<std::mutex> lock(g_targetsMutex);
    g_targets.erase(window);
}

bool IsWindow(HWND window) {
    std::lock_guard<std::mutex> lock(g_targetsMutex);
    return g_targets.count(window) != 0;
}

bool PresentRenderedPicture(HWND window, const cv::Mat& picture) {
    std::lock_guard<std::mutex> lock(g_targetsMutex);
    const auto found = g_targets.find(window);
    if (found == g_targets.end()) {
        return false;
    }
    found->second->PresentPicture(picture);
    return true;
}

void SetRenderImageFunction(RenderImageFunction function) {
    std::lock_guard<std::mutex> lock(g_renderFunctionMutex);
    g_renderFunction = std::move(function);
}

bool AddToRenderList(RenderRequest* request) {
    const uint32_t waitMs = request->m_rcTarget.left != 0 ? 10000 : 1000;
    if (!_render_list_semaphore) {
        LogErrAndInfo(kLogSource, __LINE__,
                      CString::Formatted("%s() error %08X waiting for _render_list_semaphore.", "AddToRenderList",
                                         kWaitFailed));
        return false;
    }
    if (!_render_list_semaphore->Wait(waitMs)) {
        LogErrAndInfo(kLogSource, __LINE__,
                      CString::Formatted("%s() Timeout after waiting %ums for _render_list_semaphore.",
                                         "AddToRenderList", waitMs));
        return false;
    }
    bool stored = false;
    for (RenderRequest*& slot : g_RenderList) {
        if (!slot) {
            slot = request;
            stored = true;
            break;
        }
        if (slot->m_strImagePath.Compare(request->m_strImagePath) == 0) {
            // A repaint must not cancel a pending reference image or
            // document close: the newer request takes them over.
            request->m_bSaveReference = request->m_bSaveReference || slot->m_bSaveReference;
            request->m_bCloseDocument = request->m_bCloseDocument || slot->m_bCloseDocument;
            delete slot;
            slot = request;
            stored = true;
            break;
        }
    }
    _render_list_semaphore->Release();
    if (!stored) {
        LogErrAndInfo(kLogSource, __LINE__, "Render List Overflow.");
        return false;
    }
    g_RenderEvent->Set();
    return true;
}

RenderRequest* TakeRenderListHead() {
    _render_list_semaphore->Wait(platform::kInfinite);
    RenderRequest* head = g_RenderList[0];
    if (!head) {
        // Reset while holding the lock: a request queued after this sets
        // the event again, so none is missed.
        g_RenderEvent->Reset();
    } else {
        for (int i = 0; i + 1 < kRenderListSize; ++i) {
            g_RenderList[i] = g_RenderList[i + 1];
        }
        g_RenderList[kRenderListSize - 1] = nullptr;
    }
    _render_list_semaphore->Release();
    return head;
}

namespace {

// While the run screen shows live video, every request is drawn into its
// video panel instead of its own view.
void RedirectToRunScreen(RenderRequest& request) {
    const RunScreenRenderHooks hooks = GetRunScreenRenderHooks();
    uintptr_t window = 0;
    RECT panel;
    double zoom[4] = {0.0, 1.0, 0.0, 1.0};
    if (!hooks.videoTarget || !hooks.videoTarget(&window, &panel, zoom)) {
        return;
    }
    request.m_hWnd = window;
    request.m_rcTarget = panel;
    request.m_dViewLeft = zoom[0];
    request.m_dViewRight = zoom[1];
    request.m_dViewTop = zoom[2];
    request.m_dViewBottom = zoom[3];
    request.m_bResample = true;
}

}  // namespace

void ServeRenderRequest(RenderRequest* request) {
    RedirectToRunScreen(*request);
    const char* reason = "Image is not displayed due to invalid window handle";
    if (!IsWindow(request->m_hWnd)) {
        LogErrAndInfo(kLogSource, __LINE__, reason);
        delete request;
        return;
    }
    const RECT& target = request->m_rcTarget;
    const int width = target.right - target.left + 1;
    const int height = target.bottom - target.top + 1;
    ApplyToolChannelMagnetLines();
    if (width > 0 && height > 0) {
        // Not cleared: the drawing covers the whole picture, and a picture
        // whose drawing failed is not shown.
        cv::Mat picture(height, width, CV_8UC4);
        if (DrawRequest(request, picture)) {
            PresentRenderedPicture(request->m_hWnd, picture);
        }
    }
    if (request->m_bCloseDocument) {
        QueueDocumentClose(request->m_strImagePath);
    }
    delete request;
}

void RunRenderLoop(const std::atomic<bool>& stop) {
    while (!stop) {
        g_RenderEvent->Wait(platform::kInfinite);
        if (stop) {
            break;
        }
        if (RenderRequest* request = TakeRenderListHead()) {
            ServeRenderRequest(request);
        }
    }
}

void ImageRenderThreadProc(void* parameter) {
    (void)parameter;
    static const std::atomic<bool> never{false};
    RunRenderLoop(never);
}

namespace {
std::mutex g_renderThreadMutex;
std::thread g_renderThread;
std::atomic<bool> g_stopRenderThread{false};
}  // namespace

void StartImageRenderThread() {
    std::lock_guard<std::mutex> lock(g_renderThreadMutex);
    if (g_renderThread.joinable()) {
        return;
    }
    if (!g_MatAccessSemaphore) {
        g_MatAccessSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    }
    if (!g_RenderEvent) {
        g_RenderEvent = std::make_unique<platform::Event>(true, true);
    }
    if (!_render_list_semaphore) {
        _render_list_semaphore = std::make_unique<platform::Semaphore>(1, 1);
    }
    g_stopRenderThread = false;
    g_renderThread = std::thread([] { RunRenderLoop(g_stopRenderThread); });
}

void StopImageRenderThread() {
    std::lock_guard<std::mutex> lock(g_renderThreadMutex);
    if (!g_renderThread.joinable()) {
        return;
    }
    g_stopRenderThread = true;
    g_RenderEvent->Set();
    g_renderThread.join();
}
