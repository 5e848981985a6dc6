#include "devices/Pylon_Camera.h"

#include <chrono>
#include <memory>
#include <vector>

#include "VirtualInstrumentFixture.h"

namespace {

using std::chrono::milliseconds;

class PylonCameraTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        VirtualInstrumentTest::SetUp();
        g_PylonLastInitAttempt = 0;
        sim::VirtualCamera::Instance().Attach(sim::CameraMake::Basler);
    }
    // A new camera object, initialised; attempts are kept 5 s apart.
    std::unique_ptr<Pylon_Camera> Opened() {
        clock.Advance(milliseconds(6000));
        auto camera = std::make_unique<Pylon_Camera>();
        CString error;
        EXPECT_TRUE(camera->Initialize(&error, false)) << error.GetString();
        return camera;
    }
};

TEST_F(PylonCameraTest, InitializeOpensTheCameraAndAppliesItsModelSettings) {
    WriteSettings("[acA2440-35um Settings]\r\nPixelDepth=8\r\nGain=2.5\r\n");
    auto camera = Opened();
    EXPECT_TRUE(camera->IsInitialized());
    const sim::CameraDeviceState state = Camera();
    EXPECT_TRUE(state.open);
    EXPECT_FALSE(state.parameters.gainAuto);
    EXPECT_FALSE(state.parameters.exposureAuto);
    EXPECT_EQ(state.parameters.pixelBits, 8);
    EXPECT_DOUBLE_EQ(state.parameters.gain, 2.5);

    CString model, serial, error;
    EXPECT_TRUE(camera->GetModelName(&model, &error));
    EXPECT_TRUE(camera->GetSerialNumber(&serial, &error));
    EXPECT_EQ(model, "acA2440-35um");
    EXPECT_EQ(serial, "24015833");
    int width = 0, height = 0;
    EXPECT_TRUE(camera->GetImageSize(&width, &height, &error));
    EXPECT_EQ(width, 2448);
    EXPECT_EQ(height, 2048);

    camera.reset();
    EXPECT_FALSE(Camera().open) << "the destructor closes the camera";
}

TEST_F(PylonCameraTest, InitializeMirrorsColumnsOnlyAndLaterGrabsFollowTheFlags) {
    auto camera = Opened();
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().sample.cells = {{200, 700, 10, 1}};
    }
    SetLed(1, true);
    CString error;
    ASSERT_TRUE(camera->SetExposureTime(5000, &error)) << error.GetString();
    // Where the glowing cell shows, and where it must not.
    auto expectCellAt = [&](int row, int column, const char* flags) {
        cv::Mat frame;
        ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error)) << error.GetString();
        EXPECT_GT(frame.at<uint16_t>(row, column), 20000) << flags;
        EXPECT_LT(frame.at<uint16_t>(2047 - row, 2447 - column), 5000) << flags;
    };
    expectCellAt(700, 2447 - 200, "as initialised: columns mirrored");
    struct Case {
        bool vertical, horizontal;
        int row, column;
        const char* flags;
    };
    for (const Case& c : {Case{true, false, 2047 - 700, 200, "vertical"}, Case{false, false, 700, 200, "none"}}) {
        camera->SetFlipVertical(c.vertical);
        camera->SetFlipHorizontal(c.horizontal);
        expectCellAt(c.row, c.column, c.flags);
    }
}

TEST_F(PylonCameraTest, UnusableModelSettingsAreShownButDoNotFailTheInitialisation) {
    WriteSettings("[acA2440-35um Settings]\r\nPixelDepth=10\r\nGain=99\r\n");
    auto camera = Opened();
    EXPECT_TRUE(camera->IsInitialized());
    const auto boxes = ui.ShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Pylon_Camera::SetPixelDepth() : Error invalid parameter value bits=10");
    EXPECT_EQ(boxes[1].text.rfind("Pylon_Camera::SetGain() : Error : ", 0), 0u) << boxes[1].text;
    EXPECT_EQ(Camera().parameters.pixelBits, 12);
}

TEST_F(PylonCameraTest, FriendlyNameGivesModelAndSerial) {
    struct Case {
        std::string model, serial;
        std::string expectedModel, expectedSerial;
    };
    // The device's friendly name is "<model> (<serial>)".
    for (const Case& c : {Case{"acA2440-35um", "24015833", "acA2440-35um", "24015833"},
                          Case{"a2A (mono)", "123", "a2A (mono)", "123"}}) {
        ChangeCamera([&](sim::CameraDeviceState& s) {
            s.identity.modelName = c.model;
            s.identity.serialNumber = c.serial;
        });
        auto camera = Opened();
        CString model, serial, error;
        ASSERT_TRUE(camera->GetModelName(&model, &error));
        ASSERT_TRUE(camera->GetSerialNumber(&serial, &error));
        EXPECT_EQ(model, c.expectedModel.c_str());
        EXPECT_EQ(serial, c.expectedSerial.c_str());
    }
}

TEST_F(PylonCameraTest, SamplesAreWidenedToSixteenBits) {
    auto camera = Opened();
    SetLed(0, true);
    CString error;
    ASSERT_TRUE(camera->SetExposureTime(5e6f, &error)) << error.GetString();
    struct Case {
        int bits;
        int saturated;
    };
    for (const Case& c : {Case{12, 65520}, Case{8, 4080}, Case{16, 65535}}) {
        ASSERT_TRUE(camera->SetPixelDepth(c.bits, &error)) << error.GetString();
        cv::Mat frame;
        ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error)) << error.GetString();
        ASSERT_EQ(frame.type(), CV_16UC1);
        double maxValue = 0;
        cv::minMaxLoc(frame, nullptr, &maxValue);
        EXPECT_EQ(maxValue, c.saturated) << c.bits << " bits";
        EXPECT_EQ(frame.at<uint16_t>(1000, 1200), c.saturated) << c.bits << " bits";
    }
}

TEST_F(PylonCameraTest, FramesHoldTheCameraSamplesAtEveryDepth) {
    auto camera = Opened();
    camera->SetFlipHorizontal(false);
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().sample.cells = {{600, 500, 12, 1}};
    }
    SetLed(1, true);
    CString error;
    ASSERT_TRUE(camera->SetExposureTime(3000, &error)) << error.GetString();
    // Samples arrive one or two bytes each (two little-endian), and all but
    // 16-bit ones are widened by four bits.
    struct Case {
        int bits;
        int shift;
    };
    for (const Case& c : {Case{8, 4}, Case{10, 4}, Case{12, 4}, Case{16, 0}}) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits");
        ChangeCamera([&](sim::CameraDeviceState& s) { s.parameters.pixelBits = c.bits; });
        SetSeed(40 + static_cast<uint64_t>(c.bits));
        cv::Mat frame;
        ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error)) << error.GetString();

        int width = 0, height = 0, bits = 0;
        const std::vector<uint16_t> samples =
            DeviceSamplesOfSeed(40 + static_cast<uint64_t>(c.bits), &width, &height, &bits);
        ASSERT_EQ(bits, c.bits);
        cv::Mat expected = cv::Mat(height, width, CV_16UC1, const_cast<uint16_t*>(samples.data())).clone();
        double lowest = 0, highest = 0;
        cv::minMaxLoc(expected, &lowest, &highest);
        if (c.bits > 8) {
            ASSERT_GT(highest, 255) << "both bytes of a sample matter";
        }
        ASSERT_LT(highest, (1 << c.bits) - 1) << "below saturation";
        expected *= 1 << c.shift;
        ASSERT_EQ(frame.size(), expected.size());
        EXPECT_EQ(cv::norm(frame, expected, cv::NORM_INF), 0.0);
    }
}

TEST_F(PylonCameraTest, ExposureGainAndPixelDepthAreReadFromTheCamera) {
    auto camera = Opened();
    struct Case {
        double exposureUs;
        double gain;
        int pixelBits;
    };
    for (const Case& c : {Case{2500, 3.5, 8}, Case{150000, 0.25, 10}, Case{35.5, 12, 12}, Case{10000, 1, 16}}) {
        SCOPED_TRACE(testing::Message() << c.exposureUs << " us, gain " << c.gain << ", " << c.pixelBits << " bits");
        ChangeCamera([&](sim::CameraDeviceState& s) {
            s.parameters.exposureUs = c.exposureUs;
            s.parameters.gain = c.gain;
            s.parameters.pixelBits = c.pixelBits;
        });
        CString error;
        float exposure = -1, gain = -1;
        int bits = -1;
        ASSERT_TRUE(camera->GetExposureTime(&exposure, &error)) << error.GetString();
        ASSERT_TRUE(camera->GetGain(&gain, &error)) << error.GetString();
        ASSERT_TRUE(camera->GetPixelDepth(&bits, &error)) << error.GetString();
        EXPECT_FLOAT_EQ(exposure, static_cast<float>(c.exposureUs));
        EXPECT_FLOAT_EQ(gain, static_cast<float>(c.gain));
        EXPECT_EQ(bits, c.pixelBits);
    }
}

TEST_F(PylonCameraTest, AFormatTheProgramCannotReadIsRefused) {
    auto camera = Opened();
    ChangeCamera([](sim::CameraDeviceState& s) { s.parameters.packedSamples = true; });
    CString error;
    int bits = -1;
    EXPECT_FALSE(camera->GetPixelDepth(&bits, &error));
    EXPECT_EQ(error, "Pylon_Camera::GetPixelDepth () Unknown pixel format : Mono12Packed");

    cv::Mat frame(4, 4, CV_16UC1, cv::Scalar(7));
    EXPECT_FALSE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(error, "Pylon_Camera::CaptureSingleFrame () : Error : Unsupported image time returned from camera.");
    EXPECT_EQ(frame.cols, 4) << "the frame is left as it was";

    // Choosing a depth the program reads puts the camera right again.
    ASSERT_TRUE(camera->SetPixelDepth(12, &error)) << error.GetString();
    EXPECT_FALSE(Camera().parameters.packedSamples);
    ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error)) << error.GetString();
    EXPECT_EQ(frame.cols, 2448);
}

TEST_F(PylonCameraTest, WithoutACameraTheObjectAnswersAsASubstitute) {
    ChangeCamera([](sim::CameraDeviceState& s) { s.identity.attached = false; });
    Pylon_Camera camera;
    CString error;
    EXPECT_FALSE(camera.Initialize(&error, false));
    EXPECT_EQ(error.Find("Pylon_Camera::Initialize () : Error : "), 0) << error.GetString();
    EXPECT_GT(error.GetLength(), 40) << "the library's own text follows";
    EXPECT_TRUE(camera.Initialize(&error, false));
    EXPECT_FALSE(camera.IsInitialized());

    CString model, serial;
    EXPECT_TRUE(camera.GetModelName(&model, &error));
    EXPECT_EQ(model, "None");
    EXPECT_TRUE(camera.GetSerialNumber(&serial, &error));
    EXPECT_EQ(serial, "n/a");
    int width = 0, height = 0;
    EXPECT_TRUE(camera.GetImageSize(&width, &height, &error));
    EXPECT_EQ(width, 2448);
    EXPECT_EQ(height, 2048);
    float exposure = 0;
    EXPECT_TRUE(camera.GetExposureTime(&exposure, &error));
    EXPECT_FLOAT_EQ(exposure, 1234.0f);

    cv::Mat frame;
    EXPECT_TRUE(camera.CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(frame.cols, 2448);
    EXPECT_EQ(frame.rows, 2048);
    EXPECT_GT(cv::countNonZero(frame == 40000), 1000) << "the message is drawn in 40000";

    EXPECT_TRUE(camera.SetDigitalOutput(3, true, &error)) << "no camera answers before the channel check";
    EXPECT_FALSE(camera.SetImageSize(640, 480, &error));
    EXPECT_EQ(error, "Camera can not be instantiated.");
    double degrees = 0;
    EXPECT_FALSE(camera.GetTemperature(&degrees, &error));
    EXPECT_EQ(error, "Pylon_Camera::GetTemperatures() Camera is not initialized.");
}

TEST_F(PylonCameraTest, InitialisationsAreKeptFiveSecondsApart) {
    CString error;
    {
        auto first = Opened();
    }
    clock.Advance(milliseconds(1000));
    Pylon_Camera second;
    error = "untouched";
    EXPECT_FALSE(second.Initialize(&error, false));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(Camera().counters.opens, 1) << "the camera was not asked";

    clock.Advance(milliseconds(3900));
    EXPECT_FALSE(second.Initialize(&error, false)) << "4.9 s after the first attempt";
    clock.Advance(milliseconds(5000));
    EXPECT_TRUE(second.Initialize(&error, false)) << error.GetString();
    EXPECT_TRUE(second.IsInitialized());
}

TEST_F(PylonCameraTest, ACameraThatFailedToOpenReportsErrorsInsteadOfThrowing) {
    ChangeCamera([](sim::CameraDeviceState& s) { s.faults.failOpen = true; });
    clock.Advance(milliseconds(6000));
    Pylon_Camera camera;
    CString error;
    EXPECT_FALSE(camera.Initialize(&error, false));
    EXPECT_EQ(error.Find("Pylon_Camera::Initialize () : Error : "), 0);

    // The created camera stays in the object; reading its parameters fails.
    int width = 0, height = 0;
    EXPECT_FALSE(camera.GetImageSize(&width, &height, &error));
    EXPECT_EQ(error.Find("Pylon_Camera::GetImageSize() : Error : "), 0) << error.GetString();
    cv::Mat frame;
    EXPECT_FALSE(camera.CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(error.Find("Pylon_Camera::CaptureSingleFrame () : Error : "), 0) << error.GetString();
    float gain = 0;
    EXPECT_FALSE(camera.GetGain(&gain, &error));
    EXPECT_EQ(error.Find("Pylon_Camera::GetGain() : Error : "), 0) << error.GetString();

    // Only a retry opens it again.
    ChangeCamera([](sim::CameraDeviceState& s) { s.faults.failOpen = false; });
    clock.Advance(milliseconds(6000));
    EXPECT_TRUE(camera.Initialize(&error, true)) << error.GetString();
    EXPECT_TRUE(camera.IsInitialized());
}

TEST_F(PylonCameraTest, FailedGrabsReportTheLibraryTextAndKeepTheFrame) {
    auto camera = Opened();
    CString error;
    cv::Mat frame(4, 4, CV_16UC1, cv::Scalar(7));
    ChangeCamera([](sim::CameraDeviceState& s) { s.faults.grabTimeouts = 1; });
    EXPECT_FALSE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(error.Find("Pylon_Camera::CaptureSingleFrame () : Error : "), 0);
    EXPECT_NE(error.Find("timed out"), -1) << error.GetString();
    EXPECT_EQ(frame.cols, 4) << "a failed grab leaves the frame as it was";

    ChangeCamera([](sim::CameraDeviceState& s) { s.faults.failedGrabs = 1; });
    EXPECT_FALSE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(error, "Pylon_Camera::CaptureSingleFrame () : Error : The buffer was incompletely grabbed.");

    EXPECT_TRUE(camera->CaptureSingleFrame(&frame, &error)) << "the camera grabs again afterwards";
    EXPECT_EQ(frame.cols, 2448);
}

TEST_F(PylonCameraTest, PixelDepthTemperatureAndOutputChecks) {
    auto camera = Opened();
    CString error;
    EXPECT_FALSE(camera->SetPixelDepth(10, &error));
    EXPECT_EQ(error, "Pylon_Camera::SetPixelDepth() : Error invalid parameter value bits=10");
    const int writes = Camera().counters.parameterWrites;
    EXPECT_TRUE(camera->SetPixelDepth(12, &error)) << "the camera is already in Mono12";
    EXPECT_EQ(Camera().counters.parameterWrites, writes);

    double degrees = 0;
    EXPECT_TRUE(camera->GetTemperature(&degrees, &error));
    EXPECT_DOUBLE_EQ(degrees, 41.5);
    ChangeCamera([](sim::CameraDeviceState& s) { s.identity.temperatureC = 420.0; });
    EXPECT_FALSE(camera->GetTemperature(&degrees, &error));
    EXPECT_EQ(error, "No temperature sensor detected.");
    EXPECT_DOUBLE_EQ(degrees, 420.0);

    EXPECT_FALSE(camera->SetDigitalOutput(3, true, &error));
    EXPECT_EQ(error, "Pylon_Camera::SetDigitalOutput() - ichan=3 : only ichan=1 or ichan=2 are supported.");
    for (int channel : {1, 2}) {
        for (bool on : {true, false}) {
            bool state = !on;
            ASSERT_TRUE(camera->SetDigitalOutput(channel, on, &error)) << error.GetString();
            ASSERT_TRUE(camera->GetDigitalOutput(channel, &state, &error)) << error.GetString();
            EXPECT_EQ(state, on) << "channel " << channel;
        }
    }
}

TEST_F(PylonCameraTest, ImageSizeIsSetAndCheckedAgainstTheCamera) {
    auto camera = Opened();
    CString error;
    ASSERT_TRUE(camera->SetImageSize(1024, 768, &error)) << error.GetString();
    cv::Mat frame;
    ASSERT_TRUE(camera->CaptureSingleFrame(&frame, &error));
    EXPECT_EQ(frame.cols, 1024);
    EXPECT_EQ(frame.rows, 768);

    EXPECT_FALSE(camera->SetImageSize(4000, 768, &error));
    EXPECT_EQ(error, "Pylon_Camera::SetImageSize(311) : Error trying to set camera width to: 4000");
}

TEST_F(PylonCameraTest, OldNamingConventionLeavesGainAndExposureAlone) {
    ChangeCamera([](sim::CameraDeviceState& s) { s.identity.sfncMajor = 1; });
    auto camera = Opened();
    CString error;
    float gain = -1;
    EXPECT_TRUE(camera->GetGain(&gain, &error));
    EXPECT_FLOAT_EQ(gain, -1) << "left as it was";
    EXPECT_TRUE(camera->SetExposureTime(777, &error));
    EXPECT_DOUBLE_EQ(Camera().parameters.exposureUs, 10000) << "not written";
}

}  // namespace
