#include "app/FlowSplit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class FlowSplitTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFlowSplit(); }
    void TearDown() override { ResetFlowSplit(); }
};

TEST_F(FlowSplitTest, ValueAndFractionConvertBothWays) {
    struct Case {
        int32_t value;
        double fraction;
    };
    for (const Case& c : {Case{0, 0.5}, Case{10, 0.6}, Case{-10, 0.4}, Case{25, 0.75}, Case{-30, 0.2},
                          Case{45, 0.95}, Case{-45, 0.05}}) {
        EXPECT_NEAR(FlowSplitFractionFromValue(c.value), c.fraction, 1e-12) << c.value;
        EXPECT_EQ(FlowSplitValueFromFraction(c.fraction), c.value) << c.fraction;
    }
    // Half a percent rounds away from the middle on both sides.
    EXPECT_EQ(FlowSplitValueFromFraction(0.505), 1);
    EXPECT_EQ(FlowSplitValueFromFraction(0.495), -1);
}

TEST_F(FlowSplitTest, StartsWithTheDefaults) {
    const FlowSplitValues v = GetFlowSplit();
    EXPECT_EQ(v.FlowSplitFraction, 0.5);
    EXPECT_EQ(v.FlowSplitMin, -10);
    EXPECT_EQ(v.FlowSplitMax, 10);
    EXPECT_DOUBLE_EQ(v.FlowSplitMinFraction, 0.4);
    EXPECT_DOUBLE_EQ(v.FlowSplitMaxFraction, 0.6);
    EXPECT_EQ(v.ChannelTopY, -1);
    EXPECT_EQ(v.ChannelBottomY, -1);
    EXPECT_EQ(v.FlowSplitDragDeltaY, 0);
    EXPECT_FALSE(v.FlowSplitLineVisible);
    EXPECT_FALSE(v.FlowSplitChanged);
}

TEST_F(FlowSplitTest, RangeSetsItsFractionsAndRefusesBadLimits) {
    ASSERT_TRUE(SetFlowSplitRange(-20, 30));
    FlowSplitValues v = GetFlowSplit();
    EXPECT_EQ(v.FlowSplitMin, -20);
    EXPECT_EQ(v.FlowSplitMax, 30);
    EXPECT_DOUBLE_EQ(v.FlowSplitMinFraction, 0.3);
    EXPECT_DOUBLE_EQ(v.FlowSplitMaxFraction, 0.8);

    EXPECT_FALSE(SetFlowSplitRange(-46, 0));
    EXPECT_FALSE(SetFlowSplitRange(0, 46));
    EXPECT_FALSE(SetFlowSplitRange(10, -10));
    v = GetFlowSplit();
    EXPECT_EQ(v.FlowSplitMin, -20);
    EXPECT_EQ(v.FlowSplitMax, 30);
}

TEST_F(FlowSplitTest, SettersChangeOnlyTheirValue) {
    SetFlowSplitFraction(0.7);
    SetChannelScreenRows(100, 500);
    SetFlowSplitLineY(300);
    SetFlowSplitDragDeltaY(-12);
    SetFlowSplitHitRect(RECT{0, 296, 640, 304});
    SetFlowSplitLineVisible(true);
    SetFlowSplitChanged(true);
    const FlowSplitValues v = GetFlowSplit();
    EXPECT_EQ(v.FlowSplitFraction, 0.7);
    EXPECT_EQ(v.ChannelTopY, 100);
    EXPECT_EQ(v.ChannelBottomY, 500);
    EXPECT_EQ(v.FlowSplitLineY, 300);
    EXPECT_EQ(v.FlowSplitDragDeltaY, -12);
    EXPECT_EQ(v.FlowSplitHitRect, (RECT{0, 296, 640, 304}));
    EXPECT_TRUE(v.FlowSplitLineVisible);
    EXPECT_TRUE(v.FlowSplitChanged);
    EXPECT_EQ(v.FlowSplitMin, -10);
}

// A reader never sees half of an update made under one lock.
TEST_F(FlowSplitTest, SnapshotsAreConsistentWhileAnotherThreadWrites) {
    std::atomic<bool> stop{false};
    std::thread writer([&stop] {
        for (int32_t i = 0; !stop; ++i)
            UpdateFlowSplit([i](FlowSplitValues& v) {
                v.ChannelTopY = i;
                v.ChannelBottomY = i + 400;
                v.FlowSplitLineY = i + 200;
            });
    });
    for (int n = 0; n < 20000; ++n) {
        const FlowSplitValues v = GetFlowSplit();
        if (v.ChannelTopY < 0) continue;
        ASSERT_EQ(v.ChannelBottomY - v.ChannelTopY, 400);
        ASSERT_EQ(v.FlowSplitLineY - v.ChannelTopY, 200);
    }
    stop = true;
    writer.join();
}

}  // namespace
