#pragma once

// The operator's windows that the prompt commands of a script use.
//
// The commands run on a script's worker thread; the windows live on the
// user-interface thread. The operator interface installs an implementation at
// start-up that runs each modal prompt there while the script thread waits
// for the answer, and drives the shared countdown and notice windows.
//
// Before a window is asked, the user-interface bridge may answer a prompt
// from a script of answers (tests and the headless runner): the answer
// "Cancel" cancels (the prompt was escaped); any other answer is what the
// operator typed or pressed (for custom buttons: the button's number 0..4 or
// its label). Without an answer and without installed windows a prompt
// counts as cancelled, so an unattended run cannot hang on it.

#include <string>

class ScriptPromptWindows {
public:
    virtual ~ScriptPromptWindows() = default;

    // Modal prompts; each returns IDOK or IDCANCEL (platform/UiBridge.h).
    virtual int PromptInfo(const std::string& message) = 0;
    virtual int PromptContinueCancel(const std::string& message) = 0;
    // `value` is shown in the edit field and receives the edited text on OK.
    virtual int PromptForValue(const std::string& prompt, std::string& value) = 0;
    // `labels` separated by ";"; `pressed` receives 1..4, or 0 when escaped.
    virtual int PromptCustom(const std::string& message, const std::string& labels, int& pressed) = 0;

    // The countdown window: fills and shows it; whether it is still shown;
    // ends it as its Continue button does.
    virtual void ShowWaitWithTimer(int seconds, const std::string& message, int countUp) = 0;
    virtual bool IsWaitWithTimerVisible() = 0;
    virtual void EndWaitWithTimer() = 0;

    // The operator notice: 0 seconds hides it at once, a negative count keeps
    // it until the operator closes it, a positive count hides it after that
    // many seconds. Does not wait.
    virtual void InformOperator(const std::string& message, int seconds) = 0;
};

void SetScriptPromptWindows(ScriptPromptWindows* windows);  // not owned; nullptr removes them
ScriptPromptWindows* GetScriptPromptWindows();

// "\n" and "\t" written as two characters in a script become a line break
// and a tab.
std::string ExpandPromptEscapes(const std::string& text);
