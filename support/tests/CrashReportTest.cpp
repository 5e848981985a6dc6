#include "support/CrashReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/Sync.h"
#include "platform/UiBridge.h"
#include "support/tests/LogTestSupport.h"

namespace {

using logtest::ReadFile;

const char* const kNotEstablished = "UploadFile () : ftp connection not established.";

class CrashReportTest : public logtest::LogTest {};

TEST_F(CrashReportTest, ReportIsNamedByTheTimeAndTheUploadStopsWithoutAServer) {
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge scoped(bridge);
    clock.SetWallTime(logtest::LocalTime(2025, 2, 6, 19, 5, 7));

    EXPECT_FALSE(CreateDMP("Tessaly Vellora 1.2.3.4 (Feb  6 2025 10:00:00)", kExceptionAccessViolation, nullptr));

    const std::string folder = (root / "DMP").string();
    EXPECT_EQ(ReadFile(folder + "/2025_2_6_19_5_7.txt"),
              "**** CreateDMP () ****\r\n"
              "Date: 2025-2-6\r\n"
              "Time: 19:5:7\r\n"
              "Comment: Tessaly Vellora 1.2.3.4 (Feb  6 2025 10:00:00)\r\n"
              "Computer: " + platform::GetComputerName() + "\r\n"
              "dmp_directory: " + folder + "\r\n"
              "ftp_addr: \r\n"
              "ftp_user: \r\n"
              "ftp_directory: \r\n"
              "xc: C0000005\r\n");
    EXPECT_NE(ReadFile(folder + "/2025_2_6_19_5_7.dmp").find("VELLORA PROCESS DUMP"), std::string::npos);

    const std::string both = std::string(kNotEstablished) + "\n" + kNotEstablished;
    ASSERT_EQ(bridge.ShownBoxes().size(), 1u);
    EXPECT_EQ(bridge.ShownBoxes()[0].text, both);
    EXPECT_NE(ReadFile(Path("LOG/Err_And_Info_2025_02_06.log")).find(kNotEstablished), std::string::npos);
}

TEST_F(CrashReportTest, UploadNeedsAServerAndAnExistingFile) {
    Tovanix::String error;
    EXPECT_FALSE(UpLoadFile(Path("DMP/x.dmp").c_str(), &error));
    EXPECT_STREQ(error.c_str(), kNotEstablished);

    g_FtpAddress = "ftp.example.invalid";
    g_FtpUser = "service";
    EXPECT_FALSE(UpLoadFile(Path("DMP/x.dmp").c_str(), &error));
    EXPECT_EQ(std::string(error.c_str()), "UpLoadFile() : file " + Path("DMP/x.dmp") + " does not exist");
    logtest::WriteFile(Path("DMP/x.dmp"), "dump");
    EXPECT_FALSE(UpLoadFile(Path("DMP/x.dmp").c_str(), &error));
    EXPECT_STREQ(error.c_str(), "Unable to connect to ftp.example.invalid as user service");
    g_FtpAddress = "";
    g_FtpUser = "";
}

TEST_F(CrashReportTest, UnwritableReportFolderIsReported) {
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge scoped(bridge);
    iniPath = (root / "missing" / "Vellora.ini").c_str();  // DMP's parent does not exist
    EXPECT_FALSE(CreateDMP("comment", kExceptionAccessViolation, nullptr));
    ASSERT_EQ(bridge.ShownBoxes().size(), 1u);
    EXPECT_EQ(bridge.ShownBoxes()[0].text, "CreateDMP () Unable to create directory: " + (root / "missing" / "DMP").string());
}

// A real access violation. The undefined-behaviour checker would stop the
// process on the null store itself, before the signal the guard handles.
// The pointer is read from memory, so that no optimiser can see that it is
// null and put a trap instruction (a different signal) in place of the store.
__attribute__((noinline, no_sanitize("undefined"))) void WriteThroughNullPointer() {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

// The text of every file in a folder, in name order; empty when the folder
// is missing or empty.
std::string ReadFolder(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::string text;
    for (const auto& file : files) text += ReadFile(file);
    return text;
}

// The fault happens in a forked child, which must end with exit code -1
// after writing its report; the parent then reads what it left.
TEST_F(CrashReportTest, FaultInAGuardedSectionLeavesAReportAndEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            CrashGuard guard("ImageCapture.cpp", 321);
            WriteThroughNullPointer();
        },
        ::testing::ExitedWithCode(255), "");

    std::vector<std::filesystem::path> reports;
    std::error_code listError;
    for (std::filesystem::directory_iterator it(root / "DMP", listError), end; !listError && it != end;
         it.increment(listError)) {
        reports.push_back(it->path());
    }
    ASSERT_EQ(reports.size(), 2u);
    std::sort(reports.begin(), reports.end());
    EXPECT_EQ(reports[0].extension(), ".dmp");
    EXPECT_EQ(reports[1].extension(), ".txt");
    const std::string text = ReadFile(reports[1]);
    EXPECT_EQ(text.rfind("**** CreateDMP () ****\r\nDate: ", 0), 0u);
    EXPECT_NE(text.find("\r\nComment: Tessaly Vellora 1.2.3.4 ("), std::string::npos);
    EXPECT_NE(text.find("\r\nxc: C0000005\r\n"), std::string::npos);
    const std::string dump = ReadFile(reports[0]);
    EXPECT_NE(dump.find("signal: 11"), std::string::npos);
    EXPECT_NE(dump.find("fault_address: 0x0000000000000000"), std::string::npos);

    const std::string errors = ReadFolder(root / "LOG");
    EXPECT_NE(errors.find("\tImageCapture.cpp\t321\tException during acquisition.\r\n"), std::string::npos);
}

// Holds the first crash report at its upload message box, lets the second
// thread fault meanwhile, and notes any further box in a file.
class SecondFaultBridge : public platform::ScriptedUiBridge {
public:
    SecondFaultBridge(std::atomic<bool>& secondMayFault, std::string marker)
        : m_secondMayFault(secondMayFault), m_marker(std::move(marker)) {}
    int MessageBox(const std::string&, const std::string&, unsigned) override {
        if (m_boxes++ == 0) {
            m_secondMayFault = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        } else {
            logtest::WriteFile(m_marker, "second report");
        }
        return platform::IDOK;
    }

private:
    std::atomic<bool>& m_secondMayFault;
    std::string m_marker;
    std::atomic<int> m_boxes{0};
};

TEST_F(CrashReportTest, ThreadFaultingWhileAReportIsWrittenWritesNoSecondOne) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const std::string marker = Path("second-report");
    EXPECT_EXIT(
        {
            std::atomic<bool> secondMayFault{false};
            SecondFaultBridge bridge(secondMayFault, marker);
            platform::ScopedUiBridge scoped(bridge);
            std::thread other([&] {
                CrashGuard guard("ImageCapture.cpp", 2);
                while (!secondMayFault) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                WriteThroughNullPointer();
            });
            CrashGuard guard("ImageCapture.cpp", 1);
            WriteThroughNullPointer();
        },
        ::testing::ExitedWithCode(255), "");
    EXPECT_FALSE(std::filesystem::exists(marker));
    const std::string errors = ReadFolder(root / "LOG");
    EXPECT_NE(errors.find("\tImageCapture.cpp\t1\tException during acquisition.\r\n"), std::string::npos);
    EXPECT_EQ(errors.find("\tImageCapture.cpp\t2\t"), std::string::npos);
}

TEST_F(CrashReportTest, FaultOutsideAGuardIsNotReported) {
    GTEST_FLAG_SET(death_test_style, "fast");
    { CrashGuard installsTheHandler("ImageCapture.cpp", 1); }
    EXPECT_DEATH(
        {
            WriteThroughNullPointer();
        },
        "");
    EXPECT_FALSE(std::filesystem::exists(root / "DMP"));
}

}  // namespace
