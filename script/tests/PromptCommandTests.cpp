// The prompt commands: their argument checks in the check pass, the answers
// they turn into variables or the end of the run, the operator's windows they
// ask, the timed wait and its stop, and the notice.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/UiBridge.h"
#include "script/BuiltInFunctions.h"
#include "script/Script.h"
#include "script/ScriptPrompts.h"
#include "script/tests/ScriptTestSupport.h"

namespace {

using scripttest::Declared;
using scripttest::Describe;

constexpr int kPromptInfo = 0;
constexpr int kPromptContinueCancel = 1;
constexpr int kPromptForValue = 14;
constexpr int kWaitWithTimer = 19;
constexpr int kPromptForString = 29;
constexpr int kPromptForValueInt = 50;
constexpr int kPromptCustom = 52;
constexpr int kInformOperator = 69;
constexpr int kShowFluidicSystemState = 133;

// Windows that answer from fields and record what they were asked.
class FakeWindows : public ScriptPromptWindows {
public:
    int PromptInfo(const std::string& message) override
    {
        asked.push_back("info:" + message);
        return result;
    }
    int PromptContinueCancel(const std::string& message) override
    {
        asked.push_back("continue:" + message);
        return result;
    }
    int PromptForValue(const std::string& prompt, std::string& value) override
    {
        asked.push_back("value:" + prompt + "=" + value);
        value = typed;
        return result;
    }
    int PromptCustom(const std::string& message, const std::string& labels, int& pressed) override
    {
        asked.push_back("custom:" + message + "|" + labels);
        pressed = button;
        return result;
    }
    void ShowWaitWithTimer(int seconds, const std::string& message, int countUp) override
    {
        asked.push_back("wait:" + std::to_string(seconds) + ":" + message + ":" + std::to_string(countUp));
        waitVisible = true;
    }
    bool IsWaitWithTimerVisible() override
    {
        ++polls;
        if (polls == stopAtPoll && script)
            script->running = false;
        return waitVisible;
    }
    void EndWaitWithTimer() override
    {
        asked.push_back("end wait");
        waitVisible = false;
    }
    void InformOperator(const std::string& message, int seconds) override
    {
        asked.push_back("inform:" + message + ":" + std::to_string(seconds));
    }

    int result = platform::IDOK;
    std::string typed;
    int button = 0;
    std::vector<std::string> asked;
    std::atomic<bool> waitVisible{false};
    int polls = 0;
    int stopAtPoll = -1;
    Script* script = nullptr;
};

class PromptCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildBuiltInFunctionTable();
        script.running = true;
    }
    void TearDown() override { SetScriptPromptWindows(nullptr); }

    // Runs one command line's arguments; "ok" or the error text.
    std::string Run(int index, const std::string& arguments, bool check_only = false)
    {
        CString error;
        return script.ExecuteBuiltInFunction(index, arguments.c_str(), variables, check_only, error) ? "ok"
                                                                                                    : error.str();
    }

    Script script{0};
    std::vector<Variable> variables =
        Declared({"double d = 5;", "int i = 7;", "STRING s = \"old\";", "int b = 9;"});
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
};

TEST_F(PromptCommandTest, ArgumentChecksFailAlreadyInTheCheckPass)
{
    const struct {
        int index;
        const char* arguments;
        const char* result;
    } cases[] = {
        {kPromptInfo, "(\"a\");", "ok"},
        {kPromptInfo, "(\"a\", \"b\");", "Missing ) after string parameter."},
        {kPromptInfo, "\"a\");", "Missing '('"},
        {kPromptContinueCancel, "(\"a\",);", "Missing ) after string parameter."},
        {kPromptForValue, "(\"v\", 150, 0, 100);", "Default value 150.00 is greater than max value 100.00"},
        {kPromptForValue, "(\"v\", -1, 0, 100);", "Default value -1.00 is less than min value 0.00"},
        {kPromptForValue, "(\"v\");", "Invalid double parameter 2"},
        {kPromptForValue, "(\"v\", d, 0, 10) trailing ignored;", "ok"},
        {kPromptForValueInt, "(\"v\", 150, 0, 100);", "Default value 150 is greater than max value 100"},
        {kPromptForValueInt, "(\"v\", -5, -4, 100);", "Default value -5 is less than min value -4"},
        {kPromptForValueInt, "(\"v\", i, 0, 10);", "ok"},
        {kPromptForString, "(\"name\", s);", "ok"},
        {kPromptForString, "(\"name\");", "Missing leading \" for string parameter 2"},
        {kPromptCustom, "(\"m\", \"Yes;No\", b);", "ok"},
        {kPromptCustom, "(\"m\", \"Yes;No\", 1);", "Third parameter must be an int variable."},
        {kPromptCustom, "(\"m\", \"Yes;No\", nosuch);", "Variable \"nosuch\" is not defined, expecting int parameter 3"},
        {kWaitWithTimer, "(5, \"m\");", "ok"},
        {kWaitWithTimer, "(5, \"m\", 1);", "ok"},
        {kWaitWithTimer, "(5);", "Missing leading \" for string parameter 2"},
        // A misspelt count-up flag is refused rather than taken as absent.
        {kWaitWithTimer, "(5, \"m\", cuont);", "Variable \"cuont\" is not defined, expecting int parameter 3"},
        // The seconds are checked when the line runs.
        {kWaitWithTimer, "(0, \"m\");", "ok"},
        {kInformOperator, "(\"m\", 5);", "ok"},
        {kInformOperator, "(\"m\");", "Invalid int parameter 2"},
        {kShowFluidicSystemState, "();", "ok"},
        {kShowFluidicSystemState, "(1);", "missing )"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(c.index, c.arguments, true), c.result) << c.index << " " << c.arguments;
    // The check pass asks nobody.
    EXPECT_TRUE(ui.Prompts().empty());
}

TEST_F(PromptCommandTest, AnswersBecomeValuesOrEndTheRun)
{
    const struct {
        int index;
        const char* arguments;
        const char* answer;
        const char* result;
        const char* variable;
        const char* value;
    } cases[] = {
        {kPromptForValue, "(\"v\", d, 0, 100);", "12.5", "ok", "d", "double 12.5"},
        {kPromptForValue, "(\"v\", d, 0, 100);", "abc", "Entered value is not a valid floating point number: abc",
         "d", "double 5"},
        {kPromptForValue, "(\"v\", d, 0, 100);", "nan", "Entered value is not a valid floating point number: nan",
         "d", "double 5"},
        {kPromptForValue, "(\"v\", d, 0, 100);", "-3", "Entered value -3.00 is less than minimum value 0.00", "d",
         "double 5"},
        {kPromptForValue, "(\"v\", d, 0, 100);", "101", "Entered value: 101.00 is greater than maximum value 100.00",
         "d", "double 5"},
        {kPromptForValue, "(\"v\", d, 0, 100);", "Cancel", "Script Stopped", "d", "double 5"},
        // A literal or an int variable in the value's place receives nothing.
        {kPromptForValue, "(\"v\", i, 0, 100);", "42", "ok", "i", "int 7"},
        {kPromptForValueInt, "(\"v\", i, 0, 100);", "12abc", "ok", "i", "int 12"},
        {kPromptForValueInt, "(\"v\", i, 0, 100);", "abc", "Entered value is not a valid floating point number: abc",
         "i", "int 7"},
        {kPromptForValueInt, "(\"v\", i, -10, 10);", "-11", "Entered value -11 is less than minimum value -10", "i",
         "int 7"},
        {kPromptForValueInt, "(\"v\", i, 0, 100);", "99999999999",
         "Entered value: 2147483647 is greater than maximum value 100", "i", "int 7"},
        {kPromptForValueInt, "(\"v\", i, 0, 100);", "Cancel", "Script Stopped", "i", "int 7"},
        {kPromptForString, "(\"n\", s);", "new text", "ok", "s", "STRING new text"},
        {kPromptForString, "(\"n\", s);", "", "ok", "s", "STRING "},
        {kPromptForString, "(\"n\", s);", "Cancel", "Script Stopped", "s", "STRING old"},
        {kPromptForString, "(\"n\", \"literal\");", "x", "ok", "s", "STRING old"},
        {kPromptContinueCancel, "(\"go?\");", "Continue", "ok", "s", "STRING old"},
        {kPromptContinueCancel, "(\"go?\");", "Cancel", "Script Stopped", "s", "STRING old"},
        {kPromptInfo, "(\"note\");", "Cancel", "ok", "s", "STRING old"},
        {kPromptCustom, "(\"m\", \"Yes;No;Later\", b);", "2", "ok", "b", "int 2"},
        {kPromptCustom, "(\"m\", \"Yes;No;Later\", b);", "Later", "ok", "b", "int 3"},
        {kPromptCustom, "(\"m\", \"Yes;No;Later\", b);", "Cancel", "ok", "b", "int 0"},
        // No fourth button to press.
        {kPromptCustom, "(\"m\", \"Yes;No;Later\", b);", "4", "ok", "b", "int 0"},
        {kPromptCustom, "(\"m\", \"Yes;No;Later\", d);", "1", "ok", "d", "double 5"},
    };
    for (const auto& c : cases) {
        variables = Declared({"double d = 5;", "int i = 7;", "STRING s = \"old\";", "int b = 9;"});
        const char* command = BuiltInFunctionName(c.index);
        ui.QueuePromptAnswer(command, c.answer);
        EXPECT_EQ(Run(c.index, c.arguments), c.result) << command << c.arguments << " answered " << c.answer;
        EXPECT_EQ(Describe(variables, c.variable), c.value) << command << c.arguments << " answered " << c.answer;
    }
    EXPECT_EQ(ui.Prompts().size(), std::size(cases));
}

TEST_F(PromptCommandTest, TheOperatorsWindowsSeeWhatTheCommandsShow)
{
    FakeWindows windows;
    SetScriptPromptWindows(&windows);
    windows.typed = "3.5";
    EXPECT_EQ(Run(kPromptInfo, "(\"one\\ntwo\\tthree\");"), "ok");
    EXPECT_EQ(Run(kPromptForValue, "(\"Volume\", 50, 0, 100);"), "ok");
    EXPECT_EQ(Run(kPromptForValueInt, "(\"Count\", i, 0, 100);"), "ok");  // "3.5" reads as 3
    EXPECT_EQ(Run(kPromptForString, "(\"Name\", s);"), "ok");
    windows.button = 2;
    EXPECT_EQ(Run(kPromptCustom, "(\"Pick\", \"Yes;No\", b);"), "ok");
    EXPECT_EQ(Describe(variables, "b"), "int 2");
    EXPECT_EQ(Describe(variables, "i"), "int 3");
    EXPECT_EQ(Describe(variables, "s"), "STRING 3.5");
    windows.result = platform::IDCANCEL;
    EXPECT_EQ(Run(kPromptCustom, "(\"Pick\", \"Yes;No\", b);"), "ok");
    EXPECT_EQ(Describe(variables, "b"), "int 0");
    EXPECT_EQ(Run(kPromptContinueCancel, "(\"Go\\non?\");"), "Script Stopped");
    EXPECT_EQ(Run(kInformOperator, "(\"Flush\\tnow\", -1);"), "ok");

    const std::vector<std::string> expected = {
        "info:one\ntwo\tthree", "value:Volume=50.00", "value:Count=7", "value:Name=", "custom:Pick|Yes;No",
        "custom:Pick|Yes;No",   "continue:Go\non?",   "inform:Flush\tnow:-1",
    };
    EXPECT_EQ(windows.asked, expected);
}

TEST_F(PromptCommandTest, WithNeitherAnswerNorWindowAPromptCountsAsCancelled)
{
    EXPECT_EQ(Run(kPromptContinueCancel, "(\"go?\");"), "Script Stopped");
    EXPECT_EQ(Run(kPromptInfo, "(\"note\");"), "ok");
    // An answer for another command leaves this prompt unanswered.
    ui.QueuePromptAnswer("PromptForValue", "1");
    EXPECT_EQ(Run(kPromptForString, "(\"n\", s);"), "Script Stopped");
}

TEST_F(PromptCommandTest, TheTimedWaitEndsWithItsWindowOrAtAStop)
{
    FakeWindows windows;
    windows.script = &script;
    SetScriptPromptWindows(&windows);

    EXPECT_EQ(Run(kWaitWithTimer, "(0.4, \"m\");"), "WaitWithTimer() seconds must be between 1 and 36000");
    EXPECT_EQ(Run(kWaitWithTimer, "(36000.5, \"m\");"), "WaitWithTimer() seconds must be between 1 and 36000");
    EXPECT_TRUE(windows.asked.empty());

    // The window is ended by the command on the first poll after the stop.
    windows.stopAtPoll = 3;
    const auto before = clock.Now();
    EXPECT_EQ(Run(kWaitWithTimer, "(90.6, \"Priming\", 1);"), "ok");
    EXPECT_EQ(windows.asked, (std::vector<std::string>{"wait:91:Priming:1", "end wait"}));
    EXPECT_EQ(clock.Now() - before, std::chrono::milliseconds(200));
    EXPECT_FALSE(script.running);
}

TEST_F(PromptCommandTest, WithoutAWindowTheTimedWaitCountsOnTheClock)
{
    const auto before = clock.Now();
    EXPECT_EQ(Run(kWaitWithTimer, "(2, \"m\");"), "ok");
    EXPECT_EQ(clock.Now() - before, std::chrono::seconds(2));

    // A stop before the line runs ends the wait at once.
    script.running = false;
    const auto stopped = clock.Now();
    EXPECT_EQ(Run(kWaitWithTimer, "(36000, \"m\");"), "ok");
    EXPECT_EQ(clock.Now(), stopped);
}

TEST_F(PromptCommandTest, ShowFluidicSystemStatePostsTheMainWindowsCommand)
{
    EXPECT_EQ(Run(kShowFluidicSystemState, "();", true), "ok");
    EXPECT_TRUE(ui.PostedCommands().empty());
    EXPECT_EQ(Run(kShowFluidicSystemState, "( ) ;"), "ok");
    EXPECT_EQ(ui.PostedCommands(), std::vector<int>{32805});
}

}  // namespace
