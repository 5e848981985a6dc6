// The sweep window: settings loaded and saved after edits, the file list,
// a run on its worker with progress, Stop honoured, the log opened, and the
// main window's toggle.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

#include <opencv2/imgcodecs.hpp>

#include "analysis/testsupport/SyntheticCells.h"
#include "app/FrameCommands.h"
#include "platform/testsupport/QtTestApplication.h"
#include "support/Profile.h"
#include "tools/tests/CountingTestSupport.h"
#include "tools/ui/AlgoIteratorTool.h"
#include "tools/ui/ParamSetCombo.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

namespace {

class AlgoIteratorToolTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureApplication(); }

    fs::path Prepare(const std::string& name)
    {
        const fs::path root = MakeDataRoot(name, "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\n");
        folder = root / "images";
        fs::create_directories(folder);
        for (int i = 0; i < 2; ++i) {
            SyntheticCellSpec spec;
            spec.seed = 20 + i;
            spec.cellCount = 4;
            cv::imwrite((folder / ("img" + std::to_string(i) + ".png")).string(), MakeSyntheticCellImage(spec).image);
        }
        WriteFile(folder / "notes.txt", "");
        std::string error;
        EXPECT_TRUE(SaveCountingParamSet("Rings", RingCountingValues(320, 240), &error)) << error;
        WriteFile(root / "Vellora.ini", "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\n[AlgoIteratorTool]\r\n"
                                        "CountingAlgoParams=Rings\r\nParamNameLevel1=MFilterThreshold1\r\n"
                                        "StartLevel1=9000\r\nStopLevel1=10000\r\nStepLevel1=500\r\nDirectory=" +
                                            folder.string() + "\r\n");
        return root;
    }

    static std::string Setting(const char* key)
    {
        char buffer[1024] = "";
        Tovanix::E_GetPrivateProfileString("AlgoIteratorTool", key, "", buffer, 1023, g_IniPath.GetString());
        return buffer;
    }

    fs::path folder;
};

}  // namespace

TEST_F(AlgoIteratorToolTest, RunsTheSweepOnItsWorkerAndOpensTheLog)
{
    Prepare("sweep-window");
    RecordingUi ui;
    AlgoIteratorTool tool;
    EXPECT_EQ(tool.SetCombo()->Text(), "Rings");
    EXPECT_EQ(tool.FilterEdit()->text(), "*.png");  // the default
    EXPECT_EQ(tool.ParamCombo()->count(), 10);
    tool.show();
    // The list fills and the settings are written a second after loading.
    ASSERT_TRUE(WaitFor([&] { return tool.FileList()->count() == 2 && Setting("Filter") == "*.png"; }));
    tool.FileList()->selectAll();

    QSignalSpy status(&tool, &ToolWindow::statusShown);
    QSignalSpy finished(&tool, &ToolWindow::runFinished);
    ASSERT_TRUE(tool.OnBnClickedRun());
    EXPECT_FALSE(tool.RunButton()->isEnabled());
    EXPECT_TRUE(tool.StopButton()->isEnabled());
    EXPECT_FALSE(tool.FileList()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_GE(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), "file[1:2] step[1:3]");
    EXPECT_TRUE(tool.RunButton()->isEnabled());
    EXPECT_FALSE(tool.StopButton()->isEnabled());
    EXPECT_TRUE(tool.StatusLine()->text().isEmpty());
    ASSERT_EQ(ui.started.size(), 1u);
    const std::string log = ui.started[0].back();
    EXPECT_NE(log.find("AlgoIteratorTool.log"), std::string::npos);
    const std::string text = ReadFile(log);
    EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 8);
    SaveScreenshot(tool, "AlgoIteratorTool");
}

TEST_F(AlgoIteratorToolTest, StopEndsTheRunEarly)
{
    Prepare("sweep-stop-window");
    RecordingUi ui;
    AlgoIteratorTool tool;
    tool.StartEdit()->setText("5");
    tool.StopEdit()->setText("50");
    tool.StepEdit()->setText("0.1");
    tool.ParamCombo()->setEditText("ObjectRadius1");
    ASSERT_TRUE(WaitFor([&] { return tool.FileList()->count() == 2; }));
    tool.FileList()->selectAll();
    QSignalSpy status(&tool, &ToolWindow::statusShown);
    QSignalSpy finished(&tool, &ToolWindow::runFinished);
    ASSERT_TRUE(tool.OnBnClickedRun());
    ASSERT_TRUE(WaitFor([&] { return status.count() >= 1 || finished.count() == 1; }));
    tool.StopButton()->click();
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    ASSERT_EQ(ui.started.size(), 1u);
    const std::string text = ReadFile(ui.started[0].back());
    EXPECT_LT(std::count(text.begin(), text.end(), '\n'), 2 * 451);  // far from every value of both images
}

TEST_F(AlgoIteratorToolTest, RefusedRunShowsEveryProblem)
{
    Prepare("sweep-refused");
    RecordingUi ui;
    AlgoIteratorTool tool;
    tool.StepEdit()->setText("0");
    EXPECT_FALSE(tool.OnBnClickedRun());
    EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{"StepLevel1 must be greater than zero.\nYou must select at least one file."});
    EXPECT_TRUE(tool.RunButton()->isEnabled());
}

TEST_F(AlgoIteratorToolTest, TheCommandTogglesTheWindow)
{
    Prepare("sweep-toggle");
    CommandRouter commands;
    InstallToolWindows(commands, nullptr);
    commands.Execute(cmd::AlgoIterator);
    ASSERT_NE(g_AlgoIteratorTool, nullptr);
    EXPECT_TRUE(g_AlgoIteratorTool->isVisible());
    commands.Execute(cmd::AlgoIterator);
    EXPECT_FALSE(g_AlgoIteratorTool->isVisible());
    delete g_AlgoIteratorTool;
    EXPECT_EQ(g_AlgoIteratorTool, nullptr);
}
