// The batch analysis engine on full 2448 x 2048 frames with a typical
// parameter set: circular counting (10 um cells, nine trial radii, inner
// ring) and epifluorescence counting over most of the frame, ROI statistics
// and both projections, with a capture log beside the images.
//
//   BM_OneImage      one image through the whole per-image work and the
//                    run's outputs (one worker)
//   BM_Folder/<n>/<t>  a folder of 20 images with n workers and t threads
//                      for the image library (1/1 is one core)
//
// Counter `identical` is 1 when the folder's result files equal those of the
// single-core run. Images are written once into a temporary folder.

#include "analysis/ImageAnalysisRun.h"
#include "analysis/testsupport/SyntheticCells.h"
#include "platform/Clock.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int kFolderImages = 20;

fs::path WorkRoot()
{
    static const fs::path root = [] {
        fs::path dir = fs::temp_directory_path() / ("vellora-analysisrun-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        return dir;
    }();
    return root;
}

// A frame of bright-ring cells (circular counting) with dark rings between
// them (epifluorescence counting).
cv::Mat Frame(int index)
{
    SyntheticCellSpec spec;
    spec.size = cv::Size(2448, 2048);
    spec.cellCount = 600;
    spec.minSpacing = 45;
    spec.seed = 100 + static_cast<uint64_t>(index);
    cv::Mat image = MakeSyntheticCellImage(spec).image;
    cv::RNG rng(static_cast<uint64_t>(index) + 7);
    for (int i = 0; i < 150; ++i)
        cv::circle(image, {rng.uniform(80, 2368), rng.uniform(80, 1968)}, 9, cv::Scalar(1500), 2);
    return image;
}

// A folder holding `count` images, their capture log and the parameter files.
struct BenchFolder {
    fs::path dir;
    std::string cirParams, epiParams;
    std::vector<std::string> names;
};

const BenchFolder& Folder(int count)
{
    static std::map<int, BenchFolder> folders;
    auto found = folders.find(count);
    if (found != folders.end())
        return found->second;
    BenchFolder& f = folders[count];
    f.dir = WorkRoot() / ("images" + std::to_string(count));
    fs::create_directories(f.dir);
    std::ofstream log(f.dir / "20260101-1200-00.log", std::ios::binary);
    log << "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
           "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\r\n";
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "bench_Ex474_%04d.png", i + 1);
        f.names.push_back(name);
        cv::imwrite((f.dir / name).string(), Frame(i));
        log << name << "\t2026/01/01\t12:" << (i < 10 ? "0" : "") << i << ":00.000\t100\tOK\t0\t1\t2\t3\t5\t5\t"
            << i * 5 << "\t" << i * 5 << "\r\n";
    }
    f.cirParams = (WorkRoot() / "typical.counting_params").string();
    std::ofstream(f.cirParams, std::ios::binary)
        << "[CountingAlgorithmDlg]\r\nMFilter1=TRUE\r\nCFilter1=TRUE\r\nObjectRadius1=10\r\nObjectRadiusSweep1=4\r\n"
           "MFilterSamples1=16\r\nMFilterThreshold1=10000\r\nCFilterThreshold1=200\r\nCFilterMinSize1=1\r\n"
           "UseInnerRing1=TRUE\r\nEdgeProcessing=FALSE\r\nLeft=50\r\nTop=50\r\nRight=2397\r\nBottom=1997\r\n";
    f.epiParams = (WorkRoot() / "typical.epi_counting_params").string();
    std::ofstream(f.epiParams, std::ios::binary)
        << "[EpiCellCountingAlgoDlg]\r\nLeft=50\r\nTop=50\r\nRight=2397\r\nBottom=1997\r\nMinSize=15\r\n"
           "MaxRatio=0.45\r\n";
    return f;
}

std::shared_ptr<ImageAnalysisRun> MakeRun(const BenchFolder& f)
{
    auto run = std::make_shared<ImageAnalysisRun>();
    for (const std::string& name : f.names)
        run->fileNames.Add(name.c_str());
    run->imageDir = f.dir.c_str();
    Tovanix::String problems;
    run->cirOptions.LoadFromFile(f.cirParams.c_str(), problems);
    run->cirOptions.image_pixels_per_mm = 1000;
    run->cirOptions.enabled = true;
    run->epiParams.LoadFromFile(f.epiParams.c_str());
    run->epiParams.enabled = true;
    run->upperMagnet = 100;
    run->lowerMagnet = 1900;
    return run;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The run's result files, concatenated, and the run folder removed.
std::string TakeResults(const ImageAnalysisRun& run)
{
    const fs::path folder = fs::path(run.Snapshot().analysisFile).parent_path();
    std::string all;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files)
        all += file.filename().string() + "\n" + ReadAll(file);
    fs::remove_all(folder);
    return all;
}

// Each run gets its own second, so run folders never collide.
platform::ManualClock& BenchClock()
{
    static platform::ManualClock clock;
    static const bool installed = [] {
        clock.SetWallTime(std::chrono::system_clock::from_time_t(1767268800));
        platform::SetClock(&clock);
        return true;
    }();
    (void)installed;
    clock.SetWallTime(clock.WallNow() + std::chrono::seconds(1));
    return clock;
}

std::string RunOnce(const BenchFolder& f, int cores, int libraryThreads)
{
    BenchClock();
    cv::setNumThreads(libraryThreads);
    SetImageAnalysisWorkerCount(cores);
    auto run = MakeRun(f);
    ImageAnalysisThread(run);
    return TakeResults(*run);
}

void BM_OneImage(benchmark::State& state)
{
    const BenchFolder& f = Folder(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(RunOnce(f, 1, 1));
}

void BM_Folder(benchmark::State& state)
{
    const BenchFolder& f = Folder(kFolderImages);
    static const std::string reference = RunOnce(f, 1, 1);
    std::string results;
    for (auto _ : state)
        results = RunOnce(f, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    state.counters["identical"] = results == reference ? 1 : 0;
    state.counters["images"] = kFolderImages;
}

}  // namespace

BENCHMARK(BM_OneImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(BM_Folder)
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({4, 1})
    ->Args({8, 1})
    ->Args({8, 8})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

BENCHMARK_MAIN();
