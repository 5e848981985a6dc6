// Start-up on the virtual instrument with fresh machine folders, headless:
// the whole sequence, and the steps that take most of it. Each run starts a
// new data root, so every run is a first start.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "app/VelloraApp.h"
#include "app/startup/StartUp.h"
#include "devices/Camera.h"
#include "imaging/LiveView.h"
#include "imaging/RenderList.h"
#include "platform/UiBridge.h"
#include "sim/VirtualInstrumentSession.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// Fresh public documents, program data and runtime folders for one run.
void FreshFolders(int run) {
    const fs::path root = fs::temp_directory_path() / ("vellora_bench_startup_" + std::to_string(getpid())) /
                          std::to_string(run);
    fs::remove_all(root);
    for (const char* folder : {"PublicDocuments", "ProgramData", "Program", "Runtime"}) {
        fs::create_directories(root / folder);
    }
    fs::permissions(root / "Runtime", fs::perms::owner_all, fs::perm_options::replace);
    setenv("VELLORA_PUBLIC_DOCUMENTS", (root / "PublicDocuments").c_str(), 1);
    setenv("VELLORA_PROGRAM_DATA", (root / "ProgramData").c_str(), 1);
    setenv("VELLORA_PROGRAM_DIR", (root / "Program").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "Runtime").c_str(), 1);
}

void EndStart() {
    StopStartupThreads();
    StopLiveViewThread(nullptr);
    StopImageRenderThread();
    ReleaseInstanceLock();
    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
}

// From the first step to the end of the sequence: the main window's slot
// (after the settings file), then the windows made after discovery and the
// test grab. Counters: when each was reached, in ms.
void BM_StartUpToReady(benchmark::State& state) {
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi(ui);
    sim::VirtualInstrumentSession instrument;
    std::string error;
    if (!instrument.Start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    int run = 0;
    double mainWindowMs = 0;
    double devicesReadyMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FreshFolders(run++);
        Clock::time_point start;
        StartupWindows windows;
        windows.createMainWindow = [&] {
            mainWindowMs += Ms(Clock::now() - start);
            return true;
        };
        windows.createModelessWindows = [&] { devicesReadyMs += Ms(Clock::now() - start); };
        SetStartupWindows(windows);
        state.ResumeTiming();

        start = Clock::now();
        const bool started = theApp.InitInstance();

        state.PauseTiming();
        SetStartupWindows({});
        EndStart();
        if (!started) {
            const auto boxes = ui.ShownBoxes();
            state.SkipWithError(boxes.empty() ? "start-up failed" : boxes.back().text.c_str());
            break;
        }
        state.ResumeTiming();
    }
    state.counters["main_window_ms"] = benchmark::Counter(mainWindowMs / run);
    state.counters["devices_ready_ms"] = benchmark::Counter(devicesReadyMs / run);
}
// One run per process: the camera library keeps its opens 5 s apart.
BENCHMARK(BM_StartUpToReady)->Unit(benchmark::kMillisecond)->Iterations(1);

// The power and camera probe with the instrument on: the USB listing and the
// fixed 2 s settling wait.
void BM_InstrumentPowerCheck(benchmark::State& state) {
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi(ui);
    sim::VirtualInstrumentSession instrument;
    std::string error;
    if (!instrument.Start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    FreshFolders(100);
    for (auto _ : state) benchmark::DoNotOptimize(CheckInstrumentPower());
}
BENCHMARK(BM_InstrumentPowerCheck)->Unit(benchmark::kMillisecond)->Iterations(2);

// The serial discovery of the pumps and the stage over COM1..COM99.
void BM_SerialDiscovery(benchmark::State& state) {
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi(ui);
    sim::VirtualInstrumentSession instrument;
    std::string error;
    if (!instrument.Start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    FreshFolders(200);
    for (auto _ : state) benchmark::DoNotOptimize(theApp.ReInitializeSerialPortDevices(nullptr));
}
BENCHMARK(BM_SerialDiscovery)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
