#include "analysis/FlowGeometry.h"

#include "analysis/AnalysisEngineState.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

ExperimentDataSet WithSpeeds(const std::vector<std::pair<double, double>>& speeds)
{
    ExperimentDataSet data;
    data.upperChannelRow = 400;
    data.lowerChannelRowEnd = 1400;
    data.pixelsPerMm = 100.0;
    uint32_t time = 0xFFFFF000u;  // the 32-bit clock wraps during the run
    for (const auto& [p1, p2] : speeds) {
        FrameRecord f;
        f.pump1Speed = p1;
        f.pump2Speed = p2;
        f.captureTimeMs = time;
        time += 2000;
        data.frames.push_back(f);
    }
    return data;
}

class FlowGeometryTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFlowGeometry(); }
    void TearDown() override
    {
        ResetFlowGeometry();
        ResetMeniscusSearches();
    }
};

}  // namespace

TEST_F(FlowGeometryTest, SplitLineFollowsThePumpRatio)
{
    const struct {
        std::vector<std::pair<double, double>> speeds;
        double offsetPercent, splitRow;
    } cases[] = {
        {{{60, 20}, {60, 20}, {60, 20}}, -17.36, 773.6},
        {{{20, 60}, {20, 60}}, 17.36, 426.4},
        {{{30, 30}}, 0.0, 600.0},
        // Middle values in capture order, not sorted: 100 against 100.
        {{{10, 5}, {100, 100}, {20, 7}}, 0.0, 600.0},
    };
    for (const auto& c : cases) {
        std::string error;
        ASSERT_TRUE(CalculateSplitLine(WithSpeeds(c.speeds), &error)) << error;
        EXPECT_NEAR(g_FlowGeometry.splitOffsetPercent, c.offsetPercent, 1e-9) << c.speeds[0].first;
        EXPECT_NEAR(g_FlowGeometry.splitRow, c.splitRow, 1e-9) << c.speeds[0].first;
    }
}

TEST_F(FlowGeometryTest, PixelShiftFromFlowTimeAndCalibration)
{
    std::string error;
    // 60 uL/min, frames 2 s apart across the clock's wrap: 2 uL per frame, 50 pixels at 100 px/mm.
    ASSERT_TRUE(CalculatePixelShiftPerFrame(WithSpeeds({{40, 20}, {40, 20}, {40, 20}}), &error)) << error;
    EXPECT_EQ(g_FlowGeometry.pixelShiftPerFrame, 50.0);

    // Flows of 10.9: the running total is truncated (10, then 20) and the average is 10.
    ASSERT_TRUE(CalculatePixelShiftPerFrame(WithSpeeds({{10.9, 0}, {10.9, 0}}), &error)) << error;
    EXPECT_EQ(g_FlowGeometry.pixelShiftPerFrame, 8.0);  // 10.9 would have given 9
}

TEST_F(FlowGeometryTest, DataThatGivesNoGeometryIsRefused)
{
    std::string error;
    g_FlowGeometry.pixelShiftPerFrame = 7;
    EXPECT_FALSE(CalculatePixelShiftPerFrame(WithSpeeds({{40, 20}}), &error));
    EXPECT_EQ(error, "Function Calculate PixelShiftperFrame: at least two frames are needed");
    ExperimentDataSet uncalibrated = WithSpeeds({{40, 20}, {40, 20}});
    uncalibrated.pixelsPerMm = -1.0;
    EXPECT_FALSE(CalculatePixelShiftPerFrame(uncalibrated, &error));
    EXPECT_EQ(error, "Function Calculate PixelShiftperFrame: the experiment has no image calibration");
    EXPECT_EQ(g_FlowGeometry.pixelShiftPerFrame, 7.0);

    EXPECT_FALSE(CalculateSplitLine(WithSpeeds({}), &error));
    EXPECT_EQ(error.rfind("Function Calculate SplitLine: ", 0), 0u);
    EXPECT_FALSE(CalculateSplitLine(WithSpeeds({{0, 0}}), &error));
    EXPECT_EQ(error.rfind("Function Calculate SplitLine: ", 0), 0u);
}

TEST_F(FlowGeometryTest, SampleVolumeNeedsALeadFrameWiderThanTheShift)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
    fs::create_directories(folder);
    ExperimentDataSet data = WithSpeeds({{1, 1}, {1, 1}});
    data.frames[1].brightFieldFile = "lead_Brightfield_0001.png";
    ASSERT_TRUE(cv::imwrite((folder / data.frames[1].brightFieldFile).string(), cv::Mat(4, 60, CV_16UC1, 9)));
    g_LeadMeniscusSearch.frameIndex = 1;

    const struct {
        double shift;
        bool result;
    } cases[] = {{50, true}, {60, true}, {61, false}, {-1, false}};
    for (const auto& c : cases) {
        g_FlowGeometry.pixelShiftPerFrame = c.shift;
        std::string error;
        EXPECT_EQ(CalculateSampleVolume(folder.string(), data, &error), c.result) << c.shift;
        if (!c.result)
            EXPECT_EQ(error.rfind("Function Calculate Sample Volume: ", 0), 0u) << error;
    }
    g_LeadMeniscusSearch.frameIndex = 0;  // no image for this frame
    std::string error;
    EXPECT_FALSE(CalculateSampleVolume(folder.string(), data, &error));
    EXPECT_EQ(error.rfind("Function Calculate Sample Volume: could not read ", 0), 0u) << error;
}
