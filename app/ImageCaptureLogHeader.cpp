#include "app/ImageCaptureLogHeader.h"

#include <cstdio>
#include <mutex>

#include "platform/Time.h"

std::vector<Tovanix::String> g_ImageCaptureLogHeaderLines;
std::atomic<platform::Semaphore*> g_ImageCaptureLogHeaderSemaphore{nullptr};

namespace {

constexpr uint32_t kQueueWaitMs = 1000;

}  // namespace

void CreateImageCaptureLogHeaderSemaphore()
{
    static std::once_flag created;
    // Never freed: capture and script threads may use it until the process ends.
    std::call_once(created, [] { g_ImageCaptureLogHeaderSemaphore.store(new platform::Semaphore(1, 1)); });
}

void QueueImageCaptureLogHeaderLine(const char* text)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u.%03u\t", static_cast<unsigned>(now.wHour),
                  static_cast<unsigned>(now.wMinute), static_cast<unsigned>(now.wSecond),
                  static_cast<unsigned>(now.wMilliseconds));
    Tovanix::String line(stamp);
    line.Append(text ? text : "");

    platform::Semaphore* semaphore = g_ImageCaptureLogHeaderSemaphore.load();
    if (!semaphore || !semaphore->Wait(kQueueWaitMs))
        return;
    g_ImageCaptureLogHeaderLines.push_back(line);
    semaphore->Release();
}

int TakeImageCaptureLogHeaderLines(std::vector<Tovanix::String>& lines)
{
    platform::Semaphore* semaphore = g_ImageCaptureLogHeaderSemaphore.load();
    if (!semaphore || !semaphore->Wait(kQueueWaitMs))
        return 0;
    if (!g_ImageCaptureLogHeaderLines.empty()) {
        lines = std::move(g_ImageCaptureLogHeaderLines);
        g_ImageCaptureLogHeaderLines.clear();
    }
    const int count = static_cast<int>(lines.size());
    semaphore->Release();
    return count;
}
