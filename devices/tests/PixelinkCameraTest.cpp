#include "devices/Pixelink_Camera.h"

#include <chrono>
#include <memory>
#include <vector>

#include "VirtualInstrumentFixture.h"

namespace {

using std::chrono::milliseconds;

class PixelinkCameraTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        VirtualInstrumentTest::SetUp();
        sim::VirtualCamera::Instance().Attach(sim::CameraMake::Pixelink);
    }
    std::unique_ptr<Pixelink_Camera> Opened() {
        auto camera = std::make_unique<Pixelink_Camera>();
        CString error;
        EXPECT_TRUE(camera->Initialize(&error, false)) << error.GetString();
        return camera;
    }
    milliseconds Elapsed(std::chrono::steady_clock::time_point since) {
        return std::chrono::duration_cast<milliseconds>(clock.Now() - since);
    }
};

TEST_F(PixelinkCameraTest, InitializeRetriesOnceAfterFifteenSeconds) {
    // No camera: two attempts 15 s apart, then the library's code in the text.
    ChangeCamera([](sim::CameraDeviceState& s) { s.identity.attached = false; });
    auto start = clock.Now();
    Pixelink_Camera absent;
    CString error;
    EXPECT_FALSE(absent.Initialize(&error, false));
    EXPECT_EQ(error, "PxLInitialize   returned 0x80000010 (Error)\n");
    EXPECT_EQ(Elapsed(start), milliseconds(15000));
    EXPECT_EQ(Camera().counters.initializations, 2);

    // One refusal: the second attempt succeeds.
    ChangeCamera([](sim::CameraDeviceState& s) {
        s.identity.attached = true;
        s.faults.failedInitializations = 1;
    });
    start = clock.Now();
    Pixelink_Camera camera;
    EXPECT_TRUE(camera.Initialize(&error, false));
    EXPECT_EQ(Elapsed(start), milliseconds(15000));
    EXPECT_TRUE(camera.IsInitialized());
}

TEST_F(PixelinkCameraTest, InitializeReadsIdentityAndSelectsSixteenBits) {
    auto camera = Opened();
    CString model, serial, error;
    EXPECT_TRUE(camera->GetModelName(&model, &error));
    EXPECT_TRUE(camera->GetSerialNumber(&serial, &error));
    EXPECT_EQ(model, "PL-D7512MU");
    EXPECT_EQ(serial, "24015833");
    int bits = 0;
    EXPECT_TRUE(camera->GetPixelDepth(&bits, &error));
    EXPECT_EQ(bits, 16);

    // Both flips are on: a glowing cell near the top-left corner shows near
    // the bottom-right one.
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().sample.cells = {{200, 700, 10, 1}};
    }
    SetLed(1, true);
    ASSERT_TRUE(camera->SetExposureTime(5000, &error));
    cv::Mat frame;
    ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_GT(frame.at<uint16_t>(2047 - 700, 2447 - 200), 20000);
    EXPECT_LT(frame.at<uint16_t>(700, 200), 5000);
}

TEST_F(PixelinkCameraTest, PixelDepthsAndTheirSampleWidening) {
    auto camera = Opened();
    CString error;
    const int writes = Camera().counters.parameterWrites;
    EXPECT_FALSE(camera->SetPixelDepth(10, &error));
    EXPECT_EQ(Camera().counters.parameterWrites, writes) << "refused without asking the camera";

    SetLed(0, true);
    ASSERT_TRUE(camera->SetExposureTime(5e6f, &error));
    struct Case {
        int bits;
        int saturated;
    };
    for (const Case& c : {Case{12, 65520}, Case{8, 4080}, Case{16, 65535}}) {
        ASSERT_TRUE(camera->SetPixelDepth(c.bits, &error));
        int bits = 0;
        ASSERT_TRUE(camera->GetPixelDepth(&bits, &error));
        EXPECT_EQ(bits, c.bits);
        cv::Mat frame;
        ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error)) << c.bits;
        double maxValue = 0;
        cv::minMaxLoc(frame, nullptr, &maxValue);
        EXPECT_EQ(maxValue, c.saturated) << c.bits << " bits";
    }
}

TEST_F(PixelinkCameraTest, PackedAndBigEndianSamplesKeepTheirValues) {
    // The 12-bit packed grab must hold the device's samples of the same scene
    // and noise, shifted by 4 (and turned by the initial flips).
    auto camera = Opened();
    CString error;
    ASSERT_TRUE(camera->SetPixelDepth(12, &error));
    auto seed = [](uint64_t value) {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().seed = value;
    };
    SetLed(0, true);
    seed(5);
    cv::Mat packed;
    ASSERT_TRUE(camera->CaptureSingleFrame(&packed, &error));

    // The same samples read straight from the device.
    std::vector<uint16_t> samples;
    int width = 0, height = 0, bits = 0;
    seed(6);
    sim::VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);
    seed(5);  // restarts seed 5's sequence
    sim::VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);
    ASSERT_EQ(bits, 12);
    cv::Mat expected(height, width, CV_16UC1, samples.data());
    expected = expected.clone() * 16;
    cv::rotate(expected, expected, cv::ROTATE_180);
    EXPECT_EQ(cv::norm(packed, expected, cv::NORM_INF), 0.0);
}

TEST_F(PixelinkCameraTest, ExposureAndGainAreReadFromTheirFeatures) {
    auto camera = Opened();
    struct Case {
        double exposureUs;
        double gain;
    };
    for (const Case& c : {Case{2500, 3.5}, Case{150000, 0.25}, Case{40, 12}}) {
        SCOPED_TRACE(testing::Message() << c.exposureUs << " us, gain " << c.gain);
        ChangeCamera([&](sim::CameraDeviceState& s) {
            s.parameters.exposureUs = c.exposureUs;
            s.parameters.gain = c.gain;
        });
        CString error;
        float exposure = -1, gain = -1;
        ASSERT_TRUE(camera->GetExposureTime(&exposure, &error)) << error.GetString();
        ASSERT_TRUE(camera->GetGain(&gain, &error)) << error.GetString();
        // The shutter feature holds seconds as a float.
        EXPECT_NEAR(exposure, c.exposureUs, c.exposureUs * 1e-6);
        EXPECT_FLOAT_EQ(gain, static_cast<float>(c.gain));
    }
}

TEST_F(PixelinkCameraTest, DecimatedFramesHaveTheDeliveredSizeAndSamples) {
    auto camera = Opened();
    SetLed(0, true);
    CString error;
    ASSERT_TRUE(camera->SetExposureTime(3000, &error)) << error.GetString();
    for (int decimation : {1, 2, 4}) {
        SCOPED_TRACE(testing::Message() << "decimation " << decimation);
        ChangeCamera([&](sim::CameraDeviceState& s) { s.parameters.decimation = decimation; });
        SetSeed(70 + static_cast<uint64_t>(decimation));
        cv::Mat frame;
        ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error));
        EXPECT_EQ(frame.cols, 2448 / decimation);
        EXPECT_EQ(frame.rows, 2048 / decimation);
        int width = 0, height = 0, bits = 0;
        EXPECT_TRUE(camera->GetImageSize(&width, &height, &error));
        EXPECT_EQ(width, 2448) << "the region keeps its size";
        EXPECT_EQ(height, 2048);

        std::vector<uint16_t> samples = DeviceSamplesOfSeed(70 + static_cast<uint64_t>(decimation), &width,
                                                            &height, &bits);
        ASSERT_EQ(bits, 16);
        cv::Mat expected = cv::Mat(height, width, CV_16UC1, samples.data()).clone();
        cv::rotate(expected, expected, cv::ROTATE_180);  // the initial flips
        ASSERT_EQ(frame.size(), expected.size());
        EXPECT_EQ(cv::norm(frame, expected, cv::NORM_INF), 0.0);
    }
}

TEST_F(PixelinkCameraTest, StreamStopsForANewSizeAndRestartsOnTheNextGrab) {
    auto camera = Opened();
    CString error;
    cv::Mat frame;
    ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_TRUE(Camera().streaming);
    const int starts = Camera().counters.streamStarts;

    const auto before = clock.Now();
    ASSERT_TRUE(camera->SetImageSize(640, 480, &error)) << error.GetString();
    EXPECT_FALSE(Camera().streaming);
    EXPECT_EQ(Elapsed(before), milliseconds(1000));
    EXPECT_EQ(Camera().counters.streamStarts, starts) << "not restarted by the size change";

    ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(Camera().counters.streamStarts, starts + 1);
    EXPECT_EQ(frame.cols, 640);
    EXPECT_EQ(frame.rows, 480);
    int width = 0, height = 0;
    EXPECT_TRUE(camera->GetImageSize(&width, &height, &error));
    EXPECT_EQ(width, 640);

    EXPECT_FALSE(camera->SetImageSize(4000, 480, &error)) << "wider than the sensor";
    EXPECT_EQ(error, "Error: Unable to set the ROI");
}

TEST_F(PixelinkCameraTest, FrameFetchRestartsTheStreamUpToThreeTimes) {
    auto camera = Opened();
    CString error;
    cv::Mat frame;
    ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error));

    ChangeCamera([](sim::CameraDeviceState& s) { s.faults.failedFrameFetches = 3; });
    auto before = clock.Now();
    int stops = Camera().counters.streamStops;
    EXPECT_TRUE(camera->CaptureSingleFrame(&frame, &error)) << "the fourth try delivers";
    EXPECT_EQ(Camera().counters.streamStops, stops + 3);
    EXPECT_EQ(Elapsed(before), milliseconds(1200));

    ChangeCamera([](sim::CameraDeviceState& s) { s.faults.failedFrameFetches = 4; });
    const int fetches = Camera().counters.frameFetches;
    EXPECT_FALSE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(Camera().counters.frameFetches, fetches + 4);
}

TEST_F(PixelinkCameraTest, UnknownPixelFormatFailsBeforeAnyFetch) {
    auto camera = Opened();
    ChangeCamera([](sim::CameraDeviceState& s) { s.parameters.pixelinkFormat = 18; });
    CString error = "untouched";
    cv::Mat frame;
    EXPECT_FALSE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(Camera().counters.frameFetches, 0);
}

TEST_F(PixelinkCameraTest, AnUnpluggedCameraFailsItsReadsWithTheirTexts) {
    auto camera = Opened();
    CString error;
    double degrees = 0;
    ASSERT_TRUE(camera->GetTemperature(&degrees, &error)) << error.GetString();
    EXPECT_DOUBLE_EQ(degrees, Camera().identity.temperatureC);

    ChangeCamera([](sim::CameraDeviceState& s) { s.identity.attached = false; });
    EXPECT_FALSE(camera->GetTemperature(&degrees, &error));
    EXPECT_EQ(error, "Error: Unable to get the camera sensor temperature");
    int width = 0, height = 0;
    EXPECT_FALSE(camera->GetImageSize(&width, &height, &error));
    EXPECT_EQ(error, "PxLGetFeature returned 0x80000010 (Error)\n");
    // The other reads and the grab leave the text as it was.
    error = "untouched";
    float gain = 0;
    EXPECT_FALSE(camera->GetGain(&gain, &error));
    cv::Mat frame;
    EXPECT_FALSE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(error, "untouched");
}

TEST_F(PixelinkCameraTest, DigitalOutputsAlwaysReportOn) {
    Pixelink_Camera camera;
    CString error;
    for (int channel : {1, 7}) {
        bool state = false;
        EXPECT_TRUE(camera.GetDigitalOutput(channel, &state, &error));
        EXPECT_TRUE(state);
    }
    EXPECT_FALSE(camera.IsInitialized()) << "the outputs need no camera";
}

TEST_F(PixelinkCameraTest, DestructorStopsTheStreamBeforeReleasingTheCamera) {
    auto camera = Opened();
    CString error;
    cv::Mat frame;
    ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error));
    const int stops = Camera().counters.streamStops;
    camera.reset();
    EXPECT_EQ(Camera().counters.streamStops, stops + 1) << "the stop reached a live handle";
    EXPECT_FALSE(Camera().streaming);
    EXPECT_FALSE(Camera().open);
}

}  // namespace
