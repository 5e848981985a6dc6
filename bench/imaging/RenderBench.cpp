// One render of a 2448 x 2048 16-bit frame into a 1224 x 1024 window on one
// core: the view's request, the render list, the drawing of the mapped image
// and the hand-over of the picture; the same with every overlay turned on
// (lines, split line, 600 detections, the active region with both
// projections, two previews, the brightness window and a test symbol);
// beside the display mapping alone (sampling onto the window's grid and
// mapping into display pixels). Target for the full render: 15 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <QGuiApplication>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/DisplayMapping.h"
#include "app/ActiveROI.h"
#include "app/FlowSplit.h"
#include "app/VelloraApp.h"
#include "imaging/ImageDoc.h"
#include "imaging/ImageView.h"
#include "imaging/MfgTestOverlay.h"
#include "imaging/RenderList.h"
#include "imaging/ui/RenderImage.h"

namespace {

constexpr int kImageWidth = 2448;
constexpr int kImageHeight = 2048;
constexpr int kWindowWidth = 1224;
constexpr int kWindowHeight = 1024;

cv::Mat CameraFrame() {
    cv::Mat image(kImageHeight, kImageWidth, CV_16UC1);
    cv::RNG random(7);
    for (int r = 0; r < kImageHeight; ++r) {
        auto* row = image.ptr<uint16_t>(r);
        for (int c = 0; c < kImageWidth; ++c) {
            const int sample = std::clamp(1500 + c * 1200 / kImageWidth + static_cast<int>(random.gaussian(60.0)), 0,
                                          4095);
            row[c] = static_cast<uint16_t>(sample << 4);
        }
    }
    for (int k = 0; k < 1000; ++k) {
        cv::circle(image, {random.uniform(0, kImageWidth), random.uniform(0, kImageHeight)}, 6,
                   cv::Scalar(400 << 4), -1);
    }
    return image;
}

// A window that takes the finished picture as a view's window would.
class BenchWindow : public ImageViewWindow, public RenderTarget {
public:
    BenchWindow() : m_handle(RegisterRenderTarget(this)) {}
    ~BenchWindow() override { UnregisterRenderTarget(m_handle); }
    RECT GetClientRect() const override {
        RECT rect;
        rect.right = kWindowWidth;
        rect.bottom = kWindowHeight;
        return rect;
    }
    HWND GetRenderTarget() const override { return m_handle; }
    void Invalidate() override {}
    void SetScrollPositions(int, int) override {}
    void TitleChanged() override {}
    void PresentPicture(const cv::Mat& picture) override { last = picture; }
    cv::Mat last;

private:
    HWND m_handle;
};

void BM_RenderRequestToPicture(benchmark::State& state) {
    cv::setNumThreads(1);
    g_MatAccessSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    g_RenderEvent = std::make_unique<platform::Event>(true, true);
    _render_list_semaphore = std::make_unique<platform::Semaphore>(1, 1);
    SetRenderImageFunction(RenderRequestIntoPicture);
    CImageDoc document;
    document.m_pImage = new cv::Mat(CameraFrame());
    BenchWindow window;
    CImageView view(&document, &window);
    view.m_nDisplayMin = 20000;
    view.m_nDisplayMax = 60000;
    for (auto _ : state) {
        view.OnDraw();
        ServeRenderRequest(TakeRenderListHead());
        benchmark::DoNotOptimize(window.last.data);
    }
}
BENCHMARK(BM_RenderRequestToPicture)->Unit(benchmark::kMillisecond);

// Every overlay on, as an engineer might have them on a live image.
void TurnOnEveryOverlay(CImageView& view) {
    const auto folder = std::filesystem::temp_directory_path() / "vellora-render-bench";
    std::filesystem::create_directories(folder);
    const auto ini = folder / "Vellora.ini";
    std::ofstream(ini, std::ios::binary) << "[RightSideProjection]\r\nSmoothingWindowMicrons=20\r\nNumPeaksToFind=2\r\n"
                                            "StdevIntegrationArea=2\r\nIntegrationSamples=30\r\n"
                                            "[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n";
    g_IniPath = ini.c_str();
    const int32_t rows[4] = {400, 1500, 100, 1800};
    for (int k = 0; k < 4; ++k) g_ChannelMagnetLines[k] = rows[k];
    SetFlowSplitLineVisible(true);
    *AllocateActiveROI() = ROIRect{300, 420, 1500, 1480};
    g_ShowProjectionBelow = true;
    g_ShowProjectionRightSide = true;
    g_ActiveROI = ROIRect{1700, 500, 2200, 900};
    cv::RNG random(11);
    for (int k = 0; k < 200; ++k) {
        view.m_Detections1.push_back(CellDetection{random.uniform(0, kImageWidth), random.uniform(600, 800)});
        view.m_Detections2.push_back(CellDetection{random.uniform(0, kImageWidth), random.uniform(1100, 1300)});
        view.m_EpiDetections.push_back(CellDetection{random.uniform(0, kImageWidth), random.uniform(0, kImageHeight)});
    }
    MfgTestSymbol symbol;
    symbol.x = 2000;
    symbol.y = 1600;
    symbol.shown = 1;
    g_MfgTestSymbols = {symbol};
    g_MfgTestBrightnessTarget = MfgTestBrightnessTarget{25000, 35000, 1900, 1650, 41, 0};
}

void BM_RenderWithEveryOverlay(benchmark::State& state) {
    cv::setNumThreads(1);
    g_MatAccessSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    g_RenderEvent = std::make_unique<platform::Event>(true, true);
    _render_list_semaphore = std::make_unique<platform::Semaphore>(1, 1);
    SetRenderImageFunction(RenderRequestIntoPicture);
    CImageDoc document;
    document.m_pImage = new cv::Mat(CameraFrame());
    document.m_bPreview = true;  // the brightness window is measured on the live preview
    BenchWindow window;
    CImageView view(&document, &window);
    view.m_nDisplayMin = 20000;
    view.m_nDisplayMax = 60000;
    TurnOnEveryOverlay(view);
    g_MfgTestBrightnessActive = true;
    for (auto _ : state) {
        view.OnDraw();
        ServeRenderRequest(TakeRenderListHead());
        benchmark::DoNotOptimize(window.last.data);
    }
    g_MfgTestBrightnessActive = false;
}
BENCHMARK(BM_RenderWithEveryOverlay)->Unit(benchmark::kMillisecond);

void BM_DisplayMappingAlone(benchmark::State& state) {
    cv::setNumThreads(1);
    const cv::Mat frame = CameraFrame();
    const int count = (kWindowWidth + 1) * (kWindowHeight + 1);
    std::vector<uint16_t> grid;
    std::vector<uint32_t> pixels(static_cast<size_t>(count));
    for (auto _ : state) {
        Tovanix::SampleImageToDisplayGrid(frame, grid, 0.0, 1.0, 0.0, 1.0, kWindowWidth + 1, kWindowHeight + 1,
                                          nullptr, nullptr);
        Tovanix::MapIntensitiesToDisplayColours(grid.data(), count, pixels.data(), 60000, 20000, nullptr, 25, 200);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_DisplayMappingAlone)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Painting into pictures in memory needs the Qt application, not a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
