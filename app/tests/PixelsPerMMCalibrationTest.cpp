#include "app/PixelsPerMMCalibration.h"

#include <gtest/gtest.h>

#include "app/VelloraApp.h"
#include "app/tests/AppTestSupport.h"

namespace {

class PixelsPerMMCalibrationTest : public apptest::DataRootTest {};

TEST_F(PixelsPerMMCalibrationTest, TypedHeightsInsideTheRangeEnableSave) {
    struct Case {
        const char* typed;
        bool valid;
    };
    const Case cases[] = {{"0.5", true}, {"100", true}, {"2.5", true}, {"101", false}, {"0.4", false},
                          {"", false},   {"abc", false}, {"-3", false}};
    for (const Case& c : cases) {
        const PixelsPerMMState state = EvaluatePixelsPerMM(1000.0, c.typed);
        EXPECT_EQ(state.saveEnabled, c.valid) << c.typed;
        if (c.valid) {
            EXPECT_DOUBLE_EQ(state.pixelsPerMM, 1000.0 / std::atof(c.typed)) << c.typed;
            EXPECT_FALSE(state.messageChanged) << "no current value: the message line stays";
        } else {
            EXPECT_EQ(state.pixelsPerMM, 0.0);
            EXPECT_STREQ(state.saveText.GetString(), "Save");
            EXPECT_STREQ(state.message.GetString(), "Enter an object height between 0.5 and 100 mm");
        }
    }
    EXPECT_STREQ(EvaluatePixelsPerMM(1000.0, "2.5").saveText.GetString(), "Save New image_pixels_per_mm = 400.000");
}

TEST_F(PixelsPerMMCalibrationTest, SaveWritesTheScaleAndTheCurrentOneIsShown) {
    ASSERT_TRUE(WritePixelsPerMM(400.0));
    EXPECT_NE(apptest::Bytes(IniPath()).find("image_pixels_per_mm=400"), std::string::npos);
    const PixelsPerMMState state = EvaluatePixelsPerMM(1234.0, "2");
    EXPECT_TRUE(state.messageChanged);
    EXPECT_STREQ(state.message.GetString(), "Current [CalibrationSettings] image_pixels_per_mm = 400.000");
    ASSERT_TRUE(WritePixelsPerMM(617.0));
    EXPECT_NE(apptest::Bytes(IniPath()).find("image_pixels_per_mm=617\r\n"), std::string::npos);
}

}  // namespace
