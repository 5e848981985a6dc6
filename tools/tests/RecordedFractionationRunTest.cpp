// The fractionation tool's run on experiments recorded through the capture
// chain on the virtual instrument. What the virtual camera shows of the plug
// (the liquid against the air-filled channel of the background frames, and
// the cells, spread evenly over the channel's height) is the same in every
// row, so the flow-weighted share above the divider row is the share of the
// flow that the divider gives the upper stream: pump 1's share of the two
// pumps' speeds in the capture log, taken over the rows of the region.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/tests/RecordedExperimentFixture.h"
#include "tools/FractionationRun.h"
#include "tools/FractionationTool.h"
#include "tools/LogFileData.h"

namespace {

namespace fs = std::filesystem;

// The share of a parabolic flow between the upper wall and the height h
// (0 at the upper wall, 1 at the lower one).
double FlowShare(double h) { return 3 * h * h - 2 * h * h * h; }

// The top fraction of a signal that is even over the channel, with the
// divider at the share `divider` of the channel height and the region of
// the folder's cartridge entry, which leaves 100 rows out along each wall.
double EvenSignalTopFraction(double divider) {
    const double height = recordedtest::ChannelLastRow() - recordedtest::ChannelFirstRow() + 1;
    const double edge = 100 / height;
    return (FlowShare(divider) - FlowShare(edge)) / (FlowShare(1 - edge) - FlowShare(edge));
}

class RecordedFractionationRunTest : public recordedtest::RecordedExperimentFixture {
protected:
    void SetUp() override {
        RecordedExperimentFixture::SetUp();
        if (HasFatalFailure()) return;
        // The instrument's calibration names the channel's rows, as the
        // cartridge does; the run's divider is placed between them.
        const std::string scale = "image_pixels_per_mm=400\r\n";
        const size_t at = otherSections.find(scale);
        ASSERT_NE(at, std::string::npos);
        otherSections.insert(at + scale.size(), "UpperChannel=" + std::to_string(recordedtest::ChannelFirstRow()) +
                                                    "\r\nLowerChannel=" +
                                                    std::to_string(recordedtest::ChannelLastRow()) + "\r\n");
        std::ofstream(root / "LIB" / "Fractionation.pa_params", std::ios::binary)
            << "[RightSideProjection]\r\nSmoothingWindowMicrons=15\r\n";
    }

    // Records at the pump speeds and runs the tool over the flowing frames,
    // with the frames taken before the pumps moved as backgrounds.
    FractionationResult RecordAndRun(double pump1, double pump2) {
        recordedtest::RecordingPlan plan;
        plan.pump1UlPerMin = pump1;
        plan.pump2UlPerMin = pump2;
        const recordedtest::RecordedExperiment recorded = Record(plan);
        if (HasFatalFailure()) return {};

        // The tool is pointed at the experiment's image folder.
        const fs::path images = recorded.folder / "Images";
        FractionationRequest request;
        request.folder = images.string();
        request.roiName = kImageDirRoiName;
        request.paramSetName = "Fractionation";
        request.programVersion = "1.0";
        for (size_t i = 0; i < recorded.truth.size(); ++i) {
            const std::string path = (images / recorded.truth[i].brightFieldFile).string();
            const bool beforeFlow = static_cast<int>(i) < plan.framesBeforeFlow;
            (beforeFlow ? request.backgroundPaths : request.imagePaths).push_back(path);
        }

        LogFileData log;
        std::string error;
        EXPECT_TRUE(log.Load(request.folder, error)) << error;
        const FractionationResult result = WORKER_THREAD_AnalyzeFractionation(request, log, ToolWorkerContext());
        EXPECT_TRUE(result.errors.empty()) << result.errors.front();
        EXPECT_EQ(result.images.size(), static_cast<size_t>(plan.flowingFrames));
        EXPECT_FALSE(result.reportPath.empty());
        EXPECT_TRUE(fs::exists(result.reportPath));
        EXPECT_EQ(fs::path(result.reportPath).parent_path(), images);

        // Every frame carries the log's speeds; its fractions are shares.
        const float divider = ComputeFlowDividerPosition(static_cast<float>(pump1), static_cast<float>(pump2));
        for (const FractionationImageResult& image : result.images) {
            EXPECT_FLOAT_EQ(image.chanDiv, divider) << image.path;
            EXPECT_GE(image.fractTop, 0.0f) << image.path;
            EXPECT_LE(image.fractTop, 1.0f) << image.path;
        }
        EXPECT_GE(result.totalTop, 0.0);
        EXPECT_LE(result.totalTop, 1.0);
        return result;
    }
};

// Pump 1 at 60 % of the flow, then at 22 %: the top fraction follows it.
// The divider row is rounded, the signal is smoothed over a few rows and
// the cells make it a little uneven: 0.02 covers that.
TEST_F(RecordedFractionationRunTest, TopFractionFollowsTheUpperPumpsShare) {
    const FractionationResult result = RecordAndRun(54, 36);
    if (HasFailure()) return;
    EXPECT_NEAR(result.totalTop, EvenSignalTopFraction(ComputeFlowDividerPosition(54, 36)), 0.02);
    EXPECT_NEAR(result.totalTop, 0.6, 0.03);
}

TEST_F(RecordedFractionationRunTest, TopFractionFollowsTheReversedShare) {
    const FractionationResult result = RecordAndRun(20, 70);
    if (HasFailure()) return;
    EXPECT_NEAR(result.totalTop, EvenSignalTopFraction(ComputeFlowDividerPosition(20, 70)), 0.02);
    EXPECT_NEAR(result.totalTop, 20.0 / 90.0, 0.04);
}

}  // namespace
