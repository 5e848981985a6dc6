#pragma once

// Shared set-up of the log tests: a data root of the test's own, the
// cached-log writer started once per process on the step clock, and small
// file helpers.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/CString.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"
#include "support/tests/StepClock.h"

namespace logtest {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A local calendar time as the clock's wall time.
inline std::chrono::system_clock::time_point LocalTime(int year, int month, int day, int hour, int minute,
                                                       int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

// Each test gets a data root of its own, the step clock, and the cached-log
// writer (started once per process, sleeping on the step clock).
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetClock(&clock);
        static const bool started = [] {
            Tovanix::String error;
            return InitializeCachedLogging(30, &error);
        }();
        ASSERT_TRUE(started);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
        std::filesystem::create_directories(root / "LOG");
        dataRoot = root.c_str();
        iniPath = (root / "Vellora.ini").c_str();
        SetAppLogSources({&dataRoot, &fileVersion, &displayName, &iniPath});
    }
    void TearDown() override {
        SetAppLogSources({});
        platform::SetClock(nullptr);
    }

    std::string Path(const char* relative) const { return (root / relative).string(); }

    StepClock& clock = StepClock::Instance();
    std::filesystem::path root;
    CString dataRoot;
    CString fileVersion = "1.2.3.4";
    CString displayName = "Vellora";
    CString iniPath;
};

}  // namespace logtest
