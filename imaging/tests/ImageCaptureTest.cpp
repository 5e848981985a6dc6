#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include <opencv2/core.hpp>

#include "imaging/ImageCapture.h"
#include "imaging/tests/CaptureTestSupport.h"

namespace {

using std::chrono::milliseconds;

class ImageCaptureTest : public capturetest::VirtualCaptureTest {};

TEST_F(ImageCaptureTest, TraceOfTwoCapturesLightsExposesAndKeepsTheSpacing) {
    const auto start = clock.Now();
    cv::Mat first;
    cv::Mat second;
    CString error;
    ASSERT_TRUE(CaptureSingleImage_low_level(first, 0, 20000, error)) << error.GetString();
    const auto firstEnd = clock.Now();
    ASSERT_TRUE(CaptureSingleImage_low_level(second, 2, 500000, error)) << error.GetString();

    const auto history = LedHistory();
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history[0].second, 0x01);  // image type 1: LED0
    EXPECT_EQ(history[0].first, start) << "the first capture of a run does not wait";
    EXPECT_EQ(history[1].second, 0x00);
    EXPECT_GE(history[1].first - history[0].first, milliseconds(5));
    EXPECT_EQ(history[2].second, 0x04);  // image type 3: LED2
    EXPECT_GE(history[2].first - firstEnd, milliseconds(100));
    EXPECT_EQ(history[3].second, 0x00);
    EXPECT_FALSE(AnyLedLit());

    EXPECT_EQ(Device().parameters.exposureUs, 500000);
    EXPECT_EQ(Device().counters.grabs, 2);
    ASSERT_EQ(first.type(), CV_16UC1);
    ASSERT_EQ(second.type(), CV_16UC1);
    // The grab saw its light: far above the camera's black level (16 << 4).
    EXPECT_GT(cv::mean(first)[0], 10 * 256);
}

TEST_F(ImageCaptureTest, FailedGrabReInitialisesOnceAndSucceeds) {
    ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failedGrabs = 1; });
    const int opens = Device().counters.opens;
    clock.Advance(milliseconds(6000));
    cv::Mat frame;
    CString error;
    EXPECT_TRUE(CaptureSingleImage_low_level(frame, 1, 10000, error)) << error.GetString();
    EXPECT_FALSE(frame.empty());
    EXPECT_EQ(Device().counters.opens, opens + 1) << "one new camera object";
    const auto history = LedHistory();
    ASSERT_EQ(history.size(), 2u) << "switched on once and off once";
    EXPECT_EQ(history[0].second, 0x02);
    EXPECT_EQ(history[1].second, 0x00);
}

TEST_F(ImageCaptureTest, CaptureThatFailsAfterTheLightSwitchesItOff) {
    ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failedGrabs = -1; });
    clock.Advance(milliseconds(6000));
    cv::Mat frame;
    CString error;
    EXPECT_FALSE(CaptureSingleImage_low_level(frame, 3, 10000, error));
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_FALSE(AnyLedLit()) << "the next image must not be exposed under two lights";

    // A capture without a camera object fails with its internal error, light off too.
    ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failedGrabs = 0; });
    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
    EXPECT_FALSE(CaptureSingleImage_low_level(frame, 0, 10000, error));
    EXPECT_EQ(error.str(), "CaptureSingleImage_low_level() Line: 154 - Internal error #1");
    EXPECT_FALSE(AnyLedLit());
    EXPECT_NE(g_LastCaptureEndMs, 0u);
}

TEST_F(ImageCaptureTest, LightThatCannotBeSwitchedFailsUnlessTheRunScreenIsShown) {
    sim::VirtualDaq::Instance().InjectFault("DAQmxWriteDigitalU8", -200000, -1);
    sim::VirtualDaq::Instance().InjectFault("DAQmxWriteRaw", -200000, -1);
    cv::Mat frame;
    CString error;
    EXPECT_FALSE(CaptureSingleImage_low_level(frame, 0, 10000, error));
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_EQ(Device().counters.grabs, 0);

    SetCustomerScreenVisibleQuery([] { return true; });
    EXPECT_TRUE(CaptureSingleImage_low_level(frame, 0, 10000, error)) << error.GetString();
    EXPECT_EQ(Device().counters.grabs, 1);
}

TEST_F(ImageCaptureTest, NoSemaphoreNoCapture) {
    auto semaphore = std::move(g_CaptureSemaphore);
    cv::Mat frame;
    CString error;
    EXPECT_FALSE(CaptureSingleImage_low_level(frame, 0, 10000, error));
    EXPECT_EQ(error.str(),
              "CaptureSingleImage_low_level() - semaphore not initialized, call CreateImageCaptureWorkflowThread() "
              "first");
    g_CaptureSemaphore = std::move(semaphore);
}

TEST_F(ImageCaptureTest, FirstActiveModeChecksTheSettings) {
    const std::string number = " is invalid, must be an integer between 29 and 1000000. Open the Experiment "
                               "Settings dialog.";
    const std::string fileName = " is invalid, must have only valid Windows file name characters. Open the "
                                 "Experiment Settings dialog.";
    struct Case {
        const char* keys;
        std::string expectedError;  // empty: captured
        int litMask;
        const char* name;
    };
    const Case cases[] = {
        {"", "CaptureSingleImge() - There is no active image capture workflow. Open the Experiment Settings dialog.",
         0, ""},
        {"IsActive1=true\r\nIsActive2=TRUE\r\nImageTypeExposure1=100\r\nImageTypeName1=BF\r\n", "", 0x01, "BF"},
        {"IsActive3=TRUE\r\nImageTypeExposure3=1000000\r\nImageTypeName3=GFP (x2)\r\n", "", 0x04, "GFP (x2)"},
        {"IsActive1=TRUE\r\nImageTypeExposure1=28\r\nImageTypeName1=BF\r\n", "CaptureSingleImge() - ImageTypeExposure1" + number, 0, ""},
        {"IsActive1=TRUE\r\nImageTypeExposure1=abc\r\n", "CaptureSingleImge() - ImageTypeExposure1" + number, 0, ""},
        {"IsActive2=TRUE\r\nImageTypeExposure2=100\r\nImageTypeName2=a/b\r\n",
         "CaptureSingleImge() - ImageTypeName2" + fileName, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        sim::VirtualDaq::Instance().Reset();
        CString error;
        ASSERT_TRUE(Initialize_DIO(&error, true)) << error.GetString();
        WriteSettings(c.keys);
        cv::Mat frame;
        CString name = "untouched";
        const bool ok = CaptureSingleImge(frame, -1, -1, "ignored", error, &name);
        if (c.expectedError.empty()) {
            EXPECT_TRUE(ok) << error.GetString();
            EXPECT_EQ(name.str(), c.name);
            const auto history = LedHistory();
            ASSERT_FALSE(history.empty());
            EXPECT_EQ(history[0].second, c.litMask);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error.str(), c.expectedError);
            EXPECT_EQ(name.str(), "untouched");
        }
    }
}

TEST_F(ImageCaptureTest, DirectModeCapturesTheGivenTypeWhateverTheSettings) {
    WriteSettings("IsActive1=TRUE\r\nImageTypeExposure1=100\r\nImageTypeName1=BF\r\n");
    cv::Mat frame;
    CString error;
    CString name;
    ASSERT_TRUE(CaptureSingleImge(frame, 3, 777, "Cy5", error, &name)) << error.GetString();
    EXPECT_EQ(name.str(), "Cy5");
    EXPECT_EQ(Device().parameters.exposureUs, 777);
    EXPECT_EQ(LedHistory()[0].second, 0x08);
    // A null name falls back to the first active type.
    ASSERT_TRUE(CaptureSingleImge(frame, 3, 777, nullptr, error, &name)) << error.GetString();
    EXPECT_EQ(name.str(), "BF");
    EXPECT_EQ(Device().parameters.exposureUs, 100);
}

// An unplugged camera: ten logged attempts about a second apart, then no
// camera object at all, which every later capture reports instead of using.
TEST_F(ImageCaptureTest, ReInitialisingWithoutACameraGivesUpAfterTenAttemptsAndLeavesNone) {
    ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failOpen = true; });
    const auto start = clock.Now();
    EXPECT_FALSE(theApp.ReInitializeCamera());
    EXPECT_EQ(theApp.m_pCamera, nullptr);
    EXPECT_GE(clock.Now() - start, milliseconds(250 + 9 * 1000));
    const std::string log = LogText();
    for (int attempt = 0; attempt < 10; ++attempt) {
        EXPECT_NE(log.find("CVelloraApp::ReInitializeCamera() : Attempt # " + std::to_string(attempt)),
                  std::string::npos)
            << attempt;
    }
    EXPECT_EQ(log.find("Attempt # 10"), std::string::npos);
    EXPECT_NE(log.find("Failed to reinitialize the camera."), std::string::npos);

    cv::Mat frame;
    CString error;
    EXPECT_FALSE(CaptureSingleImage_low_level(frame, 0, 10000, error));
    EXPECT_NE(error.str().find("Internal error"), std::string::npos) << error.GetString();
    EXPECT_FALSE(AnyLedLit());
    int index = 0;
    int exposure = 0;
    CString name;
    EXPECT_FALSE(theApp.capture_single_active_image(frame, index, exposure, name, error));
    EXPECT_EQ(error.str(), "capture_single_active_image () : Camera not initialized.");
}

}  // namespace
