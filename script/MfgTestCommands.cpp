// The manufacturing-test commands: wait until a small window of the live
// image reaches a brightness band, and draw symbols (cross-hairs, small
// crosses, user-defined shapes) over the live video. The symbol list, the
// user types and the brightness request live beside the renderer
// (imaging/MfgTestOverlay.h), which draws the symbols and answers the request.

#include <atomic>
#include <memory>
#include <string>

#include "app/FrameHooks.h"
#include "imaging/LiveView.h"
#include "imaging/MfgTestOverlay.h"
#include "platform/Sync.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"

namespace {

constexpr int32_t kMfgTest_BrightnessAtTarget = 112;
constexpr int32_t kMfgTest_ShowSymbolOverVideo = 113;
constexpr int32_t kMfgTest_RemoveAllSymbolsOverVideo = 114;
constexpr int32_t kMfgTest_CreateSymbolType = 115;
constexpr int32_t kMfgTest_AddPointToSymbolType = 116;

constexpr int32_t kMaxBrightness = 65535;

bool LiveImageOn()
{
    const FrameHooks hooks = GetFrameHooks();
    return hooks.livePreviewOpen && hooks.livePreviewOpen();
}

// The live preview's image size, or the command's internal error.
bool PreviewImageSize(const char* command, int& width, int& height, CString& error)
{
    bool noDocument = false;
    if (GetPreviewImageSize(width, height, noDocument))
        return true;
    error.Format(noDocument ? "%s() : Internal error #1" : "%s() : Internal error #2", command);
    return false;
}

// Clears the running flag on every way out of a measurement.
struct BrightnessActiveGuard {
    ~BrightnessActiveGuard() { g_MfgTestBrightnessActive = false; }
};

bool MfgTest_BrightnessAtTarget(int low, int high, int ix, int iy, int sz, int timeoutSec, int& result,
                                CString& error)
{
    error.Empty();
    // One measurement in the whole program: both interpreters may ask at once.
    bool idle = false;
    if (!g_MfgTestBrightnessActive.compare_exchange_strong(idle, true)) {
        error = "Already running MfgTest_BrightnessAtTarget().";
        return false;
    }
    BrightnessActiveGuard clearOnExit;

    if (!LiveImageOn()) {
        error = "Image preview is not active.";
        return false;
    }
    if (low < 0) {
        error = "low must be greater than or equal to 0";
        return false;
    }
    if (low >= high) {
        error = "high must be must be greater than or equal to low";
        return false;
    }
    if (low >= kMaxBrightness) {
        error.Format("low must be less than to %ld", static_cast<long>(kMaxBrightness));
        return false;
    }
    if (high > kMaxBrightness) {
        error.Format("high must be less than or equal to %ld must be greater than or equal to 0",
                     static_cast<long>(kMaxBrightness));
        return false;
    }
    int width = 0, height = 0;
    if (!PreviewImageSize("MfgTest_BrightnessAtTarget", width, height, error))
        return false;
    const int half = sz / 2;
    if (sz % 2 == 0) {
        error = "sz must be an odd number.";
        return false;
    }
    if (ix - half < 0) {
        error = "ix - sz/2 must be greater than or equal to zero.";
        return false;
    }
    if (ix + half >= width) {
        error.Format("ix + sz/2 must be less than image width: %ld.", static_cast<long>(width));
        return false;
    }
    if (iy - half < 0) {
        error = "iy - sz/2 must be greater than or equal to zero.";
        return false;
    }
    if (iy + half >= height) {
        error.Format("ix + sz/2 must be less than image height: %ld.", static_cast<long>(height));
        return false;
    }
    if (timeoutSec < 1 || timeoutSec > 3600) {
        error = "timeout_sec must be between 1 and 3600.";
        return false;
    }

    // The target is complete before the event appears; the renderer answers
    // only while an event is installed.
    g_MfgTestBrightnessTarget = MfgTestBrightnessTarget{low, high, ix, iy, sz, 0};
    g_MfgTestBrightnessResult = 0;
    auto event = std::make_shared<platform::Event>(true, false);
    SetMfgTestBrightnessEvent(event);
    const bool reached = event->Wait(static_cast<uint32_t>(timeoutSec) * 1000u);
    result = reached ? g_MfgTestBrightnessResult.load() : g_MfgTestBrightnessLastValue.load();
    SetMfgTestBrightnessEvent(nullptr);
    return true;
}

bool MfgTest_ShowSymbolOverVideo(int x, int y, int type, int red, int green, int blue, int lineWidth,
                                 CString& error)
{
    if (type >= kFirstUserMfgTestSymbolType) {
        bool locked = false;
        if (!MfgTestSymbolTypeExists(type, locked)) {
            if (!locked)
                error = "MfgTest_ShowSymbolOverVideo() Internal error #1";
            else
                error.Format("Invalid symbol_type: %ld", static_cast<long>(type));
            return false;
        }
    }
    const struct {
        const char* name;
        int value;
    } colours[] = {{"red", red}, {"green", green}, {"blue", blue}};
    for (const auto& colour : colours) {
        if (colour.value < 0 || colour.value > 255) {
            error.Format("Invalid parameter %s: %ld  Value must be between 0 and 255", colour.name,
                         static_cast<long>(colour.value));
            return false;
        }
    }
    if (lineWidth < 1 || lineWidth > 20) {
        error = "line_width must be between 1 and 20";
        return false;
    }
    if (!LiveImageOn()) {
        error = "Image preview is not active.";
        return false;
    }
    int width = 0, height = 0;
    if (!PreviewImageSize("MfgTest_ShowSymbolOverVideo", width, height, error))
        return false;

    MfgTestSymbol symbol;
    symbol.type = type;
    symbol.x = x;
    symbol.y = y;
    symbol.red = static_cast<uint8_t>(red);
    symbol.green = static_cast<uint8_t>(green);
    symbol.blue = static_cast<uint8_t>(blue);
    symbol.shown = 1;
    symbol.lineWidth = lineWidth;
    if (!AddMfgTestSymbol(symbol)) {
        error = "MfgTest_ShowSymbolOverVideo() Internal error #1";
        return false;
    }
    return true;
}

}  // namespace

bool Script::MfgTest_BrightnessAtTarget(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                        CString& error)
{
    const char* cursor = arguments;
    int low = 0, high = 0, ix = 0, iy = 0, sz = 0, timeoutSec = 0, unused = 0;
    Variable* target = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, low, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, high, error, &variables, nullptr) ||
        !ReadIntParameter(3, cursor, ix, error, &variables, nullptr) ||
        !ReadIntParameter(4, cursor, iy, error, &variables, nullptr) ||
        !ReadIntParameter(5, cursor, sz, error, &variables, nullptr) ||
        !ReadIntParameter(6, cursor, timeoutSec, error, &variables, nullptr) ||
        !ReadIntParameter(7, cursor, unused, error, &variables, &target))
        return false;
    if (check_only)
        return true;
    int result = 0;
    if (!::MfgTest_BrightnessAtTarget(low, high, ix, iy, sz, timeoutSec, result, error))
        return false;
    if (target && target->type == kVariableInt)
        target->iValue = result;
    return true;
}

bool Script::MfgTest_ShowSymbolOverVideo(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                         CString& error)
{
    const char* cursor = arguments;
    int values[7] = {};  // x, y, symbol_type, red, green, blue, line_width
    int unusedOk = 0;
    Tovanix::String unusedMessage;
    Variable* okTarget = nullptr;
    Variable* messageTarget = nullptr;
    if (!OpenArgumentList(cursor, error))
        return false;
    for (int i = 0; i < 7; ++i) {
        if (!ReadIntParameter(i + 1, cursor, values[i], error, &variables, nullptr))
            return false;
    }
    if (!ReadIntParameter(8, cursor, unusedOk, error, &variables, &okTarget) ||
        !ReadStringParameter(9, cursor, unusedMessage, error, &variables, &messageTarget))
        return false;
    if (check_only)
        return true;
    // Answers through the ok and message variables; the run goes on either way.
    CString reason;
    const bool added = ::MfgTest_ShowSymbolOverVideo(values[0], values[1], values[2], values[3], values[4],
                                                     values[5], values[6], reason);
    if (okTarget && okTarget->type == kVariableInt)
        okTarget->iValue = added ? 1 : 0;
    if (messageTarget && messageTarget->type == kVariableString)
        messageTarget->sValue = added ? "" : reason.GetString();
    return true;
}

bool Script::MfgTest_RemoveAllSymbolsOverVideo(const char* arguments, std::vector<Variable>&, bool check_only,
                                               CString& error)
{
    const char* cursor = arguments;
    if (!ParseEmptyArgumentList(cursor, error))
        return false;
    if (!check_only)
        ClearMfgTestSymbols();
    return true;
}

bool Script::MfgTest_CreateSymbolType(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                      CString& error)
{
    const char* cursor = arguments;
    Tovanix::String name;
    int unused = 0;
    Variable* idTarget = nullptr;
    Variable* existedTarget = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, name, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, unused, error, &variables, &idTarget) ||
        !ReadIntParameter(3, cursor, unused, error, &variables, &existedTarget))
        return false;
    if (check_only)
        return true;
    int32_t id = 0;
    bool existed = false;
    if (!FindMfgTestSymbolType(name.c_str(), id, existed)) {
        error = "MfgTest_CreateSymbolType() Internal error #1";
        return false;
    }
    if (idTarget && idTarget->type == kVariableInt)
        idTarget->iValue = id;
    if (existedTarget && existedTarget->type == kVariableInt)
        existedTarget->iValue = existed ? 1 : 0;
    return true;
}

bool Script::MfgTest_AddPointToSymbolType(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                          CString& error)
{
    const char* cursor = arguments;
    int type = 0, x = 0, y = 0;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, type, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, x, error, &variables, nullptr) ||
        !ReadIntParameter(3, cursor, y, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    bool noSuchType = false;
    if (!AddPointToMfgTestSymbolType(type, x, y, noSuchType)) {
        if (noSuchType)
            error.Format("%s() : Invalid symbol_type: %ld", "MfgTest_AddPointToSymbolType", static_cast<long>(type));
        else
            error = "MfgTest_AddPointToSymbolType() Internal error #1";
        return false;
    }
    return true;
}

void InstallMfgTestCommands(BuiltInHandlerTable& table)
{
    table.Set(kMfgTest_BrightnessAtTarget, &Script::MfgTest_BrightnessAtTarget);
    table.Set(kMfgTest_ShowSymbolOverVideo, &Script::MfgTest_ShowSymbolOverVideo);
    table.Set(kMfgTest_RemoveAllSymbolsOverVideo, &Script::MfgTest_RemoveAllSymbolsOverVideo);
    table.Set(kMfgTest_CreateSymbolType, &Script::MfgTest_CreateSymbolType);
    table.Set(kMfgTest_AddPointToSymbolType, &Script::MfgTest_AddPointToSymbolType);
}
