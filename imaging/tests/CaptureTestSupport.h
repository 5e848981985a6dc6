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
#include "devices/CameraFactory.h"
#include "devices/DigitalIO.h"
#include "devices/Pylon_Camera.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/ImageCapture.h"
#include "imaging/ImageFiling.h"
#include "imaging/tests/ImagingTestSupport.h"
#include "platform/Clock.h"
#include "platform/UiBridge.h"
#include "sim/VirtualCamera.h"
#include "sim/VirtualDaq.h"
#include "sim/VirtualInstrument.h"
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
        g_PylonLastInitAttempt = 0;  // the wall clock went back; a re-initialisation may open at once
        if (!_CachedLog_semaphore) _CachedLog_semaphore = new platform::Semaphore(1, 1);
        g_ReferenceImageRequests.clear();
        WriteSettings("");
        // No cartridge catalogue here; the tests that need it load it.
        SetCartridgeOffsetsWriter([](const char*, const char*, CString&) { return true; });
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

    // Replaces the main settings file with [ExperimentSettings] holding
    // `keys`, followed by the fixture's other sections.
    void WriteSettings(const std::string& keys) {
        imagingtest::WriteText(g_IniPath.str(), "[ExperimentSettings]\r\n" + keys + otherSections);
    }

    // Writes the cached log to its file, then reads it.
    std::vector<std::string> FlushedLog(const std::string& path) {
        Tovanix::String error;
        CachedLogging::Release(path.c_str(), &error);
        return ReadLines(path);
    }

    std::string otherSections;
    platform::ManualClock clock;
    platform::ScopedClock useClock{clock};
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

// The capture chain on a fresh virtual instrument: its camera (a Basler
// camera object, opened), its digital I/O device with the LEDs on port 0
// lines 0..3, and the capture semaphore.
class VirtualCaptureTest : public CaptureChainTest {
protected:
    void SetUp() override {
        sim::VirtualCamera::Instance().Reset();
        sim::VirtualDaq::Instance().Reset();
        {
            auto lock = sim::VirtualInstrument::Instance().Lock();
            sim::InstrumentState& state = sim::VirtualInstrument::Instance().State();
            state = sim::InstrumentState{};
            state.stageFocusMm = state.focusBestMm;
        }
        otherSections =
            "[DIO_Config]\r\nMapping=Interlock\r\nLED0_port=0\r\nLED0_line=0\r\nLED1_port=0\r\nLED1_line=1\r\n"
            "LED2_port=0\r\nLED2_line=2\r\nLED3_port=0\r\nLED3_line=3\r\nCartridge_Port=0\r\nCartridge_Line=4\r\n"
            "Clamp_Port=0\r\nClamp_Line=5\r\n";
        CaptureChainTest::SetUp();
        g_DIOPort0InputTask = nullptr;
        g_DIOPort0OutputTask = nullptr;
        g_DIOPort1Task = nullptr;
        g_DIOPortTable = {};
        CString error;
        ASSERT_TRUE(Initialize_DIO(&error, false)) << error.GetString();
        ASSERT_TRUE(LoadDIOMapping(&error)) << error.GetString();

        clock.Advance(std::chrono::milliseconds(6000));  // camera opens are kept 5 s apart
        delete theApp.m_pCamera;
        theApp.m_pCamera = CreateCameraForType("");
        ASSERT_TRUE(theApp.m_pCamera->Initialize(&error, false)) << error.GetString();
        clock.SetWallTime(LocalTime(2024, 3, 15, 9, 42, 7));
        if (!g_CaptureSemaphore) g_CaptureSemaphore = std::make_unique<platform::Semaphore>(1, 1);
        g_LastCaptureEndMs = 0;
        theApp.m_nMinTimeBetweenCaptureEventsMs = 100;
    }
    void TearDown() override {
        delete theApp.m_pCamera;
        theApp.m_pCamera = nullptr;
        ForgetCameraIdentity();
        SetCameraReInitializer(nullptr);
        SetCustomerScreenVisibleQuery(nullptr);
        CaptureChainTest::TearDown();
    }

    // LED changes on port 0 as (time, lit mask), oldest first.
    static std::vector<std::pair<std::chrono::steady_clock::time_point, uint8_t>> LedHistory() {
        std::vector<std::pair<std::chrono::steady_clock::time_point, uint8_t>> changes;
        uint8_t last = 0;
        for (const sim::LatchChange& change : sim::VirtualDaq::Instance().LatchHistory()) {
            if (change.port != 0 || (change.value & 0x0F) == last) continue;
            last = change.value & 0x0F;
            changes.emplace_back(change.time, last);
        }
        return changes;
    }
    static bool AnyLedLit() {
        const auto state = sim::VirtualInstrument::Instance().Snapshot();
        return state.digitalLines[3] || state.digitalLines[4] || state.digitalLines[5] || state.digitalLines[6];
    }
    static sim::CameraDeviceState Device() { return sim::VirtualCamera::Instance().Snapshot(); }
    template <class Change>
    static void ChangeCamera(Change change) {
        auto lock = sim::VirtualCamera::Instance().Lock();
        change(sim::VirtualCamera::Instance().State());
    }
};

}  // namespace capturetest
