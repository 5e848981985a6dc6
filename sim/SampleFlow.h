#pragma once

// The sample that the virtual pumps push through the channel. A plug of
// sample liquid enters the air-filled channel from the left: its lead
// meniscus crosses the field of view, the liquid carries cells (some of them
// fluorescent under their own LED) and holds the split line between the two
// pumps' streams, and its trail meniscus follows and leaves.
//
// Everything the camera sees is a function of how much the two pumps have
// dispensed since the plug was loaded, never of time: the plug moves by the
// sum of the two volumes, the split line sits where the two volumes divide
// the channel height (pump 1's stream along the lower wall), and the cells
// come from the plug's seed. The same plug and the same pump moves give the
// same pictures.

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "sim/VirtualInstrument.h"

namespace sim {

struct SamplePlug {
    uint64_t seed = 1;
    // Lead meniscus column when nothing has been dispensed yet (left of the
    // view: the plug enters as the pumps push).
    double inletColumn = -50;
    // How far the liquid moves, in pixels, per microlitre of the two pumps.
    double pixelsPerUl = 60;
    // The plug's volume: distance from the lead to the trail meniscus.
    double volumeUl = 40;
    // Cells per microlitre of plug and their radius in pixels.
    double cellsPerUl = 20;
    double cellRadius = 8;
    // Share of the cells that light up under image types 2, 3 and 4 (type 1
    // is bright field).
    std::array<double, 4> fluorescentShare{0, 0.3, 0.1, 0.05};
};

class SampleFlow {
public:
    static SampleFlow& Instance();

    // Loads the plug at the inlet; the pumps' plunger positions now are its
    // start. Takes the instrument's lock.
    void Load(const SamplePlug& plug);
    // Removes the plug; the channel content is left as it was.
    void Unload();
    bool Loaded();

    // Writes the plug's position, split line and cells into state.sample.
    // The caller holds the instrument's lock.
    void Apply(InstrumentState& state);

    // The microlitres each pump has dispensed since the plug was loaded (what
    // Apply used last).
    std::array<double, 2> Dispensed();

private:
    struct PlugCell {
        double distanceUl;   // behind the lead meniscus
        double heightShare;  // 0 at the upper wall, 1 at the lower wall
        int fluorescentType;
    };

    std::mutex m_mutex;
    bool m_loaded = false;
    SamplePlug m_plug;
    std::array<int, 2> m_startSteps{};
    std::array<double, 2> m_dispensed{};
    std::vector<PlugCell> m_cells;
};

}  // namespace sim
