#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "devices/StagePanel.h"
#include "devices/tests/InstrumentLines.h"

namespace {

using devices_testing::kStagePort;
using Axis = StagePanel::Axis;

class StagePanelTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override {
        InstrumentLines::SetUp();
        OpenStage();
        panel.LoadSettings();
        stage->ClearReceived();
    }
    std::vector<std::string> logged;
    StagePanel panel{[this](const std::string& message) { logged.push_back(message); }};
};

TEST_F(StagePanelTest, JogsSendTheExactCommand) {
    struct Case {
        Axis axis;
        int item;
        double factor;
        const char* bytes;
    };
    const Case cases[] = {
        {Axis::Focus, 1, 100, "/01 1 move rel 20997\n"},  // "0.010" and ">>>": 1.0 mm
        {Axis::Focus, 0, -1, "/01 1 move rel -21\n"},     // rounded half away from zero
        {Axis::X, 2, -10, "/01 2 move rel -20997\n"},
        {Axis::X, 7, 10, "/01 2 move rel 210\n"},         // an unknown item counts as 0.001 mm
    };
    for (const Case& c : cases) {
        stage->SetPosition(1, 50 * 20997);
        stage->SetPosition(2, 50 * 20997);
        stage->ClearReceived();
        EXPECT_TRUE(panel.MoveRelative_mm(c.axis, StagePanel::IncrementMm(c.item) * c.factor)) << c.bytes;
        EXPECT_EQ(stage->ReceivedBytes(), c.bytes);
    }
    EXPECT_TRUE(logged.empty());
}

TEST_F(StagePanelTest, VelocityAndAbsoluteTargetsOutOfRangeAreRefusedAndLogged) {
    struct Case {
        std::function<bool()> action;
        const char* bytes;      // sent, or "" when refused
        const char* message;    // logged, or "" when sent
    };
    const Case cases[] = {
        {[&] { return panel.MoveVelocity(Axis::Focus, "5", +1); }, "/01 1 move vel 104987\n", ""},
        {[&] { return panel.MoveVelocity(Axis::X, "1", -1); }, "/01 2 move vel -20997\n", ""},
        {[&] { return panel.MoveVelocity(Axis::Focus, "5.01", +1); }, "",
         "Invalid velocity: 5.01 must be between 0.0001 and 5 mm/s"},
        {[&] { return panel.MoveVelocity(Axis::Focus, "0.00005", +1); }, "",
         "Invalid velocity: 0.00005 must be between 0.0001 and 5 mm/s"},
        {[&] { return panel.MoveVelocity(Axis::Focus, "", +1); }, "", "Invalid velocity: "},
        {[&] { return panel.MoveAbsolute(Axis::Focus, "100"); }, "/01 1 move abs 2099738\n", ""},
        {[&] { return panel.MoveAbsolute(Axis::Focus, "100.5"); }, "",
         "Zaber absolute position setting must be betwen -100.0 and 100.0 mm"},
        {[&] { return panel.MoveAbsolute(Axis::X, "abc"); }, "", "Invalid position: abc"},
    };
    for (const Case& c : cases) {
        stage->ClearReceived();
        logged.clear();
        const bool sent = *c.bytes != '\0';
        EXPECT_EQ(c.action(), sent) << c.bytes << c.message;
        EXPECT_EQ(stage->ReceivedBytes(), c.bytes);
        if (sent) {
            EXPECT_TRUE(logged.empty()) << logged.front();
        } else {
            ASSERT_EQ(logged.size(), 1u) << c.message;
            EXPECT_EQ(logged[0], c.message);
        }
        panel.Stop(Axis::Focus);
        panel.Stop(Axis::X);
    }
}

TEST_F(StagePanelTest, IdentityPositionAndASilentPort) {
    std::string identity, serial;
    ASSERT_TRUE(panel.GetDeviceId(&identity));
    EXPECT_EQ(identity, "DeviceID " + std::to_string(sim::StageSimulator::kDeviceId));
    ASSERT_TRUE(panel.GetSerialNumber(&serial));
    EXPECT_EQ(serial, "S/N " + std::to_string(sim::StageSimulator::kSerialNumber));
    stage->SetPosition(1, 20997 * 2);
    double mm = -1;
    ASSERT_TRUE(panel.GetPosition_mm(Axis::Focus, &mm));
    EXPECT_NEAR(mm, 2.0, 1e-3);

    // A panel left open after the stage was lost: every read fails at once, logged.
    theApp.m_nStageComPort = 0;
    EXPECT_FALSE(panel.GetPosition_mm(Axis::Focus, &mm));
    EXPECT_EQ(mm, 0);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.back(), "Zaber fails to respond to \"get pos\" command");
}

TEST_F(StagePanelTest, SettingsChooseDevicesAxesAndFactors) {
    stage->SetPosition(1, 50 * 20997);
    stage->SetPosition(2, 50 * 20997);
    WriteSettings("[Zaber]\nZaberFocusAxisIndex=2\nZaberXAxisIndex=1\nZaberStepsPerMM_Z=1000\nZaberStepsPerMM_X=x\n"
                  "InitializeZaberXAxisOnStartup=true\n");
    panel.LoadSettings();
    EXPECT_TRUE(panel.xAxisEnabled);
    EXPECT_EQ(panel.focusAxis, 2);
    EXPECT_DOUBLE_EQ(panel.stepsPerMM_X, 20997.38);
    stage->ClearReceived();
    EXPECT_TRUE(panel.MoveRelative_mm(Axis::Focus, 1.0));
    EXPECT_TRUE(panel.MoveRelative_mm(Axis::X, 1.0));
    EXPECT_EQ(stage->ReceivedBytes(), "/01 2 move rel 1000\n/01 1 move rel 20997\n");

    ASSERT_TRUE(StagePanel::SaveEdits("1.5", "", "0.2", "3"));
    const std::string saved = ReadFile(dataRoot + "/Vellora.ini");
    for (const char* line : {"MoveAbsPos_Focus=1.5", "MoveAbsPos_XAxis=", "MoveVelocity_Focus=0.2", "MoveVelocity_XAxis=3"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << line;
    }
}

// A script thread drives the stage through the driver while the panel polls
// the positions: every reply reaches the thread that asked for it.
TEST_F(StagePanelTest, ScriptThreadAndPanelPollingNeverSwapReplies) {
    std::atomic<bool> done{false};
    std::atomic<int> scriptFailures{0};
    std::thread script([&] {
        for (int i = 0; i < 40; ++i) {
            Tovanix::String reply;
            if (!SendSerialCommand(kStagePort, "/01 2 get pos\n", '\n', &reply, 500, 0, nullptr) ||
                std::strncmp(reply.c_str(), "@01 2 OK ", 9) != 0) {
                ++scriptFailures;
            }
        }
        done = true;
    });
    int polls = 0;
    while (!done || polls < 40) {
        double mm = 0;
        EXPECT_TRUE(panel.GetPosition_mm(Axis::Focus, &mm));
        ++polls;
        if (polls > 400) break;
    }
    script.join();
    EXPECT_EQ(scriptFailures, 0);
    EXPECT_TRUE(logged.empty()) << logged.front();
}

}  // namespace
