#pragma once

// Set-up of the capture-chain tests: the imaging test's own data root and
// main settings file, a manual clock at a fixed local time, the cached-log
// semaphore, and helpers to read what was filed.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/tests/ImagingTestSupport.h"
#include "platform/Clock.h"
#include "platform/UiBridge.h"
#include "support/CachedLog.h"

namespace capturetest {

// The wall-clock moment of a local calendar time.
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

inline void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// Lines of a text file without their "\r\n".
inline std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.push_back("");
    return fields;
}

class CaptureChainTest : public imagingtest::ImagingTest {
protected:
    void SetUp() override {
        imagingtest::ImagingTest::SetUp();
        theApp.m_strDataRoot = dataRoot;
        theApp.m_strFileVersion = "1.4.2.17";
        theApp.m_strDisplayName = "Vellora";
        theApp.m_nPumpComPort = 0;
        theApp.m_bWorkflowRunning = false;
        theApp.m_strCartridgeTypeCode = "";
        std::filesystem::create_directories(root / "Backup");
        clock.SetWallTime(LocalTime(2024, 3, 15, 9, 42, 7));
        if (!_CachedLog_semaphore) _CachedLog_semaphore = new platform::Semaphore(1, 1);
        g_ReferenceImageRequests.clear();
        WriteSettings("");
    }

    void TearDown() override {
        SetDiskFreeSpaceQuery(nullptr);
        SetCartridgeOffsetsWriter(nullptr);
        g_ReferenceImageRequests.clear();
        {
            platform::SemaphoreLock lock(*_CachedLog_semaphore, 1000);
            g_CachedLogs.clear();
            g_LastCachedLogIndex = -1;
        }
        imagingtest::ImagingTest::TearDown();
    }

    // Replaces the main settings file with [ExperimentSettings] holding `keys`.
    void WriteSettings(const std::string& keys) {
        imagingtest::WriteText(g_IniPath.str(), "[ExperimentSettings]\r\n" + keys);
    }

    // Writes the cached log to its file, then reads it.
    std::vector<std::string> FlushedLog(const std::string& path) {
        Tovanix::String error;
        CachedLogging::Release(path.c_str(), &error);
        return ReadLines(path);
    }

    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

}  // namespace capturetest
