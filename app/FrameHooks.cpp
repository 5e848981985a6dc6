#include "app/FrameHooks.h"

#include <mutex>

namespace {

std::mutex g_mutex;

FrameHooks& Installed() {
    static FrameHooks* hooks = new FrameHooks;
    return *hooks;
}

}  // namespace

void SetFrameHooks(const FrameHooks& hooks) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Installed() = hooks;
}

FrameHooks GetFrameHooks() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return Installed();
}

bool IsScriptRunning(uint32_t handle, CString* scriptName) {
    const FrameHooks hooks = GetFrameHooks();
    return hooks.isScriptRunning && hooks.isScriptRunning(handle, scriptName);
}
