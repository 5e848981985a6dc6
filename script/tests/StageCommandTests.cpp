// The stage commands against the virtual stage on its serial line: their
// refusals in the check pass and at run time, moves with their range and the
// driver's own limit, the position read back, the wait; and the temperature
// read-out with its log line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/tests/InstrumentLines.h"
#include "script/Script.h"
#include "script/tests/CommandCallSupport.h"
#include "script/tests/ScriptTestSupport.h"
#include "sim/StageSimulator.h"
#include "support/CachedLog.h"

namespace {

using scripttest::Call;
using scripttest::Declared;
using scripttest::Describe;

class StageCommandTest : public devices_testing::InstrumentLines {
protected:
    void SetUp() override
    {
        InstrumentLines::SetUp();
        BuildBuiltInFunctionTable();
    }
    void TearDown() override
    {
        if (_CachedLog_semaphore) {
            platform::SemaphoreLock lock(*_CachedLog_semaphore, 1000);
            g_CachedLogs.clear();
            g_LastCachedLogIndex = -1;
        }
        InstrumentLines::TearDown();
    }

    std::string Check(const std::string& line) { return Call(script, variables, line, true); }
    std::string Run(const std::string& line) { return Call(script, variables, line, false); }

    // The position of a stage axis (1 focus, 2 X) in millimetres.
    double StageMm(int axis) const { return stage->Position(axis) / sim::StageSimulator::kStepsPerMm; }

    Script script{0};
    std::vector<Variable> variables =
        Declared({"double d = -1;", "int i = 7;", "STRING s = \"X\";", "double t1 = 1;", "double t2 = 2;",
                  "double t3 = 3;", "double t4 = 4;"});
};

const char kWaitNotInitialized[] = "ZB_WaitForMoveToFinish() Zaber is not initialized.";
const char kNoStage[] =
    "Please set InitializeZaberOnStartup=TRUE in the ExperimentSettings.ini file and restart Vellora";

TEST_F(StageCommandTest, RefusalsInTheCheckPassAndAtRunTime)
{
    // No stage port is known: only the wait asks for the stage while checking.
    const struct {
        const char* line;
        std::string check;  // the check pass
        std::string run;    // the run, when the check passed
    } cases[] = {
        {"ZB_MoveToPosition_mm(\"x\", 1.0);", "ZB_MoveToPosition_mm() axis must have value \"X\" or \"Z\"", ""},
        {"ZB_MoveToPosition_mm(\"Z\", pos);", "Variable \"pos\" is not defined, expecting double parameter 2", ""},
        {"ZB_MoveToPosition_mm(\"X\", 200.5);", "ok", "ZB_MoveToPosition_mm() position must be between -200 and +200 mm"},
        {"ZB_MoveToPosition_mm(\"X\", 200);", "ok", kNoStage},
        {"ZB_MoveRelative_mm(\"Y\", 1.0);", "ZB_MoveRelative_mm() axis must have value \"X\" or \"Z\"", ""},
        {"ZB_MoveRelative_mm(\"Y\", s);", "Variable s is not type double, parameter 2 expected double", ""},
        {"ZB_MoveRelative_mm(\"Z\", -200.01);", "ok", "ZB_MoveRelative_mm() position must be between -200 and +200 mm"},
        {"ZB_MoveRelative_mm(X, 1.0);", "Variable \"X\" is not defined, expecting STRING parameter 1", ""},
        {"ZB_GetPosition_mm(\"z\", d);", "ZB_GetPosition_mm() axis must have value \"X\" or \"Z\"", ""},
        {"ZB_GetPosition_mm(\"Z\", s);", "Variable s is not type double, parameter 2 expected double", ""},
        {"ZB_GetPosition_mm(\"Z\", d);", "ok", kNoStage},
        {"ZB_Home(\"x\");", "ok", "ZB_Home() axis must have value \"X\" or \"Z\""},
        {"ZB_Home(s);", "ok", kNoStage},
        {"ZB_Home \"X\";", "Missing '('", ""},
        {"ZB_WaitForMoveToFinish(\"X \");", "ZB_WaitForMoveToFinish() axis must have value \"X\" or \"Z\"", ""},
        {"ZB_WaitForMoveToFinish(\"X\");", kWaitNotInitialized, ""},
        {"GetTemperatures(t1, t2, t3, t4);", "Invalid int parameter 5", ""},
        {"GetTemperatures(t1, t2, t3, s, 0);", "Variable s is not type double, parameter 4 expected double", ""},
        {"GetTemperatures(t1, t2, t3, t4, 0);", "ok", "ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Check(c.line), c.check);
        EXPECT_EQ(Run(c.line), c.check == "ok" ? c.run : c.check) << "the run refuses what the check refused";
    }
}

TEST_F(StageCommandTest, AStageThatIsMeantToBeThereButIsNotStillNamesTheFailure)
{
    WriteSettings("[Zaber]\nInitializeZaberOnStartup=TRUE\n");
    EXPECT_EQ(Run("ZB_MoveToPosition_mm(\"X\", 1);"), "ZB_MoveToPosition_mm() Zaber is not initialized.");
    EXPECT_EQ(Check("ZB_WaitForMoveToFinish(\"Z\");"), kWaitNotInitialized);
}

TEST_F(StageCommandTest, MovesReachTheStageWithinTheDriversRange)
{
    OpenStage();
    EXPECT_EQ(Check("ZB_WaitForMoveToFinish(\"Z\");"), "ok") << "the stage is there now";

    ASSERT_EQ(Run("ZB_MoveToPosition_mm(\"Z\", 7.5);"), "ok");
    ASSERT_EQ(Run("ZB_WaitForMoveToFinish(\"Z\");"), "ok");
    EXPECT_NEAR(StageMm(sim::StageSimulator::kFocusAxis), 7.5, 1e-4);
    ASSERT_EQ(Run("ZB_MoveRelative_mm(\"X\", 12.25);"), "ok");
    ASSERT_EQ(Run("ZB_WaitForMoveToFinish(\"X\");"), "ok");
    EXPECT_NEAR(StageMm(sim::StageSimulator::kXAxis), 12.25, 1e-4);
    EXPECT_NEAR(sim::VirtualInstrument::Instance().Snapshot().stageFocusMm, 7.5, 1e-4) << "the camera sees it";

    ASSERT_EQ(Run("ZB_GetPosition_mm(\"X\", d);"), "ok");
    EXPECT_NEAR(variables[0].dValue, 12.25, 1e-4);
    // An int variable passes the reader and receives nothing.
    ASSERT_EQ(Run("ZB_GetPosition_mm(\"X\", i);"), "ok");
    EXPECT_EQ(Describe(variables, "i"), "int 7");

    // The command's range is wider than the driver's, which then refuses.
    EXPECT_EQ(Run("ZB_MoveToPosition_mm(\"Z\", 150);"), "Absolute position setting must be betwen -100.0 and 100.0 mm");
    EXPECT_EQ(Run("ZB_MoveRelative_mm(\"Z\", -100.5);"), "Relative position setting must be betwen -100.0 and 100.0 mm");
    EXPECT_NEAR(StageMm(sim::StageSimulator::kFocusAxis), 7.5, 1e-4) << "a refused move does not move";

    ASSERT_EQ(Run("ZB_Home(\"Z\");"), "ok");
    ASSERT_EQ(Run("ZB_WaitForMoveToFinish(\"Z\");"), "ok");
    EXPECT_NEAR(StageMm(sim::StageSimulator::kFocusAxis), 0.0, 1e-4);
}

TEST_F(StageCommandTest, TemperaturesOfThePresentDevicesWithTheirLogLine)
{
    OpenStage();
    OpenPumps();
    _CachedLog_semaphore = _CachedLog_semaphore ? _CachedLog_semaphore : new platform::Semaphore(1, 1);

    // No cached log open: the line is dropped and the read-out still succeeds.
    ASSERT_EQ(Run("GetTemperatures(t1, t2, t3, t4, 1);"), "ok");
    EXPECT_EQ(Describe(variables, "t1"), "double 31.5");
    EXPECT_EQ(Describe(variables, "t2"), "double 25");
    EXPECT_EQ(Describe(variables, "t3"), "double 25");
    EXPECT_EQ(Describe(variables, "t4"), "double 4") << "no camera: the value stays";

    {
        platform::SemaphoreLock lock(*_CachedLog_semaphore, 1000);
        GetCachedLogObj((dataRoot + "/LOG/first.log").c_str());
        GetCachedLogObj((dataRoot + "/LOG/second.log").c_str());
    }
    // Without pumps their variables keep what they held, and the line shows it.
    theApp.m_nPumpComPort = 0;
    variables = Declared({"double t1 = 0;", "double t2 = 2;", "int t3 = 3;", "double t4 = 4;"});
    ASSERT_EQ(Run("GetTemperatures(t1, t2, t3, t4, 1);"), "ok");
    ASSERT_EQ(Run("GetTemperatures(t1, t2, t3, 17.5, 0);"), "ok") << "a literal receives nothing; no line";
    EXPECT_EQ(Describe(variables, "t1"), "double 31.5");
    EXPECT_EQ(Describe(variables, "t3"), "int 3");
    platform::SemaphoreLock lock(*_CachedLog_semaphore, 1000);
    ASSERT_EQ(g_CachedLogs.size(), 2u);
    EXPECT_EQ(g_CachedLogs[0].lines,
              std::vector<std::string>{"T_ZStageDriver=31.50\tT_Pump1= 2.00\tT_Pump2= 3.00\tT_Camera= 4.00"});
    EXPECT_TRUE(g_CachedLogs[1].lines.empty()) << "only the first log is the default log";
}

TEST_F(StageCommandTest, DefaultLogLineWaitsForTheSemaphoreOnlyAsLongAsAllowed)
{
    _CachedLog_semaphore = _CachedLog_semaphore ? _CachedLog_semaphore : new platform::Semaphore(1, 1);
    Tovanix::String error;
    EXPECT_FALSE(AddALine_ToDefaultLog("x", &error, 10));
    EXPECT_STREQ(error.c_str(), "AddALine_ToDefaultLog () - there are no active cached log objects.");
    platform::SemaphoreLock held(*_CachedLog_semaphore, 1000);
    EXPECT_FALSE(AddALine_ToDefaultLog("x", &error, 10));
    EXPECT_STREQ(error.c_str(), "AddALine_ToDefaultLog () - timeout waiting for _CachedLog_semaphore.");
}

}  // namespace
