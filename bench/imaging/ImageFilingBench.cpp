// Filing must keep up with the workflow: one 2448 x 2048 16-bit frame is
// encoded, tagged, written through a temporary file and logged. The bare PNG
// encode of the same frame runs in the same process for comparison, and a
// whole four-type workflow step on the virtual instrument shows how far the
// parallel writing hides the filing behind the captures.
//
// Run: build/<dir>/bench/imaging/bench_imaging (writes into a temporary folder).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraFactory.h"
#include "devices/DigitalIO.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/ImageCapture.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/ImageFiling.h"
#include "sim/SampleFlow.h"
#include "sim/VirtualCamera.h"
#include "sim/VirtualInstrument.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"

namespace {

std::filesystem::path g_root;
CString g_dataRoot;

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A data root with an experiment of four image types in a temporary folder.
void PrepareExperiment() {
    if (!g_root.empty()) return;
    std::string pattern = (std::filesystem::temp_directory_path() / "vellora-bench-XXXXXX").string();
    g_root = mkdtemp(pattern.data());
    std::filesystem::create_directories(g_root / "LOG");
    g_dataRoot = g_root.c_str();
    theApp.m_strDataRoot = g_dataRoot;
    theApp.m_strFileVersion = "1.0.0.0";
    g_IniPath = (g_root / "Vellora.ini").c_str();
    SetAppLogSources({&theApp.m_strDataRoot, &theApp.m_strFileVersion, &theApp.m_strDisplayName, &g_IniPath});
    const auto experiment = g_root / "Bench";
    std::filesystem::create_directories(experiment / "Images");
    std::string settings = "[ExperimentSettings]\r\nExperimentImageNamePrefix=Bench\r\nExperimentFullName=Bench\r\n"
                           "ExperimentDirectory=" + experiment.string() + "\r\n";
    for (int n = 1; n <= 4; ++n) {
        const std::string i = std::to_string(n);
        settings += "IsActive" + i + "=TRUE\r\nImageTypeName" + i + "=Type" + i + "\r\nImageTypeExposure" + i +
                    "=" + (n == 1 ? "2000" : "50000") + "\r\n";
    }
    settings += "[DIO_Config]\r\nMapping=Interlock\r\nLED0_port=0\r\nLED0_line=0\r\nLED1_port=0\r\nLED1_line=1\r\n"
                "LED2_port=0\r\nLED2_line=2\r\nLED3_port=0\r\nLED3_line=3\r\nCartridge_Port=0\r\nCartridge_Line=4\r\n"
                "Clamp_Port=0\r\nClamp_Line=5\r\n";
    WriteText(g_IniPath.str(), settings);
    if (!_CachedLog_semaphore) _CachedLog_semaphore = new platform::Semaphore(1, 1);
    RememberCameraIdentity("acA2440-35um", "24015833");
}

// A bright-field frame of the virtual camera with a sample plug in view.
cv::Mat SampleFrame() {
    sim::SamplePlug plug;
    plug.inletColumn = 1800;
    sim::SampleFlow::Instance().Load(plug);
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().digitalLines[3] = true;
    }
    std::vector<uint16_t> samples;
    int width = 0, height = 0, bits = 0;
    sim::VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);
    {
        auto lock = sim::VirtualInstrument::Instance().Lock();
        sim::VirtualInstrument::Instance().State().digitalLines[3] = false;
    }
    cv::Mat frame(height, width, CV_16UC1, samples.data());
    return frame * 16;  // 12-bit samples shifted left by 4, as the camera delivers them
}

void ForgetLogs() {
    platform::SemaphoreLock lock(*_CachedLog_semaphore, 1000);
    g_CachedLogs.clear();
    g_LastCachedLogIndex = -1;
}

void BM_PngEncodeOnly(benchmark::State& state) {
    PrepareExperiment();
    const cv::Mat frame = SampleFrame();
    std::vector<uchar> bytes;
    for (auto _ : state) {
        cv::imencode(".png", frame, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["MB"] = bytes.size() / 1e6;
}
BENCHMARK(BM_PngEncodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FileOneImage(benchmark::State& state) {
    PrepareExperiment();
    const cv::Mat frame = SampleFrame();
    CString error;
    for (auto _ : state) {
        if (!SaveImageToExperiment(frame, "Type1", 5, 0, 2000, error, nullptr, nullptr)) {
            state.SkipWithError(error.GetString());
            break;
        }
    }
    ForgetLogs();
}
BENCHMARK(BM_FileOneImage)->Unit(benchmark::kMillisecond)->UseRealTime();

// A four-type step on the virtual instrument: four captures (spacing set to
// nothing, each light's 5 ms settle kept) with the four frames filed.
void BM_WorkflowStepFourTypes(benchmark::State& state) {
    PrepareExperiment();
    sim::SampleFlow::Instance().Unload();
    CString error;
    if (!Initialize_DIO(&error, false) || !LoadDIOMapping(&error)) {
        state.SkipWithError(error.GetString());
        return;
    }
    delete theApp.m_pCamera;
    theApp.m_pCamera = CreateCameraForType("");
    if (!theApp.m_pCamera->Initialize(&error, false)) {
        state.SkipWithError(error.GetString());
        return;
    }
    if (!g_CaptureSemaphore) g_CaptureSemaphore = std::make_unique<platform::Semaphore>(1, 1);
    theApp.m_nMinTimeBetweenCaptureEventsMs = 0;
    theApp.m_bWorkflowRunning = true;
    for (auto _ : state) {
        if (!RunImageCaptureWorkflowStep(7, error, nullptr)) {
            state.SkipWithError(error.GetString());
            break;
        }
    }
    theApp.m_bWorkflowRunning = false;
    ForgetLogs();
}
BENCHMARK(BM_WorkflowStepFourTypes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same four frames captured alone, to tell the captures' share of a step.
void BM_CaptureFourTypes(benchmark::State& state) {
    PrepareExperiment();
    CString error;
    cv::Mat frame;
    for (auto _ : state) {
        for (int t = 0; t < 4; ++t) {
            if (!CaptureSingleImage_low_level(frame, t, t == 0 ? 2000 : 50000, error)) {
                state.SkipWithError(error.GetString());
                return;
            }
        }
    }
}
BENCHMARK(BM_CaptureFourTypes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
