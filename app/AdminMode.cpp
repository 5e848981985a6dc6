#include "app/AdminMode.h"

#include <cstdio>
#include <mutex>

#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/Profile.h"

namespace {

constexpr const char* kAdminPassword = "Marmalade!";
constexpr int kTries = 3;

std::mutex g_hookMutex;
std::function<void(bool)> g_adminModeChanged;

void SetAdminMode(bool on) {
    theApp.m_bAdminMode = on;
    std::function<void(bool)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_adminModeChanged;
    }
    if (hook) hook(on);
}

}  // namespace

AdminModeCommandState GetAdminModeCommandState() {
    if (theApp.m_bAdminMode) return {false, true};
    char text[32] = {};
    Tovanix::E_GetPrivateProfileString("AdminMode", "Setting", "", text, sizeof text, g_IniPath);
    long long setting = 1;
    if (std::sscanf(text, "%lld", &setting) != 1) setting = 1;
    return {setting != 0, false};
}

void SetAdminModeChangedHook(std::function<void(bool)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_adminModeChanged = std::move(hook);
}

std::function<void(bool)> GetAdminModeChangedHook() {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return g_adminModeChanged;
}

void RunAdminModeCommand(const PasswordPrompt& prompt) {
    if (theApp.m_bAdminMode) return;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
        char text[64];
        if (attempt == 1) {
            std::snprintf(text, sizeof text, "Please enter the admin password:");
        } else {
            std::snprintf(text, sizeof text, "Try %d of %d", attempt, kTries);
        }
        std::string typed;
        if (!prompt(text, &typed)) {
            SetAdminMode(false);
            return;
        }
        if (typed == kAdminPassword) {
            SetAdminMode(true);
            return;
        }
    }
    platform::ShowMessageBox("Failed to enter correct password after three tries. Admin mode is off.");
}
