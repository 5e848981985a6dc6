#include "devices/DigitalIOConfiguration.h"

#include <gtest/gtest.h>

#include "VirtualInstrumentFixture.h"
#include "devices/DigitalIO.h"

namespace {

const char* const kInterlock =
    "[DIO_Config]\r\nMapping=Interlock\r\nLED0_port=0\r\nLED0_line=0\r\nLED1_port=0\r\nLED1_line=1\r\n"
    "LED2_port=0\r\nLED2_line=2\r\nLED3_port=0\r\nLED3_line=3\r\nCartridge_Port=0\r\nCartridge_Line=4\r\n"
    "Clamp_Port=1\r\nClamp_Line=2\r\n";

class DigitalIOConfigurationTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        VirtualInstrumentTest::SetUp();
        g_DIOPort0InputTask = nullptr;
        g_DIOPort0OutputTask = nullptr;
        g_DIOPort1Task = nullptr;
        g_DIOPortTable = {};
        WriteSettings(kInterlock);
        CString error;
        ASSERT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
        ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();
    }
};

TEST(DigitalIOConfigurationBoxes, EachPhysicalLineHasOneBox) {
    const struct {
        int port, line, box;
    } cases[] = {{0, 0, 1053}, {0, 7, 1060}, {1, 0, 1061}, {1, 3, 1064}, {1, 4, 0}, {0, 8, 0}, {2, 0, 0}, {0, -1, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(DigitalIOConfiguration::GetLineButtonId(c.port, c.line), c.box) << c.port << "/" << c.line;
    }
}

TEST_F(DigitalIOConfigurationTest, InterlockInputBoxesFollowTheSensorKeys) {
    std::string problem;
    EXPECT_EQ(DigitalIOConfiguration::InterlockInputBoxes(&problem), (std::vector<int>{1057, 1063}));
    // Moving the cartridge to another line moves its disabled box.
    CString error;
    EXPECT_TRUE(DigitalIOConfiguration::WriteMappingChoice("Cartridge_Line", 6, &error)) << error.GetString();
    EXPECT_EQ(DigitalIOConfiguration::InterlockInputBoxes(&problem), (std::vector<int>{1059, 1063}));
    EXPECT_TRUE(problem.empty());

    WriteSettings("[DIO_Config]\r\nMapping=interlock\r\nCartridge_Line=4\r\nCartridge_Port=0\r\nClamp_Line=x\r\n");
    EXPECT_EQ(DigitalIOConfiguration::InterlockInputBoxes(&problem), (std::vector<int>{1057}));
    EXPECT_EQ(problem, "ExperimentSettings.ini [DIO_Config] Clamp_Line is missing or invalid");
    problem.clear();
    WriteSettings("[DIO_Config]\r\nMapping=Fluigent\r\nCartridge_Line=4\r\nCartridge_Port=0\r\n");
    EXPECT_TRUE(DigitalIOConfiguration::InterlockInputBoxes(&problem).empty());
    EXPECT_TRUE(problem.empty());
}

TEST_F(DigitalIOConfigurationTest, ACollidingChoiceIsWrittenAndRefusedWithTheDriversText) {
    CString error;
    EXPECT_FALSE(DigitalIOConfiguration::WriteMappingChoice("LED1_line", 0, &error));
    EXPECT_EQ(error, "D I/O line assignment collision. LED0 + LED1 assigned to port 0 line 0\n");
    EXPECT_NE(ReadSettings().find("LED1_line=0"), std::string::npos);
}

TEST_F(DigitalIOConfigurationTest, SwitchingOneLineKeepsTheOthers) {
    CString error;
    ASSERT_TRUE(DigitalIOConfiguration::SetLineState(0, 1, true, &error)) << error.GetString();
    ASSERT_TRUE(DigitalIOConfiguration::SetLineState(0, 3, true, &error)) << error.GetString();
    ASSERT_TRUE(DigitalIOConfiguration::SetLineState(0, 1, false, &error)) << error.GetString();
    unsigned char value = 0;
    ASSERT_TRUE(ReadDIOLines(0, &value, &error)) << error.GetString();
    EXPECT_EQ(value & 0x0F, 0x08);
}

}  // namespace
