#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "app/FrameCommands.h"
#include "app/VelloraApp.h"
#include "app/startup/ApplicationCommands.h"
#include "platform/UiBridge.h"

namespace {

class BackgroundCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallApplicationCommands(router);
        theApp.m_pBackgroundImages[1] = new cv::Mat(4, 4, CV_16UC1, cv::Scalar(7));
    }
    void TearDown() override {
        OnUnloadBackgroundImages();
        theApp.m_bWorkflowRunning = false;
    }

    CommandRouter router;
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

TEST_F(BackgroundCommandsTest, CaptureIsRefusedWhileTheWorkflowRunsAndKeepsTheImages) {
    theApp.m_bWorkflowRunning = true;
    EXPECT_FALSE(router.State(cmd::CaptureBackgroundImages).enabled);
    EXPECT_TRUE(router.State(cmd::CaptureBackgroundImages).checked);
    EXPECT_FALSE(router.State(cmd::UnloadBackgroundImages).enabled);

    ASSERT_TRUE(router.Execute(cmd::CaptureBackgroundImages));
    ASSERT_EQ(ui.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.ShownBoxes()[0].text,
              "CMainFrame::CaptureBackgroundImages() - Can't capture background images while the image capture "
              "workflow is running.");
    EXPECT_EQ(ui.ShownBoxes()[0].type, platform::MB_OK);
    ASSERT_NE(theApp.m_pBackgroundImages[1], nullptr);
}

TEST_F(BackgroundCommandsTest, UnloadFreesEveryImageAndThenHasNothingToDo) {
    EXPECT_TRUE(router.State(cmd::UnloadBackgroundImages).enabled);
    ASSERT_TRUE(router.Execute(cmd::UnloadBackgroundImages));
    for (const cv::Mat* image : theApp.m_pBackgroundImages) EXPECT_EQ(image, nullptr);
    EXPECT_FALSE(router.State(cmd::UnloadBackgroundImages).enabled);
    EXPECT_FALSE(router.State(cmd::CaptureBackgroundImages).checked);
    EXPECT_TRUE(router.State(cmd::CaptureBackgroundImages).enabled);
}

}  // namespace
