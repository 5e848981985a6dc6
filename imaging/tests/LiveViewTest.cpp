#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "analysis/ChannelGeometry.h"
#include "app/ImageTypes.h"
#include "devices/Camera.h"
#include "imaging/ImageCapture.h"
#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "imaging/LiveView.h"
#include "imaging/tests/CaptureTestSupport.h"

namespace {

using std::chrono::milliseconds;

// A manual clock that lets the test act whenever the code under test sleeps
// (the pacing polls, the capture's waits, the retry delay).
class HookClock : public platform::ManualClock {
public:
    void SleepFor(milliseconds duration) override {
        ManualClock::SleepFor(duration);
        if (onSleep) onSleep(duration);
    }
    std::function<void(milliseconds)> onSleep;
};

// A camera whose model name cannot be read; it delivers flat frames.
class UnnamedCamera : public Camera {
public:
    bool Initialize(CString*, bool) override { return true; }
    bool IsInitialized() override { return true; }
    bool GetModelName(CString*, CString*) override { return false; }
    bool GetSerialNumber(CString*, CString*) override { return false; }
    bool GetImageSize(int*, int*, CString*) override { return false; }
    bool SetImageSize(int, int, CString*) override { return false; }
    bool StartStream(CString*) override { return true; }
    bool StopStream(CString*) override { return true; }
    bool CaptureSingleFrame(cv::Mat* frame, CString*) override {
        *frame = cv::Mat(48, 64, CV_16UC1, cv::Scalar(1000));
        return true;
    }
    bool SetPixelDepth(int, CString*) override { return true; }
    bool GetPixelDepth(int*, CString*) override { return false; }
    bool GetGain(float*, CString*) override { return false; }
    bool SetGain(float, CString*) override { return true; }
    bool GetExposureTime(float*, CString*) override { return false; }
    bool SetExposureTime(float, CString*) override { return true; }
    bool GetDigitalOutput(int, bool*, CString*) override { return false; }
    bool SetDigitalOutput(int, bool, CString*) override { return true; }
    void SetFlipHorizontal(bool) override {}
    void SetFlipVertical(bool) override {}
    bool GetTemperature(double*, CString*) override { return false; }
};

const char* const kColumnLine = "Elapsed Time(ms)\tChannel\tInterval(ms)\tExposure(us)";
const char* const kImageTypes =
    "ImageTypeName1=BRIGHTFIELD\r\nImageTypeExposure1=1000\r\nIsActive1=TRUE\r\n"
    "ImageTypeName2=GFP\r\nImageTypeExposure2=2000\r\nIsActive2=TRUE\r\n";

// The live view on the virtual instrument, with a preview document whose
// window counts the frames handed to it.
class LiveViewTest : public capturetest::VirtualCaptureTest {
protected:
    void SetUp() override {
        capturetest::VirtualCaptureTest::SetUp();
        otherSections += "[acA2440-35um Settings]\r\nRefreshPeriodMs=100\r\n";
        WriteSettings(kImageTypes);
        // Small frames keep the runs quick; no spacing, so the pacing alone
        // decides when the next frame comes.
        ChangeCamera([](sim::CameraDeviceState& state) {
            state.parameters.width = 64;
            state.parameters.height = 48;
        });
        theApp.m_nMinTimeBetweenCaptureEventsMs = 0;
        SetCameraReInitializer([] { return true; });
        ImageTypeBox::TextChanged("BRIGHTFIELD");
        if (!g_LiveViewEvent) g_LiveViewEvent = std::make_unique<platform::Event>(true, false);
        g_LiveViewEvent->Reset();
        {
            std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
            g_LiveIntervalByImageType.clear();
            g_LiveIntervalChanged = false;
        }
        hookClock.SetWallTime(capturetest::LocalTime(2024, 3, 15, 9, 42, 7));
        platform::SetClock(&hookClock);

        document = std::make_unique<CImageDoc>();
        view = std::make_unique<CImageView>(document.get(), &window);
        document->m_bPreview = true;
        SetPreviewDocument(document.get());
    }

    void TearDown() override {
        ForgetPreviewDocument(document.get());
        view.reset();
        document.reset();
        SetLiveChannelChangeHandler(nullptr);
        platform::SetClock(&clock);
        ImageTypeBox::TextChanged("");
        {
            std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
            g_LiveIntervalByImageType.clear();
            g_LiveIntervalChanged = false;
        }
        SetLiveRotation(LiveRotation{});
        theApp.m_strLiveImageType.Empty();
        capturetest::VirtualCaptureTest::TearDown();
    }

    int FramesShown() const { return window.invalidations; }
    void ClosePreview() { ForgetPreviewDocument(document.get()); }

    // The live logs written in this test, by file name.
    std::vector<std::filesystem::path> LiveLogs() const {
        std::vector<std::filesystem::path> logs;
        for (const auto& entry : std::filesystem::directory_iterator(root / "LOG")) {
            const std::string name = entry.path().filename().string();
            if (name.find("_LiveImageCapture.LOG") != std::string::npos) logs.push_back(entry.path());
        }
        std::sort(logs.begin(), logs.end());
        return logs;
    }
    std::vector<std::string> LiveLogLines() const {
        const auto logs = LiveLogs();
        return logs.size() == 1 ? capturetest::ReadLines(logs.front()) : std::vector<std::string>{};
    }
    static int Count(const std::string& text, const std::string& part) {
        int count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
        return count;
    }

    HookClock hookClock;
    imagingtest::FakeViewWindow window{160, 120};
    std::unique_ptr<CImageDoc> document;
    std::unique_ptr<CImageView> view;
};

TEST_F(LiveViewTest, UnchangedPacingIsLoggedTenTimesAfterTheColumnLine) {
    hookClock.onSleep = [&](milliseconds) {
        if (FramesShown() >= 25) ClosePreview();
    };
    CString error;
    EXPECT_TRUE(RunImageCaptureLiveView_low_level(error)) << error.GetString();

    const auto logs = LiveLogs();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs.front().filename(), "20240315_094207_LiveImageCapture.LOG");
    const std::string text = capturetest::ReadText(logs.front());
    EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1) << "lines end with CR LF";
    const auto lines = capturetest::ReadLines(logs.front());
    ASSERT_EQ(lines.size(), 11u) << "the column line and ten frame lines";
    EXPECT_EQ(lines[0], kColumnLine);
    long previous = -1;
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto fields = capturetest::Fields(lines[i]);
        ASSERT_EQ(fields.size(), 4u) << lines[i];
        EXPECT_EQ(fields[1], "0");
        EXPECT_EQ(fields[2], "100");
        EXPECT_EQ(fields[3], "1000");
        const long elapsed = std::stol(fields[0]);
        // 100 ms of pacing plus the capture's 5 ms of light before the grab.
        EXPECT_EQ(elapsed, previous < 0 ? 0 : previous + 105) << lines[i];
        previous = elapsed;
    }

    EXPECT_EQ(theApp.m_strLiveImageType, "BRIGHTFIELD");
    ASSERT_NE(document->m_pImage, nullptr);
    EXPECT_EQ(document->m_pImage->type(), CV_16UC1);
    EXPECT_EQ(document->m_pImage->cols, 64);
    EXPECT_EQ(Device().parameters.exposureUs, 1000);
    EXPECT_FALSE(AnyLedLit());
}

TEST_F(LiveViewTest, ChangingTheImageTypeEndsTheWaitAtOnceAndLogsTheNewType) {
    std::vector<int> channels;
    SetLiveChannelChangeHandler([&](int index) { channels.push_back(index); });
    int pollsAfterTwelve = 0;
    bool changed = false;
    hookClock.onSleep = [&](milliseconds duration) {
        if (FramesShown() >= 12 && !changed && duration == milliseconds(10) && ++pollsAfterTwelve == 3) {
            ImageTypeBox::TextChanged("GFP");
            changed = true;
        }
        if (FramesShown() >= 14) ClosePreview();
    };
    CString error;
    EXPECT_TRUE(RunImageCaptureLiveView_low_level(error)) << error.GetString();

    const auto lines = LiveLogLines();
    ASSERT_GE(lines.size(), 13u);
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 1; i < lines.size(); ++i) rows.push_back(capturetest::Fields(lines[i]));
    size_t firstGfp = 0;
    while (firstGfp < rows.size() && rows[firstGfp][1] == "0") ++firstGfp;
    EXPECT_EQ(firstGfp, 10u) << "ten lines of the first type, then none until the type changed";
    ASSERT_LT(firstGfp, rows.size());
    EXPECT_EQ(rows[firstGfp][1], "1");
    EXPECT_EQ(rows[firstGfp][2], "100");
    EXPECT_EQ(rows[firstGfp][3], "2000");
    // Frame 13 came 30 ms into its wait (three polls) plus the light's 5 ms,
    // not after the whole 100 ms; the last logged frame of the first type
    // was frame 11.
    const long lastBf = std::stol(rows[firstGfp - 1][0]);
    const long gfp = std::stol(rows[firstGfp][0]);
    EXPECT_EQ(gfp - lastBf, 105 + 35);

    EXPECT_EQ(channels, std::vector<int>({1}));
    EXPECT_EQ(theApp.m_strLiveImageType, "GFP") << "the preview's title follows the type";
    const auto history = LedHistory();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history[history.size() - 2].second, 0x02) << "the last frame lit the GFP light";
}

TEST_F(LiveViewTest, WaitUsesTheIntervalOfTheShownTypeAndEndsOnChanges) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, int>> map;
        const char* box;
        const char* shownBefore;
        bool mapChanged;
        const char* boxDuringWait;  // set at the third poll, or null
        int expected;
        long elapsedMs;
        const char* shownAfter;
    };
    const std::vector<Case> cases = {
        {"empty map: the base interval", {}, "BRIGHTFIELD", "BRIGHTFIELD", false, nullptr, 100, 100, "BRIGHTFIELD"},
        {"the shown type's entry", {{"BRIGHTFIELD", 250}}, "BRIGHTFIELD", "BRIGHTFIELD", false, nullptr, 250, 250,
         "BRIGHTFIELD"},
        {"a type without entry: no wait", {{"BRIGHTFIELD", 500}}, "GFP", "GFP", false, nullptr, 0, 0, "GFP"},
        {"names are case-sensitive", {{"gfp", 500}}, "GFP", "GFP", false, nullptr, 0, 0, "GFP"},
        {"type changed before the wait", {}, "GFP", "BRIGHTFIELD", false, nullptr, 0, 0, "GFP"},
        {"changed map ends the wait", {{"BRIGHTFIELD", 500}}, "BRIGHTFIELD", "BRIGHTFIELD", true, nullptr, 500, 0,
         "BRIGHTFIELD"},
        {"type changed during the wait", {{"BRIGHTFIELD", 500}, {"GFP", 40}}, "BRIGHTFIELD", "BRIGHTFIELD", false,
         "GFP", 40, 30, "GFP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
            g_LiveIntervalByImageType.clear();
            for (const auto& entry : c.map) g_LiveIntervalByImageType[entry.first] = entry.second;
            g_LiveIntervalChanged = c.mapChanged;
        }
        ImageTypeBox::TextChanged(c.box);
        int polls = 0;
        hookClock.onSleep = [&](milliseconds) {
            if (c.boxDuringWait && ++polls == 3) ImageTypeBox::TextChanged(c.boxDuringWait);
        };
        CString shown = c.shownBefore;
        const auto start = hookClock.Now();
        EXPECT_EQ(WaitForNextLiveImage(100, shown), c.expected);
        EXPECT_EQ(std::chrono::duration_cast<milliseconds>(hookClock.Now() - start).count(), c.elapsedMs);
        EXPECT_EQ(shown, c.shownAfter);
        std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
        EXPECT_FALSE(g_LiveIntervalChanged);
        if (c.expected == 0 && !c.map.empty()) {
            EXPECT_EQ(g_LiveIntervalByImageType.count(c.shownAfter), 1u) << "entered with 0";
        }
    }
}

TEST_F(LiveViewTest, MapWithoutTheShownTypeStreamsWithoutWaiting) {
    {
        std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
        g_LiveIntervalByImageType["BRIGHTFIELD"] = 500;
    }
    ImageTypeBox::TextChanged("GFP");
    hookClock.onSleep = [&](milliseconds) {
        if (FramesShown() >= 6) ClosePreview();
    };
    CString error;
    const auto start = hookClock.Now();
    EXPECT_TRUE(RunImageCaptureLiveView_low_level(error)) << error.GetString();
    // Only the capture's 5 ms of light per frame.
    EXPECT_LE(std::chrono::duration_cast<milliseconds>(hookClock.Now() - start).count(), 7 * 5);
    const auto lines = LiveLogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(capturetest::Fields(lines[1])[2], "0");
    EXPECT_EQ(theApp.m_strLiveImageType, "GFP");
}

TEST_F(LiveViewTest, FailedGrabIsLoggedAndRetriedAfterOneSecond) {
    ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failedGrabs = -1; });
    std::atomic<bool> stop{false};
    int retries = 0;
    hookClock.onSleep = [&](milliseconds duration) {
        if (duration == milliseconds(1000) && ++retries == 2) {
            ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failedGrabs = 0; });
        }
        if (FramesShown() >= 3) {
            stop = true;
            ClosePreview();
        }
    };
    g_LiveViewEvent->Set();
    RunLiveViewLoop(stop);

    EXPECT_EQ(retries, 2);
    EXPECT_EQ(Count(LogText(), "capture_single_active_image () : "), 2) << "each failed run logged once";
    EXPECT_GE(FramesShown(), 3) << "the live view came back by itself";
    ASSERT_NE(document->m_pImage, nullptr);
    EXPECT_FALSE(AnyLedLit());
}

TEST_F(LiveViewTest, NoRetryOnceThePreviewIsClosedAndNoGrabWithoutPreview) {
    ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failedGrabs = -1; });
    std::atomic<bool> retryDelayed{false};
    hookClock.onSleep = [&](milliseconds duration) {
        if (duration == milliseconds(1000)) {
            ClosePreview();  // the user closed the preview meanwhile
            retryDelayed = true;
        }
    };
    std::atomic<bool> stop{false};
    std::thread loop([&] { RunLiveViewLoop(stop); });
    g_LiveViewEvent->Set();
    for (int i = 0; i < 1000 && !retryDelayed; ++i) std::this_thread::sleep_for(milliseconds(10));
    ASSERT_TRUE(retryDelayed);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(g_LiveViewEvent->IsSet()) << "not started again without a preview";

    // A wake-up without a preview does not start the camera.
    ChangeCamera([](sim::CameraDeviceState& state) { state.faults.failedGrabs = 0; });
    const auto before = Device().counters;
    g_LiveViewEvent->Set();
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(Device().counters.grabs, before.grabs);
    EXPECT_EQ(Count(LogText(), "capture_single_active_image () : "), 1);

    stop = true;
    g_LiveViewEvent->Set();
    loop.join();
}

TEST_F(LiveViewTest, ClosingThePreviewEndsTheRunWithinOneFrameAndClearsTheRotation) {
    SetLiveRotation(LiveRotation{0.0, 12, 32, 24});
    std::atomic<bool> stop{false};
    int grabsAtClose = -1;
    hookClock.onSleep = [&](milliseconds) {
        if (FramesShown() >= 3 && grabsAtClose < 0) {
            grabsAtClose = Device().counters.grabs;
            ClosePreview();
            stop = true;
        }
    };
    g_LiveViewEvent->Set();
    RunLiveViewLoop(stop);

    EXPECT_LE(Device().counters.grabs - grabsAtClose, 1);
    const LiveRotation cleared = GetLiveRotation();
    EXPECT_EQ(cleared.offset, 0);
    EXPECT_EQ(cleared.centerX, 0);
    EXPECT_EQ(cleared.centerY, 0);
    EXPECT_EQ(cleared.angle, 0.0);
    EXPECT_EQ(LogText().find("RunImageCaptureLiveView"), std::string::npos) << "a closed preview is no failure";
}

TEST_F(LiveViewTest, CameraWithoutModelNameFailsWithErrorOneEverySecond) {
    delete theApp.m_pCamera;
    theApp.m_pCamera = new UnnamedCamera;
    CString error;
    EXPECT_FALSE(RunImageCaptureLiveView_low_level(error));
    EXPECT_EQ(error, "RunImageCaptureLiveView_low_level() at line 1284: Error #1 ");

    std::atomic<bool> stop{false};
    std::vector<long> retryTimes;
    const auto start = hookClock.Now();
    hookClock.onSleep = [&](milliseconds duration) {
        if (duration != milliseconds(1000)) return;
        retryTimes.push_back(
            static_cast<long>(std::chrono::duration_cast<milliseconds>(hookClock.Now() - start).count()));
        if (retryTimes.size() == 3) {
            stop = true;
            ClosePreview();
        }
    };
    g_LiveViewEvent->Set();
    RunLiveViewLoop(stop);
    EXPECT_EQ(Count(LogText(), "Error #1"), 3);
    ASSERT_EQ(retryTimes.size(), 3u);
    EXPECT_EQ(retryTimes[1] - retryTimes[0], 1005) << "a second between runs, plus the light of the grab";
}

TEST_F(LiveViewTest, RotationOffsetShiftsTheFrameUpWithoutRotating) {
    cv::Mat frame(40, 8, CV_16UC1);
    for (int r = 0; r < frame.rows; ++r) frame.row(r).setTo(r * 100);
    const cv::Mat original = frame.clone();

    const uint16_t* pixels = frame.ptr<uint16_t>(0);
    EXPECT_EQ(ApplyLiveImageRotation(&frame), &frame);
    EXPECT_EQ(frame.ptr<uint16_t>(0), pixels);
    EXPECT_EQ(cv::norm(frame, original, cv::NORM_INF), 0.0) << "no correction: unchanged";

    SetLiveRotation(LiveRotation{0.0, 12, 4, 20});
    ApplyLiveImageRotation(&frame);
    for (int r = 0; r < frame.rows; ++r) {
        const int source = std::min(r + 12, frame.rows - 1);
        EXPECT_EQ(frame.at<uint16_t>(r, 3), source * 100) << "row " << r;
    }

    // An angle alone turns the frame as the shared rotation does.
    cv::Mat turned = original.clone();
    cv::Mat expected = original.clone();
    SetLiveRotation(LiveRotation{0.05, 0, 4, 20});
    ApplyLiveImageRotation(&turned);
    RotateImageAboutCentre(expected, 0.05, 4, 20, 0);
    EXPECT_EQ(cv::norm(turned, expected, cv::NORM_INF), 0.0);
}

TEST_F(LiveViewTest, SingleActiveImageCaptureFindsTheTypeByExactName) {
    struct Case {
        const char* name;
        const char* box;
        int index;
        bool ok;
        const char* message;
        int typeOut;
    };
    const std::vector<Case> cases = {
        {"the box names the type", "GFP", -1, true, "", 1},
        {"an index names the type", "", 0, true, "", 0},
        {"letter case counts", "brightfield", -1, false,
         "capture_single_active_image () : Select image workflow not found: brightfield", -1},
        {"an empty box picks no unset type", "", -1, false,
         "capture_single_active_image () : Select image workflow not found: ", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageTypeBox::TextChanged(c.box);
        cv::Mat image;
        int index = c.index;
        int exposure = -5;
        CString name;
        CString error;
        EXPECT_EQ(theApp.capture_single_active_image(image, index, exposure, name, error), c.ok);
        EXPECT_EQ(error, c.message);
        if (c.ok) {
            EXPECT_EQ(index, c.typeOut);
            EXPECT_EQ(theApp.m_nLastLiveImageType, c.typeOut);
            EXPECT_EQ(exposure, c.typeOut == 0 ? 1000 : 2000);
            EXPECT_EQ(name, c.typeOut == 0 ? "BRIGHTFIELD" : "GFP");
            EXPECT_FALSE(image.empty());
        }
    }

    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
    cv::Mat image;
    int index = -1;
    int exposure = 0;
    CString name;
    CString error;
    EXPECT_FALSE(theApp.capture_single_active_image(image, index, exposure, name, error));
    EXPECT_EQ(error, "capture_single_active_image () : Camera not initialized.");
}

TEST_F(LiveViewTest, LiveLogStartsAFileOnLineZeroAndLosesLinesSilently) {
    AppendLiveImageCaptureLog(2, 40, 5000, 0);
    hookClock.Advance(milliseconds(250));
    AppendLiveImageCaptureLog(3, 0, 700, 1);
    EXPECT_EQ(LiveLogLines(), std::vector<std::string>({kColumnLine, "0\t2\t40\t5000", "250\t3\t0\t700"}));

    hookClock.Advance(milliseconds(1000));
    AppendLiveImageCaptureLog(1, 100, 1000, 0);
    const auto logs = LiveLogs();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[1].filename(), "20240315_094208_LiveImageCapture.LOG");
    EXPECT_EQ(capturetest::ReadLines(logs[1]), std::vector<std::string>({kColumnLine, "0\t1\t100\t1000"}));

    // No LOG folder: the line is lost, nothing else happens.
    theApp.m_strDataRoot = (root / "missing").c_str();
    AppendLiveImageCaptureLog(1, 100, 1000, 0);
    AppendLiveImageCaptureLog(1, 100, 1000, 1);
    EXPECT_FALSE(std::filesystem::exists(root / "missing"));
}

TEST(LiveRotationTest, ReadersSeeTheFourValuesOnlyAsTheyWereSetTogether) {
    const LiveRotation first{0.01, 10, 100, 200};
    const LiveRotation second{-0.02, -20, 300, 400};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) SetLiveRotation(i % 2 ? first : second);
        done = true;
    });
    int mixed = 0;
    while (!done) {
        const LiveRotation seen = GetLiveRotation();
        const bool isFirst = seen.angle == first.angle && seen.offset == first.offset &&
                             seen.centerX == first.centerX && seen.centerY == first.centerY;
        const bool isSecond = seen.angle == second.angle && seen.offset == second.offset &&
                              seen.centerX == second.centerX && seen.centerY == second.centerY;
        const bool isNone = seen.angle == 0.0 && seen.offset == 0 && seen.centerX == 0 && seen.centerY == 0;
        if (!isFirst && !isSecond && !isNone) ++mixed;
    }
    writer.join();
    SetLiveRotation(LiveRotation{});
    EXPECT_EQ(mixed, 0);
}

}  // namespace
