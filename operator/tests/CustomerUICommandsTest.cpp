// The run screen's script commands: the instance rule, the refusals of each
// command as tables of calls, their effects on the screen, and customer
// scripts run in instance 1 against a test operator.

#include <chrono>
#include <thread>

#include "app/FlowSplit.h"
#include "imaging/LiveView.h"
#include "operator/CustomerUICommands.h"
#include "operator/tests/CustomerUICommandsTestSupport.h"
#include "script/BuiltInFunctions.h"
#include "script/LineForms.h"
#include "script/Script.h"

namespace {

using namespace customer_ui;

using customer_ui_testing::CustomerUICommandsTest;
using customer_ui_testing::WaitUntil;

TEST_F(CustomerUICommandsTest, ScreenCommandsRefuseTheConsoleInstanceAlreadyInTheCheckPass) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"CustomerUI_Login(s);", "Script::CustomerUI_Login"},
        {"CustomerUI_SetTitle(\"x\");", "Script::CustomerUI_SetTitle"},
        {"CustomerUI_StopTimer();", "Script::CustomerUI_StopTimer"},
        {"CustomerUI_GetCheckBoxState(1, i);", "Script::CustomerUI_GetCheckboxState"},
        {"CustomerUI_RestoreDefaultState();", "Script::CustomerUI_RestoreDefaultState"},
        {"CustomerUI_SetFlowSplit(0);", "Script::CustomerUI_SetFlowSplit"},
        // The instance check comes before the argument list is read.
        {"CustomerUI_HideNext(", "Script::CustomerUI_HideNext"},
    };
    Declare("STRING", "s");
    Declare("int", "i");
    for (const auto& [line, name] : cases) {
        EXPECT_EQ(Call(line, true, 0), name + "() may only be called from the CustomerUI instance of the interpreter.")
            << line;
    }
    // The live-interval helpers serve both instances.
    EXPECT_EQ(Call("CustomerUI_SetWorkflowLiveImageIntervalByImageType(\"BF\", 250);", false, 0), "");
    {
        std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
        EXPECT_EQ(g_LiveIntervalByImageType["BF"], 250);
        g_LiveIntervalChanged = false;
    }
    EXPECT_EQ(Call("CustomerUI_SetWorkflowLiveImageIntervalByImageType(\"BF\", 9);", false, 0),
              "CustomerUI_SetWorkflowLiveImageIntervalByImageType () : interval must be between 10ms and 100000ms");
    EXPECT_EQ(Call("CustomerUI_ClearWorkflowLiveImageIntervals();", false, 0), "");
    std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
    EXPECT_TRUE(g_LiveIntervalByImageType.empty());
    EXPECT_TRUE(g_LiveIntervalChanged);
}

TEST_F(CustomerUICommandsTest, RunTimeRefusals) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"CustomerUI_SetImage(7, \"\");", "CustomerUI_SetImage() - image index must be between 1 and 6."},
        {"CustomerUI_SetImage(1, \"NoSuch.png\");", "CustomerUI_SetImage() - file does not exist: NoSuch.png"},
        {"CustomerUI_SetNextImages(\"a.png\", \"b.png\");", "File does not exist: "},
        {"CustomerUI_AddActionButtonLine(\"\");",
         "Action button line must have at least one character and no more than 100 characters."},
        {"CustomerUI_AddActionButtonLine(\"" + std::string(101, 'x') + "\");",
         "Action button line must have at least one character and no more than 100 characters."},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, 0, 256, 0, 0, 0, 1, 1);", "fill_blue must be between 0 and 255"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, 0, 0, -1, 0, 0, 1, 1);", "bdr_red must be between 0 and 255"},
        {"CustomerUI_DefineGroupBox(0, 10, 0, 10, 0, 0, 0, 0, 0, 0, 11, 1);",
         "Border thickness must not be more than 10 or less than 0"},
        {"CustomerUI_SetImagePreviewZoomInArea(-0.1, 1, 0, 1);", "left must be greater than or equal to zero."},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1.1, 0, 1);", "right must be less than or equal to 1."},
        {"CustomerUI_SetImagePreviewZoomInArea(0.5, 0.5, 0, 1);", "right must be greater then left."},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1, -1, 1);", "top must be greater than or equal to zero."},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1, 0, 2);", "bottom must be less than or equal to 1."},
        {"CustomerUI_SetImagePreviewZoomInArea(0, 1, 0.6, 0.2);", "bottom must be greater then top."},
        {"CustomerUI_SetTopLinePos(0.995);", "Script::CustomerUI_SetTopLinePos() must be between 0.0 and 0.99"},
        {"CustomerUI_SetActionsTopLinePos(0.04);",
         "Script::CustomerUI_SetActionsTopLinePos() must be between 0.05 and 0.90"},
        {"CustomerUI_SetBackgroundColor(256, 0, 0);", "red must be between 0 and 255."},
        {"CustomerUI_SetDefaultTextColor(0, -1, 0);", "green must be between 0 and 255"},
        {"CustomerUI_SetHilightTextColor(0, 0, 300);", "blue must be between 0 and 255"},
        {"CustomerUI_DefineActionButtonFont(\"Sans\", 7);", "font_ht must be between 8 and 100"},
        {"CustomerUI_DefineActionButtonWidth(19);", "Button width must be between 20 and 1920"},
        {"CustomerUI_DefineActionButtonWidth(1921);", "Button width must be between 20 and 1920"},
        {"CustomerUI_DefineActionButtonVerticalSpacing(-1);", "Verical spacing must be between 0 and 100"},
        {"CustomerUI_DefineActionButtonVerticalSpacing(101);", "Verical spacing must be between 0 and 100"},
        {"CustomerUI_HideNext(3601);", "Maximum timeout is 3600 sec."},
        {"CustomerUI_HideBack(-1);", "Minimum timeout is 0 sec."},
        {"CustomerUI_SetTimer(-1, 1);",
         "Invalid number of seconds: -1.00 : must be between 0 and 86400 (one day)."},
        {"CustomerUI_SetTimer(86400.5, 1);",
         "Invalid number of seconds: 86400.50 : must be between 0 and 86400 (one day)."},
        {"CustomerUI_TriggerEventWhenPumpStopsMoving(3, 10);",
         "CustomerUI::TriggerEventWhenPumpStopsMoving() - ipump=3, must be 1 or 2"},
        {"CustomerUI_DefineFlowSplitRange(-46, 0);", "split limit must be greater than or equal to -45"},
        {"CustomerUI_DefineFlowSplitRange(0, 46);", "split limit must be less than or equal to 45"},
        {"CustomerUI_DefineFlowSplitRange(5, -5);", "min split must be less than or equal to max split"},
        {"CustomerUI_SetFlowSplit(11);", "isplit must be less than or equal to 10"},
        {"CustomerUI_SetFlowSplit(-11);", "isplit must be greater than or equal to -10"},
        {"CustomerUI_GetTextEditFieldContents(7, s);", "Invalid edit field index 7"},
        {"CustomerUI_GetTextEditFieldContents(0, s);", "Invalid edit field index 0"},
        {"CustomerUI_GetCheckBoxState(7, i);", "Invalid checkbox index 7"},
    };
    Declare("STRING", "s");
    Declare("int", "i");
    for (const auto& [line, message] : cases) {
        EXPECT_EQ(Call(line, true), "") << "check pass of " << line;
        const std::string error = Call(line, false);
        if (message.back() == ' ')
            EXPECT_EQ(error.rfind(message, 0), 0u) << line << " gave " << error;
        else
            EXPECT_EQ(error, message) << line;
    }
    // None of the refused commands changed what they guard.
    const CustomerUISnapshot s = g_CustomerUI.Snapshot();
    EXPECT_TRUE(s.content.m_vecActionLines.empty());
    EXPECT_TRUE(s.content.m_vecGroupBoxRects.empty());
    EXPECT_EQ(s.content.m_dZoomLeft, 0.0);
    EXPECT_EQ(s.content.m_dTopLinePos, 0.01);
    EXPECT_EQ(g_CustomerUIBackgroundColor.load(), kDefaultBackground);
    EXPECT_EQ(GetFlowSplit().FlowSplitMin, -10);
}

TEST_F(CustomerUICommandsTest, CheckPassRefusals) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"CustomerUI_SetTitle \"x\";", "not a call"},
        {"CustomerUI_SetTitle(", "missing );"},
        {"CustomerUI_StopTimer(1);", "missing )"},
        {"CustomerUI_ShowNext()", "missing ; after )"},
        {"CustomerUI_SetTextLine(1);", "string parameter 2"},
        {"CustomerUI_DefineActionButtonBackgroundColors(0, 0, 256, 0, 0, 0);",
         "Parameter 3 must be between 0 and 255"},
        {"CustomerUI_DefineActionButtonTextColors(0, 0, 0, 0, 0, -1);", "Parameter 6 must be between 0 and 255"},
        // A misspelt optional seconds argument is an error, not the default.
        {"CustomerUI_SetErrorMessage(\"x\", secnds);", "secnds"},
    };
    for (const auto& [line, message] : cases) {
        const std::string error = Call(line, true);
        EXPECT_NE(error.find(message), std::string::npos) << line << " gave " << error;
    }
}

TEST_F(CustomerUICommandsTest, ContentCommands) {
    EXPECT_EQ(Both("CustomerUI_SetTextLine(3, \"third\");"), "");
    EXPECT_EQ(Both("CustomerUI_SetTextLine(7, \"seventh\");"), "");
    EXPECT_EQ(Both("CustomerUI_SetInput(0, \"zero\", \"\", 5);"), "");
    EXPECT_EQ(Both("CustomerUI_SetInput(2, \"Sample\", \"S-1\", 12);"), "");
    EXPECT_EQ(Both("CustomerUI_SetCheckboxInput(1, \"Rinse\", 1);"), "");
    EXPECT_EQ(Both("CustomerUI_SetTitle(\"Run\");"), "");
    EXPECT_EQ(Both("CustomerUI_SetSelectionActionTitle(\"Pick\");"), "");
    EXPECT_EQ(Both("CustomerUI_SetNextButtonText(\"Go\");"), "");
    EXPECT_EQ(Both("CustomerUI_SetImagePreviewZoomInArea(0.25, 0.75, 0.1, 0.9);"), "");
    EXPECT_EQ(Both("CustomerUI_DefineActionButtonFont(\"\", 0);"), "");
    EXPECT_EQ(Both("CustomerUI_SetBackgroundColor(1, 2, 3);"), "");
    for (int i = 0; i < 16; ++i) EXPECT_EQ(Both("CustomerUI_AddActionButtonLine(\"line\");"), "") << i;
    EXPECT_EQ(Call("CustomerUI_AddActionButtonLine(\"line\");"), "No more than action lines may be added.");

    const CustomerUISnapshot s = g_CustomerUI.Snapshot();
    EXPECT_EQ(s.content.m_vecTextLines, (std::vector<std::string>{"", "", "third"}));
    EXPECT_EQ(s.content.m_vecInputLabels[0], "Rinse");
    EXPECT_EQ(s.content.m_vecInputLabels[1], "Sample");
    EXPECT_EQ(g_CustomerUI.GetControlText(IDC_INPUT2), "S-1");
    EXPECT_TRUE(g_CustomerUI.GetControl(IDC_CHECK1).checked);
    EXPECT_EQ(s.content.m_strTitle, "Run");
    EXPECT_EQ(s.content.m_strActionTitle, "Pick");
    EXPECT_EQ(s.content.m_strNextText, "Go");
    EXPECT_EQ(s.content.m_dZoomLeft, 0.25);
    EXPECT_EQ(s.content.m_dZoomBottom, 0.9);
    EXPECT_EQ(s.content.m_strActionFontName, "");
    EXPECT_EQ(s.content.m_nActionFontHeight, 40);
    EXPECT_EQ(s.content.m_vecActionLines.size(), 16u);
    EXPECT_EQ(g_CustomerUIBackgroundColor.load(), Rgb(1, 2, 3));

    // A refused height keeps the face name that came with it.
    EXPECT_EQ(Call("CustomerUI_DefineActionButtonFont(\"Serif\", 101);"), "font_ht must be between 8 and 100");
    EXPECT_EQ(g_CustomerUI.Snapshot().content.m_strActionFontName, "Serif");
    EXPECT_EQ(g_CustomerUI.Snapshot().content.m_nActionFontHeight, 40);

    // The default-state reset clears the script's content but not the zoom area.
    EXPECT_EQ(Both("CustomerUI_RestoreDefaultState();"), "");
    const CustomerUISnapshot r = g_CustomerUI.Snapshot();
    EXPECT_TRUE(r.content.m_vecTextLines.empty());
    EXPECT_TRUE(r.content.m_vecActionLines.empty());
    EXPECT_EQ(r.content.m_dZoomLeft, 0.25);
}

TEST_F(CustomerUICommandsTest, ReadBacksStoreOnlyIntoVariablesOfTheirType) {
    Declare("STRING", "s");
    Declare("int", "i");
    Declare("double", "d");
    Declare("int", "w");
    Declare("int", "h");
    g_CustomerUI.SetControlText(IDC_INPUT3, "typed");
    g_CustomerUI.SetControlChecked(IDC_CHECK1 + 5, true);
    theApp.m_bAdminMode = true;
    EXPECT_EQ(Both("CustomerUI_GetTextEditFieldContents(3, s);"), "");
    EXPECT_STREQ(Var("s").sValue.c_str(), "typed");
    EXPECT_EQ(Both("CustomerUI_GetCheckBoxState(6, i);"), "");
    EXPECT_EQ(Var("i").iValue, 1);
    EXPECT_EQ(Both("CustomerUI_GetAdminModeStatus(i);"), "");
    EXPECT_EQ(Var("i").iValue, 1);
    EXPECT_EQ(Both("CustomerUI_GetGUISize(w, h);"), "");
    EXPECT_EQ(Var("w").iValue, 1920);
    EXPECT_EQ(Var("h").iValue, 1080);
    // A double variable or a literal receives nothing, and the command succeeds.
    Var("d").dValue = 7.5;
    EXPECT_EQ(Both("CustomerUI_GetFlowSplit(d);"), "");
    EXPECT_EQ(Var("d").dValue, 7.5);
    EXPECT_EQ(Both("CustomerUI_GetFlowSplit(3);"), "");
}

TEST_F(CustomerUICommandsTest, FlowSplitRangeAndValues) {
    Declare("int", "split");
    EXPECT_EQ(Both("CustomerUI_DefineFlowSplitRange(-45, 45);"), "");
    FlowSplitValues v = GetFlowSplit();
    EXPECT_DOUBLE_EQ(v.FlowSplitMinFraction, 0.05);
    EXPECT_DOUBLE_EQ(v.FlowSplitMaxFraction, 0.95);
    const std::vector<std::pair<int, double>> cases = {{0, 0.5}, {10, 0.6}, {-45, 0.05}, {45, 0.95}, {-3, 0.47}};
    for (const auto& [split, fraction] : cases) {
        EXPECT_EQ(Both("CustomerUI_SetFlowSplit(" + std::to_string(split) + ");"), "");
        EXPECT_NEAR(GetFlowSplit().FlowSplitFraction, fraction, 1e-12) << split;
        EXPECT_EQ(Both("CustomerUI_GetFlowSplit(split);"), "");
        EXPECT_EQ(Var("split").iValue, split);
    }
    // Half a point rounds away from the middle.
    SetFlowSplitFraction(0.525);
    EXPECT_EQ(Both("CustomerUI_GetFlowSplit(split);"), "");
    EXPECT_EQ(Var("split").iValue, 3);
    EXPECT_EQ(Both("CustomerUI_ShowSplitFlowLine(0);"), "");
    EXPECT_EQ(Both("CustomerUI_AllowAdjustSplitFlowLine(0);"), "");
    EXPECT_FALSE(g_CustomerUI.Snapshot().content.m_bShowSplitLine);
    EXPECT_FALSE(g_CustomerUI.Snapshot().content.m_bSplitLineAdjustable);
}

TEST_F(CustomerUICommandsTest, ScriptTimerArithmetic) {
    Declare("int", "left");
    Declare("int", "gone");
    // Without a timer both are 0.
    EXPECT_EQ(Both("CustomerUI_GetTimerInfo(left, gone);"), "");
    EXPECT_EQ(Var("left").iValue, 0);
    EXPECT_EQ(Var("gone").iValue, 0);

    EXPECT_EQ(Both("CustomerUI_SetTimer(2.5, 1);"), "");
    EXPECT_EQ(g_CustomerUI.Snapshot().timer.m_nTimerDurationMs, 2500u);
    EXPECT_TRUE(g_CustomerUI.Timers().IsArmed(kTimerScript));
    clock.Advance(std::chrono::milliseconds(1200));
    EXPECT_EQ(Both("CustomerUI_GetTimerInfo(left, gone);"), "");
    EXPECT_EQ(Var("left").iValue, 1);  // 1300 ms left, truncated
    EXPECT_EQ(Var("gone").iValue, 1);

    EXPECT_EQ(Both("CustomerUI_StopTimer();"), "");
    EXPECT_FALSE(g_CustomerUI.Timers().IsArmed(kTimerScript));
    EXPECT_EQ(Both("CustomerUI_GetTimerInfo(left, gone);"), "");
    EXPECT_EQ(Var("left").iValue, 0);
    EXPECT_EQ(Var("gone").iValue, 0);

    // Continuing counts the stopped time as elapsed.
    clock.Advance(std::chrono::milliseconds(500));
    EXPECT_EQ(Both("CustomerUI_ContinueTimer();"), "");
    EXPECT_TRUE(g_CustomerUI.Timers().IsArmed(kTimerScript));
    EXPECT_EQ(Both("CustomerUI_GetTimerInfo(left, gone);"), "");
    EXPECT_EQ(Var("left").iValue, 0);  // 800 ms left
    EXPECT_EQ(Var("gone").iValue, 1);

    // A refused time has already stopped the running timer.
    EXPECT_EQ(Call("CustomerUI_SetTimer(-1, 0);").empty(), false);
    EXPECT_FALSE(g_CustomerUI.Timers().IsArmed(kTimerScript));
    EXPECT_EQ(Both("CustomerUI_SetTimer(0.0004, 0);"), "");
    EXPECT_EQ(g_CustomerUI.Snapshot().timer.m_nTimerDurationMs, 0u);
    EXPECT_FALSE(g_CustomerUI.Snapshot().timer.m_bTimerCountDown);
    EXPECT_EQ(Both("CustomerUI_SetTimer(86400, 1);"), "");
    EXPECT_EQ(g_CustomerUI.Snapshot().timer.m_nTimerDurationMs, 86400000u);
}

TEST_F(CustomerUICommandsTest, HidingAndShowingTheArrows) {
    auto hidden = [] {
        const CustomerUISnapshot s = g_CustomerUI.Snapshot();
        return std::make_pair(s.content.m_bNextHidden, s.content.m_bBackHidden);
    };
    EXPECT_EQ(Both("CustomerUI_HideNext(3600);"), "");
    EXPECT_EQ(Both("CustomerUI_HideBack(5);"), "");
    EXPECT_EQ(hidden(), std::make_pair(true, true));
    EXPECT_FALSE(g_CustomerUI.Timers().IsArmed(kTimerShowNext));  // until shown again
    EXPECT_TRUE(g_CustomerUI.Timers().IsArmed(kTimerShowBack));
    // Showing Back cancels its re-show and leaves Next alone.
    EXPECT_EQ(Both("CustomerUI_ShowBack();"), "");
    EXPECT_EQ(hidden(), std::make_pair(true, false));
    EXPECT_FALSE(g_CustomerUI.Timers().IsArmed(kTimerShowBack));
    Elapse(10000, 500);
    EXPECT_EQ(hidden(), std::make_pair(true, false));
    EXPECT_EQ(Both("CustomerUI_ShowNext();"), "");
    EXPECT_EQ(hidden(), std::make_pair(false, false));
    // A timed hide comes back by itself.
    EXPECT_EQ(Both("CustomerUI_HideNext(5);"), "");
    Elapse(4500, 500);
    EXPECT_TRUE(hidden().first);
    Elapse(1000, 500);
    EXPECT_FALSE(hidden().first);
}

TEST_F(CustomerUICommandsTest, ErrorMessageWaitsForTheDeferredTimer) {
    EXPECT_EQ(Both("CustomerUI_SetErrorMessage(\"Clamp open\");"), "");
    EXPECT_TRUE(g_CustomerUI.Timers().IsArmed(kTimerDeferredMessage));
    Elapse(20);
    const CustomerUISnapshot s = g_CustomerUI.Snapshot();
    EXPECT_EQ(s.message.m_strMessage, "Clamp open");
    // Twenty fading ticks over the default ten seconds.
    EXPECT_EQ(s.message.m_nMessageTicks, 20);
    EXPECT_EQ(g_CustomerUI.Timers().Period(kTimerMessage), 500u);
}

TEST_F(CustomerUICommandsTest, StopLiveImageCaptureNotesTheTimeOnAVisibleScreen) {
    g_CustomerUI.m_ftLiveStopRequest = 0;
    bridge.Clear();
    EXPECT_EQ(Call("StopLiveImageCapture();", false, 0), "");
    EXPECT_EQ(g_CustomerUI.m_ftLiveStopRequest.load(), 0u);
    g_CustomerUI.ShowWindow(true);
    EXPECT_EQ(Call("StopLiveImageCapture();", false, 1), "");
    EXPECT_NE(g_CustomerUI.m_ftLiveStopRequest.load(), 0u);
    EXPECT_EQ(bridge.PostedCommands(), (std::vector<int>{32861, 32861}));
    g_CustomerUI.ShowWindow(false);
}

TEST_F(CustomerUICommandsTest, AWaitingScreenGivenALiteralShowsItsStateAndStoresNothing) {
    std::string result;
    std::thread script([&] { result = Call("CustomerUI_PromptInfo(\"literal\");"); });
    ASSERT_TRUE(WaitUntil([] { return g_CustomerUI.GetState() == 9; }));
    g_CustomerUI.OnNextClicked();
    script.join();
    EXPECT_EQ(result, "");
    EXPECT_TRUE(variables.empty());
}

}  // namespace
