// The projection parameter sets as the editor reads and writes them.

#include <gtest/gtest.h>

#include "tools/ProjectionParamEditor.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

TEST(ProjectionParamEditor, SavesAndLoadsASet)
{
    const fs::path root = MakeDataRoot("proj_editor");
    EXPECT_EQ(RememberedProjectionSet(), "ExperimentSettings");
    // A name holding ExperimentSettings is written to the main settings file.
    EXPECT_EQ(ProjectionSetWritePath("ExperimentSettings", false), g_IniPath.GetString());
    EXPECT_EQ(ProjectionSetReadPath("ExperimentSettings"), (root / "LIB" / "ExperimentSettings.pa_params").string());
    EXPECT_EQ(ProjectionSetReadPath("__ExperimentSettings__"), g_IniPath.GetString());

    ProjectionParamTexts texts;
    LoadProjectionParamTexts(ProjectionSetReadPath("Narrow"), texts);  // no file: defaults
    EXPECT_EQ(texts.smoothingWindowMicrons, "15.0");
    EXPECT_EQ(texts.numPeaksToFind, "2");
    texts.smoothingWindowMicrons = "20 um";
    texts.integrationSamples = "abc";
    texts.findValleys = true;
    ASSERT_TRUE(SaveProjectionParamTexts(ProjectionSetWritePath("Narrow", false), texts));
    const std::string file = ReadFile(root / "LIB" / "Narrow.pa_params");
    EXPECT_NE(file.find("BackgroundSubtract=FALSE"), std::string::npos);
    EXPECT_NE(file.find("FindValleys=TRUE"), std::string::npos);

    ProjectionParamTexts again;
    LoadProjectionParamTexts(ProjectionSetReadPath("Narrow"), again);
    EXPECT_EQ(again.smoothingWindowMicrons, "20 um");
    EXPECT_TRUE(again.findValleys);

    // Unreadable texts leave their fields.
    ProjectionAnalysisParams params;
    params.integrationSamples = 9;
    ApplyProjectionParamTexts(again, params);
    EXPECT_EQ(params.smoothingWindowMicrons, 20.0);
    EXPECT_EQ(params.integrationSamples, 9);
    EXPECT_TRUE(params.findValleys);

    WriteFile(root / "LIB" / "Two.dots.pa_params", "");
    WriteFile(root / "LIB" / "myexperimentsettings.pa_params", "");
    EXPECT_EQ(ListProjectionParamSets(), (std::vector<std::string>{"Narrow", "Two", "__ExperimentSettings__"}));
    ASSERT_TRUE(RememberProjectionSet("Narrow"));
    EXPECT_EQ(RememberedProjectionSet(), "Narrow");
}
