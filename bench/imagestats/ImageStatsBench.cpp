// Per-frame image work on a 2448 x 2048 16-bit frame, one core unless an
// argument gives the number of threads. Each of our operations runs beside
// the same job done with OpenCV and, for the display mapping, beside a plain
// table loop that makes the very same pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/DisplayMapping.h"
#include "analysis/ImageStatistics.h"

// Every case warms up first and is repeated; compare the medians.
#define VELLORA_IMAGESTATS_CASE(b) b->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->Repetitions(5)

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
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_PercentileIntensities));

void BM_OpenCvCalcHist(benchmark::State& state) {
    OpenCvHistogramOf(state, Frame());
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_OpenCvCalcHist));

// ------------------------------------------------------------ display mapping

// The display job: the whole frame sampled onto a width x height grid and
// mapped from 24000..40000 onto 0..255 as 32-bit pixels with the overlay's
// lines tinted.
constexpr uint16_t kMapLow = 24000;
constexpr uint16_t kMapHigh = 40000;

// Ours, as the image view draws a new picture: sampling onto the grid (kept
// for redrawing), then mapping. Argument: number of threads.
struct OurMapping {
    int width, height;
    std::vector<uint16_t> values;
    std::vector<uint8_t> codes;
    std::vector<uint32_t> pixels;

    OurMapping(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}

    void Run() {
        Tovanix::SampleImageToDisplayGrid(Frame(), values, 0.0, 1.0, 0.0, 1.0, width, height, &Overlay(), &codes);
        Tovanix::MapIntensitiesToDisplayColours(values.data(), width * height, pixels.data(), kMapHigh, kMapLow,
                                                codes.data(), 0, 255);
        benchmark::DoNotOptimize(pixels.data());
    }
};

void MapToDisplay(benchmark::State& state, int width, int height) {
    const int previousThreads = cv::getNumThreads();
    cv::setNumThreads(static_cast<int>(state.range(0)));
    OurMapping ours(width, height);
    for (auto _ : state) {
        ours.Run();
    }
    cv::setNumThreads(previousThreads);
}

// The same pixels from one plain loop, as a user would write it: the source
// row and column of every display point, a table of 65536 display pixels
// and the tint of an overlay point worked out where it occurs.
struct PlainTableMapping {
    int width, height;
    std::vector<int> rows, columns;
    std::vector<uint32_t> pixels;
    std::vector<uint32_t> table;

    static std::vector<int> Indices(int points, int size) {
        std::vector<int> index(static_cast<size_t>(points));
        for (int i = 0; i < points; ++i)
            index[i] = static_cast<int>(static_cast<double>(i) / points * 1.0 * size);
        return index;
    }

    PlainTableMapping(int w, int h)
        : width(w), height(h), rows(Indices(h, kHeight)), columns(Indices(w, kWidth)),
          pixels(static_cast<size_t>(w) * h), table(65536) {}

    void Run() {
        const cv::Mat& frame = Frame();
        const cv::Mat& overlay = Overlay();
        std::vector<uint8_t> grey(65536);
        for (int v = 0; v < 65536; ++v) {
            const double g = static_cast<double>((v - kMapLow) * 255) / (kMapHigh - kMapLow);
            grey[v] = static_cast<uint8_t>(g <= 0.0 ? 0 : g >= 255.0 ? 255 : static_cast<int>(g));
            table[v] = grey[v] * 0x010101u;
        }
        for (int i = 0; i < height; ++i) {
            const uint16_t* in = frame.ptr<uint16_t>(rows[i]);
            const uint8_t* codesIn = overlay.ptr<uint8_t>(rows[i]);
            uint32_t* out = pixels.data() + static_cast<size_t>(i) * width;
            for (int j = 0; j < width; ++j) {
                const uint16_t v = in[columns[j]];
                const uint8_t code = codesIn[columns[j]];
                if (code == 0) {
                    out[j] = table[v];
                    continue;
                }
                const uint32_t g = grey[v];
                const uint32_t tinted = std::clamp<uint32_t>(3 * g, 32, 255);
                const uint32_t other = g / 3;
                out[j] = code == Tovanix::kOverlayRed    ? (tinted << 16) | (other << 8) | other
                         : code == Tovanix::kOverlayBlue ? (other << 16) | (other << 8) | tinted
                                                         : (other << 16) | (tinted << 8) | other;
            }
        }
        benchmark::DoNotOptimize(pixels.data());
    }
};

void MapToDisplayWithPlainTable(benchmark::State& state, int width, int height) {
    PlainTableMapping plain(width, height);
    for (auto _ : state) {
        plain.Run();
    }
    // The yardstick must make the very pixels ours makes.
    OurMapping ours(width, height);
    ours.Run();
    if (ours.pixels != plain.pixels)
        state.SkipWithError("the plain loop's pixels differ from ours");
}

// Ours and the plain loop in turns, one core: on a machine whose load
// changes this ratio (counter "ratio", ours over the loop's) is steadier
// than two cases timed apart.
void MapAgainstPlainTable(benchmark::State& state, int width, int height) {
    const int previousThreads = cv::getNumThreads();
    cv::setNumThreads(1);
    OurMapping ours(width, height);
    PlainTableMapping plain(width, height);
    double ourTime = 0.0, plainTime = 0.0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        ours.Run();
        const Clock::time_point middle = Clock::now();
        plain.Run();
        const Clock::time_point end = Clock::now();
        const double a = std::chrono::duration<double>(middle - start).count();
        const double b = std::chrono::duration<double>(end - middle).count();
        ourTime += a;
        plainTime += b;
        state.SetIterationTime(a + b);
    }
    state.counters["ratio"] = plainTime > 0.0 ? ourTime / plainTime : 0.0;
    cv::setNumThreads(previousThreads);
}

// The same job through OpenCV: nearest-neighbour resizing of the frame and
// the overlay, the linear mapping to 8-bit grey, grey to 32-bit pixels and
// the overlay's points painted in flat colours (no tint from the grey).
void MapToDisplayThroughOpenCv(benchmark::State& state, int width, int height) {
    const cv::Mat& frame = Frame();
    const cv::Mat& overlay = Overlay();
    cv::Mat small, smallCodes, grey, display, mask;
    const double scale = 255.0 / (kMapHigh - kMapLow);
    for (auto _ : state) {
        cv::resize(frame, small, {width, height}, 0, 0, cv::INTER_NEAREST);
        cv::resize(overlay, smallCodes, {width, height}, 0, 0, cv::INTER_NEAREST);
        cv::convertScaleAbs(small, grey, scale, -kMapLow * scale);
        cv::cvtColor(grey, display, cv::COLOR_GRAY2BGRA);
        for (const auto& [code, colour] : {std::pair{Tovanix::kOverlayRed, cv::Scalar(0, 0, 255, 0)},
                                           std::pair{Tovanix::kOverlayBlue, cv::Scalar(255, 0, 0, 0)},
                                           std::pair{Tovanix::kOverlayGreen, cv::Scalar(0, 255, 0, 0)}}) {
            cv::compare(smallCodes, cv::Scalar(code), mask, cv::CMP_EQ);
            display.setTo(colour, mask);
        }
        benchmark::DoNotOptimize(display.data);
    }
}

void BM_MapToHalfSizeDisplayWithOverlays(benchmark::State& state) {
    MapToDisplay(state, kWidth / 2, kHeight / 2);
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_MapToHalfSizeDisplayWithOverlays)->Arg(1)->Arg(8)->UseRealTime());

void BM_PlainTableHalfSize(benchmark::State& state) {
    MapToDisplayWithPlainTable(state, kWidth / 2, kHeight / 2);
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_PlainTableHalfSize));

void BM_OpenCvHalfSize(benchmark::State& state) {
    MapToDisplayThroughOpenCv(state, kWidth / 2, kHeight / 2);
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_OpenCvHalfSize));

void BM_HalfSizeAgainstPlainTable(benchmark::State& state) {
    MapAgainstPlainTable(state, kWidth / 2, kHeight / 2);
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_HalfSizeAgainstPlainTable)->UseManualTime());

void BM_MapFullResolutionWithOverlays(benchmark::State& state) {
    MapToDisplay(state, kWidth, kHeight);
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_MapFullResolutionWithOverlays)->Arg(1)->Arg(8)->UseRealTime());

void BM_PlainTableFullResolution(benchmark::State& state) {
    MapToDisplayWithPlainTable(state, kWidth, kHeight);
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_PlainTableFullResolution));

void BM_FullResolutionAgainstPlainTable(benchmark::State& state) {
    MapAgainstPlainTable(state, kWidth, kHeight);
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_FullResolutionAgainstPlainTable)->UseManualTime());

void BM_OpenCvFullResolution(benchmark::State& state) {
    MapToDisplayThroughOpenCv(state, kWidth, kHeight);
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_OpenCvFullResolution));

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
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_FocusScore1000x1000));

void BM_OpenCvCalcHist1000x1000(benchmark::State& state) {
    OpenCvHistogramOf(state, Frame()(cv::Rect(700, 500, 1000, 1000)));
}
VELLORA_IMAGESTATS_CASE(BENCHMARK(BM_OpenCvCalcHist1000x1000));

}  // namespace

BENCHMARK_MAIN();
