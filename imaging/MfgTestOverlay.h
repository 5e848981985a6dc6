#pragma once

// What manufacturing-test scripts put over the live image and what the
// renderer gives back: the brightness request (a window of the live image
// whose median must reach a band) and the overlay symbols. The script
// commands fill this state; the renderer reads it while drawing the live
// preview. Empty (no request, no symbols), the renderer draws nothing of it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Sync.h"

// The window whose brightness a test waits for: intensities low..high, centre
// (ix, iy) in image pixels, sz x sz pixels (sz odd); spare is 0.
struct MfgTestBrightnessTarget {
    int32_t low = 0;
    int32_t high = 0;
    int32_t ix = 0;
    int32_t iy = 0;
    int32_t sz = 0;
    int32_t spare = 0;
};

// Set while a brightness measurement runs; render requests of the live
// preview then carry a copy of the target.
extern std::atomic<bool> g_MfgTestBrightnessActive;
// Written by the script thread before it installs the event.
extern MfgTestBrightnessTarget g_MfgTestBrightnessTarget;
// The brightness that satisfied the band, and the last one measured outside it.
extern std::atomic<int32_t> g_MfgTestBrightnessResult;
extern std::atomic<int32_t> g_MfgTestBrightnessLastValue;

// The event of the running measurement (null when none). Held through a
// shared pointer so that the renderer can still signal an event the script
// thread has just given up.
void SetMfgTestBrightnessEvent(std::shared_ptr<platform::Event> event);
std::shared_ptr<platform::Event> GetMfgTestBrightnessEvent();

// Hands a measured brightness to the waiting script: within the band (and
// with an event installed) it becomes the result and the event is set;
// outside the band it becomes the last value.
void ReportMfgTestBrightness(int32_t median, const MfgTestBrightnessTarget& target);

// One overlay symbol over the live image.
struct MfgTestSymbol {
    int32_t type = 0;  // 0 full cross-hair, 1 small cross, 1000 and above a user type
    int32_t x = 0;     // image pixels
    int32_t y = 0;
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t shown = 0;  // drawn only when not 0
    int32_t sequence = 0;
    int32_t lineWidth = 1;
};

// The symbols in the order added; guarded by MfgTestSymbolsSemaphore().
extern std::vector<MfgTestSymbol> g_MfgTestSymbols;
// The symbol list's lock, made on first use; every wait is 1000 ms.
platform::Semaphore& MfgTestSymbolsSemaphore();
constexpr uint32_t kMfgTestSymbolsWaitMs = 1000;

// The next shown symbol at or after `index`, copied under the lock; `index`
// moves past it. False when there is none or the lock was not obtained
// within 1000 ms.
bool NextShownMfgTestSymbol(size_t& index, MfgTestSymbol& symbol);
