// The live view on the virtual camera at 1 ms exposure with full 2448 x 2048
// frames: how many frames a second reach the preview, and how long a frame
// handed to the preview document takes to become the view's picture (the
// view's request, the render list, the render thread's drawing into a
// 1224 x 1024 picture). The main thread plays the user-interface thread: it
// answers each hand-over with the view's drawing, as the window does.
//
// Arguments: the camera's refresh period (ms) and the minimum spacing of
// captures (ms). 100/100 is the instrument's default pacing; 10/100 the
// shortest interval a script can set; 1/0 takes the pacing away and shows
// what the capture and display chain can carry.
//
// Run: build/<dir>/bench/liveview/bench_liveview (writes into a temporary folder).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QGuiApplication>

#include <opencv2/core.hpp>

#include "app/ImageTypes.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraFactory.h"
#include "devices/DigitalIO.h"
#include "imaging/ImageCapture.h"
#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "imaging/LiveView.h"
#include "imaging/RenderList.h"
#include "imaging/ui/RenderImage.h"
#include "support/AppLogs.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWindowWidth = 1224;
constexpr int kWindowHeight = 1024;
constexpr int kFrames = 40;

std::filesystem::path g_root;
CString g_dataRoot;

void WriteSettings(int refreshMs) {
    std::string settings =
        "[ExperimentSettings]\r\nImageTypeName1=BRIGHTFIELD\r\nImageTypeExposure1=1000\r\nIsActive1=TRUE\r\n"
        "[DIO_Config]\r\nMapping=Interlock\r\nLED0_port=0\r\nLED0_line=0\r\nLED1_port=0\r\nLED1_line=1\r\n"
        "LED2_port=0\r\nLED2_line=2\r\nLED3_port=0\r\nLED3_line=3\r\nCartridge_Port=0\r\nCartridge_Line=4\r\n"
        "Clamp_Port=0\r\nClamp_Line=5\r\n[acA2440-35um Settings]\r\nRefreshPeriodMs=" +
        std::to_string(refreshMs) + "\r\n";
    std::ofstream(g_root / "Vellora.ini", std::ios::binary) << settings;
}

// A data root in a temporary folder, the digital I/O device and the camera,
// once per process (the camera refuses a second open within 5 s).
bool Prepare(std::string* error) {
    if (!g_root.empty()) return true;
    std::string pattern = (std::filesystem::temp_directory_path() / "vellora-bench-XXXXXX").string();
    g_root = mkdtemp(pattern.data());
    std::filesystem::create_directories(g_root / "LOG");
    g_dataRoot = g_root.c_str();
    theApp.m_strDataRoot = g_dataRoot;
    theApp.m_strFileVersion = "1.0.0.0";
    g_IniPath = (g_root / "Vellora.ini").c_str();
    theApp.m_strIniPath = g_IniPath;
    SetAppLogSources({&theApp.m_strDataRoot, &theApp.m_strFileVersion, &theApp.m_strDisplayName, &g_IniPath});
    WriteSettings(100);
    CString text;
    if (!Initialize_DIO(&text, false) || !LoadDIOMapping(&text)) {
        *error = "digital I/O: " + text.str();
        return false;
    }
    theApp.m_pCamera = CreateCameraForType("");
    if (!theApp.m_pCamera->Initialize(&text, false)) {
        *error = "camera: " + text.str();
        return false;
    }
    g_CaptureSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    ImageTypeBox::TextChanged("BRIGHTFIELD");
    SetRenderImageFunction(RenderRequestIntoPicture);
    StartImageRenderThread();
    return true;
}

// The preview's window: notes when a frame is handed over (live-view
// thread) and when its picture arrives (render thread).
class PreviewWindow : public ImageViewWindow, public RenderTarget {
public:
    PreviewWindow() : m_handle(RegisterRenderTarget(this)) {}
    ~PreviewWindow() override { UnregisterRenderTarget(m_handle); }
    RECT GetClientRect() const override {
        RECT rect;
        rect.right = kWindowWidth;
        rect.bottom = kWindowHeight;
        return rect;
    }
    HWND GetRenderTarget() const override { return m_handle; }
    void SetScrollPositions(int, int) override {}
    void TitleChanged() override {}
    void Invalidate() override {
        std::lock_guard<std::mutex> lock(mutex);
        handOvers.push_back(Clock::now());
        changed.notify_all();
    }
    void PresentPicture(const cv::Mat&) override {
        std::lock_guard<std::mutex> lock(mutex);
        presented = Clock::now();
        pictureShown = true;
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Clock::time_point> handOvers;
    Clock::time_point presented;
    bool pictureShown = false;

private:
    HWND m_handle;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_LiveViewOnVirtualCamera(benchmark::State& state) {
    std::string error;
    if (!Prepare(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    WriteSettings(static_cast<int>(state.range(0)));
    theApp.m_nMinTimeBetweenCaptureEventsMs = static_cast<int32_t>(state.range(1));

    double framesPerSecond = 0.0;
    std::vector<double> latencies;
    for (auto _ : state) {
        CImageDoc document;
        PreviewWindow window;
        CImageView view(&document, &window);
        document.m_bPreview = true;
        SetPreviewDocument(&document);
        CString runError;
        bool runResult = false;
        std::thread live([&] { runResult = RunImageCaptureLiveView_low_level(runError); });

        size_t drawn = 0;
        std::unique_lock<std::mutex> lock(window.mutex);
        while (window.handOvers.size() < static_cast<size_t>(kFrames)) {
            if (!window.changed.wait_for(lock, std::chrono::seconds(10),
                                         [&] { return window.handOvers.size() > drawn; })) {
                break;
            }
            // Drawing answers the newest frame; older ones are not shown.
            drawn = window.handOvers.size();
            const Clock::time_point handedOver = window.handOvers.back();
            window.pictureShown = false;
            lock.unlock();
            view.OnDraw();
            lock.lock();
            if (!window.changed.wait_for(lock, std::chrono::seconds(10), [&] { return window.pictureShown; })) break;
            latencies.push_back(Ms(window.presented - handedOver));
        }
        const std::vector<Clock::time_point> handOvers = window.handOvers;
        lock.unlock();
        ForgetPreviewDocument(&document);
        live.join();
        if (!runResult) {
            state.SkipWithError(("live view: " + runError.str()).c_str());
            break;
        }
        if (handOvers.size() > 2) {
            // From the first paced frame on.
            framesPerSecond = (handOvers.size() - 2) / (Ms(handOvers.back() - handOvers[1]) / 1000.0);
        }
    }
    if (latencies.empty()) return;
    double sum = 0.0;
    for (double latency : latencies) sum += latency;
    state.counters["fps"] = framesPerSecond;
    state.counters["latency_mean_ms"] = sum / latencies.size();
    state.counters["latency_max_ms"] = *std::max_element(latencies.begin(), latencies.end());
    state.counters["pictures"] = static_cast<double>(latencies.size());
}
BENCHMARK(BM_LiveViewOnVirtualCamera)
    ->Args({100, 100})
    ->Args({10, 100})
    ->Args({1, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The virtual camera's own pace: one grab of the live image type after
// another, no spacing, for the frame rate the live view has to keep up with.
void BM_VirtualCameraGrab(benchmark::State& state) {
    std::string error;
    if (!Prepare(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    theApp.m_nMinTimeBetweenCaptureEventsMs = 0;
    cv::Mat image;
    int exposure = 0;
    CString name;
    CString captureError;
    for (auto _ : state) {
        int index = -1;
        if (!theApp.capture_single_active_image(image, index, exposure, name, captureError)) {
            state.SkipWithError(captureError.GetString());
            break;
        }
    }
}
BENCHMARK(BM_VirtualCameraGrab)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // Painting into pictures in memory needs the Qt application, not a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    StopImageRenderThread();
    return 0;
}
