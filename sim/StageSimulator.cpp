#include "sim/StageSimulator.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "sim/VirtualInstrument.h"

namespace sim {

namespace {

bool IsNumber(const std::string& text) {
    if (text.empty()) return false;
    size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

bool IsUnsigned(const std::string& text) { return !text.empty() && IsNumber(text) && std::isdigit(static_cast<unsigned char>(text[0])); }

}  // namespace

StageSimulator::StageSimulator(int deviceNumber) : SerialDeviceSimulator(kBaudRate, '\n'), m_deviceNumber(deviceNumber) {
    auto snapshot = VirtualInstrument::Instance().Snapshot();
    m_axes[kFocusAxis - 1].position = std::lround(snapshot.stageFocusMm * kStepsPerMm);
    m_axes[kXAxis - 1].position = std::lround(snapshot.stageXMm * kStepsPerMm);
}

StageSimulator::~StageSimulator() { Stop(); }

int32_t StageSimulator::Position(int axis) const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    Axis state = m_axes.at(static_cast<size_t>(axis - 1));
    Advance(state, Now());
    return static_cast<int32_t>(std::lround(state.position));
}

bool StageSimulator::IsBusy(int axis) const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    Axis state = m_axes.at(static_cast<size_t>(axis - 1));
    Advance(state, Now());
    return state.moving;
}

void StageSimulator::SetPosition(int axis, int32_t steps) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    Axis& state = m_axes.at(static_cast<size_t>(axis - 1));
    state.moving = false;
    state.position = steps;
    Publish();
}

void StageSimulator::SetTemperature(double degreesC) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_temperatureC = degreesC;
}

void StageSimulator::SetErrorFlag(const std::string& flag) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_errorFlag = flag;
}

void StageSimulator::Advance(Axis& axis, std::chrono::steady_clock::time_point now) {
    if (!axis.moving) return;
    if (now >= axis.end) {
        axis.position = axis.to;
        axis.moving = false;
        return;
    }
    double done = std::chrono::duration<double>(now - axis.start) / std::chrono::duration<double>(axis.end - axis.start);
    axis.position = axis.from + (axis.to - axis.from) * done;
}

void StageSimulator::StartMove(Axis& axis, double target, double speed, std::chrono::steady_clock::time_point now) {
    axis.from = axis.position;
    axis.to = target;
    axis.start = now;
    axis.end = now + Scaled(std::abs(target - axis.position) / speed);
    axis.moving = axis.end > now;
    if (!axis.moving) axis.position = target;
}

void StageSimulator::Tick() {
    auto now = Now();
    for (auto& axis : m_axes) Advance(axis, now);
    Publish();
}

void StageSimulator::Publish() {
    auto& instrument = VirtualInstrument::Instance();
    auto lock = instrument.Lock();
    instrument.State().stageFocusMm = m_axes[kFocusAxis - 1].position / kStepsPerMm;
    instrument.State().stageXMm = m_axes[kXAxis - 1].position / kStepsPerMm;
}

std::string StageSimulator::Reply(int axis, bool ok, const std::string& data, const std::string& flag) const {
    bool busy = false;
    for (int i = 0; i < kAxisCount; ++i) {
        if ((axis == 0 || axis == i + 1) && m_axes[i].moving) busy = true;
    }
    char head[64];
    std::snprintf(head, sizeof(head), "@%02d %d %s %s %s ", m_deviceNumber, axis, ok ? "OK" : "RJ",
                  busy ? "BUSY" : "IDLE", flag.c_str());
    return head + data + "\r\n";
}

std::string StageSimulator::HandleLine(const std::string& rawLine) {
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    size_t slash = line.find('/');
    if (slash == std::string::npos) return {};
    std::istringstream words(line.substr(slash + 1));
    std::vector<std::string> tokens;
    for (std::string word; words >> word;) tokens.push_back(word);

    size_t next = 0;
    int device = 0;
    int axis = 0;
    if (next < tokens.size() && IsUnsigned(tokens[next])) device = std::atoi(tokens[next++].c_str());
    if (next < tokens.size() && IsUnsigned(tokens[next])) axis = std::atoi(tokens[next++].c_str());
    if (device != 0 && device != m_deviceNumber) return {};
    std::string command;
    for (; next < tokens.size(); ++next) command += (command.empty() ? "" : " ") + tokens[next];

    Fault fault = TakeFault(command);
    if (fault == Fault::NoReply) return {};
    if (fault == Fault::DeviceError) return Reply(axis, false, "BADDATA", m_errorFlag);

    auto now = Now();
    for (auto& state : m_axes) Advance(state, now);
    std::string reply = Execute(axis, command);
    Publish();
    if (fault == Fault::LostReply) return {};
    if (fault == Fault::Garbled) {
        for (size_t i = 0; i < 3 && i < reply.size(); ++i) reply[i] = static_cast<char>(reply[i] ^ 0x80);
    }
    return reply;
}

std::string StageSimulator::Execute(int axisNumber, const std::string& command) {
    if (axisNumber > kAxisCount) return Reply(axisNumber, false, "BADAXIS");
    auto now = Now();
    std::vector<Axis*> axes;
    for (int i = 0; i < kAxisCount; ++i) {
        if (axisNumber == 0 || axisNumber == i + 1) axes.push_back(&m_axes[i]);
    }
    auto eachAxis = [&](auto value) {
        std::string text;
        for (Axis* axis : axes) text += (text.empty() ? "" : " ") + value(*axis);
        return text;
    };

    if (command.empty()) return Reply(axisNumber, true, "0");
    if (command == "get deviceid") return Reply(axisNumber, true, std::to_string(kDeviceId));
    if (command == "get system.serial") return Reply(axisNumber, true, std::to_string(kSerialNumber));
    if (command == "get pos") {
        return Reply(axisNumber, true, eachAxis([](const Axis& a) { return std::to_string(std::lround(a.position)); }));
    }
    if (command == "get driver.temperature") {
        char text[32];
        std::snprintf(text, sizeof(text), "%.1f", m_temperatureC);
        return Reply(axisNumber, true, eachAxis([&](const Axis&) { return std::string(text); }));
    }
    if (command == "stop") {
        for (Axis* axis : axes) axis->moving = false;
        return Reply(axisNumber, true, "0");
    }
    if (command == "home") {
        for (Axis* axis : axes) StartMove(*axis, 0, kMaxSpeedStepsPerS, now);
        return Reply(axisNumber, true, "0");
    }
    for (const char* kind : {"move abs ", "move rel ", "move vel "}) {
        if (command.rfind(kind, 0) != 0) continue;
        std::string value = command.substr(9);
        if (!IsNumber(value)) return Reply(axisNumber, false, "BADDATA");
        long long n = std::atoll(value.c_str());
        char which = kind[5];
        if (which == 'v') {
            if (std::llabs(n) > kMaxSpeedStepsPerS) return Reply(axisNumber, false, "BADDATA");
            for (Axis* axis : axes) {
                if (n == 0) {
                    axis->moving = false;
                } else {
                    StartMove(*axis, n > 0 ? kMaxSteps : 0, static_cast<double>(std::llabs(n)), now);
                }
            }
            return Reply(axisNumber, true, "0");
        }
        for (Axis* axis : axes) {
            double target = which == 'a' ? static_cast<double>(n) : std::round(axis->position) + static_cast<double>(n);
            if (target < 0 || target > kMaxSteps) return Reply(axisNumber, false, "BADDATA");
        }
        for (Axis* axis : axes) {
            double target = which == 'a' ? static_cast<double>(n) : std::round(axis->position) + static_cast<double>(n);
            StartMove(*axis, target, kMaxSpeedStepsPerS, now);
        }
        return Reply(axisNumber, true, "0");
    }
    return Reply(axisNumber, false, "BADCOMMAND");
}

}  // namespace sim
