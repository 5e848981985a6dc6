// Runs on worker threads: the start of a run and its refusals, the end of a
// run with its log rows, archive and console, stopping, two instances at
// once, and the pumps of the virtual instrument.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Time.h"
#include "script/tests/ScriptRunTestSupport.h"
#include "sim/PumpSimulator.h"
#include "sim/VirtualInstrumentSession.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"
#include "support/SerialPort.h"

namespace {

namespace fs = std::filesystem;
using scripttest::ReadText;
using scripttest::ScriptFolderTest;
using scripttest::StandInWait;

class ScriptRunTest : public ScriptFolderTest {
protected:
    void SetUp() override
    {
        ScriptFolderTest::SetUp();
        if (!_CachedLog_semaphore) {
            Tovanix::String error;
            ASSERT_TRUE(InitializeCachedLogging(30, &error)) << error.c_str();
        }
    }
    void TearDown() override
    {
        StandInWait::Instance().ReleaseAll();
        observer.WaitForEnds(0);
        if (session) {
            ReleaseSerialPort(theApp.m_nPumpComPort);
            session->Stop();
            theApp.m_nPumpComPort = 0;
        }
        ScriptFolderTest::TearDown();
    }

    void StartPumps()
    {
        session = std::make_unique<sim::VirtualInstrumentSession>();
        std::string error;
        ASSERT_TRUE(session->Start(&error)) << error;
        theApp.m_nPumpComPort = sim::VirtualInstrumentSession::kPumpComPort;
        // As the discovery leaves it.
        Tovanix::String setupError;
        ASSERT_TRUE(SetupSerialPort(theApp.m_nPumpComPort, 9600, &setupError)) << setupError.c_str();
    }

    std::string Start(int32_t handle, const std::string& path)
    {
        CString error;
        return Script::RunScript(handle, path.c_str(), error) ? "ok" : error.str();
    }

    // The day's log file of the given kind ("Script", "Err_And_Info"), with
    // everything pending written.
    std::string DailyLog(const char* kind)
    {
        Tovanix::String ignored;
        CachedLogging::SaveAll(&ignored);
        SYSTEMTIME now;
        GetLocalTime(&now);
        char name[64];
        std::snprintf(name, sizeof name, "%s_%04u_%02u_%02u.log", kind, now.wYear, now.wMonth, now.wDay);
        return ReadText(root / "LOG" / name);
    }

    std::vector<fs::path> ArchiveFolders()
    {
        std::vector<fs::path> folders;
        for (const auto& entry : fs::directory_iterator(root / "LOG")) {
            if (entry.is_directory())
                folders.push_back(entry.path());
        }
        return folders;
    }

    std::unique_ptr<sim::VirtualInstrumentSession> session;
};

TEST_F(ScriptRunTest, ARunEndsWithItsLogRowsItsArchiveAndTheConsoleTold)
{
    // A file of the same name in the Scripts folder must not be archived in
    // place of the file that ran.
    Write("Scripts/run.scr", "// another script of the same name\n");
    const std::string path = Write("elsewhere/run.scr", "int i = 0;\nWait(1);\nSaveTextToImageCaptureLogHeader(\"x\");\n");
    ASSERT_EQ(Start(0, path), "ok");
    ASSERT_TRUE(observer.WaitForEnds(1));
    EXPECT_EQ(observer.Ends(), std::vector<std::string>{"0 ended"});
    EXPECT_TRUE(ui.ShownBoxes().empty());

    const std::string log = DailyLog("Script");
    EXPECT_EQ(log.rfind("version\ttime\tScript\tline\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("\t\tWait(1);\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\t\tSaveTextToImageCaptureLogHeader(\"x\");\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\trun.scr\tonEndScript\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("int i = 0;"), std::string::npos) << "only call lines are logged";

    const std::vector<fs::path> folders = ArchiveFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].filename().string().rfind("Script_", 0), 0u);
    EXPECT_EQ(ReadText(folders[0] / "run.scr"), ReadText(path));
}

TEST_F(ScriptRunTest, RefusedRunsLeaveNoInstance)
{
    const std::string good = Write("good.scr", "Wait(1000);\n");
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {(root / "missing.scr").string(), "Script::RunScript () : Can't open file: " + (root / "missing.scr").string()},
        {Write("bad.scr", "int a;\n\nFrobnicate(a);\n"), (root / "bad.scr").string() + " invalid line 3 no such function: Frobnicate"},
        {Write("open.scr", "int a = 1;\nwhile (a < 2)\n{\n"),
         "Did not close out all code blocks before the end of the script file: " + (root / "open.scr").string()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Start(0, c.path), c.expected);
        EXPECT_FALSE(ScriptInstanceExists(0));
        EXPECT_FALSE(Script::IsScriptRunning(0, nullptr));
    }
    CString error;
    EXPECT_FALSE(Script::RunScript(2, good.c_str(), error));
    EXPECT_FALSE(ScriptInstanceExists(2));

    // The handle is free again: a good script runs.
    ASSERT_EQ(Start(0, good), "ok");
    ASSERT_TRUE(StandInWait::Instance().WaitUntilBlocked());
    StandInWait::Instance().ReleaseAll();
    EXPECT_TRUE(observer.WaitForEnds(1));
    EXPECT_TRUE(observer.Ends() == std::vector<std::string>{"0 ended"});
}

TEST_F(ScriptRunTest, ASecondRunOnABusyHandleIsRefusedAndTheFirstGoesOn)
{
    const std::string path = Write("Scripts/long.scr", "Wait(1000);\nWait(1);\n");
    ASSERT_EQ(Start(0, path), "ok");
    ASSERT_TRUE(StandInWait::Instance().WaitUntilBlocked());
    CString name;
    EXPECT_TRUE(Script::IsScriptRunning(0, &name));
    EXPECT_EQ(name.str(), "long.scr");
    EXPECT_EQ(Start(0, path), "CreateActiveScriptHandle(0) - Interpreter instance with handle: 0 already exists.");

    StandInWait::Instance().ReleaseAll();
    ASSERT_TRUE(observer.WaitForEnds(1));
    EXPECT_EQ(StandInWait::Instance().Calls(), 2);
    EXPECT_FALSE(Script::IsScriptRunning(0, nullptr));
}

TEST_F(ScriptRunTest, ARunTimeErrorIsLoggedAndShownBeforeTheEnd)
{
    const std::string path = Write("fails.scr", "int n = 0;\nWait(-1);\nn = 1;\n");
    ASSERT_EQ(Start(0, path), "ok");
    ASSERT_TRUE(observer.WaitForEnds(1));
    EXPECT_EQ(observer.Ends(), std::vector<std::string>{"0 failed"});
    const auto boxes = ui.ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Wait(-1); : Wait() failed on purpose");
    EXPECT_EQ(boxes[0].type, platform::MB_OK | platform::MB_ICONERROR);
    EXPECT_NE(DailyLog("Err_And_Info").find("\tScript\t"), std::string::npos);
    EXPECT_NE(DailyLog("Script").find("\tfails.scr\tonEndScript"), std::string::npos);
}

TEST_F(ScriptRunTest, AnExceptionEndsTheRunAndTheConsoleIsTold)
{
    const std::string path = Write("throws.scr", "Wait(-2);\n");
    ASSERT_EQ(Start(0, path), "ok");
    ASSERT_TRUE(observer.WaitForEnds(1));
    EXPECT_EQ(observer.Ends(), std::vector<std::string>{"0 failed"});
    EXPECT_TRUE(ui.ShownBoxes().empty());
    EXPECT_NE(DailyLog("Err_And_Info").find("Exception while running scipt."), std::string::npos);
}

TEST_F(ScriptRunTest, RunsWithoutCodeOrStoppedBeforeTheirThreadEndAtOnce)
{
    const std::string comments = Write("comments.scr", "// nothing\n\n   // to run\n");
    ASSERT_EQ(Start(0, comments), "ok");
    ASSERT_TRUE(observer.WaitForEnds(1));

    // A stop that arrives before the worker thread begins.
    SetScriptThreadStarter([](int32_t* handle, std::string*) {
        Script::StopScript(*handle);
        std::thread(ScriptThreadProc, handle).detach();
        return true;
    });
    const std::string code = Write("code.scr", "Wait(1);\n");
    ASSERT_EQ(Start(1, code), "ok");
    ASSERT_TRUE(observer.WaitForEnds(2));

    EXPECT_EQ(observer.Ends(), (std::vector<std::string>{"0 ended", "1 ended"}));
    EXPECT_EQ(StandInWait::Instance().Calls(), 0);
    EXPECT_TRUE(ArchiveFolders().empty());
    EXPECT_EQ(DailyLog("Script").find("onEndScript"), std::string::npos);
}

TEST_F(ScriptRunTest, AThreadThatCannotStartRefusesTheRun)
{
    SetScriptThreadStarter([](int32_t*, std::string* error) {
        *error = "Resource temporarily unavailable";
        return false;
    });
    EXPECT_EQ(Start(0, Write("code.scr", "Wait(1);\n")),
              "Script::RunScript () : Can't start the script thread: Resource temporarily unavailable");
    EXPECT_FALSE(ScriptInstanceExists(0));
}

TEST_F(ScriptRunTest, ScriptHasCode)
{
    EXPECT_FALSE(Script::ScriptHasCode(Write("blank.scr", "\n   \n// only a comment\n\t// another\r\n").c_str()));
    EXPECT_TRUE(Script::ScriptHasCode(Write("one.scr", "// heading\nint a;\n").c_str()));
    EXPECT_TRUE(Script::ScriptHasCode(Write("quoted.scr", "\"//\"\n").c_str()));
    EXPECT_FALSE(Script::ScriptHasCode((root / "missing.scr").c_str()));
    EXPECT_FALSE(Script::StopScript(0));
}

TEST_F(ScriptRunTest, ABusyPumpRefusesTheRun)
{
    StartPumps();
    session->Pumps().HoldBusy(2, std::chrono::seconds(30));
    EXPECT_EQ(Start(0, Write("code.scr", "Wait(1);\n")), "Can't start a script because at least one pump is busy.");
    EXPECT_FALSE(ScriptInstanceExists(0));
}

TEST_F(ScriptRunTest, APumpThatDoesNotAnswerRefusesTheRun)
{
    StartPumps();
    session->Pumps().SetFault(sim::SerialDeviceSimulator::Fault::NoReply);
    EXPECT_EQ(Start(0, Write("code.scr", "Wait(1);\n")), "Problem checking busy state of pump 1");
    EXPECT_FALSE(ScriptInstanceExists(0));
}

TEST_F(ScriptRunTest, AStopDuringALongCommandEndsTheRunAtTheNextLineAndStopsThePumps)
{
    StartPumps();
    session->Pumps().ClearReceived();
    const std::string path = Write("long.scr", "int n = 0;\nWait(1000);\nn = 1;\nWait(1);\n");
    ASSERT_EQ(Start(0, path), "ok");
    // The pumps were asked whether they are idle and answer.
    const std::string checks = session->Pumps().ReceivedBytes();
    for (const char* query : {"/1?29", "/2?29", "/1?18", "/2?18", "/1?17", "/2?17"})
        EXPECT_NE(checks.find(query), std::string::npos) << query;

    ASSERT_TRUE(StandInWait::Instance().WaitUntilBlocked());
    session->Pumps().ClearReceived();
    EXPECT_TRUE(Script::StopScript(0));
    EXPECT_FALSE(Script::IsScriptRunning(0, nullptr));
    const std::string stop = session->Pumps().ReceivedBytes();
    EXPECT_NE(stop.find("/1T"), std::string::npos) << stop;
    EXPECT_NE(stop.find("/2T"), std::string::npos) << stop;

    StandInWait::Instance().ReleaseAll();
    ASSERT_TRUE(observer.WaitForEnds(1));
    EXPECT_EQ(observer.Ends(), std::vector<std::string>{"0 ended"});
    EXPECT_TRUE(ui.ShownBoxes().empty());
    EXPECT_EQ(StandInWait::Instance().Calls(), 1);
    for (const std::string& line : observer.Lines())
        EXPECT_NE(line, "0:n = 1;");
}

TEST_F(ScriptRunTest, TwoInstancesRunAtOnceAndStopApart)
{
    StartPumps();
    ASSERT_EQ(Start(0, Write("zero.scr", "Wait(1000);\nWait(1);\n")), "ok");
    ASSERT_TRUE(StandInWait::Instance().WaitUntilBlocked(1));
    ASSERT_EQ(Start(1, Write("one.scr", "Wait(1000);\nWait(1);\n")), "ok");
    ASSERT_TRUE(StandInWait::Instance().WaitUntilBlocked(2));
    EXPECT_TRUE(Script::IsScriptRunning(0, nullptr));
    EXPECT_TRUE(Script::IsScriptRunning(1, nullptr));

    session->Pumps().ClearReceived();
    EXPECT_TRUE(Script::StopScript(1));
    EXPECT_TRUE(Script::IsScriptRunning(0, nullptr));
    EXPECT_FALSE(Script::IsScriptRunning(1, nullptr));
    const std::string stop = session->Pumps().ReceivedBytes();
    EXPECT_NE(stop.find("/1T"), std::string::npos) << stop;
    EXPECT_NE(stop.find("/2T"), std::string::npos) << stop;

    StandInWait::Instance().ReleaseAll();
    ASSERT_TRUE(observer.WaitForEnds(2));
    // Instance 0 ran on after the stop of instance 1: both its lines ran.
    EXPECT_EQ(StandInWait::Instance().Calls(), 3);
}

}  // namespace
