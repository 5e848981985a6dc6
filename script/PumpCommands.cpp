// The commands that drive the two syringe pumps: speeds, volumes, valves,
// moves, the wait for moves, terminate, backlash, acceleration and the
// random-position pump exercise.
//
// A pump selector is compared unsigned: 0 serves both pumps (pump 1 first),
// 1 or 2 one of them; a negative selector is refused like 3. What a command
// checks before it looks at check_only is refused when the script loads;
// the rest only when its line runs. A failure on pump 1 leaves pump 2
// untouched.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <strings.h>

#include "app/VelloraApp.h"
#include "devices/TecanCentris.h"
#include "platform/Clock.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"

namespace {

constexpr int32_t kSetTopSpeed = 2;
constexpr int32_t kMoveToPosition = 3;
constexpr int32_t kTerminateMove = 4;
constexpr int32_t kSetPumpValveState = 5;
constexpr int32_t kWaitWhileSyringeIsMoving = 11;
constexpr int32_t kInitializeSyringePump = 12;
constexpr int32_t kSetSyringeVolume = 13;
constexpr int32_t kResetPump = 15;
constexpr int32_t kGetSyringeAspiratedVolume = 20;
constexpr int32_t kSetBacklashSteps = 21;
constexpr int32_t kGetBacklashSteps = 22;
constexpr int32_t kGetAccelerationRate = 24;
constexpr int32_t kSetAccelerationRate = 25;
constexpr int32_t kTestPumps = 161;

// Reply time of the busy query.
constexpr uint32_t kBusyQueryTimeoutMs = 200;
// Highest plunger position or volume the move commands pass to the driver,
// which refuses what the syringe cannot take.
constexpr double kMaxVolumeUl = 100000;

bool SelectsBothOrOne(int selector) { return static_cast<uint32_t>(selector) <= 2; }
bool Serves(int selector, int pump) { return selector == 0 || selector == pump; }

// False with `message` when the selector is not 0, 1 or 2.
bool CheckSelector(int selector, const char* message, CString& error)
{
    if (SelectsBothOrOne(selector))
        return true;
    error = message;
    return false;
}

bool CheckPumpPort(const char* message, CString& error)
{
    if (theApp.m_nPumpComPort != 0)
        return true;
    error = message;
    return false;
}

// Opens the list and reads the int selector (parameter 1).
bool ReadSelector(const char*& cursor, int& selector, std::vector<Variable>& variables, CString& error)
{
    return OpenArgumentList(cursor, error) && ReadIntParameter(1, cursor, selector, error, &variables, nullptr);
}

// "0" answers the busy query of an idle pump.
bool QueryIdle(int pump, bool& idle, Tovanix::String& driverError)
{
    Tovanix::String reply;
    if (!TecanCentris::SendCommand(theApp.m_nPumpComPort, pump, "?29", kBusyQueryTimeoutMs, &reply, &driverError))
        return false;
    idle = std::string(reply.c_str()) == "0";
    return true;
}

// The pseudo-random integers 0..32767 of the pump exercise.
class RandomPositions {
public:
    explicit RandomPositions(uint32_t seed) : m_state(seed) {}
    int Next()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state;
};

// One move command of the move family: ipump 0..2 in both passes, then the
// volume; the volume range and the port only at run time.
using PumpMove = bool (*)(int comPort, int pump, double microlitres, Tovanix::String* error);

bool RunPumpMove(const char* name, PumpMove move, const char* arguments, std::vector<Variable>& variables,
                 bool check_only, CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    double volume = 0;
    if (!ReadSelector(cursor, selector, variables, error))
        return false;
    if (!CheckSelector(selector, CString::Formatted("%s() ipump must be 0, 1 or 2", name), error))
        return false;
    if (!ReadDoubleParameter(2, cursor, volume, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (!(volume >= 0 && volume <= kMaxVolumeUl)) {
        error.Format("%s() position must be between 0 and 10000 ul", name);
        return false;
    }
    if (!CheckPumpPort(CString::Formatted("%s() pump not detected.", name), error))
        return false;
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        Tovanix::String driverError;
        if (!move(theApp.m_nPumpComPort, pump, volume, &driverError)) {
            error.Format("%s() : %s", name, driverError.c_str());
            return false;
        }
    }
    return true;
}

bool DispenseUl(int comPort, int pump, double microlitres, Tovanix::String* error)
{
    return TecanCentris::Dispense_ul(comPort, pump, microlitres, error, false);
}

bool AspirateUl(int comPort, int pump, double microlitres, Tovanix::String* error)
{
    return TecanCentris::Aspirate_ul(comPort, pump, microlitres, error, false);
}

// Reads ipump (1 or 2 only) and then a value parameter that must be a variable.
bool ReadPumpAndVariable(const char*& cursor, std::vector<Variable>& variables, int& pump, int number,
                         const char* pumpMessage, const char* variableMessage, Variable*& target, CString& error,
                         bool readValueAsDouble)
{
    if (!ReadSelector(cursor, pump, variables, error))
        return false;
    if (pump != 1 && pump != 2) {
        error = pumpMessage;
        return false;
    }
    bool read;
    if (readValueAsDouble) {
        double ignored = 0;
        read = ReadDoubleParameter(number, cursor, ignored, error, &variables, &target);
    } else {
        int ignored = 0;
        read = ReadIntParameter(number, cursor, ignored, error, &variables, &target);
    }
    if (!read)
        return false;
    if (!target) {
        error = variableMessage;
        return false;
    }
    return true;
}

// Polls a pump until it reports ready, then checks its plunger against the
// target. A stop request of the run ends the wait: `stopped` is set.
bool CheckPumpAfterMove(Script& script, int pump, long iteration, double target, double tolerance, bool& stopped,
                        CString& error)
{
    platform::Clock& clock = platform::GetClock();
    Tovanix::String driverError;
    for (;;) {
        bool idle = false;
        if (!QueryIdle(pump, idle, driverError)) {
            error.Format("TestPumps() iter=%ld ipump=%d : %s", iteration, pump, driverError.c_str());
            return false;
        }
        if (idle)
            break;
        if (!script.running.load()) {
            stopped = true;
            return true;
        }
        clock.SleepFor(std::chrono::milliseconds(100));
    }
    double readBack = 0;
    if (!TecanCentris::QueryDouble(theApp.m_nPumpComPort, pump, "?18", &readBack, &driverError)) {
        error.Format("TestPumps() iter=%ld ipump=%d : %s", iteration, pump, driverError.c_str());
        return false;
    }
    const double difference = std::fabs(target - readBack);
    if (difference > tolerance) {
        error.Format("TestPumps() iter=%ld ipump=%d : Out of tolerance after move expected position: %lf "
                     "readback_pos: %lf abs_diff=%lf",
                     iteration, pump, target, readBack, difference);
        return false;
    }
    return true;
}

}  // namespace

bool Script::SetTopSpeed(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    double speed = 0;
    if (!ReadSelector(cursor, selector, variables, error) ||
        !CheckSelector(selector, "SetTopSpeed() ipump must be 0, 1 or 2", error) ||
        !ReadDoubleParameter(2, cursor, speed, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (!(speed >= 0.5 && speed <= 300000)) {
        error = "SetTopSpeed() speed must be between 0.5 and 300000 ul/min";
        return false;
    }
    if (!CheckPumpPort("SetTopSpeed() pump not detected.", error))
        return false;
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        Tovanix::String driverError;
        if (!TecanCentris::SetTopSpeed(theApp.m_nPumpComPort, pump, speed, &driverError)) {
            error.Format("SetTopSpeed () : %s", driverError.c_str());
            return false;
        }
    }
    return true;
}

bool Script::MoveToPosition(const char* arguments, std::vector<Variable>& variables, bool check_only,
                            CString& error)
{
    return RunPumpMove("MoveToPosition", &TecanCentris::MoveToPosition, arguments, variables, check_only, error);
}

bool Script::Dispense(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    return RunPumpMove("Dispense", &DispenseUl, arguments, variables, check_only, error);
}

bool Script::Aspirate(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    return RunPumpMove("Aspirate", &AspirateUl, arguments, variables, check_only, error);
}

bool Script::TerminateMove(const char* arguments, std::vector<Variable>& variables, bool check_only,
                           CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    if (!ReadSelector(cursor, selector, variables, error) ||
        !CheckSelector(selector, "TerminateMove() ipump must be 0, 1 or 2", error))
        return false;
    if (check_only)
        return true;
    if (!CheckPumpPort("TerminateMove() pump not detected.", error))
        return false;
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        Tovanix::String driverError;
        bool idle = false;
        bool ok = QueryIdle(pump, idle, driverError);
        if (ok && !idle) {
            platform::GetClock().SleepFor(std::chrono::milliseconds(250));
            ok = TecanCentris::TerminateMove(theApp.m_nPumpComPort, pump, &driverError);
        }
        if (!ok) {
            error.Format("TerminateMove(%ld) : pump %d : %s", static_cast<long>(selector), pump, driverError.c_str());
            return false;
        }
    }
    return true;
}

bool Script::SetPumpValveState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    Tovanix::String state;
    if (!ReadSelector(cursor, selector, variables, error) ||
        !CheckSelector(selector, "SetPumpValveState() ipump must be 0, 1 or 2", error) ||
        !ReadStringParameter(2, cursor, state, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    bool (*setValve)(int, int, Tovanix::String*) = nullptr;
    if (strcasecmp(state.c_str(), "input") == 0)
        setValve = &TecanCentris::SetValveInput;
    else if (strcasecmp(state.c_str(), "output") == 0)
        setValve = &TecanCentris::SetValveOutput;
    else if (strcasecmp(state.c_str(), "bypass") == 0)
        setValve = &TecanCentris::SetValveBypass;
    else {
        error = "SetPumpValveState() : state must be \"input\" or \"output\" or \"bypass\"";
        return false;
    }
    if (!CheckPumpPort("SetPumpValveState() pump not detected.", error))
        return false;
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        Tovanix::String driverError;
        if (!setValve(theApp.m_nPumpComPort, pump, &driverError)) {
            error.Format("SetPumpValveState() : %s", driverError.c_str());
            return false;
        }
    }
    return true;
}

bool Script::WaitWhileSyringeIsMoving(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                      CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    int timeoutSeconds = 0;
    if (!ReadSelector(cursor, selector, variables, error) ||
        !CheckSelector(selector, "WaitWhileSyringeIsMoving() syringe must be 0, 1 or 2", error) ||
        !ReadIntParameter(2, cursor, timeoutSeconds, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (timeoutSeconds < 1 || timeoutSeconds > 36000) {
        error = "WaitWhileSytringeIsMoving() tmout_seconds must be between 1 an 36000";
        return false;
    }
    // One count of 250 ms pauses serves both pumps: the limit covers the two together.
    long pauses = 0;
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        for (;;) {
            Tovanix::String driverError;
            bool idle = false;
            if (!QueryIdle(pump, idle, driverError)) {
                error.Format("WaitWhileSyringeIsMoving() : %s", driverError.c_str());
                return false;
            }
            if (idle)
                break;
            if (pauses / 4 >= timeoutSeconds) {
                error.Format("WaitWhileSyringeIsMoving() : Timeout after %ld seconds", static_cast<long>(timeoutSeconds));
                return false;
            }
            platform::GetClock().SleepFor(std::chrono::milliseconds(250));
            ++pauses;
        }
    }
    return true;
}

bool Script::InitializeSyringePump(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                   CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    if (!ReadSelector(cursor, selector, variables, error))
        return false;
    if (check_only)
        return true;
    if (!CheckSelector(selector, "InitializeSyringePump() ipump must be 0, 1 or 2", error) ||
        !CheckPumpPort("InitializeSyringePump() pump not detected.", error))
        return false;
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        Tovanix::String driverError;
        if (!TecanCentris::InitializeSyringePump(theApp.m_nPumpComPort, pump, &driverError)) {
            error.Format("InitializeSyringePump() : %s", driverError.c_str());
            return false;
        }
    }
    return true;
}

bool Script::SetSyringeVolume(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    int volume = 0;
    if (!ReadSelector(cursor, selector, variables, error) ||
        !CheckSelector(selector, "SetSyringeVolume() isyringe must be equal to 0 (both) 1 or 2", error) ||
        !ReadIntParameter(2, cursor, volume, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    bool known = false;
    for (int size : {50, 100, 250, 500, 1000, 2500, 5000, 12500})
        known = known || volume == size;
    if (!known) {
        error = "SetSyringeVolume() invalid vol_ul, valid values are 50, 100, 250, 500, 1000, 2500, 5000, 12500";
        return false;
    }
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        Tovanix::String driverError;
        if (!TecanCentris::SetSyringeVolume(theApp.m_nPumpComPort, pump, volume, &driverError)) {
            error.Format("SetSyringeVolume() : %s", driverError.c_str());
            return false;
        }
    }
    return true;
}

bool Script::ResetPump(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    int pump = 0;
    if (!ReadSelector(cursor, pump, variables, error))
        return false;
    if (pump != 1 && pump != 2) {
        error = "ResetPump() ipump must be 1 or 2";
        return false;
    }
    if (check_only)
        return true;
    if (!CheckPumpPort("ResetPump() pump not detected.", error))
        return false;
    Tovanix::String driverError;
    if (!TecanCentris::ResetPump(theApp.m_nPumpComPort, pump, &driverError)) {
        error.Format("ResetPump() : %s", driverError.c_str());
        return false;
    }
    return true;
}

bool Script::GetSyringeAspiratedVolume(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                       CString& error)
{
    const char* cursor = arguments;
    int pump = 0;
    Variable* target = nullptr;
    if (!ReadPumpAndVariable(cursor, variables, pump, 2, "GetSyringeAsperatedVolume() ipump must be 1 or 2",
                             "GetSyringeAsperatedVolume() volume must be a variable.", target, error, true))
        return false;
    if (check_only)
        return true;
    double volume = 0;
    Tovanix::String driverError;
    if (!TecanCentris::QueryDouble(theApp.m_nPumpComPort, pump, "?18", &volume, &driverError)) {
        error = driverError.c_str();
        return false;
    }
    if (target->type == kVariableDouble)
        target->dValue = volume;
    return true;
}

bool Script::GetBacklashSteps(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    const char* cursor = arguments;
    int pump = 0;
    Variable* target = nullptr;
    if (!ReadPumpAndVariable(cursor, variables, pump, 2, "GetBacklashSteps() ipump must be 1 or 2",
                             "GetBacklashSteps() volume must be a variable.", target, error, false))
        return false;
    if (check_only)
        return true;
    int32_t steps = 0;
    Tovanix::String driverError;
    if (!TecanCentris::QueryLong(theApp.m_nPumpComPort, pump, "?4", &steps, &driverError)) {
        error = driverError.c_str();
        return false;
    }
    if (target->type == kVariableInt)
        target->iValue = steps;
    return true;
}

bool Script::SetBacklashSteps(const char* arguments, std::vector<Variable>& variables, bool check_only,
                              CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    int steps = 0;
    if (!ReadSelector(cursor, selector, variables, error) ||
        !CheckSelector(selector, "SetBacklashSteps() ipump must be 0, 1 or 2", error) ||
        !ReadIntParameter(2, cursor, steps, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (steps < 0 || steps > 3000) {
        error = "SetBacklashSteps() position must be between 0 and 3000 steps";
        return false;
    }
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        Tovanix::String driverError;
        int32_t current = 0;
        // Written only when it changes: the pump keeps it in its own memory.
        bool ok = TecanCentris::QueryLong(theApp.m_nPumpComPort, pump, "?4", &current, &driverError);
        if (ok && current != steps)
            ok = TecanCentris::SetBacklashSteps(theApp.m_nPumpComPort, pump, static_cast<uint32_t>(steps),
                                                &driverError);
        if (!ok) {
            error.Format("SetBacklashSteps () : %s", driverError.c_str());
            return false;
        }
    }
    return true;
}

bool Script::GetAccelerationRate(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error)
{
    const char* cursor = arguments;
    int pump = 0;
    Variable* rampUp = nullptr;
    Variable* rampDown = nullptr;
    if (!ReadPumpAndVariable(cursor, variables, pump, 2, "GetAccelerationRate() ipump must be 1 or 2",
                             "GetAccelerationRate() ramp_up must be a variable.", rampUp, error, false))
        return false;
    int ignored = 0;
    if (!ReadIntParameter(3, cursor, ignored, error, &variables, &rampDown))
        return false;
    if (!rampDown) {
        error = "GetAccelerationRate() ramp_down must be a variable.";
        return false;
    }
    if (check_only)
        return true;
    int32_t up = 0, down = 0;
    Tovanix::String driverError;
    if (!TecanCentris::QueryLong(theApp.m_nPumpComPort, pump, "?9", &up, &driverError) ||
        !TecanCentris::QueryLong(theApp.m_nPumpComPort, pump, "?10", &down, &driverError)) {
        error = driverError.c_str();
        return false;
    }
    if (rampUp->type == kVariableInt)
        rampUp->iValue = up;
    if (rampDown->type == kVariableInt)
        rampDown->iValue = down;
    return true;
}

bool Script::SetAccelerationRate(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                 CString& error)
{
    const char* cursor = arguments;
    int selector = 0;
    int rateUp = 0, rateDown = 0;
    if (!ReadSelector(cursor, selector, variables, error) ||
        !CheckSelector(selector, "SetAccelerationRate() ipump must be 0, 1 or 2", error) ||
        !ReadIntParameter(2, cursor, rateUp, error, &variables, nullptr))
        return false;
    if (rateUp < 1 || rateUp > 40) {
        error = "SetAccelerationRate() rate_up must be between 1 and 40";
        return false;
    }
    if (!ReadIntParameter(3, cursor, rateDown, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (rateDown < 1 || rateDown > 40) {
        error = "SetAccelerationRate() rate_down must be between 1 and 40";
        return false;
    }
    if (!CheckPumpPort("SetAccelerationRate() pump not detected.", error))
        return false;
    for (int pump = 1; pump <= 2; ++pump) {
        if (!Serves(selector, pump))
            continue;
        Tovanix::String driverError;
        if (!TecanCentris::SetAccelerationRate(theApp.m_nPumpComPort, pump, static_cast<uint32_t>(rateUp),
                                               static_cast<uint32_t>(rateDown), &driverError)) {
            error.Format("SetAccelerationRate () : %s", driverError.c_str());
            return false;
        }
    }
    return true;
}

bool Script::TestPumps(Script& script, const char* arguments, std::vector<Variable>& variables, bool check_only,
                       CString& error)
{
    const char* cursor = arguments;
    int selector = 0, cycles = 0, rangeUl = 0;
    double toleranceUl = 0;
    if (!ReadSelector(cursor, selector, variables, error) ||
        !ReadIntParameter(2, cursor, cycles, error, &variables, nullptr) ||
        !ReadIntParameter(3, cursor, rangeUl, error, &variables, nullptr) ||
        !ReadDoubleParameter(4, cursor, toleranceUl, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (!CheckSelector(selector, "TestPumps() ipump must be 0, 1 or 2", error))
        return false;
    if (cycles < 1 || cycles > 10000) {
        error = "TestPumps() ncycles must be between 1 and 10000";
        return false;
    }
    // The capacity of pump 1 bounds the range, whichever pump is exercised.
    int32_t capacity = 0;
    Tovanix::String driverError;
    if (!TecanCentris::QueryLong(theApp.m_nPumpComPort, 1, "?17", &capacity, &driverError)) {
        error.Format("TestPumps() %s", driverError.c_str());
        return false;
    }
    if (rangeUl < 1 || rangeUl > capacity) {
        error.Format("TestPumps() range_ul must be between 1 and %ld ul", static_cast<long>(capacity));
        return false;
    }
    if (!(toleranceUl >= 0 && toleranceUl <= 1.0)) {
        error = "TestPumps() tolerance_ul must be between 0 and 1.0 ul";
        return false;
    }

    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(platform::GetClock().WallNow().time_since_epoch()).count();
    RandomPositions random(static_cast<uint32_t>(seconds));
    const int64_t span = int64_t{rangeUl} * 1000;
    for (long iteration = 0; iteration < cycles; ++iteration) {
        // Two targets per iteration, drawn whether or not their pump is exercised.
        double targets[2];
        for (int pump = 1; pump <= 2; ++pump) {
            targets[pump - 1] = static_cast<double>(random.Next() % span) / 1000.0;
            if (!Serves(selector, pump))
                continue;
            if (!TecanCentris::MoveToPosition(theApp.m_nPumpComPort, pump, targets[pump - 1], &driverError)) {
                error.Format("TestPumps() iter=%ld ipump=%d : %s", iteration, pump, driverError.c_str());
                return false;
            }
        }
        for (int pump = 1; pump <= 2; ++pump) {
            if (!Serves(selector, pump))
                continue;
            bool stopped = false;
            if (!CheckPumpAfterMove(script, pump, iteration, targets[pump - 1], toleranceUl, stopped, error))
                return false;
            // A stop request ends the exercise; the run ends at the next line.
            if (stopped)
                return true;
        }
    }
    return true;
}

void InstallPumpCommands(BuiltInHandlerTable& table)
{
    table.Set(kSetTopSpeed, &Script::SetTopSpeed);
    table.Set(kMoveToPosition, &Script::MoveToPosition);
    table.Set(kTerminateMove, &Script::TerminateMove);
    table.Set(kSetPumpValveState, &Script::SetPumpValveState);
    table.Set(BuiltIn::kDispense, &Script::Dispense);
    table.Set(BuiltIn::kAspirate, &Script::Aspirate);
    table.Set(kWaitWhileSyringeIsMoving, &Script::WaitWhileSyringeIsMoving);
    table.Set(kInitializeSyringePump, &Script::InitializeSyringePump);
    table.Set(kSetSyringeVolume, &Script::SetSyringeVolume);
    table.Set(kResetPump, &Script::ResetPump);
    table.Set(kGetSyringeAspiratedVolume, &Script::GetSyringeAspiratedVolume);
    table.Set(kSetBacklashSteps, &Script::SetBacklashSteps);
    table.Set(kGetBacklashSteps, &Script::GetBacklashSteps);
    table.Set(kGetAccelerationRate, &Script::GetAccelerationRate);
    table.Set(kSetAccelerationRate, &Script::SetAccelerationRate);
    table.Set(kTestPumps, &Script::TestPumps);
}
