// The counting tool window: the last session's set loaded, unsaved changes
// noticed, saving under a name, a run on the active view with its report,
// and Done.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <opencv2/imgcodecs.hpp>

#include "analysis/testsupport/SyntheticCells.h"
#include "app/ActiveROI.h"
#include "app/FrameCommands.h"
#include "platform/testsupport/QtTestApplication.h"
#include "tools/tests/CountingTestSupport.h"
#include "tools/ui/CountingAlgorithmDlg.h"
#include "tools/ui/ParamSetCombo.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

namespace {

class CountingAlgorithmDlgTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureApplication(); }

    // A data root whose main settings name the set "Rings", saved from values
    // that find the synthetic cells.
    fs::path PrepareSet(const std::string& name, cv::Size size)
    {
        const fs::path root = MakeDataRoot(name, "[CountingAlgorithmDlg]\r\nParamSetName=Rings\r\nCreateResultsFiles=TRUE\r\n"
                                                 "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nUpperMagnet=0\r\n"
                                                 "LowerMagnet=200\r\n");
        std::string error;
        EXPECT_TRUE(SaveCountingParamSet("Rings", RingCountingValues(size.width, size.height), &error)) << error;
        return root;
    }
};

}  // namespace

TEST_F(CountingAlgorithmDlgTest, OpensTheLastSetAndNoticesUnsavedChanges)
{
    const fs::path root = PrepareSet("counting-dlg", cv::Size(320, 240));
    RecordingUi ui;
    CountingAlgorithmDlg dialog;
    EXPECT_EQ(dialog.SetCombo()->Text(), "Rings");
    EXPECT_EQ(dialog.Edit("ObjectRadius1")->text(), "10");
    EXPECT_TRUE(dialog.CreateResultsBox()->isChecked());
    EXPECT_EQ(dialog.UpperMagnetEdit()->text(), "0");
    EXPECT_EQ(dialog.LowerMagnetEdit()->text(), "200");
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return !dialog.SaveButton()->isEnabled(); }));
    // The preview region follows the edits.
    ASSERT_TRUE(WaitFor([&] { return g_ActiveROI.bottom == 239; }));

    dialog.Edit("MFilterSamples1")->setText("17");
    ASSERT_TRUE(WaitFor([&] { return dialog.SaveButton()->isEnabled(); }));
    dialog.Edit("MFilterSamples1")->setText("16");
    ASSERT_TRUE(WaitFor([&] { return !dialog.SaveButton()->isEnabled(); }));

    // Saved under a new name, the set is the controls' values.
    dialog.Edit("ObjectRadius2")->setText("5");
    dialog.SetCombo()->SetText("Copy");
    dialog.OnBnClickedSave();
    ASSERT_TRUE(fs::exists(root / "LIB" / "Copy.counting_params"));
    CountingParamValues saved;
    ReadCountingParams((root / "LIB" / "Copy.counting_params").string(), saved);
    EXPECT_EQ(saved.Get("ObjectRadius2"), "5");
    ASSERT_TRUE(WaitFor([&] { return !dialog.SaveButton()->isEnabled(); }));

    // An empty name is refused and writes nothing.
    dialog.SetCombo()->SetText("");
    dialog.OnBnClickedSave();
    EXPECT_EQ(ui.BoxTexts().back(), "Must have a valid name in the combo box before you may save.");
    EXPECT_FALSE(fs::exists(root / "LIB" / ".counting_params"));
    SaveScreenshot(dialog, "CountingAlgorithmDlg");
}

TEST_F(CountingAlgorithmDlgTest, RunCountsTheActiveImageAndWritesItsReport)
{
    SyntheticCellSpec spec;
    spec.cellCount = 5;
    const SyntheticCellImage synthetic = MakeSyntheticCellImage(spec);
    const fs::path root = PrepareSet("counting-run", spec.size);
    const std::string image = (root / "cells.png").string();
    ASSERT_TRUE(cv::imwrite(image, synthetic.image));
    RecordingUi ui;
    OpenImage open(image);
    CountingAlgorithmDlg dialog;
    dialog.OpenSummaryBox()->setChecked(true);
    dialog.show();

    QSignalSpy processed(&dialog, &CountingAlgorithmDlg::processed);
    dialog.RunButton()->click();
    ASSERT_TRUE(WaitFor([&] { return processed.count() == 1; }));
    EXPECT_TRUE(processed.at(0).at(0).toBool());
    EXPECT_EQ(open.view->m_Detections1.size(), synthetic.centres.size());
    EXPECT_GT(open.window.invalidations, 0);
    EXPECT_TRUE(fs::exists(root / "cells.txt"));
    EXPECT_TRUE(fs::exists(root / "cells.sum.txt"));
    ASSERT_EQ(ui.started.size(), 1u);  // the summary opened
    EXPECT_EQ(ui.started[0].back(), (root / "cells.sum.txt").string());

    // A region that does not fit the image is refused with its message.
    dialog.Edit("Bottom")->setText("240");
    dialog.RunButton()->click();
    ASSERT_TRUE(WaitFor([&] { return processed.count() == 2; }));
    EXPECT_FALSE(processed.at(1).at(0).toBool());
    EXPECT_EQ(ui.BoxTexts().back(), "CountingAlgorithmDlg::process_image () Bottom must be less than image height 240");
    EXPECT_FALSE(fs::exists(root / "cells[1].txt"));
}

TEST_F(CountingAlgorithmDlgTest, DoneAsksAboutUnsavedChanges)
{
    PrepareSet("counting-done", cv::Size(320, 240));
    RecordingUi ui;
    CountingAlgorithmDlg dialog;
    dialog.show();
    dialog.Edit("MFilterSamples1")->setText("20");
    ASSERT_TRUE(WaitFor([&] { return dialog.SaveButton()->isEnabled() && g_ActiveROI.bottom == 239; }));
    ui.bridge.QueueAnswer(platform::IDCANCEL);
    dialog.OnBnClickedDone();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(g_ActiveROI.bottom, 239);
    ui.bridge.QueueAnswer(platform::IDNO);
    dialog.OnBnClickedDone();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(g_ActiveROI.bottom, 0);
    EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{"Save changes?", "Save changes?"}));
}

TEST_F(CountingAlgorithmDlgTest, TheMainWindowCommandMakesTheWindowOnceAndShowsIt)
{
    PrepareSet("counting-command", cv::Size(320, 240));
    CommandRouter commands;
    InstallToolWindows(commands, nullptr);
    ASSERT_TRUE(commands.Execute(cmd::CountingAlgorithmParameters));
    ASSERT_NE(g_CountingAlgorithmDlg, nullptr);
    CountingAlgorithmDlg* first = g_CountingAlgorithmDlg;
    EXPECT_TRUE(first->isVisible());
    commands.Execute(cmd::CountingAlgorithmParameters);
    EXPECT_EQ(g_CountingAlgorithmDlg, first);
    EXPECT_TRUE(first->isVisible());  // a second use leaves it shown
    delete first;
    EXPECT_EQ(g_CountingAlgorithmDlg, nullptr);
}
