#include "sim/PumpSimulator.h"

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
using sim::PumpSimulator;
using sim::testing::LineClient;
using Fault = sim::SerialDeviceSimulator::Fault;

namespace {

std::string Frame(char status, const std::string& data) { return "\xFF/0" + std::string(1, status) + data + "\x03\r\n"; }

class PumpSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh instrument: plungers at zero, valves on input.
        auto& instrument = sim::VirtualInstrument::Instance();
        {
            auto lock = instrument.Lock();
            instrument.State().pumps = {};
        }
        pumps = std::make_unique<PumpSimulator>();
        ASSERT_TRUE(pumps->Start(7));
        line = std::make_unique<LineClient>(platform::ComPortDevicePath(7), B9600);
        ASSERT_TRUE(line->IsOpen());
    }

    std::string Send(const std::string& frame) { return line->Transact(frame, "\r\n", 500ms); }

    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
    std::unique_ptr<PumpSimulator> pumps;
    std::unique_ptr<LineClient> line;
};

TEST_F(PumpSimulatorTest, AnswersCommandsAndReportsInTheReplyFrame) {
    struct Case {
        const char* frame;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"/1?29\r", Frame('`', "0")},
        {"/1?16\r", Frame('`', "24000")},
        {"/1?17\r", Frame('`', "1250")},
        {"/1?53\r", Frame('`', "77.0")},
        {"/1?4\r", Frame('`', "0")},
        {"/1?20\r", Frame('`', "I")},
        {"/1?5\r", Frame('C', "")},            // no such report
        {"/1XR\r", Frame('B', "")},            // no such command
        {"/1A100,1R\r", Frame('G', "")},       // not initialised yet
        {"/1U90\r", Frame('`', "")},         // syringe codes need no R
        {"/1?17\r", Frame('`', "250")},
        {"/1U77\r", Frame('C', "")},
        {"/2?17\r", Frame('`', "1250")},       // the other pump keeps its syringe
        {"/1K12R\r", Frame('`', "")},
        {"/1iR\r", Frame('`', "")},
        {"/1!R\r", Frame('`', "")},
        {"/1?4\r", Frame('`', "12")},
        {"/1L5,7R\r", Frame('`', "")},
        {"/1?9\r", Frame('`', "5")},
        {"/1?10\r", Frame('`', "7")},
        {"/1L0,7R\r", Frame('C', "")},
        {"/1V10.000,1R\r", Frame('`', "")},
        {"/1?37\r", Frame('`', "10.000")},
        {"/1?7\r", Frame('`', "960")},         // 10 ul/s on a 250 ul syringe
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Send(c.frame), c.reply) << c.frame;
    }
}

TEST_F(PumpSimulatorTest, IgnoresOtherAddressesAndOtherBaudRates) {
    EXPECT_EQ(Send("/3?29\r"), "");
    EXPECT_EQ(Send("/0?29\r"), "");
    LineClient fast(pumps->DevicePath(), B115200);
    EXPECT_EQ(fast.Transact("/1?29\r", "\r\n", 200ms), "");
    EXPECT_EQ(pumps->ReceivedBytes(), "/3?29\r/0?29\r/1?29\r");
}

TEST_F(PumpSimulatorTest, MovesTakeTheTimeOfTheSetSpeedAndPublishThePlunger) {
    ASSERT_EQ(Send("/1ZR\r"), Frame('@', ""));
    clock.Advance(1000ms);
    ASSERT_EQ(Send("/1?29\r"), Frame('`', "0"));
    ASSERT_EQ(Send("/1V25.000,1R\r"), Frame('`', ""));   // 25 ul/s
    ASSERT_EQ(Send("/1P100,1R\r"), Frame('@', ""));      // 4 s
    clock.Advance(2000ms);
    EXPECT_EQ(Send("/1?29\r"), Frame('@', "1"));          // reports carry the busy status too
    EXPECT_EQ(Send("/1?18\r"), Frame('@', "50.000"));
    EXPECT_EQ(Send("/1D10,1R\r"), Frame('O', ""));       // busy: overflow, not queued
    EXPECT_TRUE(sim::VirtualInstrument::Instance().Snapshot().pumps[0].busy);
    clock.Advance(2000ms);
    EXPECT_EQ(Send("/1?29\r"), Frame('`', "0"));
    EXPECT_EQ(Send("/1?18\r"), Frame('`', "100.000"));
    EXPECT_EQ(Send("/1?1\r"), Frame('`', "1920"));
    EXPECT_EQ(Send("/1?45\r"), Frame('`', "1"));
    auto state = sim::VirtualInstrument::Instance().Snapshot();
    EXPECT_EQ(state.pumps[0].plungerSteps, 1920);
    EXPECT_FALSE(state.pumps[0].busy);

    EXPECT_EQ(Send("/1D150,1R\r"), Frame('C', ""));      // more than is in the syringe
    EXPECT_EQ(Send("/1A1250.5,1R\r"), Frame('C', ""));   // beyond the stroke
}

TEST_F(PumpSimulatorTest, StoredCommandsRunOnRAndTerminateStopsAMove) {
    ASSERT_EQ(Send("/2ZR\r"), Frame('@', ""));
    clock.Advance(1000ms);
    EXPECT_EQ(Send("/2O\r"), Frame('`', ""));
    EXPECT_EQ(Send("/2?20\r"), Frame('`', "I"));
    EXPECT_EQ(Send("/2R\r"), Frame('@', ""));
    clock.Advance(300ms);
    EXPECT_EQ(Send("/2?20\r"), Frame('`', "O"));
    EXPECT_EQ(sim::VirtualInstrument::Instance().Snapshot().pumps[1].valve, 'O');

    ASSERT_EQ(Send("/2A1000,1R\r"), Frame('@', ""));
    clock.Advance(500ms);
    EXPECT_EQ(Send("/2T\r"), Frame('`', ""));
    PumpSimulator::PumpState stopped = pumps->Pump(2);
    EXPECT_FALSE(stopped.busy);
    EXPECT_EQ(stopped.plungerIncrements, 700);   // half a second at 1400 increments/s
    clock.Advance(5000ms);
    EXPECT_EQ(pumps->Pump(2).plungerIncrements, 700);
}

TEST_F(PumpSimulatorTest, SpeedFactorShortensMoves) {
    pumps->SetSpeedFactor(0.01);
    ASSERT_EQ(Send("/1ZR\r"), Frame('@', ""));
    clock.Advance(10ms);
    ASSERT_EQ(Send("/1A1250,1R\r"), Frame('@', ""));     // about 17 s at full speed
    clock.Advance(100ms);
    EXPECT_EQ(Send("/1?29\r"), Frame('@', "1"));
    clock.Advance(100ms);
    EXPECT_EQ(Send("/1?29\r"), Frame('`', "0"));
}

TEST_F(PumpSimulatorTest, FaultSwitch) {
    pumps->SetFault(Fault::NoReply, 1);
    EXPECT_EQ(Send("/1K5R\r"), "");
    EXPECT_EQ(Send("/1?4\r"), Frame('`', "0"));          // the lost command did nothing

    pumps->SetErrorStatus('j');
    pumps->SetFault(Fault::DeviceError, 1);
    EXPECT_EQ(Send("/1K5R\r"), Frame('j', ""));
    EXPECT_EQ(Send("/1?4\r"), Frame('`', "0"));          // refused

    pumps->SetFault(Fault::LostReply, 1);
    EXPECT_EQ(Send("/1K3R\r"), "");
    EXPECT_EQ(Send("/1?4\r"), Frame('`', "3"));          // done, only the answer was lost

    pumps->SetFault(Fault::Garbled, 1);
    EXPECT_EQ(Send("/1K5R\r"), std::string("\x7F/0`\r\n"));
    EXPECT_EQ(Send("/1?4\r"), Frame('`', "5"));          // done, only the answer was hit

    pumps->SetSlowReplyDelay(300ms);
    pumps->SetFault(Fault::SlowReply);
    EXPECT_EQ(line->Transact("/1?4\r", "\r\n", 100ms), "");
    EXPECT_EQ(line->Read("\r\n", 1000ms), Frame('`', "5"));
    pumps->SetFault(Fault::None);
    EXPECT_EQ(Send("/1?4\r"), Frame('`', "5"));
}

}  // namespace
