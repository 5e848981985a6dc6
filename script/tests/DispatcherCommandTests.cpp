// The small general commands: their refusals as a table of calls, the
// settings they read and write, the view switches, and the line forms that
// only these commands have ("ResetDIO;" without parentheses, a command that
// acts in the check pass).

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/ActiveROI.h"
#include "imaging/LiveView.h"
#include "imaging/MfgTestOverlay.h"
#include "platform/Clock.h"
#include "script/BuiltInHandlers.h"
#include "script/DispatcherCommands.h"
#include "script/LineForms.h"
#include "script/tests/ScriptRunTestSupport.h"
#include "script/tests/ScriptTestSupport.h"
#include "support/Profile.h"

namespace {

using scripttest::Declared;

class DispatcherCommandTest : public scripttest::ScriptFolderTest {
protected:
    void SetUp() override
    {
        ScriptFolderTest::SetUp();
        // The run tests put a stand-in in place of the real Wait.
        BuiltInHandlerTable own;
        InstallDispatcherCommands(own);
        SetBuiltInFunctionHandler(7, own.rows[7].plain);
        theApp.m_bWorkflowRunning = false;
        theApp.m_nStageComPort = 0;
        g_HideROIOverlays = false;
        g_ShowProjectionBelow = false;
        g_ShowProjectionRightSide = false;
    }
    void TearDown() override
    {
        StandInWait::Install();
        SetExperimentSettingsWindow(nullptr);
        g_HideROIOverlays = false;
        g_ShowProjectionBelow = false;
        g_ShowProjectionRightSide = false;
        ScriptFolderTest::TearDown();
    }
    using StandInWait = scripttest::StandInWait;

    std::string Call(const std::string& line, bool check = false)
    {
        Tovanix::String name, arguments;
        if (!SplitFunctionCall(Tovanix::String(line.c_str()), name, arguments))
            return "not a call";
        const int found = FindBuiltInFunction(name.c_str());
        if (found < 0)
            return "no such command";
        Script script(0);
        CString error;
        const bool ok = script.ExecuteBuiltInFunction(g_BuiltInFunctions[static_cast<size_t>(found)].index,
                                                      arguments.c_str(), variables, check, error);
        return ok ? std::string() : (error.IsEmpty() ? std::string("failed") : error.str());
    }
    std::string Both(const std::string& line)
    {
        const std::string checked = Call(line, true);
        return checked.empty() ? Call(line) : "check: " + checked;
    }
    std::string Setting(const char* key)
    {
        char buffer[64] = {};
        Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "<missing>", buffer, 63, g_IniPath);
        return buffer;
    }

    std::vector<Variable> variables = Declared({"int n;", "double d;"});
};

TEST_F(DispatcherCommandTest, RefusalsPassTheCheckAndFailWhenRun)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Wait(0);", "Wait() seconds must be between 1 and 36000"},
        {"Wait(36001);", "Wait() seconds must be between 1 and 36000"},
        {"EmptySyringe(1);", "EmptySyringe() - Function is obsolete"},
        {"EmptySyringe(0);", "EmptySyringe() - Function is obsolete"},
        {"EmptySyringe(3);", "EmptySyringe() isyringe must be equal to 0 (both) 1 or 2"},
        {"EmptySyringe(-1);", "EmptySyringe() isyringe must be equal to 0 (both) 1 or 2"},
        {"SetImageCaptureCount(10001);", "SetImageCaptureCount () : value must be between 1 and 10000, where zero "
                                         "indicates that only a single image will be captured"},
        {"SetImageCaptureCount(-1);", "SetImageCaptureCount () : value must be between 1 and 10000, where zero "
                                      "indicates that only a single image will be captured"},
        {"ZaberControlPanel();", "Zaber is not initialized."},
        {"CaptureBackgroundImagesToMemory();", "Script::CaptureBackgroundImagesToMemory() - camara is not ready."},
    };
    for (const auto& [line, message] : cases) {
        EXPECT_EQ(Call(line, true), "") << "check pass of " << line;
        EXPECT_EQ(Call(line), message) << line;
    }
    // Argument errors show in the check pass.
    EXPECT_EQ(Call("ROI_Hide(1);", true), "missing )");
    EXPECT_EQ(Call("Wait 5;", true), "not a call");
    // Background capture is refused in both passes while the workflow records.
    theApp.m_bWorkflowRunning = true;
    EXPECT_EQ(Call("CaptureBackgroundImagesToMemory();", true),
              "CaptureBackgroundImages() - Not available when experiment workflow is running.");
    theApp.m_bWorkflowRunning = false;
}

TEST_F(DispatcherCommandTest, CaptureCountAndPeriodSettings)
{
    Write("Vellora.ini", "[ExperimentSettings]\r\nImageCapturePeriod=abc\r\n");
    EXPECT_EQ(Both("GetImageCaptureCount(n);"), "");
    EXPECT_EQ(scripttest::Describe(variables, "n"), "int 10");
    EXPECT_EQ(Both("GetImageCapturePeriodMS(n);"), "");
    EXPECT_EQ(scripttest::Describe(variables, "n"), "int 1000");
    // A double variable receives nothing.
    EXPECT_EQ(Both("GetImageCaptureCount(d);"), "");
    EXPECT_EQ(scripttest::Describe(variables, "d"), "double 0");

    EXPECT_EQ(Both("SetImageCaptureCount(0);"), "");
    EXPECT_EQ(Setting("ImageCaptureCount"), "0");
    EXPECT_EQ(Both("SetImageCaptureCount(10000);"), "");
    EXPECT_EQ(Both("GetImageCaptureCount(n);"), "");
    EXPECT_EQ(scripttest::Describe(variables, "n"), "int 10000");
    Tovanix::E_WritePrivateProfileString("ExperimentSettings", "ImageCapturePeriod", "250", g_IniPath);
    EXPECT_EQ(Both("GetImageCapturePeriodMS(n);"), "");
    EXPECT_EQ(scripttest::Describe(variables, "n"), "int 250");
}

TEST_F(DispatcherCommandTest, QueriesAndSwitches)
{
    theApp.m_bQX4Lite = true;
    theApp.m_nPumpComPort = 4;
    EXPECT_EQ(Both("IsQX4Lite(n);"), "");
    EXPECT_EQ(scripttest::Describe(variables, "n"), "int 1");
    EXPECT_EQ(Both("IsCameraAvailable(n);"), "");
    EXPECT_EQ(scripttest::Describe(variables, "n"), "int 0");
    EXPECT_EQ(Both("IsTecanPumpAvailable(n);"), "");
    EXPECT_EQ(scripttest::Describe(variables, "n"), "int 1");
    theApp.m_bQX4Lite = false;
    theApp.m_nPumpComPort = 0;

    EXPECT_EQ(Both("ROI_Hide();"), "");
    EXPECT_EQ(Both("ROI_Hide();"), "");
    EXPECT_TRUE(g_HideROIOverlays);
    EXPECT_EQ(Both("ROI_Show();"), "");
    EXPECT_FALSE(g_HideROIOverlays);
    EXPECT_EQ(Both("ROI_DrawProjectionBelow(2);"), "");
    EXPECT_EQ(Both("ROI_DrawProjectionRightSide(1);"), "");
    EXPECT_TRUE(g_ShowProjectionBelow);
    EXPECT_TRUE(g_ShowProjectionRightSide);

    g_ShowVideoDialogRequested = false;
    EXPECT_EQ(Both("OpenCreateVideoTool();"), "");
    EXPECT_TRUE(g_ShowVideoDialogRequested);
    g_ShowVideoDialogRequested = false;

    theApp.m_nStageComPort = 3;
    ui.Clear();
    EXPECT_EQ(Both("ZaberControlPanel();"), "");
    EXPECT_EQ(ui.PostedCommands(), std::vector<int>{32850});

    int opened = 0;
    SetExperimentSettingsWindow([&] { ++opened; });
    EXPECT_EQ(Both("ShowExperimentSettings();"), "");
    EXPECT_EQ(opened, 1);

    ASSERT_TRUE(AddMfgTestSymbol(MfgTestSymbol{}));
    EXPECT_EQ(Both("MfgTest_RemoveAllSymbolsOverVideo();"), "");
    EXPECT_TRUE(g_MfgTestSymbols.empty());
}

TEST_F(DispatcherCommandTest, WaitSleepsWholeSecondsOnTheClock)
{
    platform::ManualClock clock;
    platform::ScopedClock useClock(clock);
    const auto before = clock.Now();
    EXPECT_EQ(Both("Wait(3);"), "");
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - before).count(), 3000);
}

TEST_F(DispatcherCommandTest, LineFormsOfTheseCommands)
{
    Script script(0);
    // ResetDIO is accepted without parentheses; other commands are not.
    EXPECT_EQ(Check(script, "ResetDIO;\nResetDIO();\n"), "ok");
    Script other(0);
    EXPECT_NE(Check(other, "DIO_Reset;\n"), "ok");

    // The rotation display ends while the script is only being checked.
    LiveRotation rotated;
    rotated.angle = 0.1;
    rotated.offset = 12;
    rotated.centerX = 5;
    rotated.centerY = 6;
    SetLiveRotation(rotated);
    Script third(0);
    EXPECT_EQ(Check(third, "EndDisplayRotationCorrectedImages();\n"), "ok");
    const LiveRotation ended = GetLiveRotation();
    EXPECT_EQ(ended.offset, 0);
    EXPECT_EQ(ended.angle, 0.0);
    EXPECT_EQ(ended.centerX, 0);
    EXPECT_EQ(ended.centerY, 0);
}

}  // namespace
