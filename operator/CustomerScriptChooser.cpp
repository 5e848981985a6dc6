#include "operator/CustomerScriptChooser.h"

#include <strings.h>

#include "app/VelloraApp.h"
#include "operator/CustomerUI.h"
#include "script/ScriptRun.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace CustomerScriptChooser {

namespace {
constexpr size_t kMaxDefaultScript = 1023;
}

Settings LoadSettings() {
    Settings settings;
    char name[kMaxDefaultScript + 1] = {};
    Tovanix::E_GetPrivateProfileString("CustomerUI", "DefaultScript", "", name, kMaxDefaultScript, g_IniPath);
    settings.defaultScript = name;
    char run[10] = {};
    Tovanix::E_GetPrivateProfileString("CustomerUI", "RunOnStartup", "", run, 9, g_IniPath);
    settings.runOnStartup = strcasecmp(run, "TRUE") == 0;
    return settings;
}

bool SaveSettings(const Settings& settings) {
    const std::string name = settings.defaultScript.substr(0, kMaxDefaultScript);
    const bool saved =
        Tovanix::E_WritePrivateProfileString("CustomerUI", "DefaultScript", name.c_str(), g_IniPath) &&
        Tovanix::E_WritePrivateProfileString("CustomerUI", "RunOnStartup", settings.runOnStartup ? "TRUE" : "FALSE",
                                             g_IniPath);
    if (!saved) {
        LogErrAndInfo("CUIScriptsDlg", __LINE__,
                      ("Unable to save the customer script settings to " + g_IniPath.str()).c_str());
    }
    return saved;
}

bool CustomerScriptRunning() {
    std::lock_guard<std::mutex> lock(g_ScriptInterpretersMutex);
    for (const auto& script : g_ScriptInterpreters) {
        if (script->handle == 1 && script->running) return true;
    }
    return false;
}

Buttons ComputeButtons(const std::string& selectedName, bool adminMode, bool running) {
    Buttons buttons;
    buttons.edit = adminMode;
    buttons.stop = running;
    if (selectedName.empty()) {
        buttons.run = false;
        buttons.edit = false;
    } else {
        buttons.run = !running;
    }
    return buttons;
}

Buttons ButtonsAfterRun(const std::string& selectedName, bool adminMode, bool editBefore) {
    Buttons buttons;
    buttons.stop = false;
    buttons.edit = editBefore;
    if (!selectedName.empty()) {
        buttons.run = true;
        if (adminMode) buttons.edit = true;
    } else {
        buttons.run = false;
        buttons.edit = false;
    }
    return buttons;
}

bool IsAlreadyRunningError(const std::string& error) {
    return error.find("Interpreter instance with handle:") != std::string::npos &&
           error.find("already exists.") != std::string::npos;
}

void EndCustomerRun() { g_CustomerUI.OnScriptEnded(); }

}  // namespace CustomerScriptChooser
