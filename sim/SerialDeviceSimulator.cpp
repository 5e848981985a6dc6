#include "sim/SerialDeviceSimulator.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/PortTable.h"

namespace sim {

SerialDeviceSimulator::SerialDeviceSimulator(int baudRate, char terminator)
    : m_baudRate(baudRate), m_terminator(terminator) {}

SerialDeviceSimulator::~SerialDeviceSimulator() { Stop(); }

bool SerialDeviceSimulator::Start(int comNumber, std::string* error) {
    Stop();
    if (!m_pty.Open(error)) return false;
    m_comNumber = comNumber;
    m_pending.clear();
    platform::RegisterComPort(comNumber, m_pty.SlavePath());
    m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
    return true;
}

void SerialDeviceSimulator::Stop() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    if (m_comNumber != 0) {
        platform::UnregisterComPort(m_comNumber);
        m_comNumber = 0;
    }
    m_pty.Close();
}

void SerialDeviceSimulator::SetFault(Fault fault, int count, const std::string& commandPrefix) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    m_fault = count == 0 ? Fault::None : fault;
    m_faultCount = count;
    m_faultPrefix = commandPrefix;
}

SerialDeviceSimulator::Fault SerialDeviceSimulator::CurrentFault() const {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    return m_fault;
}

SerialDeviceSimulator::Fault SerialDeviceSimulator::TakeFault(const std::string& command) {
    std::lock_guard<std::mutex> lock(m_faultMutex);
    Fault fault = command.compare(0, m_faultPrefix.size(), m_faultPrefix) == 0 ? m_fault : Fault::None;
    m_slowReplyPending = fault == Fault::SlowReply;
    if (fault != Fault::None && m_faultCount > 0 && --m_faultCount == 0) {
        m_fault = Fault::None;
    }
    return fault;
}

std::string SerialDeviceSimulator::ReceivedBytes() const {
    std::lock_guard<std::mutex> lock(m_receivedMutex);
    return m_received;
}

void SerialDeviceSimulator::ClearReceived() {
    std::lock_guard<std::mutex> lock(m_receivedMutex);
    m_received.clear();
}

std::chrono::steady_clock::duration SerialDeviceSimulator::Scaled(double seconds) const {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds * m_speedFactor.load()));
}

std::chrono::steady_clock::time_point SerialDeviceSimulator::Now() { return platform::GetClock().Now(); }

void SerialDeviceSimulator::Run(std::stop_token stop) {
    char buffer[512];
    while (!stop.stop_requested()) {
        pollfd pfd{m_pty.MasterFd(), POLLIN, 0};
        int ready = ::poll(&pfd, 1, 5);
        if (ready > 0 && (pfd.revents & POLLIN)) {
            ssize_t n = ::read(m_pty.MasterFd(), buffer, sizeof(buffer));
            if (n > 0) Feed(buffer, static_cast<size_t>(n));
        }
        std::lock_guard<std::mutex> lock(m_stateMutex);
        Tick();
    }
}

void SerialDeviceSimulator::Feed(const char* data, size_t size) {
    {
        std::lock_guard<std::mutex> lock(m_receivedMutex);
        m_received.append(data, size);
    }
    // At another baud rate the device sees only line noise.
    if (m_pty.BaudRate() != m_baudRate) {
        m_pending.clear();
        return;
    }
    m_pending.append(data, size);
    size_t end;
    while ((end = m_pending.find(m_terminator)) != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        std::string reply;
        bool slow = false;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            reply = HandleLine(line);
        }
        if (reply.empty()) continue;
        {
            std::lock_guard<std::mutex> lock(m_faultMutex);
            slow = m_slowReplyPending;
            m_slowReplyPending = false;
        }
        if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(m_slowDelayMs.load()));
        m_pty.Write(reply);
    }
    // A device that never sees its terminator does not buffer for ever.
    if (m_pending.size() > 4096) m_pending.clear();
}

}  // namespace sim
