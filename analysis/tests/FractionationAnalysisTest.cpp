#include "analysis/FractionationAnalysis.h"

#include "analysis/AnalysisEngineState.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 2448;
constexpr int kRows = 10;

// Seven frames of 10 channel rows at 1000 with dark marks (900) of 10 pixels
// in a row: frame 0 row 1 (in the lead strip, counted whole), frame 1 row 2
// in its last 100 columns (new, counted) and row 3 in its first columns (seen
// before, not counted), frame 6 row 4 in its last 100 columns (counted only
// when the trail meniscus lies there). At most one frame in five is marked at
// any pixel, so the maximum and the median are both 1000 and the background
// is exactly 1000.
class FractionationAnalysisTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
        fs::create_directories(folder);
        Reset();
        data.upperChannelRow = 0;
        data.lowerChannelRowEnd = kRows;
        data.meanBrightFieldExposure = 2000;
        for (int i = 0; i < 7; ++i) {
            cv::Mat frame(kRows, kWidth, CV_16UC1, cv::Scalar(500));  // half the mean exposure
            if (i == 0)
                frame(cv::Rect(0, 1, 10, 1)).setTo(450);
            if (i == 1) {
                frame(cv::Rect(kWidth - 100, 2, 10, 1)).setTo(450);
                frame(cv::Rect(0, 3, 10, 1)).setTo(450);
            }
            if (i == 6)
                frame(cv::Rect(kWidth - 98, 4, 10, 1)).setTo(450);
            WriteFrame(i, frame);
        }
        g_LeadMeniscusSearch.matchFlags.assign(1, false);
        g_TrailMeniscusSearch.frameIndex = 6;
        g_FlowGeometry.pixelShiftPerFrame = 100;
        g_FlowGeometry.splitRow = 103;  // profile row 3
    }
    void TearDown() override { Reset(); }

    static void Reset()
    {
        ResetFractionationState();
        ResetMeniscusSearches();
        ResetFlowGeometry();
    }

    void WriteFrame(int index, const cv::Mat& image)
    {
        char name[64];
        std::snprintf(name, sizeof name, "E_Brightfield_%04d.png", index);
        ASSERT_TRUE(cv::imwrite((folder / name).string(), image));
        if (data.frames.size() <= static_cast<size_t>(index)) {
            FrameRecord frame;
            frame.brightFieldFile = name;
            frame.brightFieldExposure = 1000;
            data.frames.push_back(frame);
        }
    }

    bool Conduct(std::string* error)
    {
        return ConductFractionationAnalysis(folder.string(), "E", "Report", data, error);
    }

    fs::path folder;
    ExperimentDataSet data;
};

}  // namespace

TEST(FractionationRowSumsTest, RowSumsAndRawFractions)
{
    ResetFractionationState();
    ResetFlowGeometry();
    g_FlowGeometry.splitRow = 101.4;  // row 1
    const cv::Mat image = (cv::Mat_<float>(4, 2) << 1.5f, 2.25f, -3, 10, 100, 200, 0.5f, 0);
    EXPECT_EQ(ComputeRowSums(image), (std::vector<double>{3.75, 7, 300, 0.5}));
    EXPECT_EQ(ComputeRowSums(image), (std::vector<double>{3.75, 7, 300, 0.5}));
    EXPECT_EQ(g_FractionationState.topFraction, 7.5);       // row 0, twice
    EXPECT_EQ(g_FractionationState.bottomFraction, 601.0);  // rows 2 and 3, twice
    ResetFractionationState();
    ResetFlowGeometry();
}

TEST(FractionationRowSumsTest, ProfileAddsWholeNumbers)
{
    const struct {
        double profile, sum, result;
    } cases[] = {
        {12.7, -3.9, 9},
        {-12.7, 3.9, -9},
        {0.9, 0.9, 0},
        {-0.5, -0.5, 0},
        {1e12 + 0.5, 2e12, 3e12},  // beyond 32 bits, still whole
    };
    for (const auto& c : cases) {
        std::vector<double> profile{c.profile};
        AddRowSumsToProfile(profile, {c.sum});
        EXPECT_EQ(profile[0], c.result) << c.profile << " + " << c.sum;
    }
}

TEST_F(FractionationAnalysisTest, NewColumnsOfEachFrameAreSummed)
{
    std::string error;
    ASSERT_TRUE(Conduct(&error)) << error;
    // Strips 0 to 6 loaded, brought to the mean exposure (x 2); the last strip
    // is not used, the trail meniscus not being found.
    ASSERT_EQ(g_FractionationState.frames.size(), 7u);
    EXPECT_EQ(g_FractionationState.frames[3].at<uint16_t>(5, 5), 1000);
    EXPECT_EQ(g_FractionationState.intensityProfile,
              (std::vector<double>{0, -1000, -1000, 0, 0, 0, 0, 0, 0, 0}));
    // Nothing above the background: both fractions 0.
    EXPECT_EQ(g_FractionationState.topFraction, 0.0);
    EXPECT_EQ(g_FractionationState.bottomFraction, 0.0);
    EXPECT_TRUE(fs::exists(folder / "Report.txt"));
}

TEST_F(FractionationAnalysisTest, TrailMeniscusInTheLastFramesNewColumns)
{
    // The trail meniscus ends at column 2430: the last strip is cleared beyond
    // it, and the cleared part is masked with the background, not counted as
    // dark sample; the mark left of it counts.
    g_TrailMeniscusSearch.found = true;
    g_TrailMeniscusSearch.matchX = 2400;
    g_TrailMeniscusSearch.templateWidth = 30;
    std::string error;
    ASSERT_TRUE(Conduct(&error)) << error;
    EXPECT_EQ(g_FractionationState.frames[6].at<uint16_t>(0, 2429), 1000);
    EXPECT_EQ(g_FractionationState.frames[6].at<uint16_t>(0, 2430), 0);
    EXPECT_EQ(g_FractionationState.intensityProfile,
              (std::vector<double>{0, -1000, -1000, 0, -1000, 0, 0, 0, 0, 0}));

    // The same meniscus left of the last 100 columns leaves the strip out.
    Reset();
    g_LeadMeniscusSearch.matchFlags.assign(1, false);
    g_TrailMeniscusSearch = {};
    g_TrailMeniscusSearch.frameIndex = 6;
    g_TrailMeniscusSearch.found = true;
    g_TrailMeniscusSearch.matchX = 2348;
    g_TrailMeniscusSearch.templateWidth = 30;
    g_FlowGeometry.pixelShiftPerFrame = 100;
    g_FlowGeometry.splitRow = 103;
    ASSERT_TRUE(Conduct(&error)) << error;
    EXPECT_EQ(g_FractionationState.intensityProfile[4], 0.0);
}

TEST_F(FractionationAnalysisTest, FailuresAreReported)
{
    const std::string prefix = "Function conduct Fractionation Analysis: ";
    std::string error;

    g_TrailMeniscusSearch.frameIndex = 3;
    EXPECT_FALSE(Conduct(&error));
    EXPECT_EQ(error, prefix + "at least 5 frames from the lead to the trail meniscus are needed, there are 4");

    g_TrailMeniscusSearch.frameIndex = 6;
    fs::rename(folder / data.frames[2].brightFieldFile, folder / "moved.png");
    EXPECT_FALSE(Conduct(&error));
    EXPECT_EQ(error, prefix + "could not read " + (folder / data.frames[2].brightFieldFile).string());

    WriteFrame(2, cv::Mat(kRows - 2, kWidth, CV_16UC1, cv::Scalar(500)));  // too few rows
    error.clear();
    EXPECT_FALSE(Conduct(&error));
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;

    WriteFrame(2, cv::Mat(kRows, kWidth, CV_16UC1, cv::Scalar(500)));
    EXPECT_FALSE(ConductFractionationAnalysis(folder.string(), "E", "no/Report", data, &error));
    EXPECT_EQ(error, prefix + "Cell fractionation report: could not write " + (folder / "no" / "Report.txt").string());
}

TEST_F(FractionationAnalysisTest, LeadMeniscusMaskAndWedge)
{
    // A textured region in columns 0 to 249 of every frame (the same in all,
    // so it is its own background). In the lead strip: a mark inside the
    // texture near its top (cleared with the wedge left of the meniscus), one
    // inside the texture beyond the wedge (counted) and one right of the
    // texture but in the lead region (taken from the background).
    cv::Mat texture(kRows, 250, CV_16UC1);
    cv::RNG rng(3);
    rng.fill(texture, cv::RNG::UNIFORM, 1000, 30000);
    for (int i = 0; i < 7; ++i) {
        cv::Mat frame(kRows, kWidth, CV_16UC1, cv::Scalar(500));
        texture.copyTo(frame.colRange(0, 250));
        if (i == 0) {
            frame(cv::Rect(20, 1, 10, 1)) -= 50;
            frame(cv::Rect(200, 5, 10, 1)) -= 50;
            frame(cv::Rect(280, 7, 10, 1)).setTo(450);
        }
        if (i == 1)
            frame(cv::Rect(kWidth - 100, 2, 10, 1)).setTo(450);
        WriteFrame(i, frame);
    }
    g_LeadMeniscusSearch.matchFlags.assign(1, true);
    g_LeadMeniscusSearch.templateWidth = 100;  // a lead region of 300 columns
    std::string error;
    ASSERT_TRUE(Conduct(&error)) << error;
    EXPECT_EQ(g_FractionationState.intensityProfile,
              (std::vector<double>{0, 0, -1000, 0, 0, -1000, 0, 0, 0, 0}));
    EXPECT_EQ(g_FractionationState.leadFrame.size(), cv::Size(300, kRows));
}
