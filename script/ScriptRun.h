#pragma once

// Script runs: the two interpreter instances, the start of a run on the
// calling thread (pre-run checks, the check pass), its execution on a worker
// thread of its own, the end of a run and stopping.
//
// Handle 0 serves the scripts console and the button control panel, handle 1
// the customer run screen; each handle runs at most one script at a time and
// both may run at once. An instance exists from the start of
// Script::RunScript until its run has ended (or its start failed); while it
// exists, another run on its handle is refused.
//
// Script::RunScript returns false with the message in its error text when the
// run was refused (instance exists, pumps busy, file missing, check pass
// failed); nothing of the run is left behind then. A run that fails later is
// logged and shown in an error box from its worker thread. Script::StopScript
// clears the running flag, which the executor reads before every line, and
// stops both pumps.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "script/Script.h"

// What a run shows in the operator's windows: the line being run, the
// variable watch, and the end of the run. The operator windows install it at
// start-up; without it nothing is sent. Called on the worker thread; an
// implementation reaches its windows through the user-interface bridge.
class ScriptRunObserver {
public:
    virtual ~ScriptRunObserver() = default;
    // Before each line: the stored line, for the console of the handle.
    virtual void ShowCurrentLine(int32_t handle, const std::string& line) = 0;
    // Before each line: whether the variable watch window is visible, and then
    // the current variables for it.
    virtual bool IsVariableWatchVisible() = 0;
    virtual void SetVariables(const std::vector<Variable>& variables) = 0;
    // The run of the handle has ended (failed: an error or exception ended
    // it): the console empties its current-line box and takes the end.
    virtual void OnScriptEnded(int32_t handle, bool failed) = 0;
    // Clears the overlay symbols that scripts draw; every end of a run.
    virtual void ClearMfgTestSymbols() {}
};
void SetScriptRunObserver(ScriptRunObserver* observer);  // not owned; nullptr removes it
ScriptRunObserver* GetScriptRunObserver();

// The variable watch window: before each line of either instance, while the
// window is visible, it receives the run's variables. Installed at start-up
// beside the observer; called on the worker thread.
class VariableWatchSink {
public:
    virtual ~VariableWatchSink() = default;
    virtual bool IsVisible() = 0;
    virtual void SetVariables(const std::vector<Variable>& variables) = 0;
};
void SetVariableWatchSink(VariableWatchSink* sink);  // not owned; nullptr removes it
VariableWatchSink* GetVariableWatchSink();

// The live instances, at most one per handle. An instance never moves while
// it exists. Touch only while holding g_ScriptInterpretersMutex.
extern std::vector<std::unique_ptr<Script>> g_ScriptInterpreters;
extern std::mutex g_ScriptInterpretersMutex;

// The static handles the worker threads receive.
extern int32_t g_ScriptHandle0;
extern int32_t g_ScriptHandle1;

// Adds an instance for the handle; fails when one exists.
bool CreateActiveScriptHandle(int32_t handle, CString& error);
// Removes the instance of the handle (nothing when there is none).
void DeleteActiveScriptHandle(int32_t handle);
// True while an instance of the handle exists (loading, running or ending).
bool ScriptInstanceExists(int32_t handle);

// The worker thread of a run.
unsigned ScriptThreadProc(int32_t* handle);

// Starts ScriptThreadProc(handle) on a new thread; false with the reason
// when no thread could be started. Replaceable for tests.
using ScriptThreadStarter = bool (*)(int32_t* handle, std::string* error);
void SetScriptThreadStarter(ScriptThreadStarter starter);  // nullptr restores the default
