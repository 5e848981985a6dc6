#include "devices/TecanCentris.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "platform/Time.h"
#include "support/AppLogs.h"
#include "support/SerialPort.h"

platform::Semaphore* g_PumpSemaphore = nullptr;
uint64_t g_PumpLastCommandTime = 0;
uint16_t g_PumpMinTimeBetweenCommandsMs = 0;
PumpTimingLogCallback g_PumpTimingLogCallback = nullptr;
double g_PumpTopSpeed[2] = {0, 0};
char g_PumpValveState[2] = {' ', ' '};

namespace TecanCentris {

namespace {

constexpr uint32_t kQueryTimeoutMs = 200;
constexpr uint32_t kCommandTimeoutMs = 2000;
constexpr uint32_t kSemaphoreWaitMs = 30000;
constexpr int kTransactionTries = 4;
constexpr unsigned char kEtx = 0x03;

std::once_flag g_semaphoreOnce;

uint64_t Now100ns() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return platform::SystemTimeToFileTime100ns(now);
}

uint64_t ElapsedMs(uint64_t from, uint64_t to) { return to > from ? (to - from) / 10000 : 0; }

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

std::string NumberText(double value) {
    char text[11];
    Tovanix::FormatNumber(value, text);
    return text;
}

// The raw reply as the timing line shows it: control bytes, blanks,
// punctuation below '0' and bytes from 128 up removed (tabs kept), then the
// first two remaining characters (the address and status) dropped.
std::string CleanRawReply(const char* raw) {
    std::string kept;
    for (const char* p = raw; *p; ++p) {
        signed char ch = static_cast<signed char>(*p);
        if (ch >= '0' || ch == '\t') kept += *p;
    }
    return kept.size() > 2 ? kept.substr(2) : std::string();
}

const char* StatusMessage(char status) {
    switch (status) {
        case 'A': return "Initialization error";
        case 'B': return "Invalid command";
        case 'C': return "Invalid parameter";
        case 'G': return "Device not yet initialized";
        case 'H': return "Valve not configured";
        case 'J': return "Valve overload";
        case 'M': return "FRAM access error";
        case 'O': return "Command overflow";
        case 'P': return "Command not implemented";
        case 'Q': return "FRAM or boot code checksum failure";
        case 'R': return "Too many loops or loop comand nestiner error";
        case 'S': return "Internal command execution error";
        case 'T': return "Power-on self test fail";
        case 'U': return "Watchdog reset";
        case 'V': return "Low voltage";
        case 'W': return "Boot code checksum failure";
        case 'h': return "Valve move terminated";
        case 'i': return "No valve steps detected";
        case 'j': return "Step loss detected";
        case 'k': return "Valve Index slot error";
        case 'l': return "Valve drive reference voltage check failure";
        case 'm': return "Valve diagnostic error";
        default: return "Unknown error";
    }
}

bool IsSuccessStatus(char status) {
    return status == '@' || status == '`' || status == 'b' || status == 'c' || status == 'g';
}

// A query whose data is one number, read with `format` into `value`.
template <typename Number>
bool QueryNumber(int comPort, int pump, const char* command, const char* format, Number* value,
                 Tovanix::String* error) {
    Tovanix::String reply;
    if (!SendCommand(comPort, pump, command, kQueryTimeoutMs, &reply, error)) return false;
    if (std::sscanf(reply.c_str(), format, value) != 1) {
        *error = Printf("TecanCentris::SendCommand(%s) : invalid resonse : %s", command, reply.c_str()).c_str();
        return false;
    }
    return true;
}

// Whether a failed transaction may be tried again. A command that moves the
// plunger or turns the valve is sent once the pump may have received it only
// once: after a lost or garbled reply it may already be running, and sending
// it again would move the liquid a second time.
enum class Resend {
    AfterAnyFailure,      // queries and settings
    OnlyWhenNothingSent,  // plunger and valve moves
};

bool MayHaveReachedThePump(int serialCode) {
    return serialCode != SERIAL_NOT_SET_UP && serialCode != SERIAL_NO_HANDLE;
}

bool Transact(int comPort, int pump, const char* command, uint32_t replyTimeoutMs, Tovanix::String* reply,
              Tovanix::String* error, Resend resend);

bool Command(int comPort, int pump, const std::string& command, Tovanix::String* error) {
    Tovanix::String reply;
    return Transact(comPort, pump, command.c_str(), kCommandTimeoutMs, &reply, error, Resend::AfterAnyFailure);
}

bool MoveCommand(int comPort, int pump, const std::string& command, Tovanix::String* error) {
    Tovanix::String reply;
    return Transact(comPort, pump, command.c_str(), kCommandTimeoutMs, &reply, error, Resend::OnlyWhenNothingSent);
}

bool SetValve(int comPort, int pump, char letter, Tovanix::String* error) {
    // The letter is only stored by the pump; the "R" turns the valve.
    if (!Command(comPort, pump, std::string(1, letter), error) || !MoveCommand(comPort, pump, "R", error)) {
        return false;
    }
    g_PumpValveState[pump - 1] = letter;
    return true;
}

}  // namespace

bool SendCommand(int comPort, int pump, const char* command, uint32_t replyTimeoutMs, Tovanix::String* reply,
                 Tovanix::String* error) {
    return Transact(comPort, pump, command, replyTimeoutMs, reply, error, Resend::AfterAnyFailure);
}

namespace {

bool Transact(int comPort, int pump, const char* command, uint32_t replyTimeoutMs, Tovanix::String* reply,
              Tovanix::String* error, Resend resend) {
    std::call_once(g_semaphoreOnce, [] { g_PumpSemaphore = new platform::Semaphore(1, 1); });

    const uint64_t start = Now100ns();
    uint64_t waitMs = 0;
    uint64_t sleepMs = 0;
    uint64_t transactionMs = 0;
    long transactions = 0;
    long portReset = 0;
    Tovanix::String raw;
    bool ok = false;

    if (!g_PumpSemaphore->Wait(kSemaphoreWaitMs)) {
        *error = "TecanCentris::SendCommand() : Timeout after waiting 30 seconds to send a command.";
    } else {
        waitMs = ElapsedMs(start, Now100ns());
        if (g_PumpLastCommandTime != 0) {
            uint64_t since = ElapsedMs(g_PumpLastCommandTime, Now100ns());
            if (since < g_PumpMinTimeBetweenCommandsMs) {
                sleepMs = g_PumpMinTimeBetweenCommandsMs - since;
                Sleep(static_cast<uint32_t>(sleepMs));
            }
        }
        if (pump != 1 && pump != 2) {
            *error = Printf("TecanCentris::SendCommand () : Invalid ipump=%lu : must be 1 or 2",
                            static_cast<unsigned long>(static_cast<uint32_t>(pump)))
                         .c_str();
        } else if (comPort < 1 || comPort > 100) {
            *error = Printf("TecanCentris::SendCommand () : Invalid com_port=%lu : must be 1 and 100",
                            static_cast<unsigned long>(static_cast<uint32_t>(comPort)))
                         .c_str();
        } else {
            char frame[128];
            std::snprintf(frame, sizeof(frame), "/%ld%s\r", static_cast<long>(pump), command);
            const uint64_t sendStart = Now100ns();
            bool sent = false;
            bool maybeRunning = false;
            while (!sent && !maybeRunning && transactions < kTransactionTries) {
                if (transactions > 0) Sleep(1000);
                ++transactions;
                int serialCode = 0;
                sent = SendSerialCommand(comPort, frame, '\r', &raw, replyTimeoutMs, '\n', &serialCode);
                maybeRunning = !sent && resend == Resend::OnlyWhenNothingSent && MayHaveReachedThePump(serialCode);
            }
            g_PumpLastCommandTime = Now100ns();
            transactionMs = ElapsedMs(sendStart, g_PumpLastCommandTime);

            if (!sent) {
                *error = Printf("TecanCentris::SendCommand () : error sending command to com port: %ld",
                                static_cast<long>(comPort))
                             .c_str();
                if (maybeRunning) {
                    error->Append(
                        Printf(" : command=%s not sent again, the pump may have carried it out", command).c_str());
                }
                LogErrAndInfo(__FILE__, __LINE__, error->c_str());
                // A fresh handle for the next command.
                ReleaseSerialPort(comPort);
                Tovanix::String setupError;
                SetupSerialPort(comPort, 9600, &setupError);
                portReset = 1;
            } else if (ParseResponse(raw.c_str(), reply)) {
                ok = true;
            } else if (reply->HasText()) {
                *error = Printf("TecanCentris::SendCommand () : com_port=%ld pump=%ld command=%s error: %s",
                                static_cast<long>(comPort), static_cast<long>(pump), command, reply->c_str())
                             .c_str();
            } else {
                *error = Printf("TecanCentris::SendCommand () : com_port=%ld pump=%ld command=%s command sent but "
                                "no valid response received before timeout of %ld ms",
                                static_cast<long>(comPort), static_cast<long>(pump), command,
                                static_cast<long>(replyTimeoutMs))
                             .c_str();
            }
        }
        g_PumpSemaphore->Release();
    }

    if (PumpTimingLogCallback callback = g_PumpTimingLogCallback) {
        std::string line = Printf("%llu\t%llu\t%llu\t%llu\t%ld\t%ld\t%s\t%ld\t%ld\t%s\t%s",
                                  static_cast<unsigned long long>(ElapsedMs(start, Now100ns())),
                                  static_cast<unsigned long long>(waitMs), static_cast<unsigned long long>(sleepMs),
                                  static_cast<unsigned long long>(transactionMs), transactions, portReset, command,
                                  static_cast<long>(comPort), static_cast<long>(pump), CleanRawReply(raw.c_str()).c_str(),
                                  error->c_str());
        callback(line.c_str());
    }
    return ok;
}

}  // namespace

bool ParseResponse(const char* rawReply, Tovanix::String* reply) {
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(rawReply);
    size_t length = std::char_traits<char>::length(rawReply);
    if (length < 6 || raw[0] != 0xFF || raw[1] != '/' || raw[2] != '0' || raw[length - 3] != kEtx ||
        raw[length - 2] != '\r' || raw[length - 1] != '\n') {
        return false;
    }
    char status = static_cast<char>(raw[3]);
    if (IsSuccessStatus(status)) {
        if (reply) {
            if (length > 7) {
                reply->Assign(rawReply + 4, static_cast<int32_t>(length - 7));
            } else {
                *reply = "";
            }
        }
        return true;
    }
    if (reply) *reply = StatusMessage(status);
    return false;
}

bool QueryLong(int comPort, int pump, const char* command, int32_t* value, Tovanix::String* error) {
    long parsed;
    if (!QueryNumber(comPort, pump, command, "%ld", &parsed, error)) return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

bool QueryDouble(int comPort, int pump, const char* command, double* value, Tovanix::String* error) {
    return QueryNumber(comPort, pump, command, "%lf", value, error);
}

bool QueryReport(int comPort, int pump, uint32_t reportNumber, Tovanix::String* reply, Tovanix::String* error) {
    std::string command = Printf("?%lu", static_cast<unsigned long>(reportNumber));
    return SendCommand(comPort, pump, command.c_str(), kQueryTimeoutMs, reply, error);
}

bool InitializeSyringePump(int comPort, int pump, Tovanix::String* error) {
    return MoveCommand(comPort, pump, "ZR", error);
}

bool SetBacklashSteps(int comPort, int pump, uint32_t steps, Tovanix::String* error) {
    if (!Command(comPort, pump, Printf("K%luR", static_cast<unsigned long>(steps)), error) ||
        !Command(comPort, pump, "iR", error) || !Command(comPort, pump, "!R", error)) {
        return false;
    }
    Sleep(300);
    return true;
}

bool SetAccelerationRate(int comPort, int pump, uint32_t rampUp, uint32_t rampDown, Tovanix::String* error) {
    // The read-back decides: the L, i and ! commands are sent whatever their outcome.
    Command(comPort, pump, Printf("L%ld,%ldR", static_cast<long>(rampUp), static_cast<long>(rampDown)), error);
    Command(comPort, pump, "iR", error);
    Command(comPort, pump, "!R", error);
    Sleep(300);
    int32_t readUp = 0;
    int32_t readDown = 0;
    Tovanix::String queryError;
    if (!QueryLong(comPort, pump, "?9", &readUp, &queryError) ||
        !QueryLong(comPort, pump, "?10", &readDown, &queryError)) {
        *error = ("TecanCentris::SetAccelerationRate() :" + std::string(queryError.c_str())).c_str();
        return false;
    }
    const struct {
        const char* name;
        uint32_t assigned;
        int32_t readBack;
    } ramps[] = {{"ramp_up", rampUp, readUp}, {"ramp_down", rampDown, readDown}};
    for (const auto& ramp : ramps) {
        if (static_cast<uint32_t>(ramp.readBack) != ramp.assigned) {
            *error = Printf("TecanCentris::SetAccelerationRate() : assigned %s=%lu read back %s=%lu", ramp.name,
                            static_cast<unsigned long>(ramp.assigned), ramp.name,
                            static_cast<unsigned long>(static_cast<uint32_t>(ramp.readBack)))
                         .c_str();
            return false;
        }
    }
    return true;
}

bool SetTopSpeed(int comPort, int pump, double microlitresPerMinute, Tovanix::String* error) {
    if (!Command(comPort, pump, Printf("V%5.3lf,1R", microlitresPerMinute / 60), error)) return false;
    g_PumpTopSpeed[pump - 1] = microlitresPerMinute;
    return true;
}

bool SetValveBypass(int comPort, int pump, Tovanix::String* error) { return SetValve(comPort, pump, 'B', error); }
bool SetValveInput(int comPort, int pump, Tovanix::String* error) { return SetValve(comPort, pump, 'I', error); }
bool SetValveOutput(int comPort, int pump, Tovanix::String* error) { return SetValve(comPort, pump, 'O', error); }

bool MoveToPosition(int comPort, int pump, double microlitres, Tovanix::String* error) {
    return MoveCommand(comPort, pump, Printf("A%5.3lf,1R", microlitres), error);
}

bool Dispense_ul(int comPort, int pump, double microlitres, Tovanix::String* error, bool skipCheck) {
    if (!skipCheck) {
        double aspirated = 0;
        if (!QueryDouble(comPort, pump, "?18", &aspirated, error)) return false;
        if (microlitres > aspirated) {
            *error = ("Dispense_ul (" + NumberText(microlitres) +
                      ") : Invalid dispense, current aspirated volume is too small : " + NumberText(aspirated) + " ul")
                         .c_str();
            return false;
        }
    }
    return MoveCommand(comPort, pump, Printf("D%5.3lf,1R", microlitres), error);
}

bool Aspirate_ul(int comPort, int pump, double microlitres, Tovanix::String* error, bool skipCheck) {
    if (!skipCheck) {
        int32_t capacity = 0;
        if (!QueryLong(comPort, pump, "?17", &capacity, error)) return false;
        bool fits = microlitres <= capacity;
        if (fits) {
            double aspirated = 0;
            if (!QueryDouble(comPort, pump, "?18", &aspirated, error)) return false;
            fits = microlitres + aspirated <= capacity;
        }
        if (!fits) {
            *error = ("Aspirate_ul (" + NumberText(microlitres) +
                      ") : Invalid aspirate, will exceed syringe capacity : " +
                      Printf("%lu", static_cast<unsigned long>(static_cast<uint32_t>(capacity))) + " ul")
                         .c_str();
            return false;
        }
    }
    return MoveCommand(comPort, pump, "P" + NumberText(microlitres) + ",1R", error);
}

bool TerminateMove(int comPort, int pump, Tovanix::String* error) { return Command(comPort, pump, "T", error); }

bool ResetPump(int comPort, int pump, Tovanix::String* error) { return Command(comPort, pump, "!R", error); }

bool SetSyringeVolume(int comPort, int pump, int volumeUl, Tovanix::String* error) {
    const char* code = nullptr;
    switch (volumeUl) {
        case 50: code = "93"; break;
        case 100: code = "94"; break;
        case 250: code = "90"; break;
        case 500: code = "95"; break;
        case 1000: code = "96"; break;
        case 1250: code = "91"; break;
        case 2500: code = "97"; break;
        case 5000: code = "92"; break;
        case 12500: code = "98"; break;
        default:
            *error = Printf("TecanCentris::SetSyringeVolume () Unknown volume value: %lu",
                            static_cast<unsigned long>(static_cast<uint32_t>(volumeUl)))
                         .c_str();
            return false;
    }
    return Command(comPort, pump, std::string("U") + code, error);
}

bool TerminateBusyPumps(int comPort, Tovanix::String* error) {
    *error = "";
    Tovanix::String pumpErrors[2];
    for (int pump = 1; pump <= 2; ++pump) {
        Tovanix::String status;
        Tovanix::String& pumpError = pumpErrors[pump - 1];
        if (SendCommand(comPort, pump, "?29", kQueryTimeoutMs, &status, &pumpError) &&
            Tovanix::String::CompareNoCase(status.c_str(), "0") != 0) {
            TerminateMove(comPort, pump, &pumpError);
        }
    }
    if (pumpErrors[0].HasText() && pumpErrors[1].HasText()) {
        *error = (std::string(pumpErrors[0].c_str()) + " : " + pumpErrors[1].c_str()).c_str();
    } else {
        *error = pumpErrors[0].HasText() ? pumpErrors[0] : pumpErrors[1];
    }
    return !error->HasText();
}

bool GetTemperature(int comPort, double* pump1C, double* pump2C, Tovanix::String* error) {
    double fahrenheit[2] = {0, 0};
    for (int pump = 1; pump <= 2; ++pump) {
        Tovanix::String reply;
        if (!SendCommand(comPort, pump, "?53", kQueryTimeoutMs, &reply, error)) return false;
        if (std::sscanf(reply.c_str(), "%lf", &fahrenheit[pump - 1]) != 1) {
            *error = Printf("TecanCentris::GetTemperature() Invalid response to command: ?53 for pump%d: %s", pump,
                            reply.c_str())
                         .c_str();
            return false;
        }
    }
    auto celsius = [](double f) { return std::round((f - 32) * 5 / 9 * 10) / 10; };
    *pump1C = celsius(fahrenheit[0]);
    *pump2C = celsius(fahrenheit[1]);
    return true;
}

bool SetMinimumTimeBetweenCommands(uint16_t milliseconds, Tovanix::String* error) {
    if (milliseconds > 1000) {
        *error = Printf("TecanCentris::SetMinimumTimeBetweenCommands (%lu) maximum delay is 1000 ms",
                        static_cast<unsigned long>(milliseconds))
                     .c_str();
        return false;
    }
    g_PumpMinTimeBetweenCommandsMs = milliseconds;
    return true;
}

}  // namespace TecanCentris
