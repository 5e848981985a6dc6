#pragma once

// The operator's windows for the prompt commands of the scripts, the system
// state and the variable watch, installed once at start-up.
//
// Install creates the shared countdown and notice windows hidden, lets the
// script threads reach the prompts and the variable watch, and gives the
// main window its commands that show or hide the system state and variable
// watch windows (each created on the first use of its command). The returned
// object removes the script threads' hooks again when it is destroyed.

#include <memory>
#include <string>

#include "script/ScriptPrompts.h"

class CommandRouter;
class QWidget;

// What the script threads call: each modal prompt runs on the
// user-interface thread while the calling thread waits for the answer; the
// shared windows are driven there as well.
class QtScriptPromptWindows : public ScriptPromptWindows {
public:
    int PromptInfo(const std::string& message) override;
    int PromptContinueCancel(const std::string& message) override;
    int PromptForValue(const std::string& prompt, std::string& value) override;
    int PromptCustom(const std::string& message, const std::string& labels, int& pressed) override;
    void ShowWaitWithTimer(int seconds, const std::string& message, int countUp) override;
    bool IsWaitWithTimerVisible() override;
    void EndWaitWithTimer() override;
    void InformOperator(const std::string& message, int seconds) override;
};

class OperatorPromptWindows {
public:
    virtual ~OperatorPromptWindows() = default;
};

std::unique_ptr<OperatorPromptWindows> InstallOperatorPromptWindows(CommandRouter& commands, QWidget* parent);
