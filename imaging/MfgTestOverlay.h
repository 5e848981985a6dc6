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
#include <string>
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

// Grows by one for each symbol added; never reset.
extern int32_t g_nMfgTestSymbolSequence;

// Appends a symbol (its sequence is set here) under the list's lock; false
// when the lock was not obtained within 1000 ms.
bool AddMfgTestSymbol(MfgTestSymbol symbol);

// Empties the symbol list (the user types stay) and redraws every image
// view; the list is left as it was when its lock is not obtained. Nothing
// happens when no symbol or type was ever made. Always true.
bool ClearMfgTestSymbols();

// A user symbol type: a shape of points relative to the symbol's position,
// drawn as one line through them. Its id is 1000 + its position in the
// table; types are appended and never removed while the program runs.
struct MfgTestPoint {
    int32_t x = 0;
    int32_t y = 0;
};
struct MfgTestSymbolType {
    std::vector<MfgTestPoint> points;
    std::string name;
    int32_t id = 0;
};
constexpr int32_t kFirstUserMfgTestSymbolType = 1000;

// The type of the name (ASCII letters compared without regard to case), or
// a new empty one appended; `existed` tells which. The table is changed and
// read under the symbol list's lock, since the renderer reads it while it
// draws; false only when the lock was not obtained within 1000 ms.
bool FindMfgTestSymbolType(const char* name, int32_t& id, bool& existed);
// Whether a user type of the id exists; `locked` is false when the lock was
// not obtained within 1000 ms.
bool MfgTestSymbolTypeExists(int32_t id, bool& locked);
// Appends a point to the type of the id; false when the lock was not
// obtained (`noSuchType` tells an id that names no type).
bool AddPointToMfgTestSymbolType(int32_t id, int32_t x, int32_t y, bool& noSuchType);
// Copies the points of the type of the id; false when there is none or the
// lock was not obtained.
bool CopyMfgTestSymbolTypePoints(int32_t id, std::vector<MfgTestPoint>& points);
