#include "support/CachedLog.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <strings.h>
#include <thread>
#include <vector>

#include "platform/UiBridge.h"
#include "support/tests/LogTestSupport.h"

namespace {

using logtest::ReadFile;

class CachedLogTest : public logtest::LogTest {
protected:
    bool RecordExists(const std::string& name) {
        EXPECT_TRUE(_CachedLog_semaphore->Wait(kCachedLogWaitMs));
        bool exists = false;
        for (const CachedLog& log : g_CachedLogs) {
            exists = exists || strcasecmp(log.fileName.c_str(), name.c_str()) == 0;
        }
        _CachedLog_semaphore->Release();
        return exists;
    }
};

TEST_F(CachedLogTest, WriterSavesOneIntervalAfterTheLastSaveAndDropsIdleRecords) {
    const std::string path = Path("timing.log");
    Tovanix::String error;
    ASSERT_TRUE(AddALine(path.c_str(), "one", &error));
    clock.Step();  // never saved before: written at the first cycle
    EXPECT_EQ(ReadFile(path), "one\r\n");

    ASSERT_TRUE(AddALine(path.c_str(), "two", &error));
    int seconds = 0;
    while (ReadFile(path) == "one\r\n" && seconds < 40) {
        clock.Step();
        ++seconds;
    }
    EXPECT_GE(seconds, 31);
    EXPECT_LE(seconds, 32);
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");

    seconds = 0;
    while (RecordExists(path) && seconds < 100) {
        clock.Step();
        ++seconds;
    }
    EXPECT_GE(seconds, 91);
    EXPECT_LE(seconds, 92);
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
}

TEST_F(CachedLogTest, OneCycleSavesForAboutHalfASecondAndLeavesTheRestForTheNext) {
    std::vector<std::string> paths;
    Tovanix::String error;
    for (int i = 0; i < 10; ++i) {
        paths.push_back(Path(("due" + std::to_string(i) + ".log").c_str()));
        ASSERT_TRUE(AddALine(paths.back().c_str(), "row", &error));
    }
    // Ten logs due at once, each save taking 100 ms: the cycle stops after
    // the save that passes 500 ms, and the table's first records go first.
    clock.SetReadCost(std::chrono::milliseconds(100));
    clock.Step();
    clock.SetReadCost(std::chrono::milliseconds(0));
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(std::filesystem::exists(paths[i]), i < 6) << paths[i];
    }
    clock.Step();
    for (const std::string& path : paths) {
        EXPECT_EQ(ReadFile(path), "row\r\n") << path;
    }
}

TEST_F(CachedLogTest, NegativeSaveIntervalNeverSaves) {
    g_DefaultCachedLogSaveInterval = -1;
    const std::string path = Path("never-saved.log");
    Tovanix::String error;
    ASSERT_TRUE(AddALine(path.c_str(), "kept in memory", &error));
    g_DefaultCachedLogSaveInterval = 30;
    for (int s = 0; s < 100; ++s) {
        clock.Step();
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(GetNLines(path.c_str(), &error), 1);

    // Releasing the log still writes what it holds.
    ASSERT_TRUE(CachedLogging::Release(path.c_str(), &error));
    EXPECT_EQ(ReadFile(path), "kept in memory\r\n");
}

TEST_F(CachedLogTest, NamesDifferingOnlyInCaseShareOneRecord) {
    Tovanix::String error;
    ASSERT_TRUE(AddALine(Path("Mixed.log").c_str(), "a", &error));
    ASSERT_TRUE(AddALine(Path("MIXED.LOG").c_str(), "b", &error));
    EXPECT_EQ(GetNLines(Path("mixed.log").c_str(), &error), 2);
    ASSERT_TRUE(CachedLogging::Release(Path("mIxEd.LoG").c_str(), &error));
    EXPECT_EQ(ReadFile(Path("Mixed.log")), "a\r\nb\r\n");
    EXPECT_FALSE(RecordExists(Path("Mixed.log")));

    // Releasing a name that has no record leaves neither a record nor a file.
    ASSERT_TRUE(CachedLogging::Release(Path("never.log").c_str(), &error));
    EXPECT_FALSE(RecordExists(Path("never.log")));
    EXPECT_FALSE(std::filesystem::exists(Path("never.log")));
}

TEST_F(CachedLogTest, NoLineIsLostOrRepeatedWhenManyThreadsAddWhileTheWriterSaves) {
    const std::string path = Path("busy.log");
    constexpr int kThreads = 8;
    constexpr int kLines = 250;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            Tovanix::String error;
            for (int i = 0; i < kLines; ++i) {
                std::string line = std::to_string(t) + ":" + std::to_string(i);
                EXPECT_TRUE(AddALine(path.c_str(), line.c_str(), &error));
            }
        });
    }
    for (int s = 0; s < 40; ++s) {
        clock.Step();
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    Tovanix::String error;
    ASSERT_TRUE(CachedLogging::Release(path.c_str(), &error));

    std::vector<int> next(kThreads, 0);
    std::istringstream content(ReadFile(path));
    std::string line;
    int total = 0;
    while (std::getline(content, line)) {
        ASSERT_EQ(line.back(), '\r');
        int thread = std::stoi(line.substr(0, line.find(':')));
        EXPECT_EQ(std::stoi(line.substr(line.find(':') + 1)), next[thread]++);
        ++total;
    }
    EXPECT_EQ(total, kThreads * kLines);
}

TEST_F(CachedLogTest, TimeStampedLinesCarryTheLocalTime) {
    clock.SetWallTime(logtest::LocalTime(2025, 2, 6, 19, 5, 7));
    Tovanix::String error;
    ASSERT_TRUE(AddALine(Path("stamped.log").c_str(), "row", &error, false, true));
    ASSERT_TRUE(CachedLogging::Release(Path("stamped.log").c_str(), &error));
    EXPECT_EQ(ReadFile(Path("stamped.log")), "2025/02/06 19:05:07.000\trow\r\n");
}

TEST_F(CachedLogTest, HeaderLinesAddedLaterGoAboveTheMarkedColumnLine) {
    // A capture log: title, column line (marked), rows on disk; the run
    // information arrives when the experiment stops.
    const std::string path = Path("capture_log.txt");
    Tovanix::String error;
    ASSERT_TRUE(AddALine(path.c_str(), "Experiment A", &error));
    ASSERT_TRUE(AddALine(path.c_str(), "time\tcells", &error, true));
    ASSERT_TRUE(AddALine(path.c_str(), "1\t10", &error));
    clock.Step();
    EXPECT_EQ(ReadFile(path), "Experiment A\r\ntime\tcells\r\n1\t10\r\n");

    ASSERT_TRUE(AddAHeaderLine(path.c_str(), "Run: 7", &error));
    ASSERT_TRUE(AddAHeaderLine(path.c_str(), "Stopped by: user", &error));
    EXPECT_EQ(GetNLines(path.c_str(), &error), 3);  // header lines are not counted as lines
    ASSERT_TRUE(CachedLogging::Release(path.c_str(), &error));
    EXPECT_EQ(ReadFile(path), "Experiment A\r\nRun: 7\r\nStopped by: user\r\ntime\tcells\r\n1\t10\r\n");
}

struct HeaderCase {
    const char* name;
    int32_t insertPos;
    bool ok;
    std::string file;
    std::string afterMore;  // after one more header line and one more line
};

// Shown in the test's output by its name, not by its bytes.
void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.name; }

class HeaderInsertionTest : public logtest::LogTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderInsertionTest, HeaderLinesGoAtTheMarkedLine) {
    const HeaderCase& c = GetParam();
    CachedLog log;
    log.fileName = Path("capture.log");
    for (const char* line : {"L1", "L2", "L3", "L4", "L5"}) {
        log.AppendLine(line);
    }
    log.headerInsertPos = c.insertPos;
    log.headerLines = {"H1", "H2"};
    Tovanix::String error;
    EXPECT_EQ(log.Save(&error), c.ok);
    EXPECT_EQ(ReadFile(log.fileName), c.file);
    if (!c.ok) {
        EXPECT_STREQ(error.c_str(), "CachedLog::SaveHeaderLines() Did not find the insert line position.");
        // Once the position is right, the header goes in and the lines that
        // are already on disk are not appended a second time.
        log.headerInsertPos = 2;
        EXPECT_TRUE(log.Save(&error));
        EXPECT_EQ(ReadFile(log.fileName), "L1\r\nL2\r\nH1\r\nH2\r\nL3\r\nL4\r\nL5\r\n");
    } else {
        // Later header lines go below the earlier ones.
        log.headerLines = {"H3"};
        log.AppendLine("L6");
        EXPECT_TRUE(log.Save(&error));
        EXPECT_EQ(ReadFile(log.fileName), c.afterMore);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderInsertionTest,
    ::testing::Values(HeaderCase{"MarkedAtTwo", 2, true, "L1\r\nL2\r\nH1\r\nH2\r\nL3\r\nL4\r\nL5\r\n",
                                 "L1\r\nL2\r\nH1\r\nH2\r\nH3\r\nL3\r\nL4\r\nL5\r\nL6\r\n"},
                      HeaderCase{"MarkedAtTheStart", 0, true, "H1\r\nH2\r\nL1\r\nL2\r\nL3\r\nL4\r\nL5\r\n",
                                 "H1\r\nH2\r\nH3\r\nL1\r\nL2\r\nL3\r\nL4\r\nL5\r\nL6\r\n"},
                      HeaderCase{"MarkedPastTheEnd", 7, false, "L1\r\nL2\r\nL3\r\nL4\r\nL5\r\n", ""}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

// A message box that stays open until the test closes it.
class HeldMessageBox : public platform::ScriptedUiBridge {
public:
    int MessageBox(const std::string& text, const std::string&, unsigned) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_shown.push_back(text);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_closed; });
        return platform::IDOK;
    }
    bool WaitShown() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return !m_shown.empty(); });
    }
    void Close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }
    std::vector<std::string> Shown() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_shown;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_shown;
    bool m_closed = false;
};

TEST_F(CachedLogTest, FailedSaveIsReportedWithoutHoldingUpTheLoggingThreads) {
    HeldMessageBox box;
    platform::ScopedUiBridge bridge(box);
    logtest::WriteFile(Path("not-a-folder"), "a plain file");
    const std::string unwritable = Path("not-a-folder/sub/run.log");
    Tovanix::String error;
    ASSERT_TRUE(AddALine(unwritable.c_str(), "lost?", &error));

    clock.Release();  // the writer's next cycle fails and shows the box
    ASSERT_TRUE(box.WaitShown());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(AddALine(Path("other.log").c_str(), "still logging", &error));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(CachedLogging::Release(unwritable.c_str(), &error));
    box.Close();
    clock.Step();

    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(box.Shown()[0], "Can't create directory: " + Path("not-a-folder/sub"));
    EXPECT_NE(ReadFile(Path("LOG") + "/" + std::filesystem::directory_iterator(Path("LOG"))->path().filename().string())
                  .find("Can't create directory: "),
              std::string::npos);
}

}  // namespace
