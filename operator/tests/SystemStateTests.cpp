// The system state refresh against the virtual instrument: the port lines,
// the pump chain and its stop at the first failure.

#include <gtest/gtest.h>

#include "devices/DigitalIO.h"
#include "devices/tests/InstrumentLines.h"
#include "operator/SystemState.h"
#include "sim/VirtualDaq.h"

namespace {

using devices_testing::kPumpPort;
using Fault = sim::SerialDeviceSimulator::Fault;

class SystemStateTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override
    {
        InstrumentLines::SetUp();
        sim::VirtualDaq::Instance().Reset();
        g_DIOPort0InputTask = nullptr;
        g_DIOPort0OutputTask = nullptr;
        g_DIOPort1Task = nullptr;
        g_DIOPortTable = {};
        // LEDs on port 0 lines 0..3, cartridge sensor on line 4, clamp on line 5.
        WriteSettings(
            "[DIO_Config]\nMapping=Interlock\nLED0_port=0\nLED0_line=0\nLED1_port=0\nLED1_line=1\n"
            "LED2_port=0\nLED2_line=2\nLED3_port=0\nLED3_line=3\nCartridge_Port=0\nCartridge_Line=4\n"
            "Clamp_Port=0\nClamp_Line=5\n");
    }
};

TEST_F(SystemStateTest, PortLinesShowTheBitsOfThePortValues)
{
    CString error;
    ASSERT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
    ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();
    ASSERT_TRUE(SetDIOLine(3, &error)) << error.GetString();  // LED0, line 0
    ASSERT_TRUE(SetDIOLine(5, &error)) << error.GetString();  // LED2, line 2
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().cartridgeInserted = true;
        sim::VirtualInstrument::Instance().State().clampClosed = false;
    }
    SystemStateFields fields;
    RefreshSystemState(fields, 0);
    ASSERT_TRUE(fields.port0.has_value());
    ASSERT_TRUE(fields.port1.has_value());
    const bool expected[8] = {true, false, true, false, true, false, false, false};
    for (int line = 0; line < 8; ++line)
        EXPECT_EQ(PortLine(*fields.port0, line), expected[line]) << line;
    // Without a pump port the syringe fields stay empty.
    EXPECT_EQ(fields.displacement[0], "");
    EXPECT_EQ(fields.configuredVolume[0], "");
}

TEST_F(SystemStateTest, AMissingDeviceKeepsTheLastLineStates)
{
    SystemStateFields fields;
    fields.port0 = 0x81;
    sim::VirtualDaq::Instance().SetPresent(false);
    RefreshSystemState(fields, 0);
    EXPECT_EQ(fields.port0, std::optional<uint8_t>(0x81));
    EXPECT_FALSE(fields.port1.has_value());
}

TEST_F(SystemStateTest, PumpsFillTheirFieldsAndTheVolumesAreAskedOnce)
{
    OpenPumps();
    pumps->ModifyPump(1, [](sim::PumpSimulator::PumpState& pump) {
        pump.plungerIncrements = 2400;  // a tenth of the stroke
        pump.valve = 'O';
    });
    SystemStateFields fields;
    RefreshSystemState(fields, kPumpPort);
    EXPECT_EQ(fields.configuredVolume[0], "1250");
    EXPECT_EQ(fields.configuredVolume[1], "1250");
    EXPECT_EQ(fields.displacement[0], "125.000000");
    EXPECT_EQ(fields.displacement[1], "0.000000");
    EXPECT_FALSE(fields.rate[0].empty());
    EXPECT_FALSE(fields.valve[0].empty());
    EXPECT_NE(fields.valve[0], fields.valve[1]);
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?17\r/2?17\r/1?18\r/2?18\r/1?37\r/2?37\r/1?20\r/2?20\r");

    // The rate is the pump's microlitres per second times 60.
    Tovanix::String reply, error;
    double perSecond = 0;
    ASSERT_TRUE(TecanCentris::QueryDouble(kPumpPort, 1, "?37", &perSecond, &error)) << error.c_str();
    char expected[64];
    std::snprintf(expected, sizeof expected, "%lf", perSecond * 60);
    EXPECT_EQ(fields.rate[0], expected);

    pumps->ClearReceived();
    RefreshSystemState(fields, kPumpPort);
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?18\r/2?18\r/1?37\r/2?37\r/1?20\r/2?20\r");
}

TEST_F(SystemStateTest, ThePumpChainStopsAtTheFirstFailure)
{
    OpenPumps();
    SystemStateFields fields;
    for (int i = 0; i < 2; ++i) {
        fields.displacement[i] = "old d";
        fields.rate[i] = "old r";
        fields.valve[i] = "old v";
    }
    // Displacement answers; the rate query fails, so neither rate nor valve is asked.
    pumps->SetFault(Fault::DeviceError, -1, "?37");
    RefreshSystemState(fields, kPumpPort);
    EXPECT_EQ(fields.displacement[0], "0.000000");
    EXPECT_EQ(fields.displacement[1], "0.000000");
    EXPECT_EQ(fields.rate[0], "old r");
    EXPECT_EQ(fields.rate[1], "old r");
    EXPECT_EQ(fields.valve[0], "old v");
    EXPECT_EQ(fields.valve[1], "old v");
    EXPECT_EQ(pumps->ReceivedBytes().find("?20"), std::string::npos) << pumps->ReceivedBytes();
}

}  // namespace
