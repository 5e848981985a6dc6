#include "analysis/MontageImage.h"
#include "analysis/MontagePipeline.h"

#include "analysis/AnalysisEngineState.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kRows = 20;

// Frames 2448 columns wide and 20 rows high, each of one level, so every
// column of the montage tells which frame it came from.
class MontageImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
        fs::create_directories(folder);
        data.directory = folder.string();
        data.cropStartRow = 0;
        data.cropEndRow = kRows;
        data.meanBrightFieldExposure = 100;
        data.referenceFrame = Frame("reference.png", 500);
        for (int i = 0; i < 5; ++i)
            data.frames.push_back(Frame("frame" + std::to_string(i) + ".png", static_cast<uint16_t>(1000 * (i + 1))));
        settings.brightFieldLow = 0;
        settings.brightFieldHigh = 10000;
        settings.brightFieldMax = 250;
        g_FlowGeometry.pixelShiftPerFrame = 300;
        g_FlowGeometry.splitRow = 10;
        g_LeadMeniscusSearch.frameIndex = 1;
        g_TrailMeniscusSearch.frameIndex = 3;
        g_TrailMeniscusSearch.found = true;
        g_TrailMeniscusSearch.distanceToRightEdge = 500;
    }
    void TearDown() override
    {
        ResetMeniscusSearches();
        ResetFlowGeometry();
    }

    FrameRecord Frame(const std::string& name, uint16_t level)
    {
        cv::imwrite((folder / name).string(), cv::Mat(kRows, 2448, CV_16UC1, cv::Scalar(level)));
        FrameRecord frame;
        frame.brightFieldFile = name;
        frame.brightFieldExposure = 100;
        return frame;
    }

    cv::Mat Montage(const char* name = "M") { return cv::imread((folder / (std::string(name) + ".png")).string()); }

    fs::path folder;
    ExperimentDataSet data;
    ChannelDisplaySettings settings;
};

TEST_F(MontageImageTest, LeadViewThenNewColumnsOfEachFrameThenTheTrailView)
{
    // Frame i shows grey 25 (i + 1). With or without a lead match the
    // pieces lie at the same columns.
    for (bool leadFound : {true, false}) {
        SCOPED_TRACE(leadFound);
        g_LeadMeniscusSearch.matchFlags = {false, leadFound};
        std::string error;
        ASSERT_TRUE(CreateMontageImage(folder.string(), data, settings, "M", &error)) << error;
        const cv::Mat montage = Montage();
        ASSERT_EQ(montage.rows, kRows);
        // 2148 of the lead frame, 300 from each of frames 1 and 2, and the
        // 500 columns right of the trail meniscus.
        ASSERT_EQ(montage.cols, 2148 + 2 * 300 + 500);
        const struct {
            int column;
            int grey;
        } pieces[] = {{0, 50}, {2047, 50}, {2148, 50}, {2347, 50}, {2448, 75}, {2647, 75}, {2748, 100}, {3247, 100}};
        for (const auto& piece : pieces)
            EXPECT_EQ(montage.at<cv::Vec3b>(2, piece.column), cv::Vec3b::all(static_cast<uint8_t>(piece.grey)))
                << piece.column;
        // Cross-faded joins: halfway between the two frames' levels.
        EXPECT_NEAR(montage.at<cv::Vec3b>(2, 2398)[1], 62, 1);
        EXPECT_NEAR(montage.at<cv::Vec3b>(2, 2698)[1], 87, 1);
        // The split line, blue and 3 rows thick.
        for (int row : {9, 10, 11})
            EXPECT_EQ(montage.at<cv::Vec3b>(row, 1000), cv::Vec3b(255, 0, 0)) << row;

        const cv::Mat small = Montage("M.small");
        EXPECT_EQ(small.cols, montage.cols / 4);
        EXPECT_EQ(small.rows, kRows / 4);
    }
}

TEST_F(MontageImageTest, TrailNotFoundEndsWithTheLastFrameBeforeIt)
{
    g_TrailMeniscusSearch.found = false;
    g_TrailMeniscusSearch.frameIndex = 4;  // the last frame
    std::string error;
    ASSERT_TRUE(CreateMontageImage(folder.string(), data, settings, "M", &error)) << error;
    EXPECT_EQ(Montage().cols, 2148 + 3 * 300);
}

TEST_F(MontageImageTest, FrameThatCannotBeComposedStopsTheStep)
{
    fs::remove(folder / "frame2.png");
    std::string error;
    EXPECT_FALSE(CreateMontageImage(folder.string(), data, settings, "M", &error));
    EXPECT_EQ(error.rfind("Function Create Montage: ", 0), 0u) << error;
    EXPECT_NE(error.find("frame2.png"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(folder / "M.png"));

    // A shift wider than the frame is an image error of the step, not a crash.
    g_FlowGeometry.pixelShiftPerFrame = 3000;
    EXPECT_FALSE(CreateMontageImage(folder.string(), data, settings, "M", &error));
    EXPECT_EQ(error.rfind("Function Create Montage: ", 0), 0u) << error;
}

TEST_F(MontageImageTest, PipelineStopsAtTheLogStepAndResets)
{
    // No capture log: false with the caller's text as it was.
    std::string error = "untouched";
    EXPECT_FALSE(CreateMontage(nullptr, folder.string(), 0, 0, "M", &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(g_FlowGeometry.splitRow, 0.0);
    EXPECT_EQ(g_TrailMeniscusSearch.distanceToRightEdge, 0.0);

    // A capture-log number that does not parse is reported, not fatal.
    std::ofstream(folder / "run.log") << "ImageFile\tDate\tTime\tExposure(us)\tPump1SpeedULpMin\tPump2SpeedULpMin\r\n"
                                      << "a_Brightfield_0000.png\t2026/03/04\t10:00:00.000\tfast\t0\t0\r\n"
                                      << "a_Brightfield_0001.png\t2026/03/04\t10:00:01.000\t100\t0\t0\r\n";
    g_FlowGeometry.splitRow = 5;
    EXPECT_FALSE(CreateMontage(nullptr, folder.string(), 0, 0, "M", &error));
    EXPECT_EQ(error.rfind("Create Montage: ", 0), 0u) << error;
    EXPECT_EQ(g_FlowGeometry.splitRow, 0.0);
}

}  // namespace
