// The montage and the video of an experiment recorded on the virtual
// instrument: the pipelines complete, the pictures show the plug where the
// instrument put it with the split line across, and the engine state is
// reset afterwards.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "analysis/AnalysisEngineState.h"
#include "analysis/ExperimentVideo.h"
#include "analysis/MontagePipeline.h"
#include "imaging/tests/RecordedExperimentFixture.h"

namespace {

namespace fs = std::filesystem;

// The split row of a crop with 100 rows of margin, for pump 2's share of the
// flow: the split lies f of the channel height above the lower wall, where
// 3 f^2 - 2 f^3 is that share.
double ExpectedSplitRow(double pump1, double pump2, int channelRows)
{
    const double share = pump2 / (pump1 + pump2);
    double low = 0, high = 1;
    for (int i = 0; i < 60; ++i) {
        const double f = (low + high) / 2;
        (3 * f * f - 2 * f * f * f < share ? low : high) = f;
    }
    return (1 - low) * channelRows + 100;
}

// Mean level of the montage's channel rows in a column.
double ColumnLevel(const cv::Mat& montage, int column)
{
    cv::Mat grey;
    cv::extractChannel(montage.col(column).rowRange(120, montage.rows - 120), grey, 1);
    return cv::mean(grey)[0];
}

// The darkest column within `reach` of `around`.
int DarkestColumn(const cv::Mat& montage, int around, int reach)
{
    int best = around;
    for (int x = std::max(0, around - reach); x <= std::min(montage.cols - 1, around + reach); ++x) {
        if (ColumnLevel(montage, x) < ColumnLevel(montage, best))
            best = x;
    }
    return best;
}

using RecordedExperimentOutputsTest = recordedtest::RecordedExperimentFixture;

TEST_F(RecordedExperimentOutputsTest, MontageStitchesThePlugAndMarksTheSplitLine)
{
    const recordedtest::RecordingPlan plan;
    const auto recorded = Record(plan);
    if (HasFatalFailure()) return;

    g_FlowGeometry.splitRow = 1;  // left by an earlier run
    std::string error;
    ASSERT_TRUE(CreateMontage(nullptr, recorded.folder.string(), 0, 0, "Montage", &error)) << error;
    EXPECT_EQ(g_FlowGeometry.splitRow, 0.0);
    EXPECT_EQ(g_FlowGeometry.pixelShiftPerFrame, 0.0);
    EXPECT_TRUE(g_LeadMeniscusSearch.templateFiles.empty());
    EXPECT_TRUE(g_TrailMeniscusSearch.templateFiles.empty());

    const cv::Mat montage = cv::imread((recorded.folder / "Montage.png").string(), cv::IMREAD_COLOR);
    const cv::Mat small = cv::imread((recorded.folder / "Montage.small.png").string(), cv::IMREAD_COLOR);
    ASSERT_FALSE(montage.empty());
    ASSERT_FALSE(small.empty());
    const int channelRows = recordedtest::ChannelLastRow() + 1 - recordedtest::ChannelFirstRow();
    EXPECT_EQ(montage.rows, channelRows + 200);
    EXPECT_EQ(small.cols, montage.cols / 4);
    EXPECT_EQ(small.rows, montage.rows / 4);

    // The lead frame's view (frame 4 of the run: the last of the first
    // quarter that shows the lead meniscus), 300 new columns from each frame
    // up to the trail frame (10), and the trail frame's part right of its
    // meniscus.
    const auto& lead = recorded.truth[static_cast<size_t>(plan.framesBeforeFlow) + 4];
    const auto& trail = recorded.truth[static_cast<size_t>(plan.framesBeforeFlow) + 10];
    const int shift = 300;
    const int trailPart = static_cast<int>(std::lround(2448 - trail.trailColumn + 80));
    EXPECT_NEAR(montage.cols, 2448 - shift + 6 * shift + trailPart, 2);
    EXPECT_NEAR(DarkestColumn(montage, static_cast<int>(lead.leadColumn), 20), lead.leadColumn, 3);
    const double trailInMontage = montage.cols - (2448 - trail.trailColumn);
    EXPECT_NEAR(DarkestColumn(montage, static_cast<int>(trailInMontage), 20), trailInMontage, 3);

    // The split line is drawn blue across the whole montage; elsewhere the
    // bright-field montage is grey.
    const int splitRow = static_cast<int>(ExpectedSplitRow(plan.pump1UlPerMin, plan.pump2UlPerMin, channelRows));
    for (int x : {0, montage.cols / 2, montage.cols - 1})
        EXPECT_EQ(montage.at<cv::Vec3b>(splitRow, x), cv::Vec3b(255, 0, 0)) << x;
    const cv::Vec3b plain = montage.at<cv::Vec3b>(splitRow - 40, montage.cols / 3);
    EXPECT_EQ(plain[0], plain[1]);
    EXPECT_EQ(plain[1], plain[2]);
}

TEST_F(RecordedExperimentOutputsTest, VideoShowsTheFramesBeforeAndDuringTheFlow)
{
    recordedtest::RecordingPlan plan;
    plan.framesBeforeFlow = 10;
    plan.flowingFrames = 12;
    plan.fluorescence = true;
    const auto recorded = Record(plan);
    if (HasFatalFailure()) return;

    std::string error;
    ASSERT_TRUE(CreateExperimentVideo(nullptr, recorded.folder.string(), 1, 0, 0, "Video", &error)) << error;
    EXPECT_TRUE(g_MontageDisplaySettings.useChannel1);
    EXPECT_EQ(g_MontageDisplaySettings.brightFieldMax, 128);

    cv::VideoCapture video((recorded.folder / "Video.mp4").string());
    ASSERT_TRUE(video.isOpened());
    int frames = 0;
    cv::Mat last;
    for (cv::Mat frame; video.read(frame); ++frames)
        last = frame.clone();
    // Rows 3 to 6 of the ten standing ones, then the twelve flowing frames.
    EXPECT_EQ(frames, 4 + 12);
    EXPECT_EQ(last.cols, 2448);
    // MPEG-4 frames have even sides: an odd crop loses its last margin row.
    const int cropRows = recordedtest::ChannelLastRow() + 1 - recordedtest::ChannelFirstRow() + 200;
    EXPECT_EQ(last.rows, cropRows & ~1);

    // A folder without a capture log makes no video.
    const fs::path empty = root / "Empty";
    fs::create_directories(empty);
    error = "untouched";
    EXPECT_FALSE(CreateExperimentVideo(nullptr, empty.string(), 0, 0, 0, "Video", &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_FALSE(fs::exists(empty / "Video.mp4"));
}

}  // namespace
