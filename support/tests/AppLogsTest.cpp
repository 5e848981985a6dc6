#include "support/AppLogs.h"

#include <gtest/gtest.h>

#include "platform/Sync.h"
#include "support/tests/LogTestSupport.h"

namespace {

using logtest::ReadFile;
using logtest::WriteFile;

class AppLogsTest : public logtest::LogTest {};

TEST_F(AppLogsTest, FirstErrorOfADayWritesTheComputerNameAndColumnLines) {
    clock.SetWallTime(logtest::LocalTime(2025, 2, 6, 10, 11, 12));
    LogErrAndInfo("Camera.cpp", 42, "first");
    LogErrAndInfo("Camera.cpp", 43, "second");
    const std::string leading =
        "# ComputerName=" + platform::GetComputerName() + "\r\nversion\ttime\tfile\tline\tmessage\r\n";
    EXPECT_EQ(ReadFile(Path("LOG/Err_And_Info_2025_02_06.log")),
              leading + "1.2.3.4\t10:11:12\tCamera.cpp\t42\tfirst\r\n1.2.3.4\t10:11:12\tCamera.cpp\t43\tsecond\r\n");

    // A row for a caller's own file goes there, without the leading lines
    // once the day's log exists.
    FILE* report = std::fopen(Path("report.txt").c_str(), "wb");
    ASSERT_NE(report, nullptr);
    LogErrAndInfo("Tool.cpp", 7, "to the report", report);
    std::fclose(report);
    EXPECT_EQ(ReadFile(Path("report.txt")), "1.2.3.4\t10:11:12\tTool.cpp\t7\tto the report\r\n");

    clock.Advance(std::chrono::hours(24));
    LogErrAndInfo("Camera.cpp", 44, "next day");
    EXPECT_EQ(ReadFile(Path("LOG/Err_And_Info_2025_02_07.log")), leading + "1.2.3.4\t10:11:12\tCamera.cpp\t44\tnext day\r\n");
}

TEST_F(AppLogsTest, ErrorLogWithoutItsFolderWritesNothing) {
    std::filesystem::remove_all(root / "LOG");
    LogErrAndInfo("Camera.cpp", 42, "nowhere to go");
    EXPECT_FALSE(std::filesystem::exists(root / "LOG"));
}

TEST_F(AppLogsTest, EmptyDataRootLogsUnderTheCurrentFolder) {
    clock.SetWallTime(logtest::LocalTime(2025, 2, 6, 10, 11, 12));
    dataRoot = "  ";  // blanks only: trimmed away
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(root);
    LogErrAndInfo("Camera.cpp", 42, "relative");
    std::filesystem::current_path(previous);
    EXPECT_NE(ReadFile(root / "LOG" / "Err_And_Info_2025_02_06.log").find("\tCamera.cpp\t42\trelative\r\n"),
              std::string::npos);
}

TEST_F(AppLogsTest, PumpLinesAroundMidnightStayInTheFileOfTheFirstCommand) {
    clock.SetWallTime(logtest::LocalTime(2025, 2, 6, 23, 59, 59));
    EXPECT_TRUE(AddPumpLogLine("12\t0\t0\t11\t1\t0\t/1ZR\t5\t1\t`\t"));
    clock.Advance(std::chrono::seconds(2));
    EXPECT_TRUE(AddPumpLogLine("9\t0\t0\t8\t1\t0\t/1?\t5\t1\t`0\t"));

    Tovanix::String error;
    ASSERT_TRUE(CachedLogging::Release(Path("LOG/PumpLog_2025_02_06.log").c_str(), &error));
    EXPECT_EQ(ReadFile(Path("LOG/PumpLog_2025_02_06.log")),
              "timestamp\ttotal_time_ms\tt_waiting_for_semaphore_ms\timposed_sleep_time_ms\t"
              "time_to_send_commands_ms\tnattempts_to_send_command\tnattempts_to_reset_port\traw_command\t"
              "com_port\tipump\tresponse\terr_msg\r\n"
              "2025/02/06 23:59:59.000\t12\t0\t0\t11\t1\t0\t/1ZR\t5\t1\t`\t\r\n"
              "2025/02/07 00:00:01.000\t9\t0\t0\t8\t1\t0\t/1?\t5\t1\t`0\t\r\n");
    EXPECT_FALSE(std::filesystem::exists(Path("LOG/PumpLog_2025_02_07.log")));
}

TEST_F(AppLogsTest, ScriptLogRepeatsItsColumnLineForEachNewRecord) {
    clock.SetWallTime(logtest::LocalTime(2025, 2, 6, 8, 0, 5));
    LogScriptLine("prime.scr", "PumpInit(1)");
    LogScriptLine("prime.scr", "onEndScript");
    const std::string file = Path("LOG/Script_2025_02_06.log");
    Tovanix::String error;
    ASSERT_TRUE(CachedLogging::Release(file.c_str(), &error));
    // The record is gone (as after three idle intervals): the next line
    // starts a new record, and with it the column line.
    LogScriptLine("prime.scr", "Wait(1)");
    ASSERT_TRUE(CachedLogging::Release(file.c_str(), &error));
    EXPECT_EQ(ReadFile(file),
              "version\ttime\tScript\tline\r\n"
              "1.2.3.4\t08:00:05\tprime.scr\tPumpInit(1)\r\n"
              "1.2.3.4\t08:00:05\tprime.scr\tonEndScript\r\n"
              "version\ttime\tScript\tline\r\n"
              "1.2.3.4\t08:00:05\tprime.scr\tWait(1)\r\n");
}

TEST_F(AppLogsTest, CustomerActionWithoutInformationHasAnEmptyLastColumn) {
    clock.SetWallTime(logtest::LocalTime(2025, 2, 6, 8, 0, 5));
    LogCustomerUIAction("Button", "Login", nullptr);
    LogCustomerUIAction("Timer", "LoadSample", "30 s");
    const std::string file = Path("LOG/CustomerUI_2025_02_06.log");
    Tovanix::String error;
    ASSERT_TRUE(CachedLogging::Release(file.c_str(), &error));
    EXPECT_EQ(ReadFile(file),
              "version\ttime\tAction\tStateName\tInfo\r\n"
              "1.2.3.4\t08:00:05\tButton\tLogin\t\r\n"
              "1.2.3.4\t08:00:05\tTimer\tLoadSample\t30 s\r\n");
}

TEST_F(AppLogsTest, ScriptIsArchivedOncePerRunFolder) {
    clock.SetWallTime(logtest::LocalTime(2025, 2, 6, 8, 0, 5));
    WriteFile(root / "Scripts" / "Sub" / "Prime.scr", "version 1\r\n");
    ArchiveScriptToLog("sub\\prime.scr");
    // A second run in the same second finds its folder there: no new copy.
    WriteFile(root / "Scripts" / "Sub" / "Prime.scr", "version 2\r\n");
    ArchiveScriptToLog("sub\\prime.scr");
    EXPECT_EQ(ReadFile(root / "LOG" / "Script_2025_02_06_08_00_05" / "Prime.scr"), "version 1\r\n");

    clock.Advance(std::chrono::seconds(1));
    ArchiveScriptToLog("sub\\prime.scr");
    EXPECT_EQ(ReadFile(root / "LOG" / "Script_2025_02_06_08_00_06" / "Prime.scr"), "version 2\r\n");
}

}  // namespace
