// The run screen's pump watch against the virtual pumps.

#include <gtest/gtest.h>

#include "devices/tests/InstrumentLines.h"
#include "operator/tests/CustomerUITestSupport.h"

namespace {

using namespace customer_ui;
using devices_testing::kPumpPort;

class CustomerUIPumpWatchTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override {
        InstrumentLines::SetUp();
        ui.AttachWindow(&window, &metrics);
        ui.OnInitDialog(1920, 1080, 30);
    }

    // Moves the clock on in steps and runs the timers due; stops early once
    // the watch has handed an event back.
    CString Watch(int ms, int stepMs = 250) {
        for (int t = 0; t < ms; t += stepMs) {
            clock.Advance(std::chrono::milliseconds(stepMs));
            ui.RunDueTimers();
            CString name;
            if (ui.WaitForEvent(&name, 0)) return name;
        }
        return "";
    }

    customer_ui_testing::FixedMetrics metrics;
    customer_ui_testing::RecordingWindow window;
    CustomerUI ui;
};

TEST_F(CustomerUIPumpWatchTest, RefusesABadPumpOrTimeOut) {
    struct Case {
        int pump, timeout;
        const char* message;
    } cases[] = {
        {3, 10, "CustomerUI::TriggerEventWhenPumpStopsMoving() - ipump=3, must be 1 or 2"},
        {0, 10, "CustomerUI::TriggerEventWhenPumpStopsMoving() - ipump=0, must be 1 or 2"},
        {1, 3, "CustomerUI::TriggerEventWhenPumpStopsMoving() - timeout_sec=3, must be between 4 and 3600"},
        {2, 3601, "CustomerUI::TriggerEventWhenPumpStopsMoving() - timeout_sec=3601, must be between 4 and 3600"},
    };
    for (const Case& c : cases) {
        CString error;
        EXPECT_FALSE(ui.TriggerEventWhenPumpStopsMoving(c.pump, c.timeout, error));
        EXPECT_EQ(error, c.message);
    }
    EXPECT_FALSE(ui.Timers().IsArmed(kTimerPumpWatch));
}

TEST_F(CustomerUIPumpWatchTest, AMovingPumpThatStopsEndsTheWatch) {
    OpenPumps();
    pumps->HoldBusy(1, std::chrono::milliseconds(3000));
    CString error;
    ASSERT_TRUE(ui.TriggerEventWhenPumpStopsMoving(1, 60, error)) << error.GetString();
    EXPECT_EQ(ui.Timers().Period(kTimerPumpWatch), 1000u);
    EXPECT_EQ(Watch(2000), "");
    EXPECT_EQ(Watch(3000), "PumpStoppedMoving");
    EXPECT_FALSE(ui.Timers().IsArmed(kTimerPumpWatch));
}

TEST_F(CustomerUIPumpWatchTest, AStandingPumpMustMoveBeforeItsStopCounts) {
    OpenPumps();
    CString error;
    ASSERT_TRUE(ui.TriggerEventWhenPumpStopsMoving(2, 60, error)) << error.GetString();
    EXPECT_EQ(ui.Timers().Period(kTimerPumpWatch), 500u);
    EXPECT_EQ(Watch(2000), "");
    pumps->HoldBusy(2, std::chrono::milliseconds(2000));
    EXPECT_EQ(Watch(500), "");
    EXPECT_EQ(ui.Timers().Period(kTimerPumpWatch), 1000u);  // seen moving
    EXPECT_EQ(Watch(3000), "PumpStoppedMoving");
}

TEST_F(CustomerUIPumpWatchTest, APumpThatNeverMovesEndsWithTheTimeOut) {
    OpenPumps();
    CString error;
    ASSERT_TRUE(ui.TriggerEventWhenPumpStopsMoving(1, 4, error)) << error.GetString();
    // Whole calendar seconds: the watch ends at the first poll after start + 4 s.
    EXPECT_EQ(Watch(4000, 500), "");
    EXPECT_EQ(Watch(1500, 500), "TimeoutWaitingForPumpToStopMoving");
}

TEST_F(CustomerUIPumpWatchTest, APumpThatCannotBeReadEndsTheWatchWithAnError) {
    CString error;
    theApp.m_nPumpComPort = 0;
    EXPECT_FALSE(ui.TriggerEventWhenPumpStopsMoving(1, 30, error));
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_FALSE(ui.Timers().IsArmed(kTimerPumpWatch));

    OpenPumps();
    ASSERT_TRUE(ui.TriggerEventWhenPumpStopsMoving(1, 30, error)) << error.GetString();
    theApp.m_nPumpComPort = 0;  // the line is gone
    EXPECT_EQ(Watch(1000), "ErrorReadingPumpState");
    EXPECT_FALSE(ui.Timers().IsArmed(kTimerPumpWatch));
}

TEST_F(CustomerUIPumpWatchTest, NextEndsARunningWatchSilently) {
    OpenPumps();
    ui.EditContent([](CustomerUIContent& c) { c.m_rcNext[0] = RECT{1661, 959, 1815, 1039}; });
    CString error;
    ASSERT_TRUE(ui.SetState(2, error));
    ASSERT_TRUE(ui.TriggerEventWhenPumpStopsMoving(1, 30, error)) << error.GetString();
    ui.OnLButtonDown({1700, 999});
    CString name;
    EXPECT_TRUE(ui.WaitForEvent(&name, 0));
    EXPECT_EQ(name, "Next");
    EXPECT_FALSE(ui.Timers().IsArmed(kTimerPumpWatch));
}

}  // namespace
