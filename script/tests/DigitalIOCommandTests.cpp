// The digital I/O, cartridge and bar-code commands on the virtual digital
// I/O device: refusals in both passes, the line checks, line directions and
// levels, the sensors with their inverted logic, bar-code parsing, and the
// cartridge catalogue behind the bar-code commands.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CartridgeTypes.h"
#include "devices/DigitalIO.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "script/Script.h"
#include "script/tests/CommandCallSupport.h"
#include "script/tests/ScriptTestSupport.h"
#include "sim/VirtualDaq.h"
#include "sim/VirtualInstrument.h"
#include "support/Profile.h"

namespace {

using scripttest::Call;
using scripttest::Declared;
using scripttest::Describe;

class DigitalIOCommandTest : public capturetest::VirtualCaptureTest {
protected:
    void SetUp() override
    {
        VirtualCaptureTest::SetUp();
        BuildBuiltInFunctionTable();
    }
    void TearDown() override
    {
        g_CartridgeTypes.RemoveAll();
        VirtualCaptureTest::TearDown();
    }

    std::string Check(const std::string& line) { return Call(script, variables, line, true); }
    std::string Run(const std::string& line) { return Call(script, variables, line, false); }

    static void SetSensors(bool cartridge, bool clamp)
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().cartridgeInserted = cartridge;
        sim::VirtualInstrument::Instance().State().clampClosed = clamp;
    }

    Script script{0};
    std::vector<Variable> variables = Declared({"int i = 7;", "double d = 0.5;", "STRING s = \"old\";", "int v = 9;",
                                                "int a = -1;", "int b = -1;", "int c = -1;"});
};

TEST_F(DigitalIOCommandTest, RefusalsInTheCheckPassAndAtRunTime)
{
    const struct {
        const char* line;
        std::string check;
        std::string run;  // when the check passed
    } cases[] = {
        {"GetCartridgeState(1);", "Invalid parameter 2, expecting an int variable", ""},
        {"GetClampState(s);", "Variable s is not type int, parameter 1 expected int", ""},
        {"GetClampState();", "Invalid int parameter 1", ""},
        {"GetCartridgeState(d);", "ok", "ok"},
        {"DIO_ConfigureLine(2, 0, 1);", "ok", "iport must be either 0 or 1"},
        {"DIO_ConfigureLine(-1, 0, 1);", "ok", "iport must be either 0 or 1"},
        {"DIO_GetLineConfiguration(0, 8, i);", "ok", "line number must be between 0 and 7 for port=0"},
        {"DIO_GetInputLineState(0, -1, i);", "ok", "line number must be between 0 and 7 for port=0"},
        {"DIO_GetInputLineState(1, 4, i);", "ok", "line number must be between 0 and 3 for port=1"},
        {"DIO_GetInputLineState(0, 0, i);", "ok", "port=0 line=0 is not configured for input"},
        {"DIO_SetOutputLineState(1, 4, 2);", "ok", "line number must be between 0 and 3 for port=1"},
        {"DIO_SetOutputLineState(0, 0, 2);", "ok", "state must be 0 or 1"},
        {"DIO_SetOutputLineState(0, 4, 1);", "ok", "port=0 line=4 is not configured for output"},
        {"DIO_SetOutputLineState(0, 0);", "Invalid int parameter 3", ""},
        {"DIO_GetLineConfiguration(0, 1, x);", "Variable \"x\" is not defined, expecting int parameter 3", ""},
        {"ParseBarCode(\"123-456-7890\", v, a, b);", "Invalid int parameter 5", ""},
        {"ParseBarCode(410, v, a, b, c);", "Missing leading \" for string parameter 1", ""},
        {"GetCartridgeTypeFromBarCode(\"410-001-0001\", i);",
         "Variable i is not type STRING, parameter 2 expected STRING", ""},
        {"SetCurrentBarCode 410;", "Missing '('", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Check(c.line), c.check);
        EXPECT_EQ(Run(c.line), c.check == "ok" ? c.run : c.check);
    }
    EXPECT_EQ(Describe(variables, "d"), "double 0.5") << "a double variable receives no sensor state";
    EXPECT_EQ(Describe(variables, "i"), "int 7");
}

TEST_F(DigitalIOCommandTest, RefusedLineChecksComeBeforeTheDevice)
{
    const size_t before = sim::VirtualDaq::Instance().LatchHistory().size();
    ASSERT_EQ(Run("DIO_ConfigureLine(0, 6, 1);"), "ok");
    EXPECT_EQ(Run("DIO_SetOutputLineState(0, 6, 2);"), "state must be 0 or 1");
    EXPECT_EQ(Run("DIO_SetOutputLineState(3, 6, 1);"), "iport must be either 0 or 1");
    EXPECT_EQ(sim::VirtualDaq::Instance().LatchHistory().size(), before) << "no line was written";
}

TEST_F(DigitalIOCommandTest, LineDirectionsAndLevels)
{
    // Any type other than 0 makes an output.
    ASSERT_EQ(Run("DIO_ConfigureLine(0, 6, 5);"), "ok");
    ASSERT_EQ(Run("DIO_GetLineConfiguration(0, 6, i);"), "ok");
    EXPECT_EQ(Describe(variables, "i"), "int 1");

    ASSERT_EQ(Run("DIO_SetOutputLineState(0, 6, 1);"), "ok");
    EXPECT_EQ(sim::VirtualDaq::Instance().OutputLatch(0) & 0x40, 0x40);
    ASSERT_EQ(Run("DIO_SetOutputLineState(0, 6, 0);"), "ok");
    EXPECT_EQ(sim::VirtualDaq::Instance().OutputLatch(0) & 0x40, 0);
    ASSERT_EQ(Run("DIO_SetOutputLineState(1, 2, 1);"), "ok");
    EXPECT_EQ(sim::VirtualDaq::Instance().OutputLatch(1) & 0x04, 0x04);

    // As an input, line 6 reads what is wired to it: here the cartridge sensor.
    sim::DaqWiring wiring = sim::DaqWiring::Default();
    wiring.lines[7] = sim::DaqLine{0, 6};
    sim::VirtualDaq::Instance().SetWiring(wiring);
    ASSERT_EQ(Run("DIO_ConfigureLine(0, 6, 0);"), "ok");
    ASSERT_EQ(Run("DIO_GetLineConfiguration(0, 6, i);"), "ok");
    EXPECT_EQ(Describe(variables, "i"), "int 0");
    for (const bool level : {true, false, true}) {
        SetSensors(level, true);
        ASSERT_EQ(Run("DIO_GetInputLineState(0, 6, v);"), "ok");
        EXPECT_EQ(Describe(variables, "v"), level ? "int 1" : "int 0");
    }
    EXPECT_EQ(Run("DIO_SetOutputLineState(0, 6, 1);"), "port=0 line=6 is not configured for output");
}

TEST_F(DigitalIOCommandTest, CartridgeAndClampSensorsWithTheirLogic)
{
    const struct {
        bool cartridge, clamp;
        const char* cartridgeHigh;  // [DIO_Config] Cartridge_StateForLogicHigh; "" for the default
        const char* clampHigh;
        std::string cartridgeState, clampState;
    } cases[] = {
        {true, false, "", "", "int 1", "int 0"},
        {false, true, "", "", "int 0", "int 1"},
        // A line that reads low for logic high is inverted.
        {true, true, "0", "1", "int 0", "int 1"},
        {false, true, "0", "0", "int 1", "int 0"},
    };
    const std::string sections = otherSections;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cartridgeHigh) + "/" + c.clampHigh);
        otherSections = sections;
        if (*c.cartridgeHigh)
            otherSections += std::string("Cartridge_StateForLogicHigh=") + c.cartridgeHigh + "\r\n";
        if (*c.clampHigh)
            otherSections += std::string("Clamp_StateForLogicHigh=") + c.clampHigh + "\r\n";
        WriteSettings("");
        CString error;
        ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();
        SetSensors(c.cartridge, c.clamp);
        ASSERT_EQ(Run("GetCartridgeState(a);"), "ok");
        ASSERT_EQ(Run("GetClampState(b);"), "ok");
        EXPECT_EQ(Describe(variables, "a"), c.cartridgeState);
        EXPECT_EQ(Describe(variables, "b"), c.clampState);
    }
}

TEST_F(DigitalIOCommandTest, SensorOnAPortTheDeviceDoesNotHaveFails)
{
    g_DIOLinePort[8] = 2;
    EXPECT_EQ(Run("GetClampState(b);"), "ReadDIOLines() - port=2, valid ports are 0 and 1.");
    CString error;
    ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();
}

TEST_F(DigitalIOCommandTest, BarCodesSplitIntoThreeNumbers)
{
    const struct {
        const char* barCode;
        std::string valid, first, second, third;
    } cases[] = {
        {"123-456-7890", "int 1", "int 123", "int 456", "int 7890"},
        {"1234567890", "int 1", "int 123", "int 456", "int 7890"},
        {"410-001-0001-77", "int 1", "int 410", "int 1", "int 1"},  // further characters are ignored
        {"12A-456-7890", "int 1", "int 12", "int 456", "int 7890"},  // a group stops at its first non-digit
        {"123-456-789", "int 0", "int -1", "int -1", "int -1"},      // nine characters
        {"", "int 0", "int -1", "int -1", "int -1"},
        {"ABC-456-7890", "int 0", "int -1", "int -1", "int -1"},
        {"123-XYZ-7890", "int 0", "int 123", "int -1", "int -1"},    // numbers read before the bad group stay
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.barCode);
        variables = Declared({"int v = 9;", "int a = -1;", "int b = -1;", "int c = -1;"});
        const std::string line = std::string("ParseBarCode(\"") + c.barCode + "\", v, a, b, c);";
        ASSERT_EQ(Check(line), "ok");
        EXPECT_EQ(Describe(variables, "v"), "int 9") << "the check pass changes nothing";
        ASSERT_EQ(Run(line), "ok");
        EXPECT_EQ(Describe(variables, "v"), c.valid);
        EXPECT_EQ(Describe(variables, "a"), c.first);
        EXPECT_EQ(Describe(variables, "b"), c.second);
        EXPECT_EQ(Describe(variables, "c"), c.third);
    }
}

TEST_F(DigitalIOCommandTest, CartridgeTypeOfABarCodeAndTheCurrentCartridge)
{
    imagingtest::WriteText(root / "Cartridge" / "K4.3.ini",
                           "[General]\r\nType=K4.3\r\n[BarcodeFormats]\r\nf01=###-###-####\r\n[BarcodeIDs]\r\nids=430\r\n"
                           "[OffsetsInMicron]\r\nUpperChannelOffset=100\r\nLowerChannelOffset=-100\r\n"
                           "[SampleLoadInMicroLitre]\r\nSampleAspirateVolume=300\r\n");
    CString error;
    ASSERT_TRUE(LoadCartridgeTypes(error)) << error.GetString();
    otherSections += "[CalibrationSettings]\r\nimage_pixels_per_mm=200\r\nUpperChannel=700\r\nLowerChannel=1300\r\n";
    WriteSettings("");

    ASSERT_EQ(Run("GetCartridgeTypeFromBarCode(\"430-002-0017\", s);"), "ok");
    EXPECT_EQ(Describe(variables, "s"), "STRING K4.3");
    ASSERT_EQ(Run("GetCartridgeTypeFromBarCode(\"999-002-0017\", s);"), "ok");
    EXPECT_EQ(Describe(variables, "s"), "STRING ");

    ASSERT_EQ(Check("SetCurrentBarCode(\"430-002-0017\");"), "ok");
    EXPECT_STREQ(theApp.m_strCartridgeTypeCode.c_str(), "") << "the check pass changes nothing";
    ASSERT_EQ(Run("SetCurrentBarCode(\"430-002-0017\");"), "ok");
    EXPECT_STREQ(theApp.m_strCartridgeTypeCode.c_str(), "430-002-0017");
    char value[64] = {};
    Tovanix::E_GetPrivateProfileString("ExperimentSettings", "CartridgeType", "", value, sizeof value, g_IniPath);
    EXPECT_STREQ(value, "K4.3");
    Tovanix::E_GetPrivateProfileString("Cartridge", "CartridgeUpperChannel", "", value, sizeof value, g_IniPath);
    EXPECT_STREQ(value, "720");

    // A bar code of no known type still becomes current; the settings left
    // unchanged are logged.
    ASSERT_EQ(Run("SetCurrentBarCode(\"999-002-0017\");"), "ok");
    EXPECT_STREQ(theApp.m_strCartridgeTypeCode.c_str(), "999-002-0017");
    EXPECT_NE(LogText().find("SetCurrentBarCode() - settings of bar code 999-002-0017 not applied"),
              std::string::npos);
}

}  // namespace
