#pragma once

// Brings the whole virtual instrument up for a running program: the two
// syringe pumps on one serial line and the stage controller on another, each
// registered under its COM number, and the USB devices the start-up probe
// lists, written again whenever the instrument's power is switched. The
// camera and the digital I/O device need no start: the driver layers reach
// them directly.

#include <memory>
#include <string>

namespace sim {

class PumpSimulator;
class StageSimulator;

class VirtualInstrumentSession {
public:
    static constexpr int kPumpComPort = 5;
    static constexpr int kStageComPort = 6;

    VirtualInstrumentSession();
    ~VirtualInstrumentSession();
    VirtualInstrumentSession(const VirtualInstrumentSession&) = delete;
    VirtualInstrumentSession& operator=(const VirtualInstrumentSession&) = delete;

    // False, with the reason, when a device could not be started; whatever
    // did start is stopped again.
    bool Start(std::string* error);
    void Stop();

    PumpSimulator& Pumps() { return *m_pumps; }
    StageSimulator& Stage() { return *m_stage; }

private:
    std::unique_ptr<PumpSimulator> m_pumps;
    std::unique_ptr<StageSimulator> m_stage;
    int m_powerObserver = 0;
};

}  // namespace sim
