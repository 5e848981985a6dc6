// The syringe-pump commands: what each refuses when the script loads and
// when its line runs, and what reaches the virtual pumps byte for byte.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/VelloraApp.h"
#include "platform/Clock.h"
#include "script/BuiltInFunctions.h"
#include "script/Script.h"
#include "script/tests/ScriptTestSupport.h"
#include "sim/PumpSimulator.h"
#include "sim/VirtualInstrumentSession.h"
#include "support/SerialPort.h"

namespace {

using scripttest::Declared;
using scripttest::Describe;

// Runs one call line ("Name(arguments);") as the check pass or the executor does.
std::string RunLine(Script& script, std::vector<Variable>& variables, const std::string& line, bool check_only)
{
    const size_t open = line.find_first_of("( ");
    const std::string name = line.substr(0, open);
    const int position = FindBuiltInFunction(name.c_str());
    if (position < 0)
        return "no command " + name;
    CString error;
    const int index = g_BuiltInFunctions[static_cast<size_t>(position)].index;
    if (script.ExecuteBuiltInFunction(index, line.c_str() + open, variables, check_only, error))
        return "ok";
    return error.str();
}

std::vector<Variable> ResultVariables()
{
    return Declared({"double d = 0.5;", "int n = 7;", "int m = 8;", "STRING s = \"x\";"});
}

class PumpCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildBuiltInFunctionTable();
        theApp.m_nPumpComPort = 0;
        script.running = true;
    }
    void TearDown() override
    {
        if (session) {
            ReleaseSerialPort(theApp.m_nPumpComPort);
            session->Stop();
        }
        theApp.m_nPumpComPort = 0;
    }

    void StartPumps()
    {
        session = std::make_unique<sim::VirtualInstrumentSession>();
        std::string error;
        ASSERT_TRUE(session->Start(&error)) << error;
        theApp.m_nPumpComPort = sim::VirtualInstrumentSession::kPumpComPort;
        Tovanix::String setupError;
        ASSERT_TRUE(SetupSerialPort(theApp.m_nPumpComPort, 9600, &setupError)) << setupError.c_str();
        Pumps().SetSpeedFactor(0.01);
        for (int pump = 1; pump <= 2; ++pump)
            Pumps().ModifyPump(pump, [](sim::PumpSimulator::PumpState& state) { state.initialized = true; });
        Pumps().ClearReceived();
    }
    sim::PumpSimulator& Pumps() { return session->Pumps(); }

    // The frames the pumps received since the last clear, without their CR.
    std::vector<std::string> Frames()
    {
        std::vector<std::string> frames;
        std::string frame;
        for (char c : Pumps().ReceivedBytes()) {
            if (c == '\r') {
                frames.push_back(frame);
                frame.clear();
            } else {
                frame += c;
            }
        }
        Pumps().ClearReceived();
        return frames;
    }

    std::string Run(const std::string& line) { return RunLine(script, variables, line, false); }

    Script script{0};
    std::vector<Variable> variables = ResultVariables();
    std::unique_ptr<sim::VirtualInstrumentSession> session;
};

TEST_F(PumpCommandTest, RefusalsAtLoadTimeAndWhenTheLineRunsWithoutPumps)
{
    const struct {
        const char* line;
        const char* check;  // the check pass
        const char* run;    // the line run after a check that passed
    } cases[] = {
        {"SetTopSpeed 1, 2);", "Missing '('", nullptr},
        {"SetTopSpeed(", "missing );", nullptr},
        {"SetTopSpeed(-1, 10.0);", "SetTopSpeed() ipump must be 0, 1 or 2", nullptr},
        {"SetTopSpeed(1);", "Invalid double parameter 2", nullptr},
        {"SetTopSpeed(1, 0.1);", "ok", "SetTopSpeed() speed must be between 0.5 and 300000 ul/min"},
        {"SetTopSpeed(1, nan);", "Variable \"nan\" is not defined, expecting double parameter 2", nullptr},
        {"SetTopSpeed(1, 10.0, anything else);", "ok", "SetTopSpeed() pump not detected."},
        {"MoveToPosition(3, 1.0);", "MoveToPosition() ipump must be 0, 1 or 2", nullptr},
        {"MoveToPosition(1, -1.0);", "ok", "MoveToPosition() position must be between 0 and 10000 ul"},
        {"Dispense(1, 100000.5);", "ok", "Dispense() position must be between 0 and 10000 ul"},
        {"Aspirate(2, 5.0);", "ok", "Aspirate() pump not detected."},
        {"ValidateDispense(1, 20000.0);", "ok", "ok"},
        {"ValidateAspirate(3, 1.0);", "Aspirate() ipump must be 0, 1 or 2", nullptr},
        {"WaitWhileSyringeIsMoving(5, 1);", "WaitWhileSyringeIsMoving() syringe must be 0, 1 or 2", nullptr},
        {"WaitWhileSyringeIsMoving(1, 0);", "ok",
         "WaitWhileSytringeIsMoving() tmout_seconds must be between 1 an 36000"},
        {"InitializeSyringePump(7);", "ok", "InitializeSyringePump() ipump must be 0, 1 or 2"},
        {"InitializeSyringePump(1);", "ok", "InitializeSyringePump() pump not detected."},
        {"TerminateMove(-1);", "TerminateMove() ipump must be 0, 1 or 2", nullptr},
        {"TerminateMove(0);", "ok", "TerminateMove() pump not detected."},
        {"ResetPump(0);", "ResetPump() ipump must be 1 or 2", nullptr},
        {"ResetPump(2);", "ok", "ResetPump() pump not detected."},
        // The state is examined before the port.
        {"SetPumpValveState(1, \"sideways\");", "ok",
         "SetPumpValveState() : state must be \"input\" or \"output\" or \"bypass\""},
        {"SetPumpValveState(1, \"BYPASS\");", "ok", "SetPumpValveState() pump not detected."},
        {"SetPumpValveState(3, \"input\");", "SetPumpValveState() ipump must be 0, 1 or 2", nullptr},
        {"SetSyringeVolume(3, 50);", "SetSyringeVolume() isyringe must be equal to 0 (both) 1 or 2", nullptr},
        {"SetSyringeVolume(1, 1250);", "ok",
         "SetSyringeVolume() invalid vol_ul, valid values are 50, 100, 250, 500, 1000, 2500, 5000, 12500"},
        {"GetSyringeAspiratedVolume(0, d);", "GetSyringeAsperatedVolume() ipump must be 1 or 2", nullptr},
        {"GetSyringeAspiratedVolume(1, 5.0);", "GetSyringeAsperatedVolume() volume must be a variable.", nullptr},
        {"GetBacklashSteps(3, n);", "GetBacklashSteps() ipump must be 1 or 2", nullptr},
        {"GetBacklashSteps(1, 3);", "GetBacklashSteps() volume must be a variable.", nullptr},
        {"GetBacklashSteps(1, s);", "Variable s is not type int, parameter 2 expected int", nullptr},
        {"SetBacklashSteps(4, 10);", "SetBacklashSteps() ipump must be 0, 1 or 2", nullptr},
        {"SetBacklashSteps(1, 3001);", "ok", "SetBacklashSteps() position must be between 0 and 3000 steps"},
        {"SetBacklashSteps(1, -1);", "ok", "SetBacklashSteps() position must be between 0 and 3000 steps"},
        {"GetAccelerationRate(0, n, m);", "GetAccelerationRate() ipump must be 1 or 2", nullptr},
        {"GetAccelerationRate(1, 4, m);", "GetAccelerationRate() ramp_up must be a variable.", nullptr},
        {"GetAccelerationRate(1, n, 4);", "GetAccelerationRate() ramp_down must be a variable.", nullptr},
        {"SetAccelerationRate(3, 5, 5);", "SetAccelerationRate() ipump must be 0, 1 or 2", nullptr},
        {"SetAccelerationRate(1, 41, 5);", "SetAccelerationRate() rate_up must be between 1 and 40", nullptr},
        {"SetAccelerationRate(1, 5, 0);", "ok", "SetAccelerationRate() rate_down must be between 1 and 40"},
        {"SetAccelerationRate(1, 5, 5);", "ok", "SetAccelerationRate() pump not detected."},
        {"TestPumps(5, 0, 10, 0.5);", "ok", "TestPumps() ipump must be 0, 1 or 2"},
        {"TestPumps(1, 0, 10, 0.5);", "ok", "TestPumps() ncycles must be between 1 and 10000"},
        {"TestPumps(1, 1, 10);", "Invalid double parameter 4", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.check, RunLine(script, variables, c.line, true));
        // A refusal of the check pass stands when the line runs too.
        EXPECT_EQ(c.run ? c.run : c.check, RunLine(script, variables, c.line, false));
    }
    // Nothing was written into the result variables.
    EXPECT_EQ("double 0.5", Describe(variables, "d"));
    EXPECT_EQ("int 7", Describe(variables, "n"));
}

TEST_F(PumpCommandTest, SettingsReachThePumpsInOrderPumpOneFirst)
{
    StartPumps();
    const struct {
        const char* line;
        std::vector<std::string> frames;
    } cases[] = {
        {"SetTopSpeed(0, 600.0);", {"/1V10.000,1R", "/2V10.000,1R"}},
        {"SetTopSpeed(2, 90);", {"/2V1.500,1R"}},
        // The letter is stored, the "R" turns the valve.
        {"SetPumpValveState(1, \"OUTPUT\");", {"/1O", "/1R"}},
        {"SetPumpValveState(0, \"Bypass\");", {"/1B", "/1R", "/2B", "/2R"}},
        {"SetPumpValveState(2, \"input\");", {"/2I", "/2R"}},
        {"SetSyringeVolume(2, 250);", {"/2U90"}},
        {"ResetPump(1);", {"/1!R"}},
        {"ValidateAspirate(1, 5.0);", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ("ok", Run(c.line));
        EXPECT_EQ(c.frames, Frames());
        // A turning valve keeps its pump busy.
        ASSERT_EQ("ok", Run("WaitWhileSyringeIsMoving(0, 60);"));
        Frames();
    }
    EXPECT_EQ('I', Pumps().Pump(2).valve);
    EXPECT_EQ('B', Pumps().Pump(1).valve);
}

TEST_F(PumpCommandTest, MovesAndQueriesAgainstTheVirtualPumps)
{
    StartPumps();
    ASSERT_EQ("ok", Run("Aspirate(1, 100.0);"));
    EXPECT_EQ((std::vector<std::string>{"/1?17", "/1?18", "/1P100,1R"}), Frames());
    ASSERT_EQ("ok", Run("WaitWhileSyringeIsMoving(1, 60);"));
    Frames();
    ASSERT_EQ("ok", Run("Dispense(1, 40);"));
    EXPECT_EQ((std::vector<std::string>{"/1?18", "/1D40.000,1R"}), Frames());
    ASSERT_EQ("ok", Run("WaitWhileSyringeIsMoving(0, 60);"));
    Frames();

    ASSERT_EQ("ok", Run("GetSyringeAspiratedVolume(1, d);"));
    EXPECT_NEAR(60.0, variables[0].dValue, 0.1);
    EXPECT_EQ((std::vector<std::string>{"/1?18"}), Frames());
    // A variable of the other numeric type passes and is left unchanged.
    ASSERT_EQ("ok", Run("GetSyringeAspiratedVolume(1, n);"));
    EXPECT_EQ("int 7", Describe(variables, "n"));
    Frames();

    // A dispense beyond what was aspirated fails with the driver's words.
    const std::string refused = Run("Dispense(0, 80);");
    EXPECT_EQ(0u, refused.rfind("Dispense() : Dispense_ul (80) : Invalid dispense", 0)) << refused;
    EXPECT_EQ((std::vector<std::string>{"/1?18"}), Frames());  // pump 2 untouched

    ASSERT_EQ("ok", Run("MoveToPosition(2, 12.5);"));
    EXPECT_EQ((std::vector<std::string>{"/2A12.500,1R"}), Frames());
}

TEST_F(PumpCommandTest, BacklashIsWrittenOnlyWhenItChangesAndRampsAreReadTogether)
{
    StartPumps();
    Pumps().ModifyPump(1, [](sim::PumpSimulator::PumpState& state) { state.backlashSteps = 12; });
    ASSERT_EQ("ok", Run("SetBacklashSteps(0, 12);"));
    const std::vector<std::string> frames = Frames();
    // Pump 1 already has it; pump 2 gets it with the store and restart.
    EXPECT_EQ((std::vector<std::string>{"/1?4", "/2?4", "/2K12R", "/2iR", "/2!R"}), frames);

    ASSERT_EQ("ok", Run("GetBacklashSteps(2, n);"));
    EXPECT_EQ("int 12", Describe(variables, "n"));
    ASSERT_EQ("ok", Run("GetBacklashSteps(2, d);"));
    EXPECT_EQ("double 0.5", Describe(variables, "d"));

    Pumps().ModifyPump(2, [](sim::PumpSimulator::PumpState& state) {
        state.rampUp = 9;
        state.rampDown = 21;
    });
    Frames();
    ASSERT_EQ("ok", Run("GetAccelerationRate(2, n, m);"));
    EXPECT_EQ("int 9", Describe(variables, "n"));
    EXPECT_EQ("int 21", Describe(variables, "m"));
    EXPECT_EQ((std::vector<std::string>{"/2?9", "/2?10"}), Frames());
}

TEST_F(PumpCommandTest, WaitForMovesTimesOutOverBothPumpsTogether)
{
    StartPumps();
    platform::ManualClock clock;
    platform::ScopedClock useClock(clock);
    Pumps().HoldBusy(1, std::chrono::seconds(60));
    Pumps().HoldBusy(2, std::chrono::seconds(60));
    const auto start = clock.Now();
    EXPECT_EQ("WaitWhileSyringeIsMoving() : Timeout after 1 seconds", Run("WaitWhileSyringeIsMoving(0, 1);"));
    // Four pauses of 250 ms, a busy query before each and one after the last.
    EXPECT_EQ(std::chrono::milliseconds(1000), clock.Now() - start);
    EXPECT_EQ(std::vector<std::string>(5, "/1?29"), Frames());
}

TEST_F(PumpCommandTest, TerminateQueriesFirstAndStopsOnlyABusyPump)
{
    StartPumps();
    platform::ManualClock clock;
    platform::ScopedClock useClock(clock);
    ASSERT_EQ("ok", Run("TerminateMove(0);"));
    EXPECT_EQ((std::vector<std::string>{"/1?29", "/2?29"}), Frames());

    Pumps().HoldBusy(2, std::chrono::seconds(60));
    ASSERT_EQ("ok", Run("TerminateMove(0);"));
    EXPECT_EQ((std::vector<std::string>{"/1?29", "/2?29", "/2T"}), Frames());

    Pumps().SetFault(sim::SerialDeviceSimulator::Fault::NoReply, -1, "?29");
    const std::string failed = Run("TerminateMove(2);");
    Pumps().SetFault(sim::SerialDeviceSimulator::Fault::None);
    EXPECT_EQ(0u, failed.rfind("TerminateMove(2) : pump 2 : ", 0)) << failed;
}

TEST_F(PumpCommandTest, TestPumpsMovesTheSelectedPumpWithinRangeAndTolerance)
{
    StartPumps();
    // Pump 1's capacity bounds the range, whichever pump is exercised.
    EXPECT_EQ("TestPumps() range_ul must be between 1 and 1250 ul", Run("TestPumps(2, 1, 1251, 0.5);"));
    EXPECT_EQ("TestPumps() tolerance_ul must be between 0 and 1.0 ul", Run("TestPumps(2, 1, 10, 1.5);"));
    Frames();

    ASSERT_EQ("ok", Run("TestPumps(2, 3, 20, 0.1);"));
    std::vector<std::string> moves;
    for (const std::string& frame : Frames()) {
        EXPECT_NE(0u, frame.rfind("/1A", 0)) << "pump 1 moved: " << frame;
        if (frame.rfind("/2A", 0) == 0)
            moves.push_back(frame);
    }
    ASSERT_EQ(3u, moves.size());
    for (const std::string& move : moves) {
        const double target = std::stod(move.substr(3));
        EXPECT_GE(target, 0.0);
        EXPECT_LT(target, 20.0);
    }

    // A move the pump never answers ends the exercise with the pump named.
    Pumps().SetFault(sim::SerialDeviceSimulator::Fault::NoReply, 1, "A");
    const std::string failed = Run("TestPumps(1, 1, 20, 0.1);");
    EXPECT_EQ(0u, failed.rfind("TestPumps() iter=0 ipump=1 : ", 0)) << failed;
}

// Clears the run's flag at the third pause, as a stop request from the
// console would.
class StoppingClock : public platform::ManualClock {
public:
    explicit StoppingClock(Script& script) : m_script(script) {}
    void SleepFor(std::chrono::milliseconds duration) override
    {
        ManualClock::SleepFor(duration);
        if (++pauses == 3)
            m_script.running = false;
    }
    std::atomic<int> pauses{0};

private:
    Script& m_script;
};

TEST_F(PumpCommandTest, TestPumpsStopsWaitingForAPumpThatStaysBusyWhenTheRunIsStopped)
{
    StartPumps();
    StoppingClock clock(script);
    platform::ScopedClock useClock(clock);
    Pumps().SetSpeedFactor(1000);  // the first move never ends
    EXPECT_EQ("ok", Run("TestPumps(1, 100, 20, 0.1);"));
    EXPECT_EQ(3, clock.pauses.load());
    // One move, then busy queries only: the exercise ended with the wait.
    const std::vector<std::string> frames = Frames();
    int moves = 0;
    for (const std::string& frame : frames)
        moves += frame.rfind("/1A", 0) == 0 ? 1 : 0;
    EXPECT_EQ(1, moves);
}

}  // namespace
