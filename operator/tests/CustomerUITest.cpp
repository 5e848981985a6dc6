#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "operator/tests/CustomerUITestSupport.h"
#include "app/FrameHooks.h"
#include "script/ScriptRun.h"

namespace {

using namespace customer_ui;
using customer_ui_testing::CustomerUIFixture;

class CustomerUITest : public CustomerUIFixture {
protected:
    // Sets a state the way a screen command does.
    void Enter(int32_t state) {
        CString error;
        ASSERT_TRUE(ui->SetState(state, error)) << error.GetString();
    }
    // Places the Next and Back arrows as the first paint does.
    void PlaceArrows() {
        const RECT client{0, 0, 1920, 1080};
        ui->PlanArrow(true, client, false, "", nullptr);
        ui->PlanArrow(false, client, false, "", nullptr);
    }
    bool EventPending(CString* name = nullptr) { return ui->WaitForEvent(name, 0); }

    static constexpr Point kOnNext{1700, 999};
    static constexpr Point kOnBack{200, 999};
};

TEST_F(CustomerUITest, SetStateRefusesNumbersOutsideTheTable) {
    ui->ShowWindow(false);
    window.shows.clear();
    for (int32_t bad : {-1, 15}) {
        CString error;
        EXPECT_FALSE(ui->SetState(bad, error));
        EXPECT_EQ(error, CString::Formatted("CustomerUI::SetState() - Invalid state: %d", bad));
    }
    EXPECT_EQ(ui->GetState(), kStateLogin);
    EXPECT_FALSE(ui->IsVisible());
    EXPECT_TRUE(window.shows.empty());
}

TEST_F(CustomerUITest, SetStateShowsTheWindowAndArmsItsTimers) {
    Enter(2);
    EXPECT_TRUE(ui->IsVisible());
    EXPECT_EQ(window.shows, std::vector<bool>({true}));
    EXPECT_EQ(ui->Timers().Period(kTimerRepaint), 100u);
    EXPECT_EQ(ui->Timers().Period(kTimerScriptEndWatch), 1000u);
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerLiveOff));

    // Only leaving the video screen switches live view off a second later.
    Enter(7);
    Enter(7);
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerLiveOff));
    Enter(8);
    EXPECT_EQ(ui->Timers().Period(kTimerLiveOff), 1000u);

    // The repaint timer fires once and invalidates the whole window.
    window.invalidated.clear();
    Elapse(300);
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerRepaint));
    ASSERT_FALSE(window.invalidated.empty());
    EXPECT_EQ(window.invalidated.front().left, -1);
}

TEST_F(CustomerUITest, FileNameScreenGetsOneBrowseBoxPerLabel) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(ui->SetInput(i, "Label", "", 10));
    ui->EditContent([](CustomerUIContent& c) { c.m_vecBrowseHover = {true, true, true, true, true}; });
    Enter(kStatePromptForFilename);
    const CustomerUISnapshot snapshot = ui->Snapshot();
    EXPECT_EQ(snapshot.content.m_vecBrowseRects.size(), 3u);
    EXPECT_EQ(snapshot.content.m_vecBrowseHover, std::vector<bool>(3, false));
}

TEST_F(CustomerUITest, StateNamesOfTheActionLog) {
    EXPECT_STREQ(StateName(-1), "UndefinedState");
    EXPECT_STREQ(StateName(0), "Login");
    EXPECT_STREQ(StateName(7), "ShowVideo");
    EXPECT_STREQ(StateName(14), "PromptForMontageReport");
    EXPECT_STREQ(StateName(15), "NumberOfStates");
    EXPECT_STREQ(StateName(16), "InvalidStat0e");
    EXPECT_STREQ(StateName(-2), "InvalidStat0e");

    ui->LogAction("ActionSelected", 1, "Image Analysis");
    ui->LogAction("NextClicked", 15, nullptr);
    const std::string log = ActionLog();
    EXPECT_NE(log.find("version\ttime\tAction\tStateName\tInfo"), std::string::npos) << log;
    EXPECT_NE(log.find("\tActionSelected\tSelectAction\tImage Analysis"), std::string::npos) << log;
    EXPECT_NE(log.find("\tNextClicked\tNumberOfStates\t\r\n"), std::string::npos) << log;
}

TEST_F(CustomerUITest, NextAndBackHandTheirNamesToAWaitingThread) {
    PretendCustomerScriptRuns();
    Enter(3);
    PlaceArrows();
    std::atomic<bool> done{false};
    CString name;
    std::thread script([&] {
        ui->WaitForEvent(&name);
        done = true;
    });
    ui->SetTimer(kTimerScript, 1000);
    ui->SetTimer(kTimerPumpWatch, 500);
    ui->OnLButtonDown(kOnNext);
    script.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(name, "Next");
    // Next ends the script timer and the pump watch with it.
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerScript));
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerPumpWatch));
    EXPECT_TRUE(ui->Snapshot().content.m_bFullRepaint);

    ui->OnLButtonDown(kOnBack);
    EXPECT_TRUE(EventPending(&name));
    EXPECT_EQ(name, "Back");
    const std::string log = ActionLog();
    EXPECT_NE(log.find("\tNextClicked\tPipetteSample\t"), std::string::npos);
    EXPECT_NE(log.find("\tBackClicked\tPipetteSample\t"), std::string::npos);
}

TEST_F(CustomerUITest, AStaleSignalReturnsTheNextWaitAtOnceUntilAResetClearsIt) {
    ui->HandBack("SplitChanged", false);
    Enter(9);  // SetState does not clear it
    CString name;
    EXPECT_TRUE(EventPending(&name));
    EXPECT_EQ(name, "SplitChanged");
    EXPECT_FALSE(EventPending());  // auto-reset: one set releases one wait

    ui->HandBack("SplitChanged", false);
    ui->ResetForNewScript();
    EXPECT_FALSE(EventPending());
    EXPECT_EQ(ui->GetEventName(), "");
    EXPECT_EQ(ui->GetState(), kUndefinedState);
}

TEST_F(CustomerUITest, ArrowsThatDoNotBelongToTheStateOrAreHiddenDoNothing) {
    PretendCustomerScriptRuns();
    PlaceArrows();
    for (int32_t state : {1, 4, 5, 6}) {
        Enter(state);
        ui->OnNextClicked();
        ui->OnLButtonDown(kOnNext);
        ui->OnLButtonDown(kOnBack);
        EXPECT_FALSE(EventPending()) << state;
    }
    const std::string log = ActionLog();
    EXPECT_NE(log.find("\tNextClicked\tRunSummary\t"), std::string::npos);

    Enter(2);
    ui->EditContent([](CustomerUIContent& c) { c.m_bNextHidden = true; });
    ui->OnLButtonDown(kOnNext);
    EXPECT_FALSE(EventPending());
    // The re-show timer brings it back.
    ui->SetTimer(kTimerShowNext, 1000);
    Elapse(1000, 100);
    EXPECT_FALSE(ui->Snapshot().content.m_bNextHidden);
    ui->OnLButtonDown(kOnNext);
    EXPECT_TRUE(EventPending());
}

TEST_F(CustomerUITest, LoginRules) {
    struct Case {
        std::string user, password;
        const char* message;  // null: a valid login
    } cases[] = {
        {"abc", "secret", "User name must be at least 4 characters."},
        {std::string(21, 'u'), "secret", "User name must be no more than 20 characters."},
        {"abcd", "abc", "Password must be at least 4 characters."},
        {"abcd", std::string(65, 'p'), "Password must be no more than 64 characters."},
        {std::string(20, 'u'), std::string(64, 'p'), nullptr},
        {"abcd", "abcd", nullptr},
    };
    for (const Case& c : cases) {
        ui->SetControlText(IDC_INPUT1, c.user);
        ui->SetControlText(IDC_PASSWORD, c.password);
        CString error;
        EXPECT_EQ(ui->ValidateLogin(error), c.message == nullptr) << c.user << "/" << c.password;
        if (c.message) {
            EXPECT_EQ(error, c.message);
        }
    }
}

TEST_F(CustomerUITest, LoginScreenShowsTheErrorForFiveSecondsAndKeepsWaiting) {
    Enter(kStateLogin);
    ui->SetControlText(IDC_INPUT1, "abc");
    ui->SetControlText(IDC_PASSWORD, "secret");
    ui->OnNextClicked();
    EXPECT_FALSE(EventPending());
    const CustomerUISnapshot snapshot = ui->Snapshot();
    EXPECT_EQ(snapshot.message.m_strMessage, "User name must be at least 4 characters.");
    EXPECT_EQ(ui->Timers().Period(kTimerMessage), 250u);  // 5 s over twenty ticks

    ui->SetControlText(IDC_INPUT1, "operator");
    ui->OnNextClicked();
    CString name;
    EXPECT_TRUE(EventPending(&name));
    EXPECT_EQ(name, "Login Success");
}

TEST_F(CustomerUITest, MessageLineTicksTwentyTimesThenStops) {
    ui->ShowMessage("Check the clamp", 2);
    CustomerUISnapshot snapshot = ui->Snapshot();
    EXPECT_EQ(ui->Timers().Period(kTimerMessage), 100u);
    EXPECT_EQ(snapshot.message.m_nMessageTicksLeft, 20);
    // Centred with the fixed metrics: 15 characters of 20 pixels.
    EXPECT_EQ(snapshot.message.m_rcMessage.left, 960 - 150);
    EXPECT_EQ(snapshot.message.m_rcMessage.top, 972);
    Elapse(1000, 100);
    EXPECT_EQ(ui->Snapshot().message.m_nMessageTicksLeft, 10);
    Elapse(1000, 100);
    EXPECT_EQ(ui->Snapshot().message.m_nMessageTicksLeft, 0);
    EXPECT_TRUE(ui->Timers().IsArmed(kTimerMessage));
    Elapse(100, 100);
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerMessage));

    // A message from the script thread waits for timer 1007.
    ui->ShowMessageDeferred("Pump error", 3);
    EXPECT_EQ(ui->Snapshot().message.m_strMessage, "Check the clamp");
    Elapse(10);
    snapshot = ui->Snapshot();
    EXPECT_EQ(snapshot.message.m_strMessage, "Pump error");
    EXPECT_TRUE(snapshot.message.m_strDeferredMessage.empty());
    EXPECT_EQ(ui->Timers().Period(kTimerMessage), 150u);
}

TEST_F(CustomerUITest, ScriptTimerExpiresIntoTheWaitingCommand) {
    PretendCustomerScriptRuns();
    Enter(9);
    ui->StartScriptTimer(2000, true);
    // Ticks each second; the box is redrawn each time.
    window.invalidated.clear();
    Elapse(2000, 500);
    EXPECT_FALSE(EventPending());
    EXPECT_EQ(window.invalidated.size(), 3u);  // the repaint, then two timer ticks
    Elapse(1000, 500);
    CString name;
    EXPECT_TRUE(EventPending(&name));
    EXPECT_EQ(name, "TimerExpired");
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerScript));
}

TEST_F(CustomerUITest, ActionButtonsHandBackTheirLine) {
    PretendCustomerScriptRuns();
    Enter(kStateSelectAction);
    // Without lines only the first default button answers.
    ui->EditContent([](CustomerUIContent& c) {
        c.m_rcDefaultActions = {RECT{800, 500, 1100, 540}, RECT{800, 560, 1100, 600}, RECT{800, 620, 1100, 660}};
    });
    ui->OnLButtonDown({900, 580});
    EXPECT_FALSE(EventPending());
    ui->OnMouseMove({900, 580}, false);
    EXPECT_EQ(ui->Snapshot().content.m_nHoverAction, 2);
    ui->OnLButtonDown({900, 520});
    CString name;
    EXPECT_TRUE(EventPending(&name));
    EXPECT_EQ(name, "Live Cell Enrichment");

    ui->EditContent([](CustomerUIContent& c) {
        c.m_vecActionLines = {"Enrich", "Analyse"};
        c.m_vecActionRects = {RECT{800, 500, 1100, 540}, RECT{800, 560, 1100, 600}};
    });
    ui->OnLButtonDown({900, 580});
    EXPECT_TRUE(EventPending(&name));
    EXPECT_EQ(name, "Analyse");
    EXPECT_NE(ActionLog().find("\tActionSelected\tSelectAction\tAnalyse"), std::string::npos);
}

TEST_F(CustomerUITest, HoverSwapsTheArrowImageLooksAndMarksTheState) {
    Enter(2);
    PlaceArrows();
    ui->EditContent([](CustomerUIContent& c) {
        c.m_nNextLook = 1;
        c.m_rcNext[1] = RECT{1700, 970, 1780, 1030};
        c.m_rcNext[2] = RECT{1690, 960, 1790, 1040};
    });
    ui->OnMouseMove({1710, 990}, false);
    CustomerUISnapshot snapshot = ui->Snapshot();
    EXPECT_EQ(snapshot.content.m_nNextLook, 2);
    EXPECT_TRUE(snapshot.content.m_vecNextHover[2]);
    EXPECT_FALSE(snapshot.content.m_vecNextHover[3]);
    ui->OnMouseMove({10, 10}, false);
    snapshot = ui->Snapshot();
    EXPECT_FALSE(snapshot.content.m_vecNextHover[2]);
    EXPECT_EQ(snapshot.content.m_nNextLook, 2);  // the next paint picks the look
}

TEST_F(CustomerUITest, ArrowPlanFallsBackToTheDrawnArrow) {
    const RECT client{0, 0, 1920, 1080};
    WriteFile(customerDir + "/NextHover.png", "x");
    CString error;
    ASSERT_TRUE(ui->SetNextImages("", "NextHover.png", error)) << error.GetString();
    auto sizer = [](const std::string& path, int32_t* w, int32_t* h) {
        if (path.find("NextHover.png") == std::string::npos) return false;
        *w = 100;
        *h = 60;
        return true;
    };
    ArrowPlan plan = ui->PlanArrow(true, client, false, "Go", sizer);
    EXPECT_TRUE(plan.drawn);
    EXPECT_EQ(plan.look, 0);  // no normal image: the polygon
    EXPECT_EQ(plan.colour, kArrowTeal);
    EXPECT_EQ(plan.rect, (RECT{1661, 959, 1815, 1039}));
    EXPECT_EQ(plan.captionColour, kArrowWhite);
    plan = ui->PlanArrow(true, client, true, "Go", sizer);
    EXPECT_EQ(plan.look, 2);
    EXPECT_EQ(plan.rect, (RECT{1688, 969, 1788, 1029}));
    EXPECT_EQ(plan.captionColour, kArrowTeal);
    EXPECT_NE(plan.imagePath.find("NextHover.png"), std::string::npos);

    // A missing image is refused with the joined path; nothing is stored.
    EXPECT_FALSE(ui->SetNextImages("Missing.png", "", error));
    EXPECT_EQ(error, CString::Formatted("File does not exist: %s/Missing.png", customerDir.c_str()));
    EXPECT_EQ(ui->Snapshot().content.m_strNextHoverImage, "NextHover.png");

    ui->EditContent([](CustomerUIContent& c) { c.m_bBackHidden = true; });
    EXPECT_FALSE(ui->PlanArrow(false, client, false, "", sizer).drawn);
}

TEST_F(CustomerUITest, SetImageChecksIndexAndFile) {
    CString error;
    EXPECT_FALSE(ui->SetImage(7, "a.png", error));
    EXPECT_EQ(error, "CustomerUI_SetImage() - image index must be between 1 and 6.");
    EXPECT_FALSE(ui->SetImage(0, "a.png", error));

    WriteFile(customerDir + "/Cells.png", "x");
    ASSERT_TRUE(ui->SetImage(3, "Cells.png", error));
    std::vector<std::string> images = ui->Snapshot().content.m_vecImages;
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[2], customerDir + "/Cells.png");

    const std::string missing = dataRoot + "/nowhere/x.png";
    EXPECT_FALSE(ui->SetImage(3, missing.c_str(), error));
    EXPECT_EQ(error, CString::Formatted("CustomerUI_SetImage() - file does not exist: %s", missing.c_str()));
    EXPECT_EQ(ui->Snapshot().content.m_vecImages[2], customerDir + "/Cells.png");

    ASSERT_TRUE(ui->SetImage(1, "", error));
    images = ui->Snapshot().content.m_vecImages;
    EXPECT_EQ(images[0], "");
    ASSERT_TRUE(ui->SetImage(3, nullptr, error));
    EXPECT_EQ(ui->Snapshot().content.m_vecImages[2], "");
}

TEST_F(CustomerUITest, InputsAndCheckBoxesKeepTheirIndexRange) {
    EXPECT_FALSE(ui->SetInput(6, "Too far", "x", 5));
    EXPECT_FALSE(ui->SetCheckboxInput(-1, "Too near", 1));
    EXPECT_TRUE(ui->Snapshot().content.m_vecInputLabels.empty());

    ASSERT_TRUE(ui->SetInput(2, "Sample name", "S-01", 12));
    const CustomerUISnapshot snapshot = ui->Snapshot();
    EXPECT_EQ(snapshot.content.m_vecInputLabels, std::vector<std::string>({"", "", "Sample name"}));
    EXPECT_EQ(snapshot.content.m_vecInputMaxLengths, std::vector<int32_t>({0, 0, 12}));
    EXPECT_EQ(ui->GetControlText(IDC_INPUT3), "S-01");

    ASSERT_TRUE(ui->SetCheckboxInput(5, "Red channel", 1));
    EXPECT_TRUE(ui->GetControl(IDC_CHECK1 + 5).checked);
    EXPECT_EQ(ui->Snapshot().content.m_vecInputLabels.size(), 6u);
}

TEST_F(CustomerUITest, GroupBoxRules) {
    CString error;
    // Half the smaller side is the largest corner radius.
    EXPECT_TRUE(ui->DefineGroupBox({100, 100, 300, 200}, 1, 2, 3, 50, error)) << error.GetString();
    EXPECT_FALSE(ui->DefineGroupBox({100, 100, 300, 200}, 1, 2, 3, 51, error));
    EXPECT_EQ(error, "Corner radius must not be less than 0 or greater than half the minumum of the height or width "
                     "of the group box rectangle.");
    EXPECT_FALSE(ui->DefineGroupBox({100, 100, 300, 200}, 1, 2, 3, -1, error));
    EXPECT_FALSE(ui->DefineGroupBox({100, 100, 300, 200}, 1, 2, 11, 5, error));
    EXPECT_EQ(error, "Border thickness must not be more than 10 or less than 0");
    EXPECT_FALSE(ui->DefineGroupBox({0, 0, 1921, 100}, 1, 2, 3, 5, error));
    EXPECT_EQ(error, "The group box rectangle must be inside the CustomerUI window: width=1920 and height=1080");
    EXPECT_TRUE(ui->DefineGroupBox({0, 0, 1920, 1080}, 1, 2, 0, 0, error));
    for (int i = 2; i < 10; ++i) ASSERT_TRUE(ui->DefineGroupBox({10, 10, 20, 20}, 1, 2, 1, 1, error));
    EXPECT_FALSE(ui->DefineGroupBox({10, 10, 20, 20}, 1, 2, 1, 1, error));
    EXPECT_EQ(error, "No more than 10 group boxes may be defined.");
    const CustomerUISnapshot snapshot = ui->Snapshot();
    EXPECT_EQ(snapshot.content.m_vecGroupBoxRects.size(), 10u);
    EXPECT_EQ(snapshot.content.m_vecGroupBoxRadius.size(), 10u);
    EXPECT_EQ(snapshot.content.m_vecGroupBoxRadius[0], 50);
}

TEST_F(CustomerUITest, ClearInputsEmptiesScriptContentButKeepsDefaultsAndCaptions) {
    CString error;
    ui->SetInput(0, "Name", "Jo", 5);
    ui->DefineGroupBox({10, 10, 20, 20}, 1, 2, 1, 1, error);
    ui->EditContent([](CustomerUIContent& c) {
        c.m_strTitle = "Run 7";
        c.m_vecImageCaptions = {"red"};
        c.m_bShowSplitLine = false;
        c.m_bNextHidden = true;
        c.m_dTopLinePos = 0.3;
        c.m_crActionBack = 5;
        c.m_strActionTitle = "Pick one";
    });
    EXPECT_TRUE(ui->ClearInputs());
    const CustomerUIContent c = ui->Snapshot().content;
    EXPECT_TRUE(c.m_strTitle.empty());
    EXPECT_TRUE(c.m_vecInputLabels.empty());
    EXPECT_TRUE(c.m_vecGroupBoxRects.empty());
    EXPECT_TRUE(c.m_bShowSplitLine);
    EXPECT_FALSE(c.m_bNextHidden);
    EXPECT_DOUBLE_EQ(c.m_dTopLinePos, 0.01);
    EXPECT_EQ(c.m_crActionBack, -1);
    EXPECT_EQ(c.m_vecInputDefaults, std::vector<std::string>({"Jo"}));
    EXPECT_EQ(c.m_vecImageCaptions, std::vector<std::string>({"red"}));
    EXPECT_EQ(c.m_strActionTitle, "Pick one");
}

TEST_F(CustomerUITest, StartScriptWithNothingToRunReportsNotStarted) {
    bool started = true;
    CString error;
    const std::string missing = customerDir + "/Scripts/Missing.scr";
    EXPECT_TRUE(ui->StartScript(missing.c_str(), error, &started));
    EXPECT_FALSE(started);
    const std::string comments = customerDir + "/Scripts/Comments.scr";
    WriteFile(comments, "// nothing to do\r\n\r\n   \r\n");
    EXPECT_TRUE(ui->StartScript(comments.c_str(), error, &started));
    EXPECT_FALSE(started);
    EXPECT_EQ(ui->GetState(), kUndefinedState);
    EXPECT_FALSE(ui->IsVisible());
    EXPECT_FALSE(ScriptInstanceExists(1));

    std::ifstream log(dataRoot + "/LOG/" + [] {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char name[64];
        std::snprintf(name, sizeof name, "Err_And_Info_%04u_%02u_%02u.log", now.wYear, now.wMonth, now.wDay);
        return std::string(name);
    }());
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("script file does not exist: " + missing), std::string::npos) << text.str();
}

TEST_F(CustomerUITest, AStoppedScriptReleasesAWaitingScreenWithinASecond) {
    PretendCustomerScriptRuns();
    Enter(9);
    std::atomic<bool> released{false};
    std::thread script([&] {
        ui->WaitForEvent(nullptr);
        released = true;
    });
    // While the run goes on the watch does nothing.
    Elapse(2000, 100);
    EXPECT_FALSE(released);
    EXPECT_TRUE(ui->IsVisible());

    Script::StopScript(1);
    Elapse(1000, 100);
    script.join();
    EXPECT_TRUE(released);
    EXPECT_FALSE(ui->IsVisible());
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerScriptEndWatch));
}

TEST_F(CustomerUITest, EndOfRunHookResetsTheScreenAndStopsLiveCapture) {
    PretendCustomerScriptRuns();
    Enter(7);
    ui->SetPaintedState(7);
    ui->SetTimer(kTimerScript, 1000);
    ui->SetTimer(kTimerShowBack, 5000);
    ui->HandBack("Next", false);
    ui->OnScriptEnded();
    EXPECT_EQ(ui->GetState(), kUndefinedState);
    EXPECT_EQ(ui->GetPaintedState(), kUndefinedState);
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerScript));
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerShowBack));
    EXPECT_FALSE(EventPending());
    EXPECT_EQ(bridge.PostedCommands(), std::vector<int>({32861}));
}

TEST_F(CustomerUITest, EscapeAsksBeforeItStopsTheRunAndEnterIsSwallowed) {
    Enter(2);
    EXPECT_TRUE(ui->OnKey(13));
    EXPECT_FALSE(ui->OnKey('a'));
    bridge.QueueAnswer(platform::IDNO);
    EXPECT_TRUE(ui->OnKey(27));
    EXPECT_TRUE(ui->IsVisible());
    bridge.QueueAnswer(platform::IDYES);
    EXPECT_FALSE(ui->OnKey(27));
    EXPECT_FALSE(ui->IsVisible());
    ASSERT_EQ(bridge.ShownBoxes().size(), 2u);
    EXPECT_EQ(bridge.ShownBoxes()[0].text, "Are you sure that you want to close this window?");
}

TEST_F(CustomerUITest, ControlHelpersShowAndHideTheRightControls) {
    for (int id : AllControlIds()) ui->ShowControl(id, true);
    ui->ShowEditControls(IDC_INPUT1, IDC_PASSWORD, 0);
    for (int id : AllControlIds()) {
        EXPECT_EQ(ui->GetControl(id).visible, id == IDC_INPUT1 || id == IDC_PASSWORD) << id;
    }
    ui->ShowEditControls(IDC_RADIO1, IDC_RADIO2, IDC_RADIO3);
    for (int id : AllControlIds()) {
        EXPECT_EQ(ui->GetControl(id).visible, id >= IDC_RADIO1 && id <= IDC_RADIO3) << id;
    }
    for (int id : AllControlIds()) ui->ShowControl(id, true);
    ui->HideInputEdits();
    for (int id : AllControlIds()) EXPECT_EQ(ui->GetControl(id).visible, id >= IDC_CHECK1) << id;
    for (int id : AllControlIds()) ui->ShowControl(id, true);
    ui->HideStateControls();
    for (int id : AllControlIds()) {
        const bool edit = id == IDC_INPUT1 || id == IDC_INPUT2 || (id >= IDC_INPUT3 && id <= IDC_INPUT6);
        EXPECT_EQ(ui->GetControl(id).visible, edit) << id;
    }
}

TEST_F(CustomerUITest, BrowseBoxPutsTheChosenFileIntoItsInput) {
    for (int i = 0; i < 2; ++i) ui->SetInput(i, "Settings", "", 30);
    Enter(kStatePromptForFilename);
    ui->EditContent([](CustomerUIContent& c) { c.m_vecBrowseRects = {RECT{100, 100, 200, 140}, RECT{100, 200, 200, 240}}; });
    EXPECT_FALSE(ui->OnBrowseClicked({50, 50}));
    window.chosenFile = "/data/ExperimentSettings.ini";
    // Timers and repaints go on while the dialog is open.
    window.duringDialog = [this] {
        ui->SetTimer(kTimerRepaint, 100);
        Elapse(100);
        ui->Snapshot();
    };
    ui->OnLButtonDown({150, 220});
    EXPECT_EQ(window.browseDialogs, 1);
    EXPECT_EQ(ui->GetControlText(IDC_INPUT2), "/data/ExperimentSettings.ini");
    EXPECT_FALSE(EventPending());
    ui->OnMouseMove({150, 120}, false);
    EXPECT_EQ(ui->Snapshot().content.m_vecBrowseHover, std::vector<bool>({true, false}));
}

// --- Exposure panel -----------------------------------------------------

TEST_F(CustomerUITest, ExposureComboListsTheChoicesAndTheStoredValue) {
    WriteSetting("ImageTypeExposure2", "750");
    ui->FillExposureCombo(IDC_COMBO2);
    const ControlState combo = ui->GetControl(IDC_COMBO2);
    EXPECT_EQ(combo.text, "750");
    ASSERT_EQ(combo.items.size(), 14u);
    EXPECT_EQ(combo.items[0], "OFF");
    EXPECT_EQ(combo.items[1], " 100");
    EXPECT_EQ(combo.items[7], "1000");
    EXPECT_EQ(combo.items[13], "10000");
    WriteSetting("ImageTypeExposure2", "abc");
    ui->FillExposureCombo(IDC_COMBO2);
    EXPECT_EQ(ui->GetControlText(IDC_COMBO2), "0");
}

TEST_F(CustomerUITest, ImageTypeSettingsFillTheCombosAndTheLiteVariantHidesTwoAndThree) {
    WriteSetting("IsActive1", "true");
    WriteSetting("ImageTypeExposure1", "x");
    WriteSetting("IsActive2", "FALSE");
    WriteSetting("ImageTypeExposure2", "300");
    WriteSetting("IsActive3", "maybe");  // follows type 2
    ui->ShowControl(IDC_COMBO2, true);
    ui->LoadImageTypeSettings();
    EXPECT_EQ(ui->GetControlText(IDC_COMBO1), "100");
    EXPECT_EQ(ui->GetControlText(IDC_COMBO2), "OFF");
    EXPECT_EQ(ui->GetControlText(IDC_COMBO3), "OFF");
    EXPECT_TRUE(ui->GetControl(IDC_COMBO2).visible);
    EXPECT_EQ(Setting("IsActive3"), "maybe");  // nothing written

    theApp.m_bQX4Lite = true;
    ui->LoadImageTypeSettings();
    EXPECT_FALSE(ui->GetControl(IDC_COMBO2).visible);
    EXPECT_FALSE(ui->GetControl(IDC_COMBO3).visible);

    ui->ShowControl(IDC_COMBO1, false);
    ui->UpdateExposureComboVisibility(IDC_COMBO1);
    EXPECT_TRUE(ui->GetControl(IDC_COMBO1).visible);
    ui->UpdateExposureComboVisibility(IDC_COMBO2);
    EXPECT_FALSE(ui->GetControl(IDC_COMBO2).visible);
}

TEST_F(CustomerUITest, ChoosingOffHidesTheComboAndAClickOnTheBoxTurnsTheTypeBackOn) {
    PretendCustomerScriptRuns();
    WriteSetting("IsActive2", "TRUE");
    WriteSetting("ImageTypeExposure2", "500");
    Enter(kStateShowVideo);
    ui->MoveControl(IDC_COMBO2, {1500, 400, 1600, 430});
    ui->ShowControl(IDC_COMBO2, true);
    ui->SetControlText(IDC_COMBO2, "OFF");
    ui->OnCbnCloseupCombo(IDC_COMBO2);
    EXPECT_EQ(ui->Timers().Period(kTimerExposure1 + 1), 100u);
    Elapse(100);
    EXPECT_EQ(Setting("IsActive2"), "FALSE");
    EXPECT_FALSE(ui->GetControl(IDC_COMBO2).visible);
    EXPECT_EQ(ui->GetControlText(IDC_COMBO2), "500");
    EXPECT_NE(ActionLog().find("\tOnChangeExposure2\tShowVideo\tOFF"), std::string::npos);

    ui->OnLButtonDown({1550, 415});
    EXPECT_EQ(Setting("IsActive2"), "TRUE");
    EXPECT_EQ(Setting("ImageTypeExposure2"), "500");
    EXPECT_TRUE(ui->GetControl(IDC_COMBO2).visible);
}

TEST_F(CustomerUITest, TypedExposureIsStoredOnlyWhenItIsAnIntegerWithinTheLimits) {
    WriteSetting("ImageTypeExposure1", "200");
    struct Case {
        const char* typed;
        const char* stored;
        const char* info;
    } cases[] = {
        {"1500", "1500", "1500"},
        {"fast", "1500", ""},
        {"12x", "1500", ""},
        {"5", "1500", ""},          // below the camera's minimum
        {"2000000", "1500", ""},    // above its maximum
        {" 750", "750", "750"},
    };
    for (const Case& c : cases) {
        ui->SetControlText(IDC_COMBO1, c.typed);
        ui->OnCbnEditchangeCombo(IDC_COMBO1);
        Elapse(990, 10);
        EXPECT_TRUE(ui->Timers().IsArmed(kTimerExposure1)) << c.typed;
        Elapse(10);
        EXPECT_EQ(Setting("ImageTypeExposure1"), c.stored) << c.typed;
        EXPECT_EQ(Setting("IsActive1"), "TRUE");
        EXPECT_NE(ActionLog().find(std::string("\tOnChangeExposure1\tLogin\t") + c.info + "\r\n"), std::string::npos)
            << c.typed;
    }
}

TEST_F(CustomerUITest, RadioChoiceSwitchesTheToolbarsImageType) {
    int shown = 0;
    std::vector<int> switched;
    ui->SetToolbarAccess({[&] { return shown; }, [&](int index) {
                              switched.push_back(index);
                              shown = index;
                              return true;
                          }});
    ui->OnBnClickedRadio(IDC_RADIO2);
    EXPECT_EQ(ui->ActiveIntensityControl(), 1);
    Elapse(10);
    EXPECT_EQ(switched, std::vector<int>({1}));
    EXPECT_TRUE(ui->Snapshot().content.m_bFullRepaint);
    ui->OnBnClickedRadio(IDC_RADIO2);
    Elapse(10);
    EXPECT_EQ(switched.size(), 1u);  // already shown
    EXPECT_NE(ActionLog().find("\tOnBnClickedRadio2\t"), std::string::npos);

    // A recording started by a script checks the first radio without a click.
    ui->CheckRadioButton(IDC_RADIO1, IDC_RADIO3, IDC_RADIO1);
    EXPECT_EQ(ui->ActiveIntensityControl(), 0);
    Elapse(10);
    EXPECT_EQ(switched.size(), 1u);
}

TEST_F(CustomerUITest, LiveViewTimersToggleOnlyWhenNeeded) {
    bool live = false;
    FrameHooks hooks = GetFrameHooks();
    hooks.livePreviewOpen = [&] { return live; };
    SetFrameHooks(hooks);
    ui->SetTimer(kTimerLiveOff, 1000);
    Elapse(1000, 100);
    EXPECT_TRUE(bridge.PostedCommands().empty());
    ui->SetTimer(kTimerLiveOn, 10);
    Elapse(10);
    EXPECT_EQ(bridge.PostedCommands(), std::vector<int>({kLiveImageCommand}));
    live = true;
    ui->SetTimer(kTimerLiveOn, 10);
    ui->SetTimer(kTimerLiveOff, 1000);
    Elapse(1000, 100);
    EXPECT_EQ(bridge.PostedCommands(), std::vector<int>({kLiveImageCommand, kLiveImageCommand}));
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerLiveOn));
    EXPECT_FALSE(ui->Timers().IsArmed(kTimerLiveOff));
    SetFrameHooks({});
}

}  // namespace

namespace {

using namespace customer_ui;

class CustomerUIIntensityTest : public customer_ui_testing::CustomerUIFixture {};

TEST_F(CustomerUIIntensityTest, MarkersOfTheCheckedTypesControlAreDraggedOnTheVideoScreen) {
    CString error;
    ASSERT_TRUE(ui->SetState(kStateShowVideo, error));
    ui->OnBnClickedRadio(IDC_RADIO2);
    Tovanix::IntensityControl& control = ui->m_IntensityControls[1];
    control.m_rect = {1500, 500, 1800, 524};
    control.m_lower_marker_rect = {1495, 525, 1505, 535};
    control.m_upper_marker_rect = {1795, 525, 1805, 535};

    ui->OnLButtonDown({1500, 530});
    EXPECT_TRUE(control.m_dragging_lower);
    EXPECT_FALSE(ui->m_IntensityControls[0].m_dragging_lower);
    window.invalidated.clear();
    ui->OnMouseMove({1600, 530}, true);
    const uint16_t moved = control.m_lower_intensity;
    EXPECT_GT(moved, 0);
    // The strip of the markers under the control is redrawn: h = 12.
    ASSERT_FALSE(window.invalidated.empty());
    EXPECT_EQ(window.invalidated.back(), (RECT{1494, 525, 1807, 538}));

    window.invalidated.clear();
    ui->OnLButtonUp({1650, 530});
    EXPECT_FALSE(control.m_dragging_lower);
    EXPECT_GT(control.m_lower_intensity, moved);
    ASSERT_FALSE(window.invalidated.empty());
    EXPECT_EQ(window.invalidated.back(), (RECT{1494, 500, 1806, 537}));
    const std::string log = ActionLog();
    EXPECT_NE(log.find("\tClickOnIntensityControl1\tShowVideo\t"), std::string::npos);
    EXPECT_NE(log.find("\tFinishContrastAdjust1\tShowVideo\t"), std::string::npos);

    // Elsewhere than the video screen the markers stay put.
    ASSERT_TRUE(ui->SetState(8, error));
    ui->OnLButtonDown({1500, 530});
    EXPECT_FALSE(control.m_dragging_lower);
}

}  // namespace
