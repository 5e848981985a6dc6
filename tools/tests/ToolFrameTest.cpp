// The shared pieces of the tool windows: the file list, parameter-set names
// and listing, and a tool's settings section.

#include <gtest/gtest.h>

#include "tools/ToolFrame.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

TEST(ToolFrame, FileListTakesMatchingFilesOnly)
{
    const fs::path folder = TestRoot() / "list";
    WriteFile(folder / "b.png", "x");
    WriteFile(folder / "A.PNG", "x");
    WriteFile(folder / "c.tif", "x");
    fs::create_directories(folder / "dir.png");
    std::vector<std::string> names;
    // A trailing separator gets no second one.
    for (const std::string& text : {folder.string(), folder.string() + "/", "  " + folder.string() + "\t"}) {
        ASSERT_TRUE(FillFileList(text, "*.png", names)) << text;
        EXPECT_EQ(names, (std::vector<std::string>{"A.PNG", "b.png"})) << text;
    }
    EXPECT_FALSE(FillFileList((folder / "missing").string(), "*.png", names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(FillFileList(folder.string(), "*.bmp", names));
}

TEST(ToolFrame, EmptyFolderSearchesTheCurrentDirectory)
{
    const fs::path folder = TestRoot() / "cwd";
    WriteFile(folder / "here.png", "x");
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    std::vector<std::string> names;
    const bool found = FillFileList("", "*.png", names);
    fs::current_path(before);
    EXPECT_TRUE(found);
    EXPECT_EQ(names, std::vector<std::string>{"here.png"});
}

TEST(ToolFrame, ParamSetsAreListedCutAtTheFirstDot)
{
    const fs::path root = MakeDataRoot("sets");
    WriteFile(root / "LIB" / "beta.counting_params", "");
    WriteFile(root / "LIB" / "Alpha.counting_params", "");
    WriteFile(root / "LIB" / "v1.2.counting_params", "");
    WriteFile(root / "LIB" / "other.epi_counting_params", "");
    EXPECT_EQ(ListParamSets(".counting_params"), (std::vector<std::string>{"Alpha", "beta", "v1"}));
    EXPECT_EQ(ParamSetPath("Alpha", ".counting_params"), (root / "LIB" / "Alpha.counting_params").string());
}

TEST(ToolFrame, SetNamesThatWouldHideOrEscapeTheFileAreRefused)
{
    struct Case {
        std::string name;
        const char* error;
    };
    const Case cases[] = {
        {"", "Must have a valid name in the combo box before you may save."},
        {" \t ", "Must have a valid name in the combo box before you may save."},
        {"../escape", "Name in the combo box must be a valid windows file name."},
        {"a\\b", "Name in the combo box must be a valid windows file name."},
        {"what?", "Name in the combo box must be a valid windows file name."},
        {std::string(257, 'a'), "Name in the combo box must be a valid windows file name."},
        {"Good set_1", nullptr},
        {std::string(256, 'a'), nullptr},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(CheckParamSetName(c.name, &error), c.error == nullptr) << c.name;
        if (c.error) {
            EXPECT_EQ(error, c.error) << c.name;
        }
    }
}

TEST(ToolFrame, SettingsLoadWithDefaultsAndSaveInKeyOrder)
{
    const fs::path root = MakeDataRoot("settings", "[Tool]\r\nB=typed\r\nFlag=true\r\n");
    ToolSettings settings("Tool", {{"A", "5"}, {"B", ""}, {"Flag", ""}});
    settings.Load();
    EXPECT_EQ(settings.Get("A"), "5");
    EXPECT_EQ(settings.Get("b"), "typed");
    EXPECT_TRUE(settings.GetFlag("Flag", false));
    EXPECT_FALSE(settings.GetFlag("A", false));  // neither TRUE nor FALSE keeps the state

    settings.SetLoading(true);
    settings.Set("A", "7");
    EXPECT_FALSE(settings.Save());
    settings.SetLoading(false);
    ASSERT_TRUE(settings.Save());
    ToolSettings again("Tool", {{"A", ""}, {"B", ""}, {"Flag", ""}});
    again.Load();
    EXPECT_EQ(again.Get("A"), "7");
    EXPECT_EQ(again.Get("B"), "typed");
}
