// One full 2448 x 2048 frame of the virtual camera, as live view and capture
// take them: the instrument's state is unchanged between frames, so only the
// noise is new.

#include <benchmark/benchmark.h>

#include <random>

#include "sim/VirtualCamera.h"
#include "sim/VirtualInstrument.h"

namespace {

void PrepareInstrument() {
    sim::VirtualCamera::Instance().Reset();
    auto lock = sim::VirtualInstrument::Instance().Lock();
    sim::InstrumentState& state = sim::VirtualInstrument::Instance().State();
    state = sim::InstrumentState{};
    state.digitalLines[3] = true;  // bright field
    std::mt19937 engine(7);
    std::uniform_real_distribution<double> x(20, 2428), y(680, 1370);
    for (int i = 0; i < 300; ++i) state.sample.cells.push_back({x(engine), y(engine), 10, i % 4 == 0 ? 1 : -1});
}

void BM_VirtualCameraFrame(benchmark::State& state) {
    PrepareInstrument();
    std::vector<uint16_t> samples;
    int width = 0, height = 0, bits = 0;
    sim::VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);  // fills the cache
    for (auto _ : state) {
        sim::VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VirtualCameraFrame)->Unit(benchmark::kMillisecond);

// A new focus position every frame (a focus sweep): the picture is rebuilt
// and blurred each time.
void BM_VirtualCameraFrameWhileFocusing(benchmark::State& state) {
    PrepareInstrument();
    std::vector<uint16_t> samples;
    int width = 0, height = 0, bits = 0;
    double focus = 4.9;
    for (auto _ : state) {
        {
            auto lock = sim::VirtualInstrument::Instance().Lock();
            sim::VirtualInstrument::Instance().State().stageFocusMm = focus;
        }
        focus += 0.01;
        sim::VirtualCamera::Instance().RenderFrame(&samples, &width, &height, &bits);
        benchmark::DoNotOptimize(samples.data());
    }
}
BENCHMARK(BM_VirtualCameraFrameWhileFocusing)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
