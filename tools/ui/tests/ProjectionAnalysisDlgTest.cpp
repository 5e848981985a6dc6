// The projection parameter editor window: loading the remembered set, Save
// enabled by edits, the label following Find Valleys on save, the controls'
// values for the views.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/testsupport/QtTestApplication.h"
#include "tools/ui/ProjectionAnalysisDlg.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

TEST(ProjectionAnalysisDlg, EditsAndSavesTheRememberedSet)
{
    testsupport::EnsureApplication();
    const fs::path root = MakeDataRoot("proj_dlg", "[ProjectionAnalysisTool]\r\nProjectionAnalysisParams=Narrow\r\n");
    WriteFile(root / "LIB" / "Narrow.pa_params", "[RightSideProjection]\r\nSmoothingWindowMicrons=25\r\n");
    ProjectionAnalysisDlg dialog;
    dialog.show();
    EXPECT_EQ(dialog.SetCombo()->currentText(), "Narrow");
    EXPECT_EQ(dialog.SmoothingEdit()->text(), "25");
    EXPECT_EQ(dialog.PeaksEdit()->text(), "2");
    EXPECT_FALSE(dialog.SaveButton()->isEnabled());

    dialog.PeaksEdit()->setText("3");
    EXPECT_TRUE(dialog.SaveButton()->isEnabled());
    dialog.ValleysBox()->click();
    EXPECT_EQ(dialog.PeaksLabel()->text(), "Num Peaks to Find");
    SaveScreenshot(dialog, "projection_params");
    dialog.SaveButton()->click();
    EXPECT_EQ(dialog.PeaksLabel()->text(), "Num Valleys to Find");
    EXPECT_FALSE(dialog.SaveButton()->isEnabled());
    const std::string file = ReadFile(root / "LIB" / "Narrow.pa_params");
    EXPECT_NE(file.find("NumPeaksToFind=3"), std::string::npos);
    EXPECT_NE(file.find("FindValleys=TRUE"), std::string::npos);

    ProjectionAnalysisParams params;
    ASSERT_TRUE(dialog.GetParamsFromControls(params));
    EXPECT_EQ(params.numPeaksToFind, 3);
    EXPECT_EQ(params.smoothingWindowMicrons, 25.0);
    EXPECT_TRUE(params.findValleys);
}
