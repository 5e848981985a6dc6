#pragma once

// The common part of the virtual instrument's serial devices: a thread behind
// a pseudo-terminal, registered under a COM number, that splits what the
// program writes into command lines, hands each to the device's protocol and
// writes the answer back. A test can switch faults on (no reply, a garbled
// frame, a device error, a slow reply) and scale move times.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "sim/Pty.h"

namespace sim {

class SerialDeviceSimulator {
public:
    enum class Fault {
        None,
        NoReply,      // the command is lost: nothing is done, nothing answered
        LostReply,    // the command is done, its answer is lost
        Garbled,      // the command is done, its answer arrives corrupted
        DeviceError,  // the device refuses the command with an error status
        SlowReply,    // the command is done, its answer comes late
    };

    SerialDeviceSimulator(const SerialDeviceSimulator&) = delete;
    SerialDeviceSimulator& operator=(const SerialDeviceSimulator&) = delete;
    virtual ~SerialDeviceSimulator();

    // Opens the line, registers it as COM<comNumber> and starts the device.
    bool Start(int comNumber, std::string* error = nullptr);
    // Stops the device and removes its COM number. Safe to call twice.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }
    int ComNumber() const { return m_comNumber; }
    const std::string& DevicePath() const { return m_pty.SlavePath(); }
    int BaudRate() const { return m_baudRate; }

    // Applies the fault to the next `count` commands addressed to this device
    // (a negative count: until switched off); with `commandPrefix`, only to
    // commands that begin with it (the device address left out).
    void SetFault(Fault fault, int count = -1, const std::string& commandPrefix = std::string());
    Fault CurrentFault() const;
    void SetSlowReplyDelay(std::chrono::milliseconds delay) { m_slowDelayMs = static_cast<int>(delay.count()); }

    // Move times are multiplied by this factor (0.01 runs moves 100 times faster).
    void SetSpeedFactor(double factor) { m_speedFactor = factor; }
    double SpeedFactor() const { return m_speedFactor; }

    // Every byte the program wrote to the line since the last clear, whether
    // the device understood it or not.
    std::string ReceivedBytes() const;
    void ClearReceived();

protected:
    SerialDeviceSimulator(int baudRate, char terminator);

    // One complete command line (terminator removed). Returns the bytes to
    // answer, or the empty text for no answer. Called under m_stateMutex.
    virtual std::string HandleLine(const std::string& line) = 0;
    // Called about every 5 ms under m_stateMutex: advance moves, publish state.
    virtual void Tick() {}

    // Takes one use of the fault switch for `command`; call only for commands
    // addressed to this device.
    Fault TakeFault(const std::string& command);
    // A duration of the real device, scaled by the speed factor.
    std::chrono::steady_clock::duration Scaled(double seconds) const;
    // The device's notion of now (the program's replaceable clock).
    static std::chrono::steady_clock::time_point Now();

    // Guards the device's protocol state; derived classes take it in their
    // public accessors.
    mutable std::mutex m_stateMutex;

private:
    void Run(std::stop_token stop);
    void Feed(const char* data, size_t size);

    const int m_baudRate;
    const char m_terminator;
    Pty m_pty;
    int m_comNumber = 0;
    std::jthread m_thread;
    std::string m_pending;

    mutable std::mutex m_faultMutex;
    Fault m_fault = Fault::None;
    int m_faultCount = -1;
    std::string m_faultPrefix;
    bool m_slowReplyPending = false;  // the command being handled answers late
    std::atomic<int> m_slowDelayMs{1000};
    std::atomic<double> m_speedFactor{1.0};

    mutable std::mutex m_receivedMutex;
    std::string m_received;
};

}  // namespace sim
