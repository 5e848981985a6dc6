#pragma once

// The virtual instrument: one object with one shared state, so that what the
// pumps, the stage and the LEDs do is what the camera sees. Its serial devices
// run on their own threads behind pseudo-terminals; its camera and digital I/O
// device serve the vendor-library layers in devices/.
//
// Every member of the state is read and written under the instrument's mutex
// (Lock()). Simulators keep their protocol state themselves and publish the
// physical state here.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace sim {

// What flows through the channel, as the camera sees it.
struct SampleContent {
    struct Cell {
        double x;          // pixels, in the full frame
        double y;
        double radius;     // pixels
        int fluorescentType;  // -1: not fluorescent; 0..3: lights up under that image type's LED
    };
    std::vector<Cell> cells;
    // Meniscus (liquid/air front) column, or -1 when the channel is all liquid.
    double meniscusColumn = -1;
    // Split line row between two liquids, or -1 when there is none.
    double splitLineRow = -1;
    // A sample plug in an air-filled channel: liquid only between the trail
    // meniscus (its back) and the lead meniscus (its front), which may lie
    // outside the view. The plain meniscus column above is then unused.
    bool plug = false;
    double leadMeniscusColumn = 0;
    double trailMeniscusColumn = 0;
};

struct PumpPhysicalState {
    int plungerSteps = 0;       // absolute plunger position in steps
    char valve = 'I';           // valve letter
    bool busy = false;
    int syringeVolumeUl = 1250; // volume of a full stroke
    int rangeSteps = 24000;     // steps of a full stroke
};

struct InstrumentState {
    std::array<PumpPhysicalState, 2> pumps{};
    double stageFocusMm = 0;    // focus axis position
    double stageXMm = 0;        // X axis position
    double focusBestMm = 5.0;   // focus position at which the channel is sharp
    std::array<bool, 13> digitalLines{};  // logical line levels as driven/sensed
    bool cartridgeInserted = true;
    bool clampClosed = true;
    bool powered = true;
    SampleContent sample;
    uint64_t seed = 1;
};

class VirtualInstrument {
public:
    // The process's one virtual instrument.
    static VirtualInstrument& Instance();

    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }
    // Only under Lock().
    InstrumentState& State() { return m_state; }

    // A copy of the whole state, taken under the lock.
    InstrumentState Snapshot() {
        auto lock = Lock();
        return m_state;
    }

    // The instrument's power switch. Devices that hang on the instrument
    // (the USB hub, the digital I/O device, the camera) come and go with it;
    // the observers learn of every change, outside the lock.
    void SetPowered(bool on);
    bool Powered();
    // Returns an id for RemovePowerObserver.
    int AddPowerObserver(std::function<void(bool on)> observer);
    void RemovePowerObserver(int id);

private:
    std::mutex m_mutex;
    InstrumentState m_state;

    std::mutex m_observerMutex;  // taken before m_mutex, never inside it
    std::map<int, std::function<void(bool)>> m_powerObservers;
    int m_nextObserver = 1;
};

}  // namespace sim
