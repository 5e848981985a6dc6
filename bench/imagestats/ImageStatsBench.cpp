// Per-frame image work on a 2448 x 2048 16-bit frame, one core. Each of our
// operations runs beside the plain OpenCV operation closest to it.
#include <benchmark/benchmark.h>

#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/DisplayMapping.h"
#include "analysis/ImageStatistics.h"

namespace {

constexpr int kWidth = 2448;
constexpr int kHeight = 2048;

// A camera-like frame: 12-bit samples shifted left by 4, a smooth
// illumination gradient with noise and dark cells.
const cv::Mat& Frame() {
    static const cv::Mat frame = [] {
        cv::setNumThreads(1);
        cv::Mat image(kHeight, kWidth, CV_16UC1);
        cv::RNG random(42);
        for (int r = 0; r < kHeight; ++r) {
            auto* row = image.ptr<uint16_t>(r);
            for (int c = 0; c < kWidth; ++c) {
                const int base = 1500 + (c * 1200) / kWidth + (r * 600) / kHeight;
                const int sample = std::clamp(base + static_cast<int>(random.gaussian(60.0)), 0, 4095);
                row[c] = static_cast<uint16_t>(sample << 4);
            }
        }
        for (int k = 0; k < 1000; ++k) {
            cv::circle(image, {random.uniform(0, kWidth), random.uniform(0, kHeight)}, 6, cv::Scalar(400 << 4), -1);
        }
        return image;
    }();
    return frame;
}

const cv::Mat& Overlay() {
    static const cv::Mat overlay = [] {
        cv::Mat codes = cv::Mat::zeros(kHeight, kWidth, CV_8UC1);
        cv::line(codes, {0, 700}, {kWidth - 1, 700}, cv::Scalar(Tovanix::kOverlayRed), 3);
        cv::line(codes, {0, 1300}, {kWidth - 1, 1300}, cv::Scalar(Tovanix::kOverlayBlue), 3);
        cv::rectangle(codes, {400, 400, 1600, 1200}, cv::Scalar(Tovanix::kOverlayGreen), 2);
        return codes;
    }();
    return overlay;
}

// OpenCV's histogram of 65536 bins, the plain counterpart of the percentile work.
void OpenCvHistogramOf(benchmark::State& state, const cv::Mat& image) {
    const int channels[] = {0};
    const int bins[] = {65536};
    const float range[] = {0, 65536};
    const float* ranges[] = {range};
    cv::Mat histogram;
    for (auto _ : state) {
        cv::calcHist(&image, 1, channels, cv::noArray(), histogram, 1, bins, ranges);
        benchmark::DoNotOptimize(histogram.data);
    }
}

// ------------------------------------------------------------ percentile intensities

void BM_PercentileIntensities(benchmark::State& state) {
    const cv::Mat& frame = Frame();
    const std::vector<float> fractions{0.001f, 0.5f, 0.999f};
    std::vector<uint16_t> values;
    Tovanix::String error;
    for (auto _ : state) {
        values.clear();
        Tovanix::ComputePercentileIntensities(frame, {0, 0, kWidth - 1, kHeight - 1}, fractions, values, error);
        benchmark::DoNotOptimize(values.data());
    }
}
BENCHMARK(BM_PercentileIntensities)->Unit(benchmark::kMillisecond);

void BM_OpenCvCalcHist(benchmark::State& state) {
    OpenCvHistogramOf(state, Frame());
}
BENCHMARK(BM_OpenCvCalcHist)->Unit(benchmark::kMillisecond);

// ------------------------------------------------------------ display mapping

// Samples the whole frame onto a width x height grid and maps it with overlays.
void MapToDisplay(benchmark::State& state, int width, int height) {
    const cv::Mat& frame = Frame();
    const cv::Mat& overlay = Overlay();
    std::vector<uint16_t> values;
    std::vector<uint8_t> codes;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (auto _ : state) {
        Tovanix::SampleImageToDisplayGrid(frame, values, 0.0, 1.0, 0.0, 1.0, width, height, &overlay, &codes);
        Tovanix::MapIntensitiesToDisplayColours(values.data(), width * height, pixels.data(), 40000, 24000,
                                                codes.data(), 0, 255);
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_MapToHalfSizeDisplayWithOverlays(benchmark::State& state) {
    MapToDisplay(state, kWidth / 2, kHeight / 2);
}
BENCHMARK(BM_MapToHalfSizeDisplayWithOverlays)->Unit(benchmark::kMillisecond);

void BM_OpenCvResizeAndConvertScaleAbsHalfSize(benchmark::State& state) {
    const cv::Mat& frame = Frame();
    cv::Mat small;
    cv::Mat display;
    for (auto _ : state) {
        cv::resize(frame, small, {kWidth / 2, kHeight / 2}, 0, 0, cv::INTER_NEAREST);
        cv::convertScaleAbs(small, display, 255.0 / 16000.0, -24000 * 255.0 / 16000.0);
        benchmark::DoNotOptimize(display.data);
    }
}
BENCHMARK(BM_OpenCvResizeAndConvertScaleAbsHalfSize)->Unit(benchmark::kMillisecond);

void BM_MapFullResolutionWithOverlays(benchmark::State& state) {
    MapToDisplay(state, kWidth, kHeight);
}
BENCHMARK(BM_MapFullResolutionWithOverlays)->Unit(benchmark::kMillisecond);

void BM_OpenCvConvertScaleAbsFullResolution(benchmark::State& state) {
    const cv::Mat& frame = Frame();
    cv::Mat display;
    for (auto _ : state) {
        cv::convertScaleAbs(frame, display, 255.0 / 16000.0, -24000 * 255.0 / 16000.0);
        benchmark::DoNotOptimize(display.data);
    }
}
BENCHMARK(BM_OpenCvConvertScaleAbsFullResolution)->Unit(benchmark::kMillisecond);

// ------------------------------------------------------------ focus score

const Tovanix::Roi kFocusRegion{700, 500, 1699, 1499};  // 1000 x 1000

void BM_FocusScore1000x1000(benchmark::State& state) {
    const cv::Mat& frame = Frame();
    cv::Mat work = frame.clone();
    Tovanix::String error;
    double score = 0;
    for (auto _ : state) {
        state.PauseTiming();
        frame.copyTo(work);  // the score overwrites its region
        state.ResumeTiming();
        ComputeFocusScore(work, &kFocusRegion, score, error);
        benchmark::DoNotOptimize(score);
    }
}
BENCHMARK(BM_FocusScore1000x1000)->Unit(benchmark::kMillisecond);

void BM_OpenCvCalcHist1000x1000(benchmark::State& state) {
    OpenCvHistogramOf(state, Frame()(cv::Rect(700, 500, 1000, 1000)));
}
BENCHMARK(BM_OpenCvCalcHist1000x1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
