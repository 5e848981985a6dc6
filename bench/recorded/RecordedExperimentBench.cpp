// The montage pipeline on a recorded experiment of 40 flowing frames of
// 2448 x 2048 (plus two standing ones): each step alone and the whole
// pipeline. The frames are the virtual camera's pictures of a sample plug
// crossing the channel, written once into a temporary folder with their
// capture log, settings file and the supplied templates.
//
// Run: build/<dir>/bench/recorded/recorded_bench

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "analysis/AnalysisEngineState.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/FalseColourFrames.h"
#include "analysis/FlowGeometry.h"
#include "analysis/MeniscusSearch.h"
#include "analysis/MontageImage.h"
#include "analysis/MontagePipeline.h"
#include "analysis/SplitLineDetection.h"
#include "app/SuppliedFiles.h"
#include "app/VelloraApp.h"
#include "sim/CameraScene.h"
#include "support/AppLogs.h"

namespace {

constexpr int kStanding = 2;
constexpr int kFlowing = 40;

std::filesystem::path g_root;
std::filesystem::path g_experiment;
CString g_dataRoot;

void WriteText(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The plug moves 300 pixels a frame (3 ul at 100 pixels per ul); it is
// 120 ul long, so the lead shows in the first quarter and the trail in the
// second half of the run.
void PrepareExperiment()
{
    if (!g_root.empty())
        return;
    std::string pattern = (std::filesystem::temp_directory_path() / "vellora-bench-XXXXXX").string();
    g_root = mkdtemp(pattern.data());
    std::filesystem::create_directories(g_root / "LOG");
    g_dataRoot = g_root.c_str();
    theApp.m_strDataRoot = g_dataRoot;
    theApp.m_strFileVersion = "1.0.0.0";
    g_IniPath = (g_root / "Vellora.ini").c_str();
    SetAppLogSources({&theApp.m_strDataRoot, &theApp.m_strFileVersion, &theApp.m_strDisplayName, &g_IniPath});
    std::string error;
    InstallMissingDataRootFiles(g_root.c_str(), &error);

    g_experiment = g_root / "20240315-0942-07_Bench";
    const auto walls = sim::ChannelGeometry::ForSensorHeight(2048);
    WriteText(g_experiment / "ExperimentSettings.ini",
              "[ExperimentSettings]\r\nExperimentFullName=Bench\r\n[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n"
              "[Cartridge]\r\nCartridgeUpperChannel=" + std::to_string(walls.upperWallBottom) +
                  "\r\nCartridgeLowerChannel=" + std::to_string(walls.lowerWallTop - 1) + "\r\n");
    std::string log = "09:42:07.000\tCartridge barcode 410-000-0001\r\n"
                      "ImageFile\tDate\tTime\tExposure(us)\tPump1SpeedULpMin\tPump2SpeedULpMin\r\n";
    std::filesystem::create_directories(g_experiment / "Images");
    sim::SceneRenderer renderer;
    for (int index = 0; index < kStanding + kFlowing; ++index) {
        const int flowing = index - kStanding;
        sim::SampleContent sample;
        sample.plug = true;
        sample.leadMeniscusColumn = flowing < 0 ? -50 : -50 + 300.0 * (flowing + 1);
        sample.trailMeniscusColumn = sample.leadMeniscusColumn - 12000;
        sample.splitLineRow = walls.lowerWallTop - 0.6 * (walls.lowerWallTop - walls.upperWallBottom);
        sim::SceneView view;
        view.ledMask = 1;
        view.sample = &sample;
        sim::SceneExposure exposure;
        exposure.exposureUs = 10000;
        exposure.noiseKey = static_cast<uint64_t>(index + 1);
        cv::Mat frame(2048, 2448, CV_16UC1);
        renderer.Render(view, exposure, frame.ptr<uint16_t>());
        frame *= 16;
        cv::flip(frame, frame, 1);
        char name[64];
        std::snprintf(name, sizeof name, "Bench_Brightfield_%04d.png", index);
        cv::imwrite((g_experiment / "Images" / name).string(), frame);
        char row[200];
        const int seconds = 7 + 2 * index;
        std::snprintf(row, sizeof row, "%s\t2024/03/15\t09:%02d:%02d.000\t10000\t%s\t%s\r\n", name, 42 + seconds / 60,
                      seconds % 60, flowing < 0 ? "0.00" : "54.00", flowing < 0 ? "0.00" : "36.00");
        log += row;
    }
    WriteText(g_experiment / "20240315-0942-07_Bench.log", log);
}

// The data set as the pipeline loads it.
ExperimentDataSet Loaded()
{
    ExperimentDataSet data;
    std::string error;
    OpenExperimentFolder(data, g_experiment.string());
    ParseCaptureLog(data, data.captureLogPath);
    ReadExperimentSettings(data, data.settingsFilePath, &error);
    DetectSplitLineFromLogs(data, g_experiment.string(), data.settingsFilePath, &error);
    return data;
}

void BM_LoadAndDetectSplitLine(benchmark::State& state)
{
    PrepareExperiment();
    for (auto _ : state)
        benchmark::DoNotOptimize(Loaded());
}
BENCHMARK(BM_LoadAndDetectSplitLine)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DisplayLevels(benchmark::State& state)
{
    PrepareExperiment();
    const ExperimentDataSet data = Loaded();
    for (auto _ : state) {
        FalseColourLevels levels;
        ComputeReferenceContrastLevels(data, levels);
    }
}
BENCHMARK(BM_DisplayLevels)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MeniscusSearches(benchmark::State& state)
{
    PrepareExperiment();
    const ExperimentDataSet data = Loaded();
    std::string error;
    for (auto _ : state) {
        ResetMeniscusSearches();
        LeadMeniscusIndex(g_experiment.string(), data, &error);
        TrailMeniscusIndex(g_experiment.string(), data, &error);
    }
    state.counters["lead"] = g_LeadMeniscusSearch.frameIndex;
    state.counters["trail"] = g_TrailMeniscusSearch.frameIndex;
}
BENCHMARK(BM_MeniscusSearches)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MontageImage(benchmark::State& state)
{
    PrepareExperiment();
    const ExperimentDataSet data = Loaded();
    std::string error;
    ResetMeniscusSearches();
    LeadMeniscusIndex(g_experiment.string(), data, &error);
    TrailMeniscusIndex(g_experiment.string(), data, &error);
    CalculateSplitLine(data, &error);
    CalculatePixelShiftPerFrame(data, &error);
    ChannelDisplaySettings levels;
    ComputeReferenceContrastLevels(data, levels);
    for (auto _ : state) {
        if (!CreateMontageImage(g_experiment.string(), data, levels, "BenchMontage", &error))
            state.SkipWithError(error.c_str());
    }
    ExperimentDataSet emptied;
    ResetAfterPipeline(emptied);
}
BENCHMARK(BM_MontageImage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeMontagePipeline(benchmark::State& state)
{
    PrepareExperiment();
    std::string error;
    for (auto _ : state) {
        if (!CreateMontage(nullptr, g_experiment.string(), 0, 0, "BenchMontage", &error))
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_WholeMontagePipeline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    if (!g_root.empty())
        std::filesystem::remove_all(g_root, ec);
    return 0;
}
