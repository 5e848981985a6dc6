#include <gtest/gtest.h>

#include "devices/PumpInformation.h"
#include "devices/tests/InstrumentLines.h"

namespace {
using devices_testing::kPumpPort;

TEST(PumpInformationRows, ReportNumbersInListOrder) {
    std::string prefixes;
    for (const std::string& row : PumpInformation::QueryRows()) {
        uint32_t number = 0;
        ASSERT_TRUE(PumpInformation::ParseQueryRow(row, &number)) << row;
        prefixes += std::to_string(number) + " ";
    }
    EXPECT_EQ(prefixes,
              "0 1 2 3 4 6 7 8 9 10 16 17 18 20 23 29 30 31 36 37 38 40 41 42 43 44 45 46 47 48 50 51 52 53 54 55 "
              "60 61 62 63 64 65 67 76 80 81 82 83 84 85 86 87 88 89 90 91 92 93 94 95 96 99 ");
    EXPECT_EQ(PumpInformation::QueryRows()[15], "?29 : Reports the busy status (1 busy, 0 ready)");
}

TEST(PumpInformationRows, EditedTextIsReadOnlyInTheQueryForm) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t number;
    };
    const Case cases[] = {
        {"?5 : edited", true, 5},      // colon fourth
        {"?29 : busy", true, 29},      // colon fifth
        {"?99 : loaded", true, 99},
        {"?123 : too big", false, 0},  // colon sixth
        {"?123: too big", false, 0},   // colon fifth, number above 99
        {"?5  x : late colon", false, 0},
        {"5 : no mark", false, 0},
        {"?x : no number", false, 0},
        {"?-5 : negative", false, 0},  // would wrap to a report number the pumps lack
        {"", false, 0},
        {"?", false, 0},
    };
    for (const Case& c : cases) {
        uint32_t number = 0;
        EXPECT_EQ(PumpInformation::ParseQueryRow(c.text, &number), c.ok) << c.text;
        if (c.ok) EXPECT_EQ(number, c.number) << c.text;
    }
}

class PumpInformationQuery : public devices_testing::InstrumentLines {};

TEST_F(PumpInformationQuery, BothPumpsAnswerOrTheFirstFailureIsShown) {
    EXPECT_NE(PumpInformation::QueryBothPumps(0, 29).find("Invalid com_port=0"), std::string::npos);
    OpenPumps();
    EXPECT_EQ(PumpInformation::QueryBothPumps(kPumpPort, 29), "pump1: 0\r\npump2: 0");
    EXPECT_EQ(pumps->ReceivedBytes(), "/1?29\r/2?29\r");
}

}  // namespace
