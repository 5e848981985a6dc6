#include "imaging/MfgTestOverlay.h"

#include <cstring>
#include <mutex>

#include "app/VelloraApp.h"

std::atomic<bool> g_MfgTestBrightnessActive{false};
MfgTestBrightnessTarget g_MfgTestBrightnessTarget;
std::atomic<int32_t> g_MfgTestBrightnessResult{0};
std::atomic<int32_t> g_MfgTestBrightnessLastValue{0};
std::vector<MfgTestSymbol> g_MfgTestSymbols;
int32_t g_nMfgTestSymbolSequence = 0;

namespace {

std::mutex g_eventMutex;
std::shared_ptr<platform::Event> g_brightnessEvent;

// Guarded by the symbol list's lock, like the list itself.
std::vector<MfgTestSymbolType> g_MfgTestSymbolTypes;
// Set once the first symbol or type is made; until then a clear has nothing to do.
std::atomic<bool> g_symbolsUsed{false};

bool SameNameIgnoringAsciiCase(const std::string& a, const char* b) {
    const size_t length = std::strlen(b);
    if (a.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

MfgTestSymbolType* TypeOfId(int32_t id) {
    const int64_t position = static_cast<int64_t>(id) - kFirstUserMfgTestSymbolType;
    if (position < 0 || position >= static_cast<int64_t>(g_MfgTestSymbolTypes.size())) return nullptr;
    return &g_MfgTestSymbolTypes[static_cast<size_t>(position)];
}

}  // namespace

void SetMfgTestBrightnessEvent(std::shared_ptr<platform::Event> event) {
    std::lock_guard<std::mutex> lock(g_eventMutex);
    g_brightnessEvent = std::move(event);
}

std::shared_ptr<platform::Event> GetMfgTestBrightnessEvent() {
    std::lock_guard<std::mutex> lock(g_eventMutex);
    return g_brightnessEvent;
}

bool SameTarget(const MfgTestBrightnessTarget& a, const MfgTestBrightnessTarget& b) {
    return a.low == b.low && a.high == b.high && a.ix == b.ix && a.iy == b.iy && a.sz == b.sz;
}

void ReportMfgTestBrightness(int32_t median, const MfgTestBrightnessTarget& target) {
    if (median >= target.low && median <= target.high) {
        std::shared_ptr<platform::Event> event = GetMfgTestBrightnessEvent();
        // A request made before the running measurement set its target
        // carries an older band: it must not answer this one. The target is
        // written before the event is installed, so it is stable here.
        if (event && SameTarget(target, g_MfgTestBrightnessTarget)) {
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

bool AddMfgTestSymbol(MfgTestSymbol symbol) {
    g_symbolsUsed = true;
    platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
    if (!lock.Held()) return false;
    symbol.sequence = g_nMfgTestSymbolSequence++;
    g_MfgTestSymbols.push_back(symbol);
    return true;
}

bool ClearMfgTestSymbols() {
    if (!g_symbolsUsed) return true;
    {
        platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
        if (lock.Held()) g_MfgTestSymbols.clear();
    }
    theApp.InvalidateAllImageViews();
    return true;
}

bool FindMfgTestSymbolType(const char* name, int32_t& id, bool& existed) {
    g_symbolsUsed = true;
    platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
    if (!lock.Held()) return false;
    const char* wanted = name ? name : "";
    for (const MfgTestSymbolType& type : g_MfgTestSymbolTypes) {
        if (SameNameIgnoringAsciiCase(type.name, wanted)) {
            id = type.id;
            existed = true;
            return true;
        }
    }
    MfgTestSymbolType type;
    type.name = wanted;
    type.id = kFirstUserMfgTestSymbolType + static_cast<int32_t>(g_MfgTestSymbolTypes.size());
    g_MfgTestSymbolTypes.push_back(type);
    id = type.id;
    existed = false;
    return true;
}

bool MfgTestSymbolTypeExists(int32_t id, bool& locked) {
    platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
    locked = lock.Held();
    return locked && TypeOfId(id) != nullptr;
}

bool AddPointToMfgTestSymbolType(int32_t id, int32_t x, int32_t y, bool& noSuchType) {
    noSuchType = false;
    platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
    if (!lock.Held()) return false;
    MfgTestSymbolType* type = TypeOfId(id);
    if (!type) {
        noSuchType = true;
        return false;
    }
    type->points.push_back({x, y});
    return true;
}

bool CopyMfgTestSymbolTypePoints(int32_t id, std::vector<MfgTestPoint>& points) {
    platform::SemaphoreLock lock(MfgTestSymbolsSemaphore(), kMfgTestSymbolsWaitMs);
    if (!lock.Held()) return false;
    const MfgTestSymbolType* type = TypeOfId(id);
    if (!type) return false;
    points = type->points;
    return true;
}
