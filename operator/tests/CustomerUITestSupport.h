#pragma once

// Test support for the customer run screen: fixed text metrics, a window
// double that records what the logic asks of it, and a fixture with its own
// data root, main settings file, manual clock and scripted message boxes.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "operator/CustomerUI.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Time.h"
#include "platform/UiBridge.h"
#include "script/ScriptRun.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"
#include "support/Profile.h"

namespace customer_ui_testing {

// Every character is `cx` wide and every line `cy` high, in every font.
class FixedMetrics : public customer_ui::TextMetrics {
public:
    FixedMetrics(int cx = 20, int cy = 40) : m_cx(cx), m_cy(cy) {}
    customer_ui::TextSize Measure(customer_ui::Font, const std::string& text) const override {
        return {static_cast<int32_t>(text.size()) * m_cx, m_cy};
    }

private:
    int m_cx;
    int m_cy;
};

class RecordingWindow : public customer_ui::CustomerUIWindow {
public:
    void ShowWindow(bool show) override {
        std::lock_guard<std::mutex> lock(mutex);
        shows.push_back(show);
    }
    void Invalidate(const RECT* rect, bool erase) override {
        std::lock_guard<std::mutex> lock(mutex);
        invalidated.push_back(rect ? *rect : RECT{-1, -1, -1, -1});
        (void)erase;
    }
    void ControlsChanged() override {}
    void SetSizingCursor() override { ++sizingCursors; }
    bool ChooseExperimentSettingsFile(std::string* path) override {
        ++browseDialogs;
        if (duringDialog) duringDialog();
        if (chosenFile.empty()) return false;
        *path = chosenFile;
        return true;
    }

    std::mutex mutex;
    std::vector<bool> shows;
    std::vector<RECT> invalidated;
    int sizingCursors = 0;
    int browseDialogs = 0;
    std::string chosenFile;
    // Runs while the dialog is open, as the dialog's event loop would.
    std::function<void()> duringDialog;
};

class CustomerUIFixture : public ::testing::Test {
protected:
    void SetUp() override {
        dataRoot = platform::PublicDocumentsFolder();
        std::filesystem::create_directories(dataRoot + "/LOG");
        customerDir = dataRoot + "/CustomerUI";
        std::filesystem::create_directories(customerDir);
        theApp.m_strDataRoot = dataRoot.c_str();
        theApp.m_strIniPath = (dataRoot + "/Vellora.ini").c_str();
        theApp.m_strFileVersion = "1.0.0.7";
        theApp.m_strDisplayName = "Vellora";
        theApp.m_strCustomerUIDir = customerDir.c_str();
        theApp.m_bQX4Lite = false;
        g_IniPath = theApp.m_strIniPath;
        SetAppLogSources({&theApp.m_strDataRoot, &theApp.m_strFileVersion, &theApp.m_strDisplayName, &g_IniPath});
        WriteFile(dataRoot + "/Vellora.ini", "[ExperimentSettings]\r\n");
        // Cached logs without their writer thread, which would sleep on the
        // test's manual clock and so move it on; ActionLog saves the rows.
        if (!_CachedLog_semaphore) _CachedLog_semaphore = new platform::Semaphore(1, 1);
        clock.SetWallTime(std::chrono::system_clock::now());
        platform::SetClock(&clock);
        platform::SetUiBridge(&bridge);
        ui = std::make_unique<CustomerUI>();
        ui->AttachWindow(&window, &metrics);
        ui->OnInitDialog(1920, 1080, 30);
    }

    void TearDown() override {
        if (m_pretendedRun) DeleteActiveScriptHandle(1);
        ui.reset();
        platform::SetUiBridge(nullptr);
        platform::SetClock(nullptr);
        theApp.m_strCustomerUIDir = "";
        theApp.m_nPumpComPort = 0;
        theApp.m_bQX4Lite = false;
    }

    static void WriteFile(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    static std::string Setting(const char* key) {
        char buffer[256] = {};
        Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "<missing>", buffer, sizeof buffer - 1,
                                           g_IniPath);
        return buffer;
    }

    static void WriteSetting(const char* key, const char* value) {
        Tovanix::E_WritePrivateProfileString("ExperimentSettings", key, value, g_IniPath);
    }

    // The rows of today's run-screen action log.
    std::string ActionLog() {
        CachedLogging::SaveAll(nullptr);
        SYSTEMTIME now;
        GetLocalTime(&now);
        char name[64];
        std::snprintf(name, sizeof name, "/LOG/CustomerUI_%04u_%02u_%02u.log", now.wYear, now.wMonth, now.wDay);
        std::ifstream in(dataRoot + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Makes interpreter instance 1 look busy, so the script-end watch keeps
    // the screen up while a test lets time pass.
    void PretendCustomerScriptRuns() {
        CString error;
        ASSERT_TRUE(CreateActiveScriptHandle(1, error)) << error.GetString();
        std::lock_guard<std::mutex> lock(g_ScriptInterpretersMutex);
        for (auto& script : g_ScriptInterpreters) {
            if (script->handle == 1) script->running = true;
        }
        m_pretendedRun = true;
    }

    // Moves the clock on and runs the timers due, in steps of `stepMs`.
    void Elapse(int ms, int stepMs = 10) {
        for (int t = 0; t < ms; t += stepMs) {
            clock.Advance(std::chrono::milliseconds(stepMs));
            ui->RunDueTimers();
        }
    }

    std::string dataRoot;
    std::string customerDir;
    platform::ManualClock clock;
    platform::ScriptedUiBridge bridge;
    FixedMetrics metrics;
    RecordingWindow window;
    std::unique_ptr<CustomerUI> ui;
    bool m_pretendedRun = false;
};

}  // namespace customer_ui_testing
