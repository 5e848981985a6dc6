#pragma once

// Test support for the run screen's script commands: the fixture attaches
// the program's run screen (g_CustomerUI) to a recording window, installs
// the commands and runs single command lines as the check pass or the run
// does, in either interpreter instance.

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/FlowSplit.h"
#include "operator/CustomerUICommands.h"
#include "operator/tests/CustomerUITestSupport.h"
#include "script/BuiltInFunctions.h"
#include "script/LineForms.h"
#include "script/Script.h"

namespace customer_ui_testing {

using namespace customer_ui;

// Polls a condition on the real clock; generous, as a loaded machine is slow.
template <class Condition>
bool WaitUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class CustomerUICommandsTest : public CustomerUIFixture {
protected:
    void SetUp() override {
        CustomerUIFixture::SetUp();
        BuildBuiltInFunctionTable();
        InstallCustomerUICommands();
        g_CustomerUI.ResetForNewScript();
        g_CustomerUI.AttachWindow(&window, &metrics);
        g_CustomerUI.OnInitDialog(1920, 1080, 30);
        ResetFlowSplit();
        g_CustomerUIBackgroundColor = kDefaultBackground;
        theApp.m_bAdminMode = false;
    }
    void TearDown() override {
        g_CustomerUI.ResetForNewScript();
        for (int id : {kTimerScript, kTimerShowNext, kTimerShowBack, kTimerDeferredMessage, kTimerRepaint})
            g_CustomerUI.KillTimer(id);
        g_CustomerUI.AttachWindow(nullptr, nullptr);
        ResetFlowSplit();
        theApp.m_bAdminMode = false;
        CustomerUIFixture::TearDown();
    }

    // Runs one "Name(arguments);" line as the check pass (check) or the run
    // does, in the given interpreter instance; "" on success, else the error.
    std::string Call(const std::string& line, bool check = false, int handle = 1) {
        Tovanix::String name, arguments;
        if (!SplitFunctionCall(Tovanix::String(line.c_str()), name, arguments)) return "not a call";
        const int found = FindBuiltInFunction(name.c_str());
        if (found < 0) return "no such command";
        Script script(handle);
        CString error;
        const bool ok = script.ExecuteBuiltInFunction(g_BuiltInFunctions[static_cast<size_t>(found)].index,
                                                      arguments.c_str(), variables, check, error);
        return ok ? std::string() : (error.IsEmpty() ? std::string("failed") : error.str());
    }
    // Runs the check pass and then the run, as a script line does.
    std::string Both(const std::string& line) {
        const std::string checked = Call(line, true);
        return checked.empty() ? Call(line, false) : "check: " + checked;
    }

    void Declare(const std::string& type, const std::string& name) {
        Variable v;
        v.type = type == "int" ? kVariableInt : type == "double" ? kVariableDouble : kVariableString;
        v.name = name.c_str();
        variables.push_back(v);
    }
    Variable& Var(const std::string& name) {
        for (Variable& v : variables)
            if (name == v.name.c_str()) return v;
        throw std::runtime_error("no variable " + name);
    }

    // Moves the clock on and runs the run screen's due timers.
    void Elapse(int ms, int stepMs = 10) {
        for (int t = 0; t < ms; t += stepMs) {
            clock.Advance(std::chrono::milliseconds(stepMs));
            g_CustomerUI.RunDueTimers();
        }
    }

    std::vector<Variable> variables;
};

}  // namespace customer_ui_testing
