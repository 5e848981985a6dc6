#pragma once

// The two syringe pumps of the virtual instrument, daisy-chained on one line
// at 9600 baud and addressed 1 and 2.
//
// Frames in: "/" + address + commands + CR. Commands without a trailing "R"
// are stored and run by a later "R"; "?n" reports, "T" and "U" act at once.
// Frames out: 0xFF "/0" status data ETX CR LF. Status '`' = ready, '@' = busy;
// errors use the status letters 'A'..'W' and 'h'..'m' of the pump's error
// table ('B' invalid command, 'C' invalid parameter, 'G' not initialised,
// 'O' command overflow while busy).
//
// Commands: Z/Y/W initialise; A/P/D absolute, aspirate, dispense (",1" after
// the number: microlitres, else increments); I/O/B valve; V top speed, v start
// speed, c cutoff speed (",1": microlitres per second); L ramp codes;
// K backlash; U syringe code; i stores the configuration; ! resets; T stops.
// Moves keep the pump busy for as long as they take at the set speed (times
// the speed factor). Plunger, valve and busy state go to the virtual
// instrument's shared state.

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "sim/SerialDeviceSimulator.h"

namespace sim {

class PumpSimulator : public SerialDeviceSimulator {
public:
    static constexpr int kPumpCount = 2;
    static constexpr int kBaudRate = 9600;
    // Increments of one full plunger stroke, whatever the syringe.
    static constexpr int kRangeIncrements = 24000;

    // What a test may read and set of one pump.
    struct PumpState {
        bool initialized = false;
        int plungerIncrements = 0;
        int syringeVolumeUl = 1250;
        char valve = 'I';
        double topSpeedIncrementsPerS = 1400;
        int startSpeed = 900;   // increments per second
        int cutoffSpeed = 900;  // increments per second
        int rampUp = 14;
        int rampDown = 14;
        int backlashSteps = 0;
        double temperatureF = 77.0;
        int totalMoves = 0;
        bool busy = false;      // read only: a move or valve turn is running
        std::string storedCommands;
    };

    PumpSimulator();
    ~PumpSimulator() override;

    PumpState Pump(int pump) const;  // pump 1 or 2
    // Changes a pump's state directly, as if it had been set up that way.
    void ModifyPump(int pump, const std::function<void(PumpState&)>& change);
    // Keeps the pump busy for the given (unscaled) time without moving.
    void HoldBusy(int pump, std::chrono::milliseconds duration);
    // The status letter answered while the DeviceError fault is on.
    void SetErrorStatus(char status);

    // Plunger position in microlitres.
    static double IncrementsToUl(int increments, int syringeVolumeUl);
    static int UlToIncrements(double ul, int syringeVolumeUl);

protected:
    std::string HandleLine(const std::string& line) override;
    void Tick() override;

private:
    struct Segment {
        std::chrono::steady_clock::time_point start;
        std::chrono::steady_clock::time_point end;
        int from;
        int to;
        char valveAtStart;  // 0: the valve does not turn
    };
    struct PumpUnit : PumpState {
        std::vector<Segment> motion;
    };

    // Runs a command string; returns the status letter.
    char Execute(PumpUnit& pump, const std::string& commands, std::chrono::steady_clock::time_point now);
    char Report(const PumpUnit& pump, int number, std::string* data) const;
    static void Advance(PumpUnit& pump, std::chrono::steady_clock::time_point now);
    static void StopMotion(PumpUnit& pump, std::chrono::steady_clock::time_point now);
    void Publish();

    std::array<PumpUnit, kPumpCount> m_pumps;
    char m_errorStatus = 'S';
};

}  // namespace sim
