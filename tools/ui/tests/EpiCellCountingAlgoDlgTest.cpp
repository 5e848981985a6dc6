// The epifluorescence tool window: the default set on first start, unsaved
// changes by digest, saving, a run on the active view with debug pixels,
// the previewed region and Done.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <opencv2/imgcodecs.hpp>

#include "app/ActiveROI.h"
#include "app/FrameCommands.h"
#include "platform/testsupport/QtTestApplication.h"
#include "tools/tests/EpiTestSupport.h"
#include "tools/ui/EpiCellCountingAlgoDlg.h"
#include "tools/ui/ParamSetCombo.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

namespace {

class EpiCellCountingAlgoDlgTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureApplication(); }
};

}  // namespace

TEST_F(EpiCellCountingAlgoDlgTest, FirstStartShowsTheDefaultsAndFollowsChanges)
{
    const fs::path root = MakeDataRoot("epi-window");
    RecordingUi ui;
    EpiCellCountingAlgoDlg dialog;
    EXPECT_EQ(dialog.SetCombo()->Text(), "Default");
    EXPECT_EQ(dialog.Edit(1235)->text(), "0.0020");
    EXPECT_EQ(dialog.Edit(1239)->text(), "0.350");
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return !dialog.SaveButton()->isEnabled(); }));
    ASSERT_TRUE(WaitFor([&] { return g_EpiOverlayROI.right == 1000; }));

    dialog.Edit(1238)->setText("25");
    ASSERT_TRUE(WaitFor([&] { return dialog.SaveButton()->isEnabled(); }));
    dialog.Edit(1238)->setText("20");
    ASSERT_TRUE(WaitFor([&] { return !dialog.SaveButton()->isEnabled(); }));

    // Saved, the set file exists and the main settings name it.
    dialog.Edit(1238)->setText("25");
    dialog.OnBnClickedSave();
    EXPECT_TRUE(fs::exists(root / "LIB" / "Default.epi_counting_params"));
    EXPECT_NE(ReadFile(root / "Vellora.ini").find("ParamSetName=Default"), std::string::npos);
    ASSERT_TRUE(WaitFor([&] { return !dialog.SaveButton()->isEnabled(); }));

    // A name with a path in it is refused.
    dialog.SetCombo()->SetText("a/b");
    dialog.OnBnClickedSave();
    EXPECT_EQ(ui.BoxTexts().back(), "Name in the combo box must be a valid windows file name.");
    SaveScreenshot(dialog, "EpiCellCountingAlgoDlg");
}

TEST_F(EpiCellCountingAlgoDlgTest, RunDrawsTheCellsAndDebugPixelsOnTheActiveView)
{
    const fs::path root = MakeDataRoot("epi-window-run");
    EpiCellCountingAlgoParams params = EpiSceneParams();
    std::string error;
    ASSERT_TRUE(SaveEpiParamSet("Default", params, &error)) << error;
    const std::string image = (root / "exp_FL_1.png").string();
    ASSERT_TRUE(cv::imwrite(image, EpiScene()));
    AllocateActiveROI();
    RecordingUi ui;
    OpenImage open(image);
    EpiCellCountingAlgoDlg dialog;
    dialog.show();
    dialog.DebugBox(2)->setChecked(true);
    QSignalSpy processed(&dialog, &EpiCellCountingAlgoDlg::processed);
    dialog.RunButtonOfTool()->click();
    ASSERT_TRUE(WaitFor([&] { return processed.count() == 1; }));
    EXPECT_TRUE(processed.at(0).at(0).toBool());
    EXPECT_EQ(open.view->m_EpiDetections.size(), EpiRings().size());
    ASSERT_NE(open.view->m_pOverlayCodes, nullptr);
    EXPECT_GT(open.window.invalidations, 0);

    // A value the checks refuse: the message, and the view keeps its cells.
    dialog.Edit(1237)->setText("5");
    dialog.RunButtonOfTool()->click();
    ASSERT_TRUE(WaitFor([&] { return processed.count() == 2; }));
    EXPECT_EQ(ui.BoxTexts().back(), "Min pixel count must be an integer between 10 and 1000\n");
    EXPECT_EQ(open.view->m_EpiDetections.size(), EpiRings().size());

    // Done with unsaved changes: Cancel keeps the window and the region.
    ASSERT_TRUE(WaitFor([&] { return g_EpiOverlayROI.right == 289; }));
    ui.bridge.QueueAnswer(platform::IDCANCEL);
    dialog.OnBnClickedCancel();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(g_EpiOverlayROI.right, 289);
    ui.bridge.QueueAnswer(platform::IDNO);
    dialog.OnBnClickedCancel();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(g_EpiOverlayROI.right, 0);
}

TEST_F(EpiCellCountingAlgoDlgTest, PickingAnotherSetAsksAboutTheOneBeingLeft)
{
    const fs::path root = MakeDataRoot("epi-window-switch");
    EpiCellCountingAlgoParams params = EpiSceneParams();
    std::string error;
    ASSERT_TRUE(SaveEpiParamSet("Default", params, &error)) << error;
    params.MinSize = 30;
    ASSERT_TRUE(SaveEpiParamSet("Other.v2", params, &error)) << error;
    RecordingUi ui;
    EpiCellCountingAlgoDlg dialog;
    dialog.show();
    dialog.SetCombo()->Refill();
    EXPECT_EQ(dialog.SetCombo()->findText("Other"), 1);  // listed cut at the first dot
    dialog.Edit(1238)->setText("16");
    dialog.SetCombo()->SetText("Other.v2");
    ui.bridge.QueueAnswer(platform::IDNO);
    dialog.OnCbnCloseupParamSet();
    EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{"Save changes to Default?"});
    ASSERT_TRUE(WaitFor([&] { return dialog.CurrentSetName() == "Other.v2"; }));
    EXPECT_EQ(dialog.Edit(1238)->text(), "30");
    EpiCellCountingAlgoParams kept;
    kept.LoadFromFile((root / "LIB" / "Default.epi_counting_params").string().c_str());
    EXPECT_EQ(kept.MinSize, 15);  // the edit was discarded

    CommandRouter commands;
    InstallToolWindows(commands, nullptr);
    commands.Execute(cmd::EpiCellCountingParameters);
    ASSERT_NE(g_EpiCellCountingAlgoDlg, nullptr);
    commands.Execute(cmd::EpiCellCountingParameters);
    EXPECT_TRUE(g_EpiCellCountingAlgoDlg->isVisible());  // shown, never hidden
    delete g_EpiCellCountingAlgoDlg;
}
