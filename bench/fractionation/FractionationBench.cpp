// The fractionation pipeline on a recorded experiment of 40 frames of
// 2448 x 2048: channel rows 500 to 1599, noise with cells flowing through,
// meniscus templates that match nowhere (so both searches scan all their
// frames) and the split line cached in the settings file.
//
//   BM_FractionationAnalysis  the whole pipeline, as the run screen calls it
//   BM_FractionationSteps     the same steps called one by one; counters give
//                             each step's seconds
//
// Target: the whole pipeline in at most 10 s. The experiment is written once
// into a temporary folder.

#include "analysis/AnalysisEngineState.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/FlowGeometry.h"
#include "analysis/FractionationAnalysis.h"
#include "analysis/FractionationPipeline.h"
#include "analysis/MeniscusSearch.h"
#include "analysis/SplitLineDetection.h"
#include "app/VelloraApp.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 40;
constexpr int kWidth = 2448;
constexpr int kHeight = 2048;

struct Experiment {
    fs::path root;
    fs::path folder;
};

const Experiment& RecordedExperiment()
{
    static const Experiment experiment = [] {
        Experiment e;
        e.root = fs::temp_directory_path() / ("vellora-fractionation-bench-" + std::to_string(::getpid()));
        e.folder = e.root / "Exp1";
        fs::create_directories(e.folder);
        theApp.m_strDataRoot = (e.root / "DataRoot").c_str();

        cv::RNG rng(17);
        for (const char* kind : {"lead", "trail"}) {
            const fs::path templates = e.root / "DataRoot" / "Templates" / (std::string(kind) + "-meniscus-templates");
            fs::create_directories(templates);
            cv::Mat templ(300, 160, CV_8UC1, cv::Scalar(0));
            cv::line(templ, {0, 0}, {159, 299}, cv::Scalar(255), 9);
            cv::imwrite((templates / "meniscus.png").string(), templ);
        }

        std::ofstream log(e.folder / "20260304-1000-10.log", std::ios::binary);
        log << "ImageFile\tDate\tTime\tExposure(us)\tPump1SpeedULpMin\tPump2SpeedULpMin\r\n";
        for (int i = 0; i < kFrames; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "Exp1_Brightfield_%04d.png", i);
            const int ms = 1500 * i;
            char time[32];
            std::snprintf(time, sizeof time, "10:%02d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
            log << name << "\t2026/03/04\t" << time << "\t1000\t60\t20\r\n";
            cv::Mat frame(kHeight, kWidth, CV_16UC1);
            rng.fill(frame, cv::RNG::NORMAL, 20000, 600);
            for (int cell = 0; cell < 400; ++cell)
                cv::circle(frame, {rng.uniform(0, kWidth), rng.uniform(1100, 1600)}, 6, cv::Scalar(32000), -1);
            cv::imwrite((e.folder / name).string(), frame);
        }
        std::ofstream(e.folder / "Exp1.ini", std::ios::binary)
            << "[ExperimentSettings]\r\nExperimentFullName=Exp1\r\n"
               "[Cartridge]\r\nCartridgeUpperChannel=500\r\nCartridgeLowerChannel=1599\r\n"
               "CartridgeChannelDetectedOffset=3\r\nCartridgeChannelDetectedRotation=0.004\r\n"
               "CartridgeChannelDetectedRotationCenterX=1224\r\nCartridgeChannelDetectedRotationCenterY=1024\r\n"
               "[CalibrationSettings]\r\nimage_pixels_per_mm=100\r\n";
        return e;
    }();
    return experiment;
}

double Seconds(const std::function<bool()>& step, bool& ok)
{
    const auto start = std::chrono::steady_clock::now();
    ok = step() && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_FractionationAnalysis(benchmark::State& state)
{
    const Experiment& e = RecordedExperiment();
    for (auto _ : state) {
        double top = 0, bottom = 0;
        std::string error;
        if (!FractionationAnalysis(nullptr, e.folder.c_str(), "Fractions", top, bottom, &error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(top);
    }
}
BENCHMARK(BM_FractionationAnalysis)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FractionationSteps(benchmark::State& state)
{
    const Experiment& e = RecordedExperiment();
    const std::string folder = e.folder.string();
    double load = 0, splitLine = 0, lead = 0, trail = 0, geometry = 0, analysis = 0;
    for (auto _ : state) {
        std::lock_guard<std::mutex> engine(AnalysisEngineLock());
        ResetMeniscusSearches();
        ResetFlowGeometry();
        ExperimentDataSet data;
        std::string error;
        bool ok = true;
        load += Seconds(
            [&] {
                OpenExperimentFolder(data, folder);
                return ParseCaptureLog(data, data.captureLogPath) &&
                       ReadExperimentSettings(data, data.settingsFilePath, &error);
            },
            ok);
        splitLine += Seconds([&] { return DetectSplitLineFromLogs(data, folder, data.settingsFilePath, &error); }, ok);
        lead += Seconds([&] { return LeadMeniscusIndex(folder, data, &error); }, ok);
        trail += Seconds([&] { return TrailMeniscusIndex(folder, data, &error); }, ok);
        geometry += Seconds([&] { return CalculateSplitLine(data, &error) && CalculatePixelShiftPerFrame(data, &error); },
                            ok);
        analysis += Seconds(
            [&] { return ConductFractionationAnalysis(folder, data.experimentName, "Fractions", data, &error); }, ok);
        if (!ok)
            state.SkipWithError(error.c_str());
        ResetMeniscusSearches();
        ResetFlowGeometry();
        ResetFractionationState();
    }
    const auto average = benchmark::Counter::kAvgIterations;
    state.counters["load_s"] = benchmark::Counter(load, average);
    state.counters["splitline_s"] = benchmark::Counter(splitLine, average);
    state.counters["lead_s"] = benchmark::Counter(lead, average);
    state.counters["trail_s"] = benchmark::Counter(trail, average);
    state.counters["geometry_s"] = benchmark::Counter(geometry, average);
    state.counters["analysis_s"] = benchmark::Counter(analysis, average);
}
BENCHMARK(BM_FractionationSteps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(fs::temp_directory_path() /
                       ("vellora-fractionation-bench-" + std::to_string(::getpid())),
                   ignored);
    return 0;
}
