#pragma once

// Shared set-up of the main window's logic tests: a data root and main
// settings file of the test's own, the step clock, a scripted user-interface
// bridge, the workflow event, and the application's workflow and mode fields
// as start-up leaves them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/FrameHooks.h"
#include "app/VelloraApp.h"
#include "platform/UiBridge.h"
#include "support/tests/StepClock.h"

class FrameLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
        std::filesystem::create_directories(root / "LOG");
        theApp.m_strDataRoot = root.c_str();
        g_IniPath = (root / "Vellora.ini").c_str();
        theApp.m_strIniPath = g_IniPath;
        platform::SetClock(&clock);
        g_WorkflowEvent = std::make_unique<platform::Event>(true, false);
        theApp.m_bAdminMode = false;
        theApp.m_bWorkflowRunning = false;
        theApp.m_nWorkflowCaptureIndex = -1;
        SetFrameHooks({});
    }
    void TearDown() override {
        SetFrameHooks({});
        g_WorkflowEvent.reset();
        platform::SetClock(nullptr);
        theApp.m_bAdminMode = false;
        theApp.m_bWorkflowRunning = false;
        theApp.m_strDataRoot.Empty();
    }

    void WriteIni(const std::string& content) { std::ofstream(g_IniPath.GetString(), std::ios::binary) << content; }

    // The day's error-and-info log.
    std::string ErrorLog() const {
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(root / "LOG")) {
            if (entry.path().filename().string().rfind("Err_And_Info_", 0) == 0) {
                std::ifstream file(entry.path(), std::ios::binary);
                std::stringstream text;
                text << file.rdbuf();
                all += text.str();
            }
        }
        return all;
    }

    std::filesystem::path root;
    StepClock& clock = StepClock::Instance();
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};
