#include "app/startup/IdleQueues.h"

#include <mutex>
#include <string>

#include "app/VelloraApp.h"
#include "imaging/ReferenceImage.h"
#include "platform/Sync.h"

namespace {

constexpr uint32_t kIdleRequestWaitMs = 1000;

std::mutex g_windowsMutex;
IdleWindows g_windows;

IdleWindows Windows() {
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    return g_windows;
}

// Takes the newest request of the list; false when the list is empty or its
// lock did not come in time.
bool TakeNewest(std::vector<Tovanix::String>& requests, std::string& path) {
    if (!g_IdleRequestSemaphore) return false;
    platform::SemaphoreLock lock(*g_IdleRequestSemaphore, kIdleRequestWaitMs);
    if (!lock.Held() || requests.empty()) return false;
    path = requests.back().c_str();
    requests.pop_back();
    return true;
}

}  // namespace

void SetIdleWindows(IdleWindows windows) {
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    g_windows = std::move(windows);
}

bool CVelloraApp::OnIdle(long /*count*/) {
    const IdleWindows windows = Windows();
    std::string path;
    if (TakeNewest(g_ReferenceImageRequests, path)) {
        CString ignored;
        if (windows.saveReferenceImage) {
            windows.saveReferenceImage(path.c_str(), ignored);
        } else {
            SaveReferenceImage(path.c_str(), ignored, true);
        }
        return true;
    }
    if (TakeNewest(g_CloseDocumentRequests, path)) {
        if (windows.closeDocument) windows.closeDocument(path);
        return true;
    }
    if (g_ShowVideoDialogRequested.exchange(false)) {
        if (windows.showVideoWindow) windows.showVideoWindow();
        return true;
    }
    return false;
}
