#include "imaging/MfgTestOverlay.h"

#include <mutex>

std::atomic<bool> g_MfgTestBrightnessActive{false};
MfgTestBrightnessTarget g_MfgTestBrightnessTarget;
std::atomic<int32_t> g_MfgTestBrightnessResult{0};
std::atomic<int32_t> g_MfgTestBrightnessLastValue{0};
std::vector<MfgTestSymbol> g_MfgTestSymbols;

namespace {

std::mutex g_eventMutex;
std::shared_ptr<platform::Event> g_brightnessEvent;

}  // namespace

void SetMfgTestBrightnessEvent(std::shared_ptr<platform::Event> event) {
    std::lock_guard<std::mutex> lock(g_eventMutex);
    g_brightnessEvent = std::move(event);
}

std::shared_ptr<platform::Event> GetMfgTestBrightnessEvent() {
    std::lock_guard<std::mutex> lock(g_eventMutex);
    return g_brightnessEvent;
}

void ReportMfgTestBrightness(int32_t median, const MfgTestBrightnessTarget& target) {
    if (median >= target.low && median <= target.high) {
        if (std::shared_ptr<platform::Event> event = GetMfgTestBrightnessEvent()) {
            // The result is written before the event wakes the script.
            g_MfgTestBrightnessResult = median;
            event->Set();
        }
    } else {
        g_MfgTestBrightnessLastValue = median;
    }
}

platform::Semaphore& MfgTestSymbolsSemaphore() {
    static platform::Semaphore semaphore(1, 1);
    return semaphore;
}

bool NextShownMfgTestSymbol(size_t& index, MfgTestSymbol& symbol) {
    platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
    if (!lock.Held()) return false;
    for (; index < g_MfgTestSymbols.size(); ++index) {
        if (g_MfgTestSymbols[index].shown != 0) {
            symbol = g_MfgTestSymbols[index++];
            return true;
        }
    }
    return false;
}
