// Circular counting of a full 2448 x 2048 frame holding about 1,000 synthetic
// cells, with a typical parameter set: 10 um cells at 1000 pixels per mm,
// swept by 4 um (nine trial radii), 16 samples per ring, inner ring on.
//
// Counters: cells found (recall), detections on cells (precision).
// Arguments: number of threads (1 = single core).
//
// The yardstick is OpenCV's HoughCircles on the same frame, brought to 8 bits
// the way a user would, with parameters that find every cell.
// Every case warms up first (buffers mapped, thread pool started) and is
// repeated; compare the medians. The counter page_faults is the pages first
// touched per call: buffers kept between calls leave it near 0.
//
// On a machine shared with other work the load changes between cases, so
// the ratios are also taken within one case, the two sides in turns: ours
// against HoughCircles on one core (counter "ratio", ours over theirs), and
// ours on 8 threads against 1 (counter "speedup").

#include "analysis/CountingAlgo.h"
#include "analysis/testsupport/SyntheticCells.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdlib>

#include <sys/resource.h>

namespace {

const SyntheticCellImage& Frame()
{
    static const SyntheticCellImage frame = [] {
        SyntheticCellSpec spec;
        spec.size = cv::Size(2448, 2048);
        spec.cellCount = 1000;
        spec.minSpacing = 45;
        spec.seed = 2024;
        return MakeSyntheticCellImage(spec);
    }();
    return frame;
}

CountingAlgoOptions TypicalOptions(bool lowRingThreshold)
{
    CountingAlgoOptions o;
    o.image_pixels_per_mm = 1000.0;
    o.EdgeProcessing = false;
    o.MFilter1 = o.CFilter1 = true;
    o.ProximityFilteringWithinType1 = true;
    o.ProximityFilteringWithinType2 = true;
    o.ProximityFilteringBetweenType1_2 = true;
    o.ObjectRadius1 = 10.0;
    o.ObjectRadiusSweep1 = 4;
    o.MFilterSamples1 = 16;
    // A ring threshold between background and cell rings, or none at all
    // (every pixel then goes through the full ring comparison).
    o.MFilterThreshold1 = lowRingThreshold ? 0 : 10000;
    o.CFilterThreshold1 = 200;
    o.CFilterMinSize1 = 1;
    o.UseInnerRing1 = true;
    o.Left = 0;
    o.Top = 0;
    o.Right = 2447;
    o.Bottom = 2047;
    return o;
}

void Score(benchmark::State& state, const std::vector<CellDetection>& found)
{
    const auto& centres = Frame().centres;
    std::vector<bool> hit(centres.size(), false);
    size_t onCells = 0;
    for (const CellDetection& d : found) {
        for (size_t i = 0; i < centres.size(); ++i) {
            if (std::abs(d.x - centres[i].x) <= 2 && std::abs(d.y - centres[i].y) <= 2) {
                hit[i] = true;
                ++onCells;
                break;
            }
        }
    }
    size_t cellsFound = 0;
    for (bool h : hit)
        cellsFound += h;
    state.counters["cells"] = static_cast<double>(centres.size());
    state.counters["detections"] = static_cast<double>(found.size());
    state.counters["recall"] = static_cast<double>(cellsFound) / static_cast<double>(centres.size());
    state.counters["precision"] = found.empty() ? 0.0 : static_cast<double>(onCells) / static_cast<double>(found.size());
}

// Canny's upper threshold and the accumulator votes HoughCircles needs to
// find all the cells of the frame.
constexpr double kHoughEdge = 60.0;
constexpr double kHoughVotes = 18.0;

long MinorPageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

void BM_CountingAlgo(benchmark::State& state, bool lowRingThreshold)
{
    const int previousThreads = cv::getNumThreads();
    cv::setNumThreads(static_cast<int>(state.range(0)));
    const CountingAlgoOptions options = TypicalOptions(lowRingThreshold);
    const cv::Mat& image = Frame().image;
    std::vector<std::vector<CellDetection>> found;
    const long faultsBefore = MinorPageFaults();
    for (auto _ : state) {
        found.assign(2, {});
        CountingAlgo(image, options, found);
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["page_faults"] =
        benchmark::Counter(static_cast<double>(MinorPageFaults() - faultsBefore), benchmark::Counter::kAvgIterations);
    Score(state, found[0]);
    cv::setNumThreads(previousThreads);
}

void FindHoughCircles(const cv::Mat& image, cv::Mat& gray, std::vector<cv::Vec3f>& circles)
{
    // Background 8000 and ring crests near 14000 map to about 30..220.
    image.convertTo(gray, CV_8U, 1.0 / 32.0, -7000.0 / 32.0);
    cv::HoughCircles(gray, circles, cv::HOUGH_GRADIENT, 1.0, 20.0, kHoughEdge, kHoughVotes, 6, 14);
}

void BM_HoughCircles(benchmark::State& state)
{
    const int previousThreads = cv::getNumThreads();
    cv::setNumThreads(static_cast<int>(state.range(0)));
    const cv::Mat& image = Frame().image;
    cv::Mat gray;
    std::vector<cv::Vec3f> circles;
    for (auto _ : state) {
        FindHoughCircles(image, gray, circles);
        benchmark::DoNotOptimize(circles.data());
    }
    std::vector<CellDetection> found;
    for (const cv::Vec3f& c : circles) {
        CellDetection d;
        d.x = static_cast<int32_t>(std::lround(c[0]));
        d.y = static_cast<int32_t>(std::lround(c[1]));
        d.radius = c[2];
        found.push_back(d);
    }
    Score(state, found);
    cv::setNumThreads(previousThreads);
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Ours and HoughCircles in turns, both on one core.
void BM_CountingAgainstHough(benchmark::State& state, bool lowRingThreshold)
{
    const int previousThreads = cv::getNumThreads();
    cv::setNumThreads(1);
    const CountingAlgoOptions options = TypicalOptions(lowRingThreshold);
    const cv::Mat& image = Frame().image;
    std::vector<std::vector<CellDetection>> found;
    cv::Mat gray;
    std::vector<cv::Vec3f> circles;
    double ours = 0.0, theirs = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        found.assign(2, {});
        CountingAlgo(image, options, found);
        benchmark::DoNotOptimize(found.data());
        const double ourTime = SecondsSince(start);
        const Clock::time_point middle = Clock::now();
        FindHoughCircles(image, gray, circles);
        benchmark::DoNotOptimize(circles.data());
        const double theirTime = SecondsSince(middle);
        ours += ourTime;
        theirs += theirTime;
        state.SetIterationTime(ourTime + theirTime);
    }
    state.counters["ratio"] = theirs > 0.0 ? ours / theirs : 0.0;
    Score(state, found[0]);
    cv::setNumThreads(previousThreads);
}

// Ours on one core and on eight in turns.
void BM_CountingScaling(benchmark::State& state, bool lowRingThreshold)
{
    const int previousThreads = cv::getNumThreads();
    const CountingAlgoOptions options = TypicalOptions(lowRingThreshold);
    const cv::Mat& image = Frame().image;
    std::vector<std::vector<CellDetection>> found;
    double one = 0.0, eight = 0.0;
    for (auto _ : state) {
        double time[2] = {0.0, 0.0};
        for (int run = 0; run < 2; ++run) {
            cv::setNumThreads(run == 0 ? 1 : 8);
            const Clock::time_point start = Clock::now();
            found.assign(2, {});
            CountingAlgo(image, options, found);
            benchmark::DoNotOptimize(found.data());
            time[run] = SecondsSince(start);
        }
        one += time[0];
        eight += time[1];
        state.SetIterationTime(time[0] + time[1]);
    }
    state.counters["speedup"] = eight > 0.0 ? one / eight : 0.0;
    Score(state, found[0]);
    cv::setNumThreads(previousThreads);
}

}  // namespace

#define VELLORA_COUNTING_CASE(b) \
    b->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->MinWarmUpTime(0.5)->Repetitions(5)
VELLORA_COUNTING_CASE(BENCHMARK_CAPTURE(BM_CountingAlgo, ring_threshold, false));
VELLORA_COUNTING_CASE(BENCHMARK_CAPTURE(BM_CountingAlgo, no_ring_threshold, true));
VELLORA_COUNTING_CASE(BENCHMARK(BM_HoughCircles));

#define VELLORA_COUNTING_PAIR(b) \
    b->Unit(benchmark::kMillisecond)->UseManualTime()->MinWarmUpTime(0.5)->Repetitions(5)
VELLORA_COUNTING_PAIR(BENCHMARK_CAPTURE(BM_CountingAgainstHough, ring_threshold, false));
VELLORA_COUNTING_PAIR(BENCHMARK_CAPTURE(BM_CountingAgainstHough, no_ring_threshold, true));
VELLORA_COUNTING_PAIR(BENCHMARK_CAPTURE(BM_CountingScaling, ring_threshold, false));
VELLORA_COUNTING_PAIR(BENCHMARK_CAPTURE(BM_CountingScaling, no_ring_threshold, true));

BENCHMARK_MAIN();
