// The commands that talk to the operator: information, continue or cancel, a
// number, a text, custom buttons, the timed wait and the operator notice.
// Argument errors show in the check pass; the windows open only at run time.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/UiBridge.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"
#include "script/ScriptPrompts.h"
#include "support/AppLogs.h"

namespace {

constexpr int32_t kPromptInfo = 0;
constexpr int32_t kPromptContinueCancel = 1;
constexpr int32_t kPromptForValue = 14;
constexpr int32_t kWaitWithTimer = 19;
constexpr int32_t kPromptForString = 29;
constexpr int32_t kPromptForValueInt = 50;
constexpr int32_t kPromptCustom = 52;
constexpr int32_t kInformOperator = 69;
constexpr int32_t kShowFluidicSystemState = 133;

// The main window's command that toggles the system state window.
constexpr int kSystemStateCommand = 32805;

constexpr char kScriptStopped[] = "Script Stopped";
constexpr int kMaxValueText = 1023;

std::atomic<ScriptPromptWindows*> g_promptWindows{nullptr};

bool IsBlankChar(char c) { return c == ' ' || c == '\t'; }

// After a single STRING parameter the reader must have stopped on ")"; it
// steps over a "," to a next parameter, which these commands do not take.
bool RequireCloseAfterString(const char* arguments, const char* cursor, CString& error)
{
    const char* before = cursor;
    while (before > arguments && IsBlankChar(before[-1]))
        --before;
    if (*cursor != ')' || (before > arguments && before[-1] == ',')) {
        error = "Missing ) after string parameter.";
        return false;
    }
    return true;
}

// The result of one modal prompt.
struct PromptAnswer {
    bool cancelled = true;
    std::string text;  // the typed value, or the custom button
};

// Asks the answer script of the bridge first, then the operator's window.
template <class AskWindow>
PromptAnswer Ask(const char* command, const std::string& text, AskWindow askWindow)
{
    PromptAnswer answer;
    std::string scripted;
    if (platform::GetUiBridge().AnswerPrompt(command, text, &scripted)) {
        answer.cancelled = scripted == "Cancel";
        answer.text = scripted;
        return answer;
    }
    if (ScriptPromptWindows* windows = g_promptWindows.load()) {
        askWindow(*windows, answer);
        return answer;
    }
    std::string message = std::string(command) + "() : no operator window to answer: " + text;
    LogErrAndInfo(__FILE__, __LINE__, message.c_str());
    return answer;
}

PromptAnswer AskValue(const char* command, const std::string& prompt, const std::string& value)
{
    return Ask(command, prompt, [&](ScriptPromptWindows& windows, PromptAnswer& answer) {
        std::string edited = value;
        answer.cancelled = windows.PromptForValue(prompt, edited) != platform::IDOK;
        if (!answer.cancelled)
            answer.text = edited.substr(0, kMaxValueText);
    });
}

std::string Formatted(const char* format, double value)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

bool ReadPromptAndMessage(const char*& cursor, Tovanix::String& text, std::vector<Variable>& variables,
                          CString& error)
{
    return OpenArgumentList(cursor, error) && ReadStringParameter(1, cursor, text, error, &variables, nullptr);
}

// The button of a custom prompt named by a scripted answer: its number, or
// one of the first four labels.
int CustomButtonFromAnswer(const std::string& answer, const std::string& labels)
{
    Tovanix::String list(labels.c_str());
    std::unique_ptr<Tovanix::String[]> fields;
    const int32_t count = list.Split(fields, ';');
    for (int32_t i = 0; i < count && i < 4; ++i) {
        if (answer == fields[static_cast<size_t>(i)].c_str())
            return i + 1;
    }
    char* end = nullptr;
    const long number = std::strtol(answer.c_str(), &end, 10);
    if (end != answer.c_str() && *end == '\0' && number >= 0 && number <= std::min<int32_t>(count, 4))
        return static_cast<int>(number);
    return 0;
}

}  // namespace

void SetScriptPromptWindows(ScriptPromptWindows* windows) { g_promptWindows.store(windows); }
ScriptPromptWindows* GetScriptPromptWindows() { return g_promptWindows.load(); }

std::string ExpandPromptEscapes(const std::string& text)
{
    std::string expanded;
    expanded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == 't')) {
            expanded += text[i + 1] == 'n' ? '\n' : '\t';
            ++i;
        } else {
            expanded += text[i];
        }
    }
    return expanded;
}

bool Script::PromptInfo(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    Tovanix::String message;
    if (!ReadPromptAndMessage(cursor, message, variables, error) ||
        !RequireCloseAfterString(arguments, cursor, error))
        return false;
    if (check_only)
        return true;
    const std::string text = ExpandPromptEscapes(message.c_str());
    // Goes on whichever way the prompt was closed.
    Ask("PromptInfo", text, [&](ScriptPromptWindows& windows, PromptAnswer& answer) {
        answer.cancelled = windows.PromptInfo(text) != platform::IDOK;
    });
    return true;
}

bool Script::PromptContinueCancel(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error)
{
    const char* cursor = arguments;
    Tovanix::String message;
    if (!ReadPromptAndMessage(cursor, message, variables, error) ||
        !RequireCloseAfterString(arguments, cursor, error))
        return false;
    if (check_only)
        return true;
    const std::string text = ExpandPromptEscapes(message.c_str());
    const PromptAnswer answer =
        Ask("PromptContinueCancel", text, [&](ScriptPromptWindows& windows, PromptAnswer& result) {
            result.cancelled = windows.PromptContinueCancel(text) != platform::IDOK;
        });
    if (answer.cancelled) {
        error = kScriptStopped;
        return false;
    }
    return true;
}

bool Script::PromptForValue(const char* arguments, std::vector<Variable>& variables, bool check_only,
                            CString& error)
{
    const char* cursor = arguments;
    Tovanix::String prompt;
    double value = 0, minimum = 0, maximum = 0;
    Variable* target = nullptr;
    if (!ReadPromptAndMessage(cursor, prompt, variables, error) ||
        !ReadDoubleParameter(2, cursor, value, error, &variables, &target) ||
        !ReadDoubleParameter(3, cursor, minimum, error, &variables, nullptr) ||
        !ReadDoubleParameter(4, cursor, maximum, error, &variables, nullptr))
        return false;
    if (minimum > value) {
        error.Format("Default value %4.2lf is less than min value %4.2lf", value, minimum);
        return false;
    }
    if (value > maximum) {
        error.Format("Default value %4.2lf is greater than max value %4.2lf", value, maximum);
        return false;
    }
    if (check_only)
        return true;

    const PromptAnswer answer = AskValue("PromptForValue", prompt.c_str(), Formatted("%4.2lf", value));
    if (answer.cancelled) {
        error = kScriptStopped;
        return false;
    }
    double entered = 0;
    // NaN would pass both limits, so it counts as unreadable.
    if (std::sscanf(answer.text.c_str(), "%lf", &entered) != 1 || std::isnan(entered)) {
        error.Format("Entered value is not a valid floating point number: %s", answer.text.c_str());
        return false;
    }
    if (entered < minimum) {
        error.Format("Entered value %4.2lf is less than minimum value %4.2lf", entered, minimum);
        return false;
    }
    if (entered > maximum) {
        error.Format("Entered value: %4.2lf is greater than maximum value %4.2lf", entered, maximum);
        return false;
    }
    if (target && target->type == kVariableDouble)
        target->dValue = entered;
    return true;
}

bool Script::PromptForValueInt(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    const char* cursor = arguments;
    Tovanix::String prompt;
    int value = 0, minimum = 0, maximum = 0;
    Variable* target = nullptr;
    if (!ReadPromptAndMessage(cursor, prompt, variables, error) ||
        !ReadIntParameter(2, cursor, value, error, &variables, &target) ||
        !ReadIntParameter(3, cursor, minimum, error, &variables, nullptr) ||
        !ReadIntParameter(4, cursor, maximum, error, &variables, nullptr))
        return false;
    if (minimum > value) {
        error.Format("Default value %ld is less than min value %ld", static_cast<long>(value),
                     static_cast<long>(minimum));
        return false;
    }
    if (value > maximum) {
        error.Format("Default value %ld is greater than max value %ld", static_cast<long>(value),
                     static_cast<long>(maximum));
        return false;
    }
    if (check_only)
        return true;

    const PromptAnswer answer =
        AskValue("PromptForValueInt", prompt.c_str(), std::to_string(static_cast<long>(value)));
    if (answer.cancelled) {
        error = kScriptStopped;
        return false;
    }
    // Reads the leading number as "%ld" does ("12abc" gives 12); a number
    // beyond the 32-bit range is held at its limit, so the range check sees it.
    const char* text = answer.text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 10);
    if (end == text) {
        error.Format("Entered value is not a valid floating point number: %s", text);
        return false;
    }
    const int32_t entered = parsed > INT32_MAX ? INT32_MAX : parsed < INT32_MIN ? INT32_MIN : static_cast<int32_t>(parsed);
    if (entered < minimum) {
        error.Format("Entered value %ld is less than minimum value %ld", static_cast<long>(entered),
                     static_cast<long>(minimum));
        return false;
    }
    if (entered > maximum) {
        error.Format("Entered value: %ld is greater than maximum value %ld", static_cast<long>(entered),
                     static_cast<long>(maximum));
        return false;
    }
    if (target && target->type == kVariableInt)
        target->iValue = entered;
    return true;
}

bool Script::PromptForString(const char* arguments, std::vector<Variable>& variables, bool check_only,
                             CString& error)
{
    const char* cursor = arguments;
    Tovanix::String prompt, value;
    Variable* target = nullptr;
    if (!ReadPromptAndMessage(cursor, prompt, variables, error) ||
        !ReadStringParameter(2, cursor, value, error, &variables, &target))
        return false;
    if (check_only)
        return true;
    // The field opens empty, whatever the variable holds.
    const PromptAnswer answer = AskValue("PromptForString", prompt.c_str(), std::string());
    if (answer.cancelled) {
        error = kScriptStopped;
        return false;
    }
    if (target && target->type == kVariableString)
        target->sValue = answer.text.c_str();
    return true;
}

bool Script::PromptCustom(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    Tovanix::String message, labels;
    int button = 0;
    Variable* target = nullptr;
    if (!ReadPromptAndMessage(cursor, message, variables, error) ||
        !ReadStringParameter(2, cursor, labels, error, &variables, nullptr) ||
        !ReadIntParameter(3, cursor, button, error, &variables, &target))
        return false;
    if (!target) {
        error = "Third parameter must be an int variable.";
        return false;
    }
    if (check_only)
        return true;

    int pressed = 0;
    const std::string text = message.c_str();
    const std::string list = labels.c_str();
    const PromptAnswer answer = Ask("PromptCustom", text, [&](ScriptPromptWindows& windows, PromptAnswer& result) {
        result.cancelled = windows.PromptCustom(text, list, pressed) != platform::IDOK;
        if (result.cancelled)
            pressed = 0;
        result.text = std::to_string(pressed);
    });
    // Escape is no cancel here: it answers button 0.
    pressed = answer.cancelled ? 0 : CustomButtonFromAnswer(answer.text, list);
    if (target->type == kVariableInt)
        target->iValue = pressed;
    return true;
}

bool Script::WaitWithTimer(Script& script, const char* arguments, std::vector<Variable>& variables, bool check_only,
                           CString& error)
{
    const char* cursor = arguments;
    double seconds = 0;
    Tovanix::String message;
    int countUp = 0;
    if (!OpenArgumentList(cursor, error) || !ReadDoubleParameter(1, cursor, seconds, error, &variables, nullptr) ||
        !ReadStringParameter(2, cursor, message, error, &variables, nullptr))
        return false;
    // The count-up flag may be left out; one that is given must read.
    if (*cursor != ')' && !ReadIntParameter(3, cursor, countUp, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (!(seconds >= 1 && seconds <= 36000)) {
        error = "WaitWithTimer() seconds must be between 1 and 36000";
        return false;
    }
    const int whole = static_cast<int>(std::lround(seconds));
    platform::Clock& clock = platform::GetClock();
    constexpr auto kPoll = std::chrono::milliseconds(100);

    if (ScriptPromptWindows* windows = g_promptWindows.load()) {
        windows->ShowWaitWithTimer(whole, message.c_str(), countUp);
        while (windows->IsWaitWithTimerVisible()) {
            if (!script.running.load()) {
                windows->EndWaitWithTimer();
                return true;
            }
            clock.SleepFor(kPoll);
        }
        return true;
    }
    // No window: the same wait, counted on the clock.
    const auto end = clock.Now() + std::chrono::seconds(whole);
    while (clock.Now() < end) {
        if (!script.running.load())
            return true;
        clock.SleepFor(kPoll);
    }
    return true;
}

bool Script::InformOperator(const char* arguments, std::vector<Variable>& variables, bool check_only,
                            CString& error)
{
    const char* cursor = arguments;
    Tovanix::String message;
    int seconds = 0;
    if (!ReadPromptAndMessage(cursor, message, variables, error) ||
        !ReadIntParameter(2, cursor, seconds, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (ScriptPromptWindows* windows = g_promptWindows.load())
        windows->InformOperator(ExpandPromptEscapes(message.c_str()), seconds);
    return true;
}

bool Script::ShowFluidicSystemState(const char* arguments, std::vector<Variable>&, bool check_only, CString& error)
{
    const char* cursor = arguments;
    if (!ParseEmptyArgumentList(cursor, error))
        return false;
    if (!check_only)
        platform::PostCommand(kSystemStateCommand);
    return true;
}

void InstallPromptCommands(BuiltInHandlerTable& table)
{
    table.Set(kPromptInfo, &Script::PromptInfo);
    table.Set(kPromptContinueCancel, &Script::PromptContinueCancel);
    table.Set(kPromptForValue, &Script::PromptForValue);
    table.Set(kPromptForValueInt, &Script::PromptForValueInt);
    table.Set(kPromptForString, &Script::PromptForString);
    table.Set(kPromptCustom, &Script::PromptCustom);
    table.Set(kWaitWithTimer, &Script::WaitWithTimer);
    table.Set(kInformOperator, &Script::InformOperator);
    table.Set(kShowFluidicSystemState, &Script::ShowFluidicSystemState);
}
