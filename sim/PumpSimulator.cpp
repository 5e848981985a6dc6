#include "sim/PumpSimulator.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sim/VirtualInstrument.h"

namespace sim {

namespace {

constexpr char kReady = '`';
constexpr char kBusy = '@';
constexpr char kInvalidCommand = 'B';
constexpr char kInvalidParameter = 'C';
constexpr char kNotInitialized = 'G';
constexpr char kCommandOverflow = 'O';

constexpr double kValveTurnSeconds = 0.25;
constexpr double kInitializeExtraSeconds = 0.5;
constexpr double kInitializeSpeed = 1400;  // increments per second

struct Token {
    char letter;
    std::vector<double> values;
    bool valid = true;  // every value parsed
};

// Splits "K12iR" into letters with their comma-separated numbers.
bool Tokenize(const std::string& text, std::vector<Token>* tokens) {
    size_t i = 0;
    while (i < text.size()) {
        char letter = text[i++];
        if (!std::isalpha(static_cast<unsigned char>(letter)) && letter != '!') return false;
        Token token{letter, {}};
        size_t begin = i;
        while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.' ||
                                   text[i] == ',' || text[i] == '-' || text[i] == '+')) {
            ++i;
        }
        std::string params = text.substr(begin, i - begin);
        size_t start = 0;
        while (!params.empty() && start <= params.size()) {
            size_t comma = params.find(',', start);
            std::string field = params.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            char* end = nullptr;
            double value = std::strtod(field.c_str(), &end);
            if (field.empty() || *end != '\0') token.valid = false;
            token.values.push_back(value);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        tokens->push_back(token);
    }
    return true;
}

bool IsMotion(char letter) {
    switch (letter) {
        case 'Z': case 'Y': case 'W': case 'A': case 'P': case 'D': case 'I': case 'O': case 'B':
            return true;
        default:
            return false;
    }
}

int SyringeVolumeForCode(int code) {
    switch (code) {
        case 93: return 50;
        case 94: return 100;
        case 90: return 250;
        case 95: return 500;
        case 96: return 1000;
        case 91: return 1250;
        case 97: return 2500;
        case 92: return 5000;
        case 98: return 12500;
        default: return 0;
    }
}

std::string Frame(char status, const std::string& data) {
    std::string frame;
    frame += '\xFF';
    frame += "/0";
    frame += status;
    frame += data;
    frame += "\x03\r\n";
    return frame;
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

}  // namespace

PumpSimulator::PumpSimulator() : SerialDeviceSimulator(kBaudRate, '\r') {
    auto snapshot = VirtualInstrument::Instance().Snapshot();
    for (int i = 0; i < kPumpCount; ++i) {
        m_pumps[i].plungerIncrements = snapshot.pumps[i].plungerSteps;
        m_pumps[i].valve = snapshot.pumps[i].valve;
    }
}

PumpSimulator::~PumpSimulator() { Stop(); }

double PumpSimulator::IncrementsToUl(int increments, int syringeVolumeUl) {
    return static_cast<double>(increments) * syringeVolumeUl / kRangeIncrements;
}

int PumpSimulator::UlToIncrements(double ul, int syringeVolumeUl) {
    return static_cast<int>(std::lround(ul * kRangeIncrements / syringeVolumeUl));
}

PumpSimulator::PumpState PumpSimulator::Pump(int pump) const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    PumpUnit unit = m_pumps.at(static_cast<size_t>(pump - 1));
    Advance(unit, Now());
    return unit;
}

void PumpSimulator::ModifyPump(int pump, const std::function<void(PumpState&)>& change) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    PumpUnit& unit = m_pumps.at(static_cast<size_t>(pump - 1));
    Advance(unit, Now());
    change(unit);
    Publish();
}

void PumpSimulator::HoldBusy(int pump, std::chrono::milliseconds duration) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    PumpUnit& unit = m_pumps.at(static_cast<size_t>(pump - 1));
    auto now = Now();
    Advance(unit, now);
    unit.motion.push_back({now, now + duration, unit.plungerIncrements, unit.plungerIncrements, 0});
    unit.busy = true;
    Publish();
}

void PumpSimulator::SetErrorStatus(char status) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_errorStatus = status;
}

void PumpSimulator::Advance(PumpUnit& pump, std::chrono::steady_clock::time_point now) {
    while (!pump.motion.empty()) {
        Segment& segment = pump.motion.front();
        if (now < segment.start) break;
        if (segment.valveAtStart) {
            pump.valve = segment.valveAtStart;
            segment.valveAtStart = 0;
        }
        if (now >= segment.end) {
            pump.plungerIncrements = segment.to;
            pump.motion.erase(pump.motion.begin());
            continue;
        }
        double done = std::chrono::duration<double>(now - segment.start) /
                      std::chrono::duration<double>(segment.end - segment.start);
        pump.plungerIncrements = segment.from + static_cast<int>(std::lround((segment.to - segment.from) * done));
        break;
    }
    pump.busy = !pump.motion.empty();
}

void PumpSimulator::StopMotion(PumpUnit& pump, std::chrono::steady_clock::time_point now) {
    Advance(pump, now);
    pump.motion.clear();
    pump.busy = false;
}

void PumpSimulator::Tick() {
    auto now = Now();
    for (auto& pump : m_pumps) Advance(pump, now);
    Publish();
}

void PumpSimulator::Publish() {
    auto& instrument = VirtualInstrument::Instance();
    auto lock = instrument.Lock();
    for (int i = 0; i < kPumpCount; ++i) {
        auto& out = instrument.State().pumps[i];
        out.plungerSteps = m_pumps[i].plungerIncrements;
        out.valve = m_pumps[i].valve;
        out.busy = m_pumps[i].busy;
        out.syringeVolumeUl = m_pumps[i].syringeVolumeUl;
        out.rangeSteps = kRangeIncrements;
    }
}

std::string PumpSimulator::HandleLine(const std::string& line) {
    size_t slash = line.find('/');
    if (slash == std::string::npos || slash + 1 >= line.size()) return {};
    char address = line[slash + 1];
    if (address != '1' && address != '2') return {};
    PumpUnit& pump = m_pumps[static_cast<size_t>(address - '1')];
    std::string body = line.substr(slash + 2);

    Fault fault = TakeFault(body);
    if (fault == Fault::NoReply) return {};
    if (fault == Fault::DeviceError) return Frame(m_errorStatus, "");

    auto now = Now();
    Advance(pump, now);
    std::string data;
    char status;
    if (!body.empty() && body[0] == '?') {
        char* end = nullptr;
        long number = std::strtol(body.c_str() + 1, &end, 10);
        status = (body.size() > 1 && *end == '\0') ? Report(pump, static_cast<int>(number), &data)
                                                   : kInvalidCommand;
    } else if (body == "T") {
        StopMotion(pump, now);
        status = kReady;
    } else if (!body.empty() && (body.back() == 'R' || body[0] == 'U')) {
        // Syringe configuration takes effect at once; other strings wait for R.
        if (body.back() == 'R') body.pop_back();
        status = Execute(pump, body.empty() ? pump.storedCommands : body, now);
    } else {
        std::vector<Token> tokens;
        if (Tokenize(body, &tokens)) {
            pump.storedCommands = body;
            status = kReady;
        } else {
            status = kInvalidCommand;
        }
    }
    if (status == kReady && pump.busy) status = kBusy;
    Publish();

    if (fault == Fault::LostReply) return {};
    std::string reply = Frame(status, data);
    if (fault == Fault::Garbled) {
        // Line noise: the lead byte loses its top bit and the ETX is lost.
        reply[0] = static_cast<char>(reply[0] ^ 0x80);
        reply.erase(reply.size() - 3, 1);
    }
    return reply;
}

char PumpSimulator::Execute(PumpUnit& pump, const std::string& commands, std::chrono::steady_clock::time_point now) {
    std::vector<Token> tokens;
    if (!Tokenize(commands, &tokens)) return kInvalidCommand;
    for (const Token& token : tokens) {
        if (IsMotion(token.letter) && pump.busy) return kCommandOverflow;
    }
    auto planEnd = now;
    int planPosition = pump.plungerIncrements;
    auto addSegment = [&](double seconds, int to, char valve) {
        auto end = planEnd + Scaled(seconds);
        pump.motion.push_back({planEnd, end, planPosition, to, valve});
        planEnd = end;
        planPosition = to;
    };
    for (const Token& token : tokens) {
        if (!token.valid) return kInvalidParameter;
        const auto& v = token.values;
        bool microlitres = v.size() > 1 && v[1] == 1;
        switch (token.letter) {
            case 'Z': case 'Y': case 'W':
                addSegment(kInitializeExtraSeconds + planPosition / kInitializeSpeed, 0, 0);
                pump.initialized = true;
                break;
            case 'A': case 'P': case 'D': {
                if (!pump.initialized) return kNotInitialized;
                if (v.empty() || v[0] < 0) return kInvalidParameter;
                int amount = microlitres ? UlToIncrements(v[0], pump.syringeVolumeUl)
                                         : static_cast<int>(std::lround(v[0]));
                int target = token.letter == 'A' ? amount
                             : token.letter == 'P' ? planPosition + amount
                                                   : planPosition - amount;
                if (target < 0 || target > kRangeIncrements) return kInvalidParameter;
                addSegment(std::abs(target - planPosition) / pump.topSpeedIncrementsPerS, target, 0);
                ++pump.totalMoves;
                break;
            }
            case 'I': case 'O': case 'B':
                addSegment(kValveTurnSeconds, planPosition, token.letter);
                break;
            case 'V': {
                if (v.empty() || v[0] <= 0) return kInvalidParameter;
                double speed = microlitres ? v[0] * kRangeIncrements / pump.syringeVolumeUl : v[0];
                if (speed > 6000) return kInvalidParameter;
                pump.topSpeedIncrementsPerS = speed;
                break;
            }
            case 'v': case 'c': {
                if (v.empty() || v[0] <= 0) return kInvalidParameter;
                double speed = microlitres ? v[0] * kRangeIncrements / pump.syringeVolumeUl : v[0];
                (token.letter == 'v' ? pump.startSpeed : pump.cutoffSpeed) = static_cast<int>(std::lround(speed));
                break;
            }
            case 'L':
                if (v.size() != 2 || v[0] < 1 || v[0] > 40 || v[1] < 1 || v[1] > 40) return kInvalidParameter;
                pump.rampUp = static_cast<int>(v[0]);
                pump.rampDown = static_cast<int>(v[1]);
                break;
            case 'K':
                if (v.size() != 1 || v[0] < 0 || v[0] > 3000) return kInvalidParameter;
                pump.backlashSteps = static_cast<int>(v[0]);
                break;
            case 'U': {
                int volume = v.size() == 1 ? SyringeVolumeForCode(static_cast<int>(v[0])) : 0;
                if (volume == 0) return kInvalidParameter;
                pump.syringeVolumeUl = volume;
                break;
            }
            case 'i':  // the settings live in the pump's memory already
                break;
            case '!':
            case 'T':
                StopMotion(pump, now);
                planEnd = now;
                planPosition = pump.plungerIncrements;
                if (token.letter == '!') pump.storedCommands.clear();
                break;
            case 'R':
                break;
            default:
                return kInvalidCommand;
        }
    }
    Advance(pump, now);
    return kReady;
}

char PumpSimulator::Report(const PumpUnit& pump, int number, std::string* data) const {
    auto whole = [&](double value) { *data = Format("%.0f", value); };
    double ulPerIncrement = static_cast<double>(pump.syringeVolumeUl) / kRangeIncrements;
    switch (number) {
        case 0: case 1: case 2: case 3: whole(pump.plungerIncrements); break;
        case 4: whole(pump.backlashSteps); break;
        case 6: whole(pump.startSpeed); break;
        case 7: whole(pump.topSpeedIncrementsPerS); break;
        case 8: whole(pump.cutoffSpeed); break;
        case 9: whole(pump.rampUp); break;
        case 10: whole(pump.rampDown); break;
        case 16: whole(kRangeIncrements); break;
        case 17: whole(pump.syringeVolumeUl); break;
        case 18: *data = Format("%.3f", IncrementsToUl(pump.plungerIncrements, pump.syringeVolumeUl)); break;
        case 20: *data = std::string(1, pump.valve); break;
        case 23: *data = "SIM-PUMP 1.0"; break;
        case 29: *data = pump.busy ? "1" : "0"; break;
        case 30: case 31: *data = "0"; break;
        case 36: *data = Format("%.3f", pump.startSpeed * ulPerIncrement); break;
        case 37: *data = Format("%.3f", pump.topSpeedIncrementsPerS * ulPerIncrement); break;
        case 38: *data = Format("%.3f", pump.cutoffSpeed * ulPerIncrement); break;
        case 40: case 41: case 42: case 43: case 44: case 46: case 47: case 48: case 60: *data = "0"; break;
        case 45: whole(pump.totalMoves); break;
        case 50: *data = "24.0"; break;
        case 51: *data = "5.0"; break;
        case 52: *data = "3.3"; break;
        case 53: case 54: case 55: *data = Format("%.1f", pump.temperatureF); break;
        case 61: case 62: case 63: case 64: case 65: *data = "SIM-1.0"; break;
        case 67: case 99: *data = pump.storedCommands; break;
        case 76: *data = "SIM-PUMP," + std::to_string(pump.syringeVolumeUl) + "ul,3-PORT"; break;
        default:
            if (number >= 80 && number <= 96) {
                data->clear();
                break;
            }
            return kInvalidParameter;
    }
    return kReady;
}

}  // namespace sim
