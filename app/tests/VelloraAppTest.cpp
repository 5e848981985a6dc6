#include "app/VelloraApp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "devices/Camera.h"
#include "platform/UiBridge.h"
#include "support/CachedLog.h"
#include "support/SerialPort.h"

namespace {

// A camera that only knows its model name.
class ModelOnlyCamera : public Camera {
public:
    explicit ModelOnlyCamera(const char* model) : m_model(model) {}
    bool GetModelName(CString* model, CString* error) override {
        if (m_model.IsEmpty()) {
            *error = "GetModelName () : camera not initialized.";
            return false;
        }
        *model = m_model;
        return true;
    }
    bool Initialize(CString*, bool) override { return false; }
    bool IsInitialized() override { return false; }
    bool GetSerialNumber(CString*, CString*) override { return false; }
    bool GetImageSize(int*, int*, CString*) override { return false; }
    bool SetImageSize(int, int, CString*) override { return false; }
    bool StartStream(CString*) override { return false; }
    bool StopStream(CString*) override { return false; }
    bool CaptureSingleFrame(cv::Mat*, CString*) override { return false; }
    bool SetPixelDepth(int, CString*) override { return false; }
    bool GetPixelDepth(int*, CString*) override { return false; }
    bool GetGain(float*, CString*) override { return false; }
    bool SetGain(float, CString*) override { return false; }
    bool GetExposureTime(float*, CString*) override { return false; }
    bool SetExposureTime(float, CString*) override { return false; }
    bool GetDigitalOutput(int, bool*, CString*) override { return false; }
    bool SetDigitalOutput(int, bool, CString*) override { return false; }
    void SetFlipHorizontal(bool) override {}
    void SetFlipVertical(bool) override {}
    bool GetTemperature(double*, CString*) override { return false; }

private:
    CString m_model;
};

class VelloraAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / test->name();
        std::filesystem::create_directories(folder);
        g_IniPath = (folder / "Vellora.ini").c_str();
        theApp.m_strIniPath = g_IniPath;
    }
    void TearDown() override {
        theApp.m_pCamera = nullptr;
        theApp.m_pMainWnd = nullptr;
        g_SerialPortFailureHook = nullptr;
    }
    void WriteIni(const std::string& content) { std::ofstream(g_IniPath.str(), std::ios::binary) << content; }

    std::filesystem::path folder;
};

TEST_F(VelloraAppTest, StartsOutOfAdminModeWithNoCameraAndAFreeIdleQueue) {
    EXPECT_EQ(theApp.m_strDisplayName, "Vellora");
    EXPECT_EQ(theApp.m_dwRestartManagerSupportFlags, 0x3Fu);
    EXPECT_EQ(theApp.m_nMinTimeBetweenCaptureEventsMs, 100);
    EXPECT_EQ(theApp.m_nWorkflowCaptureIndex, -1);
    EXPECT_EQ(theApp.m_nLastLiveImageType, -1);
    EXPECT_EQ(theApp.m_pCamera, nullptr);
    EXPECT_FALSE(theApp.m_bAdminMode);
    EXPECT_EQ(theApp.m_nPumpComPort, 0);
    ASSERT_NE(g_IdleRequestSemaphore, nullptr);
    EXPECT_EQ(g_IdleRequestSemaphore->Count(), 1);
}

TEST_F(VelloraAppTest, CartridgeChannelRegionFromTheChannelWalls) {
    struct Case {
        const char* ini;
        bool band;
        CartridgeChannelROI expected;
    };
    const Case cases[] = {
        {"", true, {1844, 100, 2444, -100}},
        {"[Cartridge]\r\nCartridgeUpperChannel=500\r\nCartridgeLowerChannel=1500\r\n", true, {1844, 600, 2444, 1400}},
        {"[Cartridge]\r\nCartridgeUpperChannel=500\r\nCartridgeLowerChannel=1500\r\n", false, {824, 600, 1624, 1400}},
        {"[Cartridge]\r\nCartridgeUpperChannel=top\r\nCartridgeLowerChannel=1500\r\n", false, {824, 100, 1624, 1400}},
    };
    for (const Case& c : cases) {
        WriteIni(c.ini);
        CartridgeChannelROI roi;
        theApp.GetCartridgeChannelROI(c.band, "", roi);
        EXPECT_EQ(roi.left, c.expected.left) << c.ini;
        EXPECT_EQ(roi.top, c.expected.top) << c.ini;
        EXPECT_EQ(roi.right, c.expected.right) << c.ini;
        EXPECT_EQ(roi.bottom, c.expected.bottom) << c.ini;
    }
    // Another settings file than the main one.
    const std::string other = (folder / "Experiment.ini").string();
    std::ofstream(other, std::ios::binary) << "[Cartridge]\r\nCartridgeUpperChannel=200\r\n";
    CartridgeChannelROI roi;
    theApp.GetCartridgeChannelROI(true, other.c_str(), roi);
    EXPECT_EQ(roi.top, 300);
    EXPECT_EQ(roi.bottom, -100);
}

TEST_F(VelloraAppTest, SerialFailureHookAsksTheMainWindowOnceForRecovery) {
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge scoped(bridge);

    g_SerialPortFailureHook = OnSerialPortFailure;
    g_SerialPortFailureHook.load()(5);  // no main window yet: nothing posted
    EXPECT_EQ(g_SerialPortFailureHook.load(), nullptr);
    EXPECT_TRUE(bridge.PostedCommands().empty());

    int window = 0;
    theApp.m_pMainWnd = reinterpret_cast<CMainFrame*>(&window);
    g_SerialPortFailureHook = OnSerialPortFailure;
    Tovanix::String reply;
    int code = 0;
    // Port 9 is not set up: no transaction, so no hook call.
    EXPECT_FALSE(SendSerialCommand(9, "/1Q\r", '\r', &reply, 10, '\n', &code));
    EXPECT_TRUE(bridge.PostedCommands().empty());
    g_SerialPortFailureHook.load()(5);
    EXPECT_EQ(bridge.PostedCommands(), std::vector<int>{1364});
    EXPECT_EQ(bridge.PostedArguments(), std::vector<intptr_t>{5});  // the failed port
    EXPECT_EQ(g_SerialPortFailureHook.load(), nullptr);
}

TEST_F(VelloraAppTest, CameraRefreshPeriodFromTheModelSection) {
    CString error;
    EXPECT_EQ(GetCameraRefreshPeriodMs(error), 0);  // no camera

    ModelOnlyCamera unnamed("");
    theApp.m_pCamera = &unnamed;
    EXPECT_EQ(GetCameraRefreshPeriodMs(error), 0);
    EXPECT_EQ(error, "GetModelName () : camera not initialized.");

    ModelOnlyCamera camera("acA2440-20gm");
    theApp.m_pCamera = &camera;
    struct Case {
        const char* value;
        int period;
    };
    for (const Case& c : {Case{nullptr, 100}, Case{"250", 250}, Case{"0", 0}, Case{"fast", 100}}) {
        WriteIni(c.value ? std::string("[acA2440-20gm Settings]\r\nRefreshPeriodMs=") + c.value + "\r\n" : "");
        EXPECT_EQ(GetCameraRefreshPeriodMs(error), c.period) << (c.value ? c.value : "missing");
    }
}

TEST_F(VelloraAppTest, CaptureSpacingIsClampedToItsRange) {
    theApp.m_nMinTimeBetweenCaptureEventsMs = 321;
    LoadMinTimeBetweenImageCaptureEvents();  // no camera: unchanged
    EXPECT_EQ(theApp.m_nMinTimeBetweenCaptureEventsMs, 321);

    ModelOnlyCamera camera("PL-D755MU");
    theApp.m_pCamera = &camera;
    struct Case {
        const char* value;
        int spacing;
    };
    for (const Case& c : {Case{"50", 100}, Case{"300", 300}, Case{"5000", 1000}, Case{"soon", 100}, Case{nullptr, 100}}) {
        theApp.m_nMinTimeBetweenCaptureEventsMs = 321;
        WriteIni(c.value ? std::string("[PL-D755MU Settings]\r\nmin_time_between_image_capture_events_ms=") + c.value + "\r\n"
                         : "");
        LoadMinTimeBetweenImageCaptureEvents();
        EXPECT_EQ(theApp.m_nMinTimeBetweenCaptureEventsMs, c.spacing) << (c.value ? c.value : "missing");
    }
    theApp.m_nMinTimeBetweenCaptureEventsMs = 100;
}

}  // namespace

namespace {

TEST_F(VelloraAppTest, AnOrderlyExitWritesTheLinesTheCachedLogsStillHold) {
    Tovanix::String error;
    ASSERT_TRUE(InitializeCachedLogging(30, &error)) << error.c_str();
    const std::string first = (folder / "first.log").string();
    const std::string second = (folder / "sub" / "second.log").string();
    ASSERT_TRUE(AddALine(first.c_str(), "one", &error));
    ASSERT_TRUE(AddALine(second.c_str(), "two", &error));
    ASSERT_TRUE(AddALine(first.c_str(), "three", &error));
    // Well inside the 30 s save interval: nothing is on disk yet.
    EXPECT_FALSE(std::filesystem::exists(first));

    EXPECT_EQ(theApp.ExitInstance(), 0);
    auto read = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    EXPECT_EQ(read(first), "one\r\nthree\r\n");
    EXPECT_EQ(read(second), "two\r\n");
}

}  // namespace
