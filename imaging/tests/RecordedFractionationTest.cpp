// The fractionation pipeline on runs of the virtual instrument. The virtual
// sample's cells are spread evenly over the channel's height, so the report's
// fractions follow the share of the channel on each side of the split line,
// and the split line follows the two pumps' speeds: with a parabolic flow
// profile, the stream along the lower wall fills the height f whose flow
// share 3f^2 - 2f^3 is pump 2's share of the flow.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "analysis/AnalysisEngineState.h"
#include "analysis/FractionationPipeline.h"
#include "imaging/tests/RecordedExperimentFixture.h"

namespace {

// The share of the channel's height above the split line.
double TopShare(double pump1, double pump2) {
    const double flowShare = pump2 / (pump1 + pump2);
    double low = 0, high = 1;
    for (int i = 0; i < 60; ++i) {
        const double f = (low + high) / 2;
        (3 * f * f - 2 * f * f * f < flowShare ? low : high) = f;
    }
    return 1 - low;
}

class RecordedFractionationTest : public recordedtest::RecordedExperimentFixture {
protected:
    void TearDown() override {
        ResetMeniscusSearches();
        ResetFlowGeometry();
        ResetFractionationState();
        RecordedExperimentFixture::TearDown();
    }

    // Records a run at the pump speeds and checks the pipeline's fractions.
    void ExpectFractionsFollowThePumps(double pump1, double pump2) {
        recordedtest::RecordingPlan plan;
        plan.pump1UlPerMin = pump1;
        plan.pump2UlPerMin = pump2;
        const auto recorded = Record(plan);
        if (HasFatalFailure()) return;

        double top = -1, bottom = -1;
        std::string error;
        ASSERT_TRUE(FractionationAnalysis(nullptr, recorded.folder.string(), "Fractions", top, bottom, &error))
            << error;
        EXPECT_TRUE(std::filesystem::exists(recorded.folder / "Fractions.txt"));
        EXPECT_NEAR(top + bottom, 1.0, 1e-12);
        // 90 cells of 17 rows each over 739 rows: the fractions come within a
        // tenth of the shares (the two cases' shares lie 0.26 apart).
        EXPECT_NEAR(top, TopShare(pump1, pump2), 0.1) << pump1 << " / " << pump2;

        // The engine is back to its start-up state.
        EXPECT_TRUE(g_LeadMeniscusSearch.templateFiles.empty());
        EXPECT_TRUE(g_TrailMeniscusSearch.templateFiles.empty());
        EXPECT_EQ(g_FlowGeometry.splitRow, 0.0);
        EXPECT_TRUE(g_FractionationState.frames.empty());
        EXPECT_TRUE(g_FractionationState.intensityProfile.empty());
    }
};

// Pump 1 at 60 % of the flow: 57 % of the channel above the split line.
TEST_F(RecordedFractionationTest, FractionsFollowThePumpRatio) { ExpectFractionsFollowThePumps(54, 36); }

// Pump 2 at 78 %: 30 % above.
TEST_F(RecordedFractionationTest, FractionsFollowTheReversedPumpRatio) { ExpectFractionsFollowThePumps(20, 70); }

}  // namespace
