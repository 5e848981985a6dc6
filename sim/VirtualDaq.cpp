#include "sim/VirtualDaq.h"

#include <cstdio>
#include <strings.h>

#include "platform/Clock.h"
#include "platform/vendor/NIDAQmx.h"
#include "sim/VirtualInstrument.h"

namespace sim {

namespace {

constexpr int kCartridgeLine = 7;
constexpr int kClampLine = 8;

bool EqualNoCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// "Dev1/port0/line3" or "Dev1/port1": device, port, line (-1 for the whole port).
bool ParsePhysicalChannel(const std::string& text, std::string* device, int* port, int* line) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0) return false;
    *device = text.substr(0, slash);
    int consumed = 0;
    const std::string rest = text.substr(slash + 1);
    if (std::sscanf(rest.c_str(), "port%d%n", port, &consumed) != 1) return false;
    if (static_cast<size_t>(consumed) == rest.size()) {
        *line = -1;
        return true;
    }
    int more = 0;
    return std::sscanf(rest.c_str() + consumed, "/line%d%n", line, &more) == 1 &&
           static_cast<size_t>(consumed + more) == rest.size();
}

}  // namespace

DaqWiring DaqWiring::Default() {
    DaqWiring wiring;
    for (int led = 0; led < 4; ++led) wiring.lines[static_cast<size_t>(3 + led)] = DaqLine{0, led};
    wiring.lines[kCartridgeLine] = DaqLine{0, 4};
    wiring.lines[kClampLine] = DaqLine{0, 5};
    return wiring;
}

VirtualDaq& VirtualDaq::Instance() {
    static VirtualDaq daq;
    return daq;
}

VirtualDaq::VirtualDaq() {
    Reset();
    VirtualInstrument::Instance().AddPowerObserver([this](bool on) {
        if (on) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        DropOutputs();
    });
}

void VirtualDaq::DropOutputs() {
    for (int port = 0; port < 2; ++port) {
        m_latch[static_cast<size_t>(port)] = 0;
        m_history.push_back(LatchChange{platform::GetClock().Now(), port, 0});
    }
    Publish();
}

void VirtualDaq::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deviceName = "Dev1";
    m_present = true;
    m_wiring = DaqWiring::Default();
    m_port1Lines = 4;
    m_latch = {0, 0};
    m_history.clear();
    m_tasks.clear();
    m_faults.clear();
    m_calls.clear();
    Publish();
}

void VirtualDaq::SetDeviceName(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deviceName = name;
}

std::string VirtualDaq::DeviceName() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_deviceName;
}

void VirtualDaq::SetPresent(bool present) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_present = present;
}

void VirtualDaq::SetWiring(const DaqWiring& wiring) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wiring = wiring;
    Publish();
}

DaqWiring VirtualDaq::Wiring() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_wiring;
}

void VirtualDaq::SetPort1LineCount(int count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_port1Lines = count;
}

void VirtualDaq::InjectFault(const std::string& call, int32_t status, int count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[call] = Fault{status, count};
}

uint8_t VirtualDaq::OutputLatch(int port) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return port == 0 || port == 1 ? m_latch[static_cast<size_t>(port)] : 0;
}

std::vector<LatchChange> VirtualDaq::LatchHistory() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_history;
}

int VirtualDaq::CallCount(const std::string& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!call.empty()) {
        auto it = m_calls.find(call);
        return it == m_calls.end() ? 0 : it->second;
    }
    int total = 0;
    for (const auto& [name, count] : m_calls) total += count;
    return total;
}

int32_t VirtualDaq::Enter(const char* call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_calls[call];
    auto it = m_faults.find(call);
    if (it == m_faults.end() || it->second.count == 0) return DAQmxSuccess;
    if (it->second.count > 0) --it->second.count;
    return it->second.status;
}

bool VirtualDaq::Reachable() const { return m_present && VirtualInstrument::Instance().Powered(); }

bool VirtualDaq::NamesDevice(const std::string& device) const {
    return Reachable() && EqualNoCase(device, m_deviceName);
}

VirtualDaq::Task* VirtualDaq::FindTask(void* handle) {
    auto it = m_tasks.find(handle);
    return it == m_tasks.end() ? nullptr : &it->second;
}

int32_t VirtualDaq::CreateTask(void** handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    void* made = reinterpret_cast<void*>(m_nextTask++);
    m_tasks[made] = Task{};
    *handle = made;
    return DAQmxSuccess;
}

int32_t VirtualDaq::ClearTask(void* handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tasks.erase(handle) ? DAQmxSuccess : DAQmxErrorInvalidTask;
}

int32_t VirtualDaq::ResetDevice(const std::string& device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!NamesDevice(device)) return DAQmxErrorDeviceNotFound;
    DropOutputs();
    return DAQmxSuccess;
}

int32_t VirtualDaq::ProductType(const std::string& device, std::string* type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!NamesDevice(device)) return DAQmxErrorDeviceNotFound;
    *type = "USB-6001";
    return DAQmxSuccess;
}

int32_t VirtualDaq::AddChannel(void* handle, DaqChannelKind kind, const std::string& physical,
                               const std::string& name, bool perLine) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Task* task = FindTask(handle);
    if (!task) return DAQmxErrorInvalidTask;
    std::string device;
    int port = -1, line = -1;
    if (!ParsePhysicalChannel(physical, &device, &port, &line)) return DAQmxErrorPhysicalChanDoesNotExist;
    if (!NamesDevice(device)) return DAQmxErrorDeviceNotFound;
    const int lines = port == 0 ? 8 : port == 1 ? m_port1Lines : 0;
    if (lines == 0 || line >= lines || (kind == DaqChannelKind::DigitalInput && port != 0)) {
        return DAQmxErrorPhysicalChanDoesNotExist;
    }
    const uint8_t portMask = static_cast<uint8_t>((1u << lines) - 1u);
    const uint8_t mask = line < 0 ? portMask : static_cast<uint8_t>(1u << line);
    (void)perLine;  // one channel per call either way: the driver names single lines or whole ports
    task->channels.push_back(DaqChannel{kind, port, mask, physical, name});
    return DAQmxSuccess;
}

int32_t VirtualDaq::ChannelLineCount(void* handle, const std::string& channel, uint32_t* count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Task* task = FindTask(handle);
    if (!task) return DAQmxErrorInvalidTask;
    for (const auto& ch : task->channels) {
        if (ch.kind == DaqChannelKind::DigitalOutput && (EqualNoCase(ch.physicalName, channel) || ch.name == channel)) {
            uint32_t lines = 0;
            for (int bit = 0; bit < 8; ++bit) lines += (ch.lineMask >> bit) & 1u;
            *count = lines;
            return DAQmxSuccess;
        }
    }
    return DAQmxErrorPhysicalChanDoesNotExist;
}

bool VirtualDaq::InputLevel(int port, int line) const {
    const auto& cartridge = m_wiring.lines[kCartridgeLine];
    const auto& clamp = m_wiring.lines[kClampLine];
    if (cartridge.port == port && cartridge.line == line) {
        auto lock = VirtualInstrument::Instance().Lock();
        return VirtualInstrument::Instance().State().cartridgeInserted;
    }
    if (clamp.port == port && clamp.line == line) {
        auto lock = VirtualInstrument::Instance().Lock();
        return VirtualInstrument::Instance().State().clampClosed;
    }
    // An unwired line reads back what the port drives on it.
    return (m_latch[static_cast<size_t>(port)] >> line) & 1u;
}

int32_t VirtualDaq::ReadLines(void* handle, uint16_t* bits) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Task* task = FindTask(handle);
    if (!task) return DAQmxErrorInvalidTask;
    if (!Reachable()) return DAQmxErrorDeviceNotFound;
    uint16_t value = 0;
    bool any = false;
    for (const auto& ch : task->channels) {
        if (ch.kind != DaqChannelKind::DigitalInput) continue;
        any = true;
        for (int line = 0; line < 8; ++line) {
            if ((ch.lineMask >> line) & 1u && InputLevel(ch.port, line)) value |= static_cast<uint16_t>(1u << line);
        }
    }
    if (!any) return DAQmxErrorWrongChannelType;
    *bits = value;
    Publish();
    return DAQmxSuccess;
}

int32_t VirtualDaq::WriteLines(void* handle, uint8_t bits) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Task* task = FindTask(handle);
    if (!task) return DAQmxErrorInvalidTask;
    if (!Reachable()) return DAQmxErrorDeviceNotFound;
    bool written[2] = {false, false};
    for (const auto& ch : task->channels) {
        if (ch.kind != DaqChannelKind::DigitalOutput) continue;
        written[ch.port] = true;
        uint8_t& latch = m_latch[static_cast<size_t>(ch.port)];
        latch = static_cast<uint8_t>((latch & ~ch.lineMask) | (bits & ch.lineMask));
    }
    if (!written[0] && !written[1]) return DAQmxErrorWrongChannelType;
    for (int port = 0; port < 2; ++port) {
        if (written[port]) m_history.push_back(LatchChange{platform::GetClock().Now(), port, m_latch[static_cast<size_t>(port)]});
    }
    Publish();
    return DAQmxSuccess;
}

int32_t VirtualDaq::ReadOutputLatch(void* handle, uint8_t* value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Task* task = FindTask(handle);
    if (!task) return DAQmxErrorInvalidTask;
    if (!Reachable()) return DAQmxErrorDeviceNotFound;
    for (const auto& ch : task->channels) {
        if (ch.kind == DaqChannelKind::DigitalOutput) {
            *value = static_cast<uint8_t>(m_latch[static_cast<size_t>(ch.port)] & ch.lineMask);
            return DAQmxSuccess;
        }
    }
    return DAQmxErrorWrongChannelType;
}

void VirtualDaq::Publish() {
    std::array<bool, 13> levels{};
    for (size_t logical = 0; logical < levels.size(); ++logical) {
        const DaqLine& at = m_wiring.lines[logical];
        if (at.port < 0 || at.port > 1 || at.line < 0 || at.line > 7) continue;
        levels[logical] = InputLevel(at.port, at.line);
    }
    auto lock = VirtualInstrument::Instance().Lock();
    VirtualInstrument::Instance().State().digitalLines = levels;
}

}  // namespace sim
