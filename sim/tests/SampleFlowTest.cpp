#include "sim/SampleFlow.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "sim/CameraScene.h"
#include "sim/VirtualInstrument.h"

namespace {

using sim::SampleFlow;
using sim::SamplePlug;

class SampleFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State() = sim::InstrumentState{};
        for (auto& pump : sim::VirtualInstrument::Instance().State().pumps) pump.plungerSteps = 12000;  // 625 ul each
    }
    void TearDown() override { SampleFlow::Instance().Unload(); }

    // Loads the plug with both plungers back at their start.
    static void Load(const SamplePlug& plug) {
        {
            auto lock = sim::VirtualInstrument::Instance().Lock();
            for (auto& pump : sim::VirtualInstrument::Instance().State().pumps) pump.plungerSteps = 12000;
        }
        SampleFlow::Instance().Load(plug);
    }

    // Sets how many microlitres each pump has dispensed since the load and
    // returns the sample the camera would see.
    static sim::SampleContent After(double pump1Ul, double pump2Ul) {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::InstrumentState& state = sim::VirtualInstrument::Instance().State();
        state.pumps[0].plungerSteps = 12000 - static_cast<int>(pump1Ul * 24000 / 1250);
        state.pumps[1].plungerSteps = 12000 - static_cast<int>(pump2Ul * 24000 / 1250);
        SampleFlow::Instance().Apply(state);
        return state.sample;
    }
};

TEST_F(SampleFlowTest, PlugMovesWithTheVolumePushedAndSplitsByTheVolumeRatio) {
    SamplePlug plug;
    plug.inletColumn = -50;
    plug.pixelsPerUl = 60;
    plug.volumeUl = 40;
    Load(plug);
    const auto walls = sim::ChannelGeometry::ForSensorHeight(2048);
    const double top = walls.upperWallBottom;
    const double bottom = walls.lowerWallTop;

    struct Case {
        double pump1, pump2;
        double lead;
        double splitRow;
    };
    const Case cases[] = {
        {0, 0, -50, (top + bottom) / 2},
        {12, 12, -50 + 24 * 60, (top + bottom) / 2},        // equal speeds: the middle
        {18, 6, -50 + 24 * 60, bottom - 0.75 * (bottom - top)},  // pump 1 three times as fast: its stream is wider
        {6, 18, -50 + 24 * 60, bottom - 0.25 * (bottom - top)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pump1);
        const sim::SampleContent sample = After(c.pump1, c.pump2);
        EXPECT_TRUE(sample.plug);
        // One plunger step moves the plug about 3 pixels.
        EXPECT_NEAR(sample.leadMeniscusColumn, c.lead, 4);
        EXPECT_NEAR(sample.trailMeniscusColumn, c.lead - 40 * 60, 4);
        EXPECT_NEAR(sample.splitLineRow, c.splitRow, 0.5);
        for (const auto& cell : sample.cells) {
            EXPECT_LT(cell.x, sample.leadMeniscusColumn);
            EXPECT_GT(cell.x, sample.trailMeniscusColumn);
            EXPECT_GT(cell.y, top);
            EXPECT_LT(cell.y, bottom);
        }
    }
}

TEST_F(SampleFlowTest, SameSeedSameCellsAndFluorescentShares) {
    SamplePlug plug;
    plug.seed = 42;
    plug.inletColumn = -1000;
    plug.pixelsPerUl = 30;
    plug.volumeUl = 60;
    plug.cellsPerUl = 20;
    Load(plug);
    const sim::SampleContent first = After(40, 40);
    Load(plug);
    const sim::SampleContent again = After(40, 40);
    ASSERT_EQ(first.cells.size(), again.cells.size());
    for (size_t i = 0; i < first.cells.size(); ++i) {
        EXPECT_EQ(first.cells[i].x, again.cells[i].x);
        EXPECT_EQ(first.cells[i].y, again.cells[i].y);
        EXPECT_EQ(first.cells[i].fluorescentType, again.cells[i].fluorescentType);
    }
    // The plug spans columns -400 .. 1400: 1200 cells, most of them in view.
    EXPECT_GT(first.cells.size(), 600u);
    int fluorescent[4] = {};
    for (const auto& cell : first.cells) {
        if (cell.fluorescentType >= 0) ++fluorescent[cell.fluorescentType];
    }
    EXPECT_EQ(fluorescent[0], 0);
    EXPECT_NEAR(fluorescent[1] / static_cast<double>(first.cells.size()), 0.3, 0.06);
    EXPECT_NEAR(fluorescent[2] / static_cast<double>(first.cells.size()), 0.1, 0.04);

    plug.seed = 43;
    Load(plug);
    const sim::SampleContent other = After(40, 40);
    EXPECT_NE(other.cells.front().x, first.cells.front().x);
}

TEST_F(SampleFlowTest, CameraSeesLiquidOnlyBetweenTheMenisci) {
    SamplePlug plug;
    plug.inletColumn = 0;
    plug.pixelsPerUl = 50;
    plug.volumeUl = 20;  // 1000 pixels long
    plug.cellsPerUl = 0;
    Load(plug);
    sim::SampleContent sample = After(15, 15);  // lead at 1500, trail at 500

    sim::SceneRenderer renderer;
    sim::SceneView view;
    view.ledMask = 1;
    view.sample = &sample;
    const cv::Mat radiance = renderer.Radiance(view);
    const int row = 1024;
    const auto at = [&](int x) { return radiance.at<float>(row + 200, x); };
    EXPECT_NEAR(at(200), sim::SceneLevels::kBrightAir, 1e-4);     // behind the trail
    EXPECT_NEAR(at(1000), sim::SceneLevels::kBrightLiquid, 1e-4); // in the plug
    EXPECT_NEAR(at(2000), sim::SceneLevels::kBrightAir, 1e-4);    // ahead of the lead
    EXPECT_NEAR(at(1500), sim::SceneLevels::kBrightMeniscus, 1e-4);
    EXPECT_NEAR(at(500), sim::SceneLevels::kBrightMeniscus, 1e-4);
    // The split line darkens its row inside the plug only.
    const int split = static_cast<int>(std::lround(sample.splitLineRow));
    EXPECT_LT(radiance.at<float>(split, 1000), sim::SceneLevels::kBrightLiquid * 0.9);
    EXPECT_NEAR(radiance.at<float>(split, 2000), sim::SceneLevels::kBrightAir, 1e-4);
}

}  // namespace
