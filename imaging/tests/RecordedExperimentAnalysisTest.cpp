// The analyses of a recorded experiment on a run of the virtual instrument:
// with the templates the installation supplies, they find the split line and
// the two menisci where the virtual instrument put them.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "analysis/AnalysisEngineState.h"
#include "analysis/ChannelGeometry.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/MeniscusSearch.h"
#include "analysis/SplitLineDetection.h"
#include "imaging/tests/RecordedExperimentFixture.h"

namespace {

using recordedtest::FrameTruth;

class RecordedExperimentAnalysisTest : public recordedtest::RecordedExperimentFixture {
protected:
    void TearDown() override {
        ResetMeniscusSearches();
        ResetFlowGeometry();
        RecordedExperimentFixture::TearDown();
    }

    // The experiment folder loaded as every pipeline loads it.
    ExperimentDataSet Load(const recordedtest::RecordedExperiment& recorded) {
        ExperimentDataSet data;
        std::string error;
        EXPECT_TRUE(OpenExperimentFolder(data, recorded.folder.string()));
        EXPECT_TRUE(ParseCaptureLog(data, data.captureLogPath));
        EXPECT_TRUE(ReadExperimentSettings(data, data.settingsFilePath, &error)) << error;
        EXPECT_TRUE(DetectSplitLineFromLogs(data, recorded.folder.string(), data.settingsFilePath, &error)) << error;
        return data;
    }
};

// The meniscus templates are cut with the meniscus in their middle column.
constexpr double kTemplateMiddle = 80;

TEST_F(RecordedExperimentAnalysisTest, MenisciAndSplitLineAreFoundWhereTheInstrumentPutThem) {
    const recordedtest::RecordingPlan plan;
    const auto recorded = Record(plan);
    if (HasFatalFailure()) return;
    const ExperimentDataSet data = Load(recorded);

    // The flowing frames follow the standing ones; the reference frame is
    // taken before the plug arrives.
    ASSERT_EQ(data.frames.size(), static_cast<size_t>(plan.flowingFrames));
    EXPECT_EQ(data.frames.front().brightFieldIndex, plan.framesBeforeFlow);
    EXPECT_EQ(data.referenceFrame.brightFieldFile, recorded.truth[1].brightFieldFile);
    EXPECT_EQ(data.cartridgeCodePrefix, "410");
    EXPECT_EQ(data.upperChannelRow, recordedtest::ChannelFirstRow());
    EXPECT_DOUBLE_EQ(data.pixelsPerMm, recordedtest::kPixelsPerMm);
    // No split line shows in the reference frame, and the virtual camera
    // is not rotated: nothing to correct.
    EXPECT_EQ(data.detectedOffset, 0);
    EXPECT_EQ(data.detectedRotation, 0.0);

    const auto truthOf = [&](size_t frame) -> const FrameTruth& {
        return recorded.truth[static_cast<size_t>(plan.framesBeforeFlow) + frame];
    };
    // The lead meniscus: the latest frame of the run's first quarter that
    // shows it whole; the trail: the earliest of the second half.
    const size_t n = data.frames.size();
    size_t expectedLead = 0;
    for (size_t i = 0; i < n / 4; ++i) {
        if (truthOf(i).leadColumn > kTemplateMiddle && truthOf(i).leadColumn < 2448 - kTemplateMiddle) expectedLead = i;
    }
    size_t expectedTrail = n - 1;
    for (size_t i = n - n / 2; i < n; ++i) {
        if (truthOf(i).trailColumn > kTemplateMiddle && truthOf(i).trailColumn < 2448 - kTemplateMiddle) {
            expectedTrail = i;
            break;
        }
    }
    ASSERT_GT(expectedLead, 0u) << "the plan puts the lead meniscus in the first quarter";
    ASSERT_LT(expectedTrail, n - 1) << "the plan puts the trail meniscus in the second half";

    std::string error;
    ASSERT_TRUE(LeadMeniscusIndex(recorded.folder.string(), data, &error)) << error;
    ASSERT_TRUE(TrailMeniscusIndex(recorded.folder.string(), data, &error)) << error;
    EXPECT_EQ(g_LeadMeniscusSearch.frameIndex, static_cast<double>(expectedLead));
    EXPECT_NEAR(g_LeadMeniscusSearch.matchX + kTemplateMiddle, truthOf(expectedLead).leadColumn, 4);
    EXPECT_TRUE(g_TrailMeniscusSearch.found);
    EXPECT_EQ(g_TrailMeniscusSearch.frameIndex, static_cast<double>(expectedTrail));
    EXPECT_NEAR(g_TrailMeniscusSearch.matchX + kTemplateMiddle, truthOf(expectedTrail).trailColumn, 4);

    // The split line, in a frame that the plug fills from edge to edge.
    bool measured = false;
    for (size_t i = 0; i < n && !measured; ++i) {
        const FrameTruth& truth = truthOf(i);
        if (truth.leadColumn > -10 || truth.trailColumn < 2458) continue;
        cv::Mat image = cv::imread(ResolveExperimentImagePath(recorded.folder.string(), truth.brightFieldFile),
                                   cv::IMREAD_GRAYSCALE);
        ASSERT_FALSE(image.empty());
        int offset = 0;
        double rotation = 1, centreX = 0, centreY = 0;
        ASSERT_TRUE(FindSplitLine(image, data.pixelsPerMm, data.upperChannelRow, data.lowerChannelRowEnd,
                                  data.cartridgeCodePrefix, offset, rotation, centreX, centreY));
        const int middle = static_cast<int>((data.upperChannelRow + data.lowerChannelRowEnd - 1) * 0.5);
        EXPECT_NEAR(offset, std::lround(truth.splitRow) - middle, 1) << truth.brightFieldFile;
        EXPECT_NEAR(rotation, 0.0, 1e-3);
        EXPECT_NEAR(centreY, std::lround(truth.splitRow) - 20, 2);
        measured = true;
    }
    EXPECT_TRUE(measured) << "the plan has a frame that the plug fills";
}

}  // namespace
