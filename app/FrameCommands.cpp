#include "app/FrameCommands.h"

#include <strings.h>

#include "app/AdminMode.h"
#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/ShellUtils.h"

void CommandRouter::SetHandler(int id, Handler handler) {
    if (handler) {
        m_handlers[id] = std::move(handler);
    } else {
        m_handlers.erase(id);
    }
}

void CommandRouter::SetRule(int id, Rule rule) { m_rules[id] = std::move(rule); }

bool CommandRouter::HasHandler(int id) const { return m_handlers.count(id) != 0; }

bool CommandRouter::Execute(int id) const {
    auto handler = m_handlers.find(id);
    if (handler == m_handlers.end()) return false;
    // A copy: the handler may replace itself while it runs.
    Handler run = handler->second;
    run();
    return true;
}

CommandState CommandRouter::State(int id) const {
    if (!HasHandler(id)) return {false, false};
    auto rule = m_rules.find(id);
    return rule == m_rules.end() ? CommandState{} : rule->second();
}

namespace {

// Joins a folder and a name with one separator between them; the name alone
// for an empty folder.
std::string JoinToFolder(std::string folder, const std::string& name) {
    const size_t end = folder.find_last_not_of(" \t");
    folder.erase(end == std::string::npos ? 0 : end + 1);
    const size_t start = folder.find_first_not_of(" \t");
    folder.erase(0, start == std::string::npos ? folder.size() : start);
    if (folder.empty()) return name;
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder + name;
}

CommandState Admin() { return {theApp.m_bAdminMode, false}; }
CommandState Always() { return {true, false}; }

bool StageControlPanelAvailable() {
    if (theApp.m_nStageComPort == 0) return false;
    char value[10] = {};
    Tovanix::E_GetPrivateProfileString("Zaber", "InitializeZaberOnStartup", "", value, sizeof value, g_IniPath);
    return strcasecmp(value, "TRUE") == 0;
}

}  // namespace

std::string ManualPath() { return JoinToFolder(theApp.m_strDataRoot.GetString(), "Quillon-1.0_Manual.pdf"); }

std::string CustomerUIScriptPath() {
    return JoinToFolder(theApp.m_strCustomerUIDir.c_str(), "Scripts/DefaultCustomerUI.scr");
}

std::string DefaultCustomerScriptPath() {
    char name[1024] = {};
    Tovanix::E_GetPrivateProfileString("CustomerUI", "DefaultScript", "", name, sizeof name, g_IniPath);
    const std::string script = name[0] ? name : "DefaultCustomerUI.scr";
    return JoinToFolder(JoinToFolder(theApp.m_strCustomerUIDir.c_str(), "Scripts"), script);
}

void AddMainFrameRules(CommandRouter& router) {
    // The main window's own commands.
    router.SetRule(cmd::AdminMode, [] {
        const AdminModeCommandState state = GetAdminModeCommandState();
        return CommandState{state.enabled, state.checked};
    });
    router.SetRule(cmd::CustomerUI, Always);
    router.SetRule(cmd::RunUserInterface, [] {
        const FrameHooks hooks = GetFrameHooks();
        return CommandState{!(hooks.customerUiVisible && hooks.customerUiVisible()), false};
    });
    router.SetRule(cmd::Manual, [] { return CommandState{platform::FileExists(ManualPath()), false}; });
    router.SetRule(cmd::CloseLivePreview, Always);

    // Application commands whose state the main window decides.
    for (int id : {cmd::CaptureActiveImages, cmd::CameraSettings, cmd::ExperimentSettings}) router.SetRule(id, Always);
    router.SetRule(cmd::LiveImage, [] {
        const FrameHooks hooks = GetFrameHooks();
        return CommandState{true, hooks.livePreviewOpen && hooks.livePreviewOpen()};
    });
    router.SetRule(cmd::StartExperimentWorkflow, [] { return CommandState{!theApp.m_bWorkflowRunning, false}; });
    router.SetRule(cmd::StopExperimentWorkflow, [] { return CommandState{theApp.m_bWorkflowRunning, false}; });
    router.SetRule(cmd::DioReset, Admin);
    router.SetRule(cmd::SingleWorkflowCapture, [] { return CommandState{theApp.m_pCamera != nullptr, false}; });

    // The windows of the subsystems.
    for (int id : {cmd::SystemState, cmd::FluidicScripts, cmd::DioConfiguration, cmd::ControlPanel, cmd::AlgoIterator,
                   cmd::WatchScriptVariables, cmd::FocusTool, cmd::CustomerUIScripts, cmd::EncryptedProfiles}) {
        router.SetRule(id, Admin);
    }
    router.SetRule(cmd::PumpInformation,
                   [] { return CommandState{theApp.m_bAdminMode && theApp.m_nPumpComPort != 0, false}; });
    router.SetRule(cmd::StageControlPanel, [] { return CommandState{StageControlPanelAvailable(), false}; });
    for (int id : {cmd::CountingAlgorithmParameters, cmd::ImageAnalysisTool, cmd::EpiCellCountingParameters,
                   cmd::ProjectionAnalysisParameters, cmd::FlattenRows, cmd::ROIManager, cmd::FractionationAnalysisTool,
                   cmd::CreateVideo, cmd::FindMeniscus, cmd::ProjectionAnalysisTool, cmd::Montage}) {
        router.SetRule(id, Always);
    }
}

namespace {

void StartCustomerScript(const FrameHooks& hooks, const std::string& path) {
    if (!hooks.startCustomerScript) return;
    CString error;
    if (!hooks.startCustomerScript(path.c_str(), &error)) LogErrAndInfo(__FILE__, __LINE__, error);
}

}  // namespace

void OnCustomerUI() {
    const FrameHooks hooks = GetFrameHooks();
    if (!hooks.customerUiExists || !hooks.createCustomerUi || !hooks.showCustomerUi) return;
    if (!hooks.customerUiExists()) {
        hooks.createCustomerUi();
    } else if (hooks.customerUiVisible && hooks.customerUiVisible()) {
        hooks.showCustomerUi(false);
        return;
    }
    hooks.showCustomerUi(true);
    if (IsScriptRunning(kCustomerInterpreter, nullptr)) return;
    StartCustomerScript(hooks, CustomerUIScriptPath());
}

void OnRunUserInterface() {
    const FrameHooks hooks = GetFrameHooks();
    if (!hooks.customerUiExists || !hooks.createCustomerUi) return;
    const std::string path = DefaultCustomerScriptPath();
    if (!hooks.customerUiExists()) hooks.createCustomerUi();
    StartCustomerScript(hooks, path);
}

void OnManual() { Tovanix::OpenUsingDefaultApp(ManualPath().c_str()); }

void OnCloseLivePreview() {
    const FrameHooks hooks = GetFrameHooks();
    if (hooks.closeLivePreview && hooks.closeLivePreview()) theApp.m_strLiveImageType.Empty();
}
