#include "script/ScriptRun.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <system_error>
#include <thread>

#include "app/ImageCaptureLogHeader.h"
#include "app/VelloraApp.h"
#include "devices/DigitalIO.h"
#include "devices/TecanCentris.h"
#include "imaging/MfgTestOverlay.h"
#include "platform/UiBridge.h"
#include "script/BuiltInFunctions.h"
#include "script/ScriptLines.h"
#include "support/AppLogs.h"

std::vector<std::unique_ptr<Script>> g_ScriptInterpreters;
std::mutex g_ScriptInterpretersMutex;
int32_t g_ScriptHandle0 = 0;
int32_t g_ScriptHandle1 = 1;

namespace {

constexpr uint32_t kPumpBusyQueryTimeoutMs = 200;

std::atomic<ScriptRunObserver*> g_observer{nullptr};

bool StartThread(int32_t* handle, std::string* error)
{
    try {
        std::thread(ScriptThreadProc, handle).detach();
        return true;
    } catch (const std::system_error& failure) {
        *error = failure.what();
        return false;
    }
}

std::atomic<ScriptThreadStarter> g_threadStarter{&StartThread};

// The instance of the handle; caller holds g_ScriptInterpretersMutex.
Script* FindLocked(int32_t handle)
{
    for (const auto& script : g_ScriptInterpreters) {
        if (script->handle == handle)
            return script.get();
    }
    return nullptr;
}

Script* FindInstance(int32_t handle)
{
    std::lock_guard<std::mutex> lock(g_ScriptInterpretersMutex);
    return FindLocked(handle);
}

void LogScriptError(int line, const char* message) { LogErrAndInfo("Script", line, message); }

// Tells the console of the handle that its run has ended.
void TellConsole(int32_t handle, bool failed)
{
    if (ScriptRunObserver* observer = GetScriptRunObserver())
        observer->OnScriptEnded(handle, failed);
}

// The end of a run whose running flag is already clear or whose main code
// holds no lines: nothing was run, nothing is logged.
void EndRunWithoutCode(Script& script)
{
    const int32_t handle = script.handle;
    script.running = false;
    TellConsole(handle, false);
    DeleteActiveScriptHandle(handle);
}

}  // namespace

void SetScriptRunObserver(ScriptRunObserver* observer) { g_observer = observer; }
ScriptRunObserver* GetScriptRunObserver() { return g_observer.load(); }

namespace {
std::atomic<VariableWatchSink*> g_variableWatch{nullptr};
}  // namespace

void SetVariableWatchSink(VariableWatchSink* sink) { g_variableWatch = sink; }
VariableWatchSink* GetVariableWatchSink() { return g_variableWatch.load(); }

void SetScriptThreadStarter(ScriptThreadStarter starter) { g_threadStarter = starter ? starter : &StartThread; }

bool CreateActiveScriptHandle(int32_t handle, CString& error)
{
    std::lock_guard<std::mutex> lock(g_ScriptInterpretersMutex);
    if (FindLocked(handle)) {
        error.Format("CreateActiveScriptHandle(%ld) - Interpreter instance with handle: %lu already exists.",
                     static_cast<long>(handle), static_cast<unsigned long>(handle));
        return false;
    }
    g_ScriptInterpreters.push_back(std::make_unique<Script>(handle));
    return true;
}

void DeleteActiveScriptHandle(int32_t handle)
{
    std::unique_ptr<Script> removed;  // destroyed outside the lock
    std::lock_guard<std::mutex> lock(g_ScriptInterpretersMutex);
    auto found = std::find_if(g_ScriptInterpreters.begin(), g_ScriptInterpreters.end(),
                              [handle](const std::unique_ptr<Script>& script) { return script->handle == handle; });
    if (found != g_ScriptInterpreters.end()) {
        removed = std::move(*found);
        g_ScriptInterpreters.erase(found);
    }
}

bool ScriptInstanceExists(int32_t handle) { return FindInstance(handle) != nullptr; }

bool Script::CheckPumpsIdle(CString& error)
{
    const int port = theApp.m_nPumpComPort;
    if (port == 0)
        return true;
    Tovanix::String status[2];
    for (int pump = 1; pump <= 2; ++pump) {
        Tovanix::String ignored;
        if (!TecanCentris::SendCommand(port, pump, "?29", kPumpBusyQueryTimeoutMs, &status[pump - 1], &ignored)) {
            error.Format("Problem checking busy state of pump %d", pump);
            return false;
        }
    }
    if (std::string(status[0].c_str()) != "0" || std::string(status[1].c_str()) != "0") {
        error = "Can't start a script because at least one pump is busy.";
        return false;
    }
    for (int pump = 1; pump <= 2; ++pump) {
        double displacement = 0;
        Tovanix::String queryError;
        if (!TecanCentris::QueryDouble(port, pump, "?18", &displacement, &queryError)) {
            error.Format("Can't start a script. Error reading current displacement for syringe #%d :  %s", pump,
                         queryError.c_str());
            return false;
        }
    }
    for (int pump = 1; pump <= 2; ++pump) {
        int32_t volume = 0;
        Tovanix::String queryError;
        if (!TecanCentris::QueryLong(port, pump, "?17", &volume, &queryError)) {
            error.Format("Can't start a script. Error reading the configured volume for syringe #%d :  %s", pump,
                         queryError.c_str());
            return false;
        }
    }
    return true;
}

bool Script::RunScript(int32_t handle, const char* path, CString& error)
{
    if (handle != 0 && handle != 1) {
        error.Format("Script::RunScript () : Invalid interpreter handle: %ld", static_cast<long>(handle));
        return false;
    }
    if (!CreateActiveScriptHandle(handle, error))
        return false;
    Script* script = FindInstance(handle);
    // Every refusal below removes the instance again.
    auto refuse = [handle, script](bool wasRunning) {
        if (wasRunning)
            script->running = false;
        DeleteActiveScriptHandle(handle);
        return false;
    };

    CreateImageCaptureLogHeaderSemaphore();
    if (g_BuiltInFunctions.empty())
        BuildBuiltInFunctionTable();
    CString checkError;
    if (!LoadDIOMapping(&checkError) || !CheckPumpsIdle(checkError)) {
        error = checkError;
        return refuse(false);
    }

    script->running = true;
    script->mainCode.lines.clear();
    script->mainCode.blocks.clear();
    script->includedFiles.clear();
    script->functions.clear();
    script->functionCallDepth = 0;

    const std::string file = path ? path : "";
    std::ifstream input(file, std::ios::binary);
    if (!input.is_open()) {
        error.Format("Script::RunScript () : Can't open file: %s", file.c_str());
        return refuse(true);
    }
    if (!script->mainCode.Load(*script, input, file.c_str(), 0, error, false)) {
        script->functionCallDepth = 0;
        return refuse(true);
    }
    input.close();
    Tovanix::GetPathPart(script->fileName, file.c_str(), false, true, true);
    script->filePath = file;
    if (!script->mainCode.blocks.empty()) {
        error.Format("Did not close out all code blocks before the end of the script file: %s", file.c_str());
        return refuse(true);
    }

    int32_t* threadHandle = handle == 0 ? &g_ScriptHandle0 : &g_ScriptHandle1;
    std::string threadError;
    if (!g_threadStarter.load()(threadHandle, &threadError)) {
        error.Format("Script::RunScript () : Can't start the script thread: %s", threadError.c_str());
        return refuse(true);
    }
    return true;
}

unsigned ScriptThreadProc(int32_t* handlePointer)
{
    const int32_t handle = handlePointer ? *handlePointer : -1;
    Script* script = FindInstance(handle);
    if (!script) {
        CString message;
        message.Format("Not a valid interpreter handle: %lu", static_cast<unsigned long>(handle));
        LogScriptError(__LINE__, message.GetString());
        return 0;
    }
    try {
        if (!script->running.load() || script->mainCode.lines.empty()) {
            EndRunWithoutCode(*script);
            return 0;
        }
        ArchiveScriptFileToLog(script->filePath.c_str());
        std::vector<Variable> variables;
        CString error;
        const bool ran = script->mainCode.Execute(*script, variables, error, script->fileName.c_str());
        if (!ran) {
            LogScriptError(__LINE__, error.GetString());
            platform::ShowMessageBox(error.str(), "Vellora", platform::MB_OK | platform::MB_ICONERROR);
        }
        LogScriptLine(script->fileName.c_str(), "onEndScript");
        if (ScriptRunObserver* observer = GetScriptRunObserver())
            observer->ClearMfgTestSymbols();
        ClearMfgTestSymbols();
        script->running = false;
        script->mainCode.lines.clear();
        if (handle == 1 && theApp.m_nPumpComPort != 0) {
            Tovanix::String pumpError;
            if (!TecanCentris::TerminateBusyPumps(theApp.m_nPumpComPort, &pumpError))
                LogScriptError(__LINE__, pumpError.c_str());
        }
        TellConsole(handle, !ran);
        DeleteActiveScriptHandle(handle);
    } catch (...) {
        LogScriptError(__LINE__, "Exception while running scipt.");
        script->running = false;
        // The console is told as at every other end, so it does not wait for
        // a run that is gone.
        try {
            ClearMfgTestSymbols();
            TellConsole(handle, true);
        } catch (...) {
        }
        DeleteActiveScriptHandle(handle);
    }
    return 0;
}

bool Script::StopScript(int32_t handle)
{
    {
        std::lock_guard<std::mutex> lock(g_ScriptInterpretersMutex);
        Script* script = FindLocked(handle);
        if (!script)
            return false;
        script->running = false;
    }
    if (const int port = theApp.m_nPumpComPort) {
        Tovanix::String ignored;
        TecanCentris::TerminateMove(port, 1, &ignored);
        TecanCentris::TerminateMove(port, 2, &ignored);
    }
    return true;
}

bool Script::IsScriptRunning(int32_t handle, CString* fileName)
{
    std::lock_guard<std::mutex> lock(g_ScriptInterpretersMutex);
    Script* script = FindLocked(handle);
    if (!script)
        return false;
    if (fileName && script->fileName.HasText())
        *fileName = script->fileName.c_str();
    return script->running.load();
}

bool Script::ScriptHasCode(const char* path)
{
    std::ifstream file(path ? path : "", std::ios::binary);
    if (!file.is_open())
        return false;
    std::string line;
    bool tooLong = false;
    while (ReadScriptLine(file, line, tooLong)) {
        CutScriptComment(line);
        if (line.find_first_not_of(" \t") != std::string::npos)
            return true;
    }
    return false;
}
