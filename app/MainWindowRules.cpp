#include "app/MainWindowRules.h"

#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"

std::string MainWindowBusyReason(bool liveImageRunning) {
    const FrameHooks hooks = GetFrameHooks();
    if (IsScriptRunning(kConsoleInterpreter, nullptr)) {
        return "Can't minimize or close the main window when the script is running.";
    }
    if (hooks.imageAnalysisRunning && hooks.imageAnalysisRunning()) {
        return "Can't minimize or close the main window when image analysis is running.";
    }
    if (theApp.m_bWorkflowRunning) {
        return "Can't minimize or close the main window while running image collection workflow.";
    }
    if (liveImageRunning) {
        return "Can't minimize or close the main window while running image capture with auto refresh.";
    }
    return {};
}

bool RefuseMinimizeOrClose(bool liveImageRunning) {
    const std::string reason = MainWindowBusyReason(liveImageRunning);
    if (reason.empty()) return false;
    LogErrAndInfo(__FILE__, __LINE__, reason.c_str());
    platform::ShowMessageBox(reason, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
    return true;
}

bool QueryEndSession() { return !theApp.m_bWorkflowRunning; }

std::optional<std::string> ScriptStatusPaneText() {
    const FrameHooks hooks = GetFrameHooks();
    if (!hooks.scriptsConsoleExists || !hooks.scriptsConsoleExists()) return std::nullopt;
    CString name;
    if (!IsScriptRunning(kConsoleInterpreter, &name)) return std::string();
    return std::string(name.GetString());
}
