#include "devices/CameraFactory.h"
#include "devices/CameraFrame.h"
#include "devices/Pixelink_Camera.h"
#include "devices/Pylon_Camera.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(CameraSelectionTest, OnlyTheExactNamePixelinkSelectsThePixelinkDriver) {
    struct Case {
        const char* cameraType;
        bool pixelink;
    };
    for (const Case& c : {Case{"Pixelink", true}, Case{"pixelink", false}, Case{"PIXELINK", false}, Case{"", false},
                          Case{nullptr, false}, Case{"Basler", false}, Case{"Pixelink ", false}}) {
        std::unique_ptr<Camera> camera(CreateCameraForType(c.cameraType));
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(dynamic_cast<Pixelink_Camera*>(camera.get()) != nullptr, c.pixelink)
            << (c.cameraType ? c.cameraType : "(missing)");
        EXPECT_EQ(dynamic_cast<Pylon_Camera*>(camera.get()) != nullptr, !c.pixelink);
        EXPECT_FALSE(camera->IsInitialized()) << "creating a camera opens nothing";
    }
}

TEST(CameraFrameTest, FlipsMirrorRowsThenColumnsAndBothTurnTheFrame) {
    cv::Mat original(3, 4, CV_16UC1);
    for (int i = 0; i < 12; ++i) original.at<uint16_t>(i / 4, i % 4) = static_cast<uint16_t>(i);

    cv::Mat vertical = original.clone();
    ApplyFrameFlips(vertical, true, false);
    EXPECT_EQ(cv::norm(vertical.row(0), original.row(2), cv::NORM_INF), 0.0) << "top row becomes bottom row";

    cv::Mat horizontal = original.clone();
    ApplyFrameFlips(horizontal, false, true);
    EXPECT_EQ(cv::norm(horizontal.col(0), original.col(3), cv::NORM_INF), 0.0) << "left column becomes right column";

    cv::Mat both = original.clone();
    ApplyFrameFlips(both, true, true);
    cv::Mat turned;
    cv::rotate(original, turned, cv::ROTATE_180);
    EXPECT_EQ(cv::norm(both, turned, cv::NORM_INF), 0.0);
}

}  // namespace
