#include "sim/StageSimulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/PortTable.h"
#include "sim/VirtualInstrument.h"
#include "sim/tests/LineClient.h"

using namespace std::chrono_literals;
using sim::StageSimulator;
using sim::testing::LineClient;
using Fault = sim::SerialDeviceSimulator::Fault;

namespace {

class StageSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(stage.Start(4));
        stage.SetPosition(1, 0);
        stage.SetPosition(2, 0);
        line = std::make_unique<LineClient>(platform::ComPortDevicePath(4), B115200);
        ASSERT_TRUE(line->IsOpen());
    }

    std::string Send(const std::string& command) { return line->Transact(command, "\n", 500ms); }

    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
    StageSimulator stage;
    std::unique_ptr<LineClient> line;
};

TEST_F(StageSimulatorTest, RepliesInTheProtocolForms) {
    struct Case {
        const char* command;
        const char* reply;
    };
    const std::vector<Case> cases = {
        {"/01 1\n", "@01 1 OK IDLE -- 0\r\n"},
        {"/get deviceid\n", "@01 0 OK IDLE -- 50081\r\n"},
        {"/1 get deviceid\n", "@01 0 OK IDLE -- 50081\r\n"},
        {"/01 1 get pos\n", "@01 1 OK IDLE -- 0\r\n"},
        {"/01 1 get driver.temperature\n", "@01 1 OK IDLE -- 31.5\r\n"},
        {"/01 0 get pos\n", "@01 0 OK IDLE -- 0 0\r\n"},
        {"/01 3 get pos\n", "@01 3 RJ IDLE -- BADAXIS\r\n"},
        {"/01 1 spin\n", "@01 1 RJ IDLE -- BADCOMMAND\r\n"},
        {"/01 1 move abs -5\n", "@01 1 RJ IDLE -- BADDATA\r\n"},
        {"/01 1 move abs 2099739\n", "@01 1 RJ IDLE -- BADDATA\r\n"},
        {"/01 1 move rel x\n", "@01 1 RJ IDLE -- BADDATA\r\n"},
        {"/01 2 move vel 209975\n", "@01 2 RJ IDLE -- BADDATA\r\n"},
        {"/01 1 stop\n", "@01 1 OK IDLE -- 0\r\n"},
        {"/01 1 get pos\r\n", "@01 1 OK IDLE -- 0\r\n"},   // a CR before the LF is tolerated
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Send(c.command), c.reply) << c.command;
    }
}

TEST_F(StageSimulatorTest, OtherDevicesAndBaudRatesGetNoAnswer) {
    EXPECT_EQ(Send("/02 1 get pos\n"), "");
    LineClient slow(stage.DevicePath(), B9600);
    EXPECT_EQ(slow.Transact("/01 1 get pos\n", "\n", 200ms), "");
}

TEST_F(StageSimulatorTest, AxisIsBusyWhileAMoveRunsAndPublishesItsPosition) {
    // 1 mm at 10 mm/s: 100 ms.
    EXPECT_EQ(Send("/01 1 move abs 20997\n"), "@01 1 OK BUSY -- 0\r\n");
    EXPECT_EQ(Send("/01 1\n"), "@01 1 OK BUSY -- 0\r\n");
    EXPECT_EQ(Send("/01 2\n"), "@01 2 OK IDLE -- 0\r\n");
    EXPECT_EQ(Send("/01 0\n"), "@01 0 OK BUSY -- 0\r\n");
    clock.Advance(50ms);
    EXPECT_NEAR(stage.Position(1), 10499, 2);
    clock.Advance(60ms);
    EXPECT_EQ(Send("/01 1\n"), "@01 1 OK IDLE -- 0\r\n");
    EXPECT_EQ(Send("/01 1 get pos\n"), "@01 1 OK IDLE -- 20997\r\n");
    EXPECT_NEAR(sim::VirtualInstrument::Instance().Snapshot().stageFocusMm, 1.0, 1e-4);

    EXPECT_EQ(Send("/01 2 move rel 41995\n"), "@01 2 OK BUSY -- 0\r\n");
    clock.Advance(1000ms);
    EXPECT_EQ(Send("/01 2 move rel -10499\n"), "@01 2 OK BUSY -- 0\r\n");
    clock.Advance(1000ms);
    EXPECT_EQ(Send("/01 0 get pos\n"), "@01 0 OK IDLE -- 20997 31496\r\n");
    EXPECT_NEAR(sim::VirtualInstrument::Instance().Snapshot().stageXMm, 1.5, 1e-4);

    EXPECT_EQ(Send("/01 1 home\n"), "@01 1 OK BUSY -- 0\r\n");
    clock.Advance(1000ms);
    EXPECT_EQ(Send("/01 1 get pos\n"), "@01 1 OK IDLE -- 0\r\n");
}

TEST_F(StageSimulatorTest, VelocityMoveRunsUntilStopped) {
    EXPECT_EQ(Send("/01 1 move vel 1000\n"), "@01 1 OK BUSY -- 0\r\n");
    clock.Advance(2000ms);
    EXPECT_EQ(Send("/01 1 stop\n"), "@01 1 OK IDLE -- 0\r\n");
    clock.Advance(2000ms);
    EXPECT_EQ(Send("/01 1 get pos\n"), "@01 1 OK IDLE -- 2000\r\n");
}

TEST_F(StageSimulatorTest, SpeedFactorShortensMoves) {
    stage.SetSpeedFactor(0.1);
    EXPECT_EQ(Send("/01 1 move abs 209974\n"), "@01 1 OK BUSY -- 0\r\n");   // 1 s at full time
    clock.Advance(101ms);
    EXPECT_EQ(Send("/01 1\n"), "@01 1 OK IDLE -- 0\r\n");
}

TEST_F(StageSimulatorTest, FaultSwitch) {
    stage.SetFault(Fault::NoReply, 1);
    EXPECT_EQ(Send("/01 1 move abs 100\n"), "");
    EXPECT_EQ(Send("/01 1 get pos\n"), "@01 1 OK IDLE -- 0\r\n");

    stage.SetFault(Fault::DeviceError, 1);
    EXPECT_EQ(Send("/01 1 move abs 100\n"), "@01 1 RJ IDLE FF BADDATA\r\n");
    stage.SetErrorFlag("FS");
    stage.SetFault(Fault::DeviceError, 1);
    EXPECT_EQ(Send("/01 1\n"), "@01 1 RJ IDLE FS BADDATA\r\n");

    stage.SetFault(Fault::Garbled, 1);
    EXPECT_EQ(Send("/01 1 get pos\n"), "\xC0\xB0\xB1 1 OK IDLE -- 0\r\n");

    stage.SetSlowReplyDelay(300ms);
    stage.SetFault(Fault::SlowReply, 1);
    EXPECT_EQ(line->Transact("/01 1 get pos\n", "\n", 100ms), "");
    EXPECT_EQ(line->Read("\n", 1000ms), "@01 1 OK IDLE -- 0\r\n");
    EXPECT_EQ(Send("/01 1 get pos\n"), "@01 1 OK IDLE -- 0\r\n");
}

}  // namespace
