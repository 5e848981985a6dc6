// The batch image analysis window: settings, the acquisition settings box,
// a run of the batch engine on the window's worker with progress and the
// summary opened, Stop, refusals, and the main window's question whether a
// batch runs.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

#include <opencv2/imgcodecs.hpp>

#include "analysis/ImageAnalysisRun.h"
#include "analysis/testsupport/SyntheticCells.h"
#include "app/FrameCommands.h"
#include "app/FrameHooks.h"
#include "platform/testsupport/QtTestApplication.h"
#include "tools/tests/CountingTestSupport.h"
#include "tools/ui/ImageAnalysisToolDlg.h"
#include "tools/ui/ParamSetCombo.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

namespace {

class ImageAnalysisToolDlgTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureApplication(); }

    fs::path Prepare(const std::string& name, int images = 2)
    {
        const fs::path root = MakeDataRoot(name);
        folder = root / "images";
        fs::create_directories(folder);
        for (int i = 0; i < images; ++i) {
            SyntheticCellSpec spec;
            spec.seed = 30 + i;
            spec.cellCount = 4;
            cv::imwrite((folder / ("exp_BF_" + std::to_string(i) + ".png")).string(), MakeSyntheticCellImage(spec).image);
        }
        std::string error;
        EXPECT_TRUE(SaveCountingParamSet("Rings", RingCountingValues(320, 240), &error)) << error;
        WriteFile(root / "Vellora.ini", "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nUpperMagnet=20\r\n"
                                        "LowerMagnet=220\r\n[ImageAnalysisTool]\r\nDirectory=" +
                                            folder.string() + "\r\nFilter=*.png\r\nAlgoParamsSet=Rings\r\nOpenSummary=TRUE\r\n");
        return root;
    }

    fs::path folder;
};

}  // namespace

TEST_F(ImageAnalysisToolDlgTest, RunsTheBatchOnItsWorkerAndOpensTheSummary)
{
    Prepare("batch-window");
    RecordingUi ui;
    ImageAnalysisToolDlg dialog;
    EXPECT_EQ(dialog.CircleCombo()->Text(), "Rings");
    EXPECT_TRUE(dialog.OpenSummaryBox()->isChecked());
    EXPECT_TRUE(dialog.RunButton()->isEnabled());
    EXPECT_FALSE(dialog.StopButton()->isEnabled());
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return dialog.FileList()->count() == 2; }));
    EXPECT_TRUE(dialog.UseAcquisitionSettingsBox()->isHidden());  // no ExperimentSettings.ini here
    dialog.FileList()->selectAll();

    CommandRouter commands;
    InstallToolWindows(commands, nullptr);
    g_ImageAnalysisToolDlg = &dialog;
    QSignalSpy status(&dialog, &ToolWindow::statusShown);
    QSignalSpy finished(&dialog, &ToolWindow::runFinished);
    ASSERT_TRUE(dialog.OnBnClickedRun());
    EXPECT_TRUE(GetFrameHooks().imageAnalysisRunning());
    EXPECT_FALSE(dialog.CircleCombo()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_FALSE(GetFrameHooks().imageAnalysisRunning());
    g_ImageAnalysisToolDlg = nullptr;
    ASSERT_GE(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), "Processing 1 of 2");
    EXPECT_TRUE(dialog.StatusLine()->text().isEmpty());
    EXPECT_TRUE(dialog.RunButton()->isEnabled());
    EXPECT_TRUE(dialog.CircleCombo()->isEnabled());
    ASSERT_EQ(ui.started.size(), 1u);
    const std::string summary = ReadFile(ui.started[0].back());
    EXPECT_NE(summary.find("#cir_params=Rings\r\n"), std::string::npos);
    SaveScreenshot(dialog, "ImageAnalysisToolDlg");
}

TEST_F(ImageAnalysisToolDlgTest, StopEndsTheBatchBeforeItsNextImage)
{
    Prepare("batch-window-stop", 12);
    RecordingUi ui;
    ImageAnalysisToolDlg dialog;
    dialog.OpenSummaryBox()->setChecked(false);
    ASSERT_TRUE(WaitFor([&] { return dialog.FileList()->count() == 12; }));
    dialog.FileList()->selectAll();
    SetImageAnalysisWorkerCount(1);
    QSignalSpy status(&dialog, &ToolWindow::statusShown);
    QSignalSpy finished(&dialog, &ToolWindow::runFinished);
    ASSERT_TRUE(dialog.OnBnClickedRun());
    ASSERT_TRUE(WaitFor([&] { return status.count() >= 1 || finished.count() == 1; }));
    dialog.StopButton()->click();
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    SetImageAnalysisWorkerCount(0);
    EXPECT_LT(status.count(), 12);
    EXPECT_TRUE(ui.started.empty());  // "Open Summary" unchecked
}

TEST_F(ImageAnalysisToolDlgTest, RefusalsAndTheAcquisitionSettingsBox)
{
    const fs::path root = Prepare("batch-window-refused");
    RecordingUi ui;
    ImageAnalysisToolDlg dialog;
    dialog.show();
    EXPECT_FALSE(dialog.OnBnClickedRun());
    ASSERT_EQ(ui.bridge.ShownBoxes().size(), 1u);
    EXPECT_EQ(ui.bridge.ShownBoxes()[0].text, "You must select at least one file to process.");
    EXPECT_EQ(ui.bridge.ShownBoxes()[0].type & platform::MB_ICONWARNING, platform::MB_ICONWARNING);

    // An acquisition's settings without magnets: the box shows checked and
    // its file is the one read.
    const std::string acquired = WriteFile(folder / "ExperimentSettings.ini", "[CalibrationSettings]\r\n");
    dialog.FolderEdit()->setText(QString::fromStdString(folder.string() + "/"));
    ASSERT_TRUE(WaitFor([&] { return !dialog.UseAcquisitionSettingsBox()->isHidden(); }));
    EXPECT_TRUE(dialog.UseAcquisitionSettingsBox()->isChecked());
    ASSERT_TRUE(WaitFor([&] { return dialog.FileList()->count() == 2; }));
    dialog.FileList()->selectAll();
    EXPECT_FALSE(dialog.OnBnClickedRun());
    EXPECT_NE(ui.BoxTexts().back().find("UpperMagnet=-10000 must be >= -3000"), std::string::npos);
    EXPECT_TRUE(dialog.RunButton()->isEnabled());

    // Without either set Run is disabled once the settings are saved.
    dialog.CircleCombo()->SetText("");
    ASSERT_TRUE(WaitFor([&] { return !dialog.RunButton()->isEnabled(); }));
}
