#include "sim/SampleFlow.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "sim/CameraScene.h"

namespace sim {

SampleFlow& SampleFlow::Instance() {
    static SampleFlow flow;
    return flow;
}

void SampleFlow::Load(const SamplePlug& plug) {
    std::array<int, 2> start{};
    {
        auto lock = VirtualInstrument::Instance().Lock();
        const InstrumentState& state = VirtualInstrument::Instance().State();
        for (size_t i = 0; i < 2; ++i) start[i] = state.pumps[i].plungerSteps;
    }
    std::mt19937_64 engine(plug.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<PlugCell> cells;
    const int count = static_cast<int>(std::lround(std::max(0.0, plug.cellsPerUl * plug.volumeUl)));
    for (int i = 0; i < count; ++i) {
        PlugCell cell{unit(engine) * plug.volumeUl, unit(engine), -1};
        double pick = unit(engine);
        for (int type = 1; type < 4; ++type) {
            if (pick < plug.fluorescentShare[static_cast<size_t>(type)]) {
                cell.fluorescentType = type;
                break;
            }
            pick -= plug.fluorescentShare[static_cast<size_t>(type)];
        }
        cells.push_back(cell);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_plug = plug;
    m_startSteps = start;
    m_dispensed = {};
    m_cells = std::move(cells);
    m_loaded = true;
}

void SampleFlow::Unload() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_loaded = false;
}

bool SampleFlow::Loaded() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_loaded;
}

std::array<double, 2> SampleFlow::Dispensed() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dispensed;
}

void SampleFlow::Apply(InstrumentState& state) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_loaded) return;
    for (size_t i = 0; i < 2; ++i) {
        const PumpPhysicalState& pump = state.pumps[i];
        const int steps = std::max(0, m_startSteps[i] - pump.plungerSteps);
        m_dispensed[i] = pump.rangeSteps > 0 ? static_cast<double>(steps) * pump.syringeVolumeUl / pump.rangeSteps : 0;
    }
    const double total = m_dispensed[0] + m_dispensed[1];
    const double lead = m_plug.inletColumn + total * m_plug.pixelsPerUl;

    // Rows are those of the full sensor; the camera's geometry fixes the walls.
    const ChannelGeometry walls = ChannelGeometry::ForSensorHeight(2048);
    const double top = walls.upperWallBottom;
    const double bottom = walls.lowerWallTop;
    const double pump1Share = total > 0 ? m_dispensed[0] / total : 0.5;

    SampleContent& sample = state.sample;
    sample.plug = true;
    sample.meniscusColumn = -1;
    sample.leadMeniscusColumn = lead;
    sample.trailMeniscusColumn = lead - m_plug.volumeUl * m_plug.pixelsPerUl;
    sample.splitLineRow = bottom - pump1Share * (bottom - top);
    sample.cells.clear();
    const double radius = m_plug.cellRadius;
    for (const PlugCell& cell : m_cells) {
        const double x = lead - 12 - cell.distanceUl * m_plug.pixelsPerUl;
        // Only the cells the camera can see; a cell never touches a meniscus.
        if (x < sample.trailMeniscusColumn + 12 + radius || x > lead - 12 - radius || x < -radius ||
            x > 2448 + radius) {
            continue;
        }
        const double y = top + radius + 2 + cell.heightShare * (bottom - top - 2 * radius - 4);
        sample.cells.push_back(SampleContent::Cell{x, y, radius, cell.fluorescentType});
    }
}

}  // namespace sim
