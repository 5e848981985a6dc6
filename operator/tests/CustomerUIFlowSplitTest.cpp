#include <gtest/gtest.h>

#include "app/FlowSplit.h"
#include "operator/tests/CustomerUITestSupport.h"

namespace {

using namespace customer_ui;

class CustomerUIFlowSplitTest : public customer_ui_testing::CustomerUIFixture {
protected:
    void SetUp() override {
        CustomerUIFixture::SetUp();
        ResetFlowSplit();
    }
    void TearDown() override {
        ResetFlowSplit();
        CustomerUIFixture::TearDown();
    }

    // The channel from row 100 to row 500 with the line at `lineY`, and the
    // band the renderer would store around it.
    static void PlaceLine(int32_t lineY) {
        UpdateFlowSplit([lineY](FlowSplitValues& v) {
            v.ChannelTopY = 100;
            v.ChannelBottomY = 500;
            v.FlowSplitLineY = lineY;
            v.FlowSplitDragDeltaY = 0;
            v.FlowSplitHitRect = RECT{480, lineY - 4, 1439, lineY + 4};
        });
    }

    std::string TextFor(int32_t lineY) {
        PlaceLine(lineY);
        ui->UpdateFlowSplitText(false);
        return ui->GetSplitPercent();
    }
};

TEST_F(CustomerUIFlowSplitTest, TextFollowsTheLinesPlaceInTheChannel) {
    ui->UpdateFlowSplitText(false);
    EXPECT_EQ(ui->GetSplitPercent(), "0");  // no channel yet
    struct Case {
        int32_t lineY;
        const char* text;
    } cases[] = {{300, "0"}, {200, "25"}, {420, "-30"}, {130, "0"}, {470, "0"}, {141, "40"}, {459, "-40"}};
    for (const Case& c : cases) EXPECT_EQ(TextFor(c.lineY), c.text) << c.lineY;

    // A channel of no height counts as unknown instead of dividing by zero.
    UpdateFlowSplit([](FlowSplitValues& v) {
        v.ChannelTopY = 300;
        v.ChannelBottomY = 300;
        v.FlowSplitLineY = 250;
    });
    ui->UpdateFlowSplitText(false);
    EXPECT_EQ(ui->GetSplitPercent(), "0");
    UpdateFlowSplit([](FlowSplitValues& v) { v.ChannelBottomY = 200; });
    ui->UpdateFlowSplitText(false);
    EXPECT_EQ(ui->GetSplitPercent(), "0");
}

TEST_F(CustomerUIFlowSplitTest, ANewTextRedrawsTheValueBoxOnlyWhenAsked) {
    PlaceLine(200);
    window.invalidated.clear();
    ui->UpdateFlowSplitText(true);
    ASSERT_EQ(window.invalidated.size(), 1u);
    EXPECT_EQ(window.invalidated[0], (RECT{390, 390, 470, 430}));
    ui->UpdateFlowSplitText(true);  // unchanged: nothing
    EXPECT_EQ(window.invalidated.size(), 1u);
}

TEST_F(CustomerUIFlowSplitTest, DragStaysWithinTheLimitsAndHandsBackSplitChanged) {
    PretendCustomerScriptRuns();
    CString error;
    ASSERT_TRUE(ui->SetState(kStateShowVideo, error));
    PlaceLine(300);
    ui->OnLButtonDown({900, 302});
    ui->OnMouseMove({900, 150}, true);
    EXPECT_EQ(GetFlowSplit().FlowSplitDragDeltaY, -40);  // row 260 at most
    EXPECT_EQ(ui->GetSplitPercent(), "10");
    EXPECT_GT(window.sizingCursors, 0);
    ui->OnMouseMove({900, 450}, true);
    EXPECT_EQ(GetFlowSplit().FlowSplitDragDeltaY, 40);  // row 340 at least
    EXPECT_EQ(ui->GetSplitPercent(), "-10");
    ui->OnMouseMove({900, 290}, true);
    EXPECT_EQ(GetFlowSplit().FlowSplitDragDeltaY, -12);
    EXPECT_FALSE(ui->WaitForEvent(nullptr, 0));

    ui->OnLButtonUp({900, 100});
    const FlowSplitValues v = GetFlowSplit();
    EXPECT_EQ(v.FlowSplitLineY, 260);
    EXPECT_EQ(v.FlowSplitDragDeltaY, 0);
    EXPECT_DOUBLE_EQ(v.FlowSplitFraction, 0.6);
    EXPECT_EQ(ui->GetSplitPercent(), "10");
    CString name;
    EXPECT_TRUE(ui->WaitForEvent(&name, 0));
    EXPECT_EQ(name, "SplitChanged");
    const std::string log = ActionLog();
    EXPECT_NE(log.find("\tChannelDividerMoveInitiated\tShowVideo\t"), std::string::npos);
    EXPECT_NE(log.find("\tFinishSplitMove\tShowVideo\t"), std::string::npos);

    // The drag is over: another release hands nothing back.
    ui->OnLButtonUp({900, 100});
    EXPECT_FALSE(ui->WaitForEvent(nullptr, 0));
}

TEST_F(CustomerUIFlowSplitTest, NoDragOutsideTheBandOrWithTheLineHiddenOrFixed) {
    CString error;
    ASSERT_TRUE(ui->SetState(kStateShowVideo, error));
    PlaceLine(300);
    ui->OnLButtonDown({900, 320});
    ui->OnLButtonUp({900, 320});
    EXPECT_FALSE(ui->WaitForEvent(nullptr, 0));

    ui->EditContent([](CustomerUIContent& c) { c.m_bSplitLineAdjustable = false; });
    ui->OnLButtonDown({900, 300});
    ui->OnLButtonUp({900, 280});
    EXPECT_FALSE(ui->WaitForEvent(nullptr, 0));

    ui->EditContent([](CustomerUIContent& c) {
        c.m_bSplitLineAdjustable = true;
        c.m_bShowSplitLine = false;
    });
    ui->OnLButtonDown({900, 300});
    ui->OnLButtonUp({900, 280});
    EXPECT_FALSE(ui->WaitForEvent(nullptr, 0));

    // Not on the video screen.
    ui->EditContent([](CustomerUIContent& c) { c.m_bShowSplitLine = true; });
    ASSERT_TRUE(ui->SetState(8, error));
    ui->OnLButtonDown({900, 300});
    ui->OnLButtonUp({900, 280});
    EXPECT_FALSE(ui->WaitForEvent(nullptr, 0));
    EXPECT_EQ(GetFlowSplit().FlowSplitLineY, 300);
}

TEST_F(CustomerUIFlowSplitTest, SetFlowSplitKeepsToTheScriptsRange) {
    EXPECT_FALSE(ui->SetFlowSplit(11));
    EXPECT_DOUBLE_EQ(GetFlowSplit().FlowSplitFraction, 0.5);
    EXPECT_TRUE(ui->SetFlowSplit(-10));
    EXPECT_DOUBLE_EQ(GetFlowSplit().FlowSplitFraction, 0.4);
    ASSERT_TRUE(SetFlowSplitRange(-45, 45));
    EXPECT_TRUE(ui->SetFlowSplit(45));
    EXPECT_DOUBLE_EQ(GetFlowSplit().FlowSplitFraction, 0.95);
    EXPECT_FALSE(ui->SetFlowSplit(-46));
}

TEST_F(CustomerUIFlowSplitTest, ANewScriptPutsTheLineBackInTheMiddle) {
    UpdateFlowSplit([](FlowSplitValues& v) {
        v.ChannelTopY = 100;
        v.ChannelBottomY = 500;
        v.FlowSplitLineY = 222;
        v.FlowSplitDragDeltaY = 7;
        v.FlowSplitFraction = 0.58;
    });
    ui->ResetForNewScript();
    const FlowSplitValues v = GetFlowSplit();
    EXPECT_EQ(v.FlowSplitDragDeltaY, 0);
    EXPECT_EQ(v.FlowSplitLineY, 200);  // half the channel height; the renderer re-places it
    EXPECT_DOUBLE_EQ(v.FlowSplitFraction, 0.5);
    EXPECT_EQ(ui->GetSplitPercent(), "");
}

}  // namespace
