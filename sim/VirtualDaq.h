#pragma once

// The virtual instrument's digital I/O device: a USB-6001 with port 0 (eight
// lines, each an input or an output) and port 1 (four output lines), wired to
// the instrument's thirteen logical lines (LEDs 0..3 on logical lines 3..6,
// the cartridge sensor on 7, the clamp sensor on 8). The program reaches it
// through the device library's layer (sim/VirtualNIDAQmx.cpp).
//
// What it offers tests: the output latches and their history over time, the
// sensor inputs (through the instrument's shared state), a count of library
// calls, and injected failures of any library call.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// A physical line; port -1 means not wired.
struct DaqLine {
    int port = -1;
    int line = -1;
};

// Which physical line each logical line is wired to.
struct DaqWiring {
    std::array<DaqLine, 13> lines;
    // LED0..LED3 on port 0 lines 0..3, the cartridge sensor on port 0 line 4,
    // the clamp sensor on port 0 line 5.
    static DaqWiring Default();
};

// One write of an output latch: the port's value after it.
struct LatchChange {
    std::chrono::steady_clock::time_point time;
    int port;
    uint8_t value;
};

enum class DaqChannelKind { DigitalInput, DigitalOutput };

struct DaqChannel {
    DaqChannelKind kind;
    int port;
    uint8_t lineMask;  // lines of the port the channel covers
    std::string physicalName;
    std::string name;
};

class VirtualDaq {
public:
    static VirtualDaq& Instance();

    // Back to a present "Dev1" with default wiring, four port-1 lines, no
    // tasks, latches low, no faults, no history and no counted calls.
    void Reset();

    void SetDeviceName(const std::string& name);
    std::string DeviceName();
    // Unplugged, or without the instrument's power: every call naming the
    // device fails. Losing power also drops every output line.
    void SetPresent(bool present);
    void SetWiring(const DaqWiring& wiring);
    DaqWiring Wiring();
    void SetPort1LineCount(int count);

    // The next `count` calls of the named library function (-1: every call)
    // fail with `status`.
    void InjectFault(const std::string& call, int32_t status, int count = 1);

    uint8_t OutputLatch(int port);
    std::vector<LatchChange> LatchHistory();
    // Library calls that reached the device, by function name (empty: all).
    int CallCount(const std::string& call = std::string());

    // --- used by the library layer; each returns a library status ---
    // Counts the call and returns an injected failure, or 0.
    int32_t Enter(const char* call);
    int32_t CreateTask(void** handle);
    int32_t ClearTask(void* handle);
    int32_t ResetDevice(const std::string& device);
    int32_t ProductType(const std::string& device, std::string* type);
    int32_t AddChannel(void* handle, DaqChannelKind kind, const std::string& physical, const std::string& name,
                       bool perLine);
    int32_t ChannelLineCount(void* handle, const std::string& channel, uint32_t* count);
    int32_t ReadLines(void* handle, uint16_t* bits);        // levels of the task's input lines
    int32_t WriteLines(void* handle, uint8_t bits);         // drives the task's output lines
    int32_t ReadOutputLatch(void* handle, uint8_t* value);  // port value of an output task

private:
    struct Task {
        std::vector<DaqChannel> channels;
    };

    VirtualDaq();
    // Under m_mutex.
    bool Reachable() const;
    bool NamesDevice(const std::string& device) const;
    void DropOutputs();
    Task* FindTask(void* handle);
    bool InputLevel(int port, int line) const;
    void Publish();

    std::mutex m_mutex;
    std::string m_deviceName;
    bool m_present = true;
    DaqWiring m_wiring;
    int m_port1Lines = 4;
    std::array<uint8_t, 2> m_latch{};
    std::vector<LatchChange> m_history;
    std::map<void*, Task> m_tasks;
    uintptr_t m_nextTask = 1;
    struct Fault {
        int32_t status;
        int count;
    };
    std::map<std::string, Fault> m_faults;
    std::map<std::string, int> m_calls;
};

}  // namespace sim
