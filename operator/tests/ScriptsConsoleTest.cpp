#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "operator/ScriptsConsole.h"
#include "script/tests/ScriptRunTestSupport.h"

namespace {

using scripttest::ReadText;
namespace fs = std::filesystem;

class ScriptsConsoleTest : public scripttest::ScriptFolderTest {};

TEST_F(ScriptsConsoleTest, ListsTheScriptFilesSortedWithoutRegardToCase) {
    Write("Scripts/b.scr", "");
    Write("Scripts/A.SCR", "");
    Write("Scripts/c.txt", "");
    Write("Scripts/notes.scr.bak", "");
    fs::create_directories(root / "Scripts" / "folder.scr");
    EXPECT_EQ(ScriptsConsole::ListScripts(), (std::vector<std::string>{"A.SCR", "b.scr"}));
    fs::remove_all(root / "Scripts");
    EXPECT_TRUE(ScriptsConsole::ListScripts().empty());
}

TEST_F(ScriptsConsoleTest, JoinsFolderAndNameWithOneSeparator) {
    const struct {
        const char* folder;
        const char* expected;
    } cases[] = {
        {"/data", "/data/x.scr"},
        {"/data/", "/data/x.scr"},
        {" \t/data \t", "/data/x.scr"},
        {"/data\r\nrest", "/data/x.scr"},
        {"", "x.scr"},
        {"  ", "x.scr"},
    };
    for (const auto& c : cases) EXPECT_EQ(ScriptsConsole::JoinFolder(c.folder, "x.scr"), c.expected) << c.folder;
}

TEST_F(ScriptsConsoleTest, EditMakesNewScrOnceAndNeverRewritesIt) {
    fs::remove_all(root / "Scripts");
    std::string path, error;
    ASSERT_TRUE(ScriptsConsole::PrepareScriptForEdit("", &path, &error)) << error;
    EXPECT_EQ(path, (root / "Scripts" / "New.scr").string());
    EXPECT_EQ(ReadText(path), "// Tessaly Vellora script file.\r\n// Rename this automatically created file.\r\n");

    // Work typed into New.scr survives the next Edit without a selection.
    Write("Scripts/New.scr", "Wait(1);\r\n");
    ASSERT_TRUE(ScriptsConsole::PrepareScriptForEdit("", &path, &error)) << error;
    EXPECT_EQ(ReadText(path), "Wait(1);\r\n");

    ASSERT_TRUE(ScriptsConsole::PrepareScriptForEdit("pump.scr", &path, &error));
    EXPECT_EQ(path, (root / "Scripts" / "pump.scr").string());
    EXPECT_FALSE(fs::exists(path)) << "a selected script is only opened";
}

TEST_F(ScriptsConsoleTest, EditReportsAFolderOrFileThatCannotBeMade) {
    // Only the Scripts folder itself is made, not missing parents.
    theApp.m_strDataRoot = (root / "missing" / "root").string();
    std::string path, error;
    EXPECT_FALSE(ScriptsConsole::PrepareScriptForEdit("", &path, &error));
    EXPECT_EQ(error, "Unable to create directory: " + (root / "missing" / "root" / "Scripts").string());

    theApp.m_strDataRoot = root.string();
    ::chmod((root / "Scripts").c_str(), 0555);
    const bool writable = ::access((root / "Scripts").c_str(), W_OK) == 0;  // root ignores the mode
    if (!writable) {
        EXPECT_FALSE(ScriptsConsole::PrepareScriptForEdit("", &path, &error));
        EXPECT_EQ(error, "Unable to create file: " + (root / "Scripts" / "New.scr").string());
    }
    ::chmod((root / "Scripts").c_str(), 0755);
}

TEST_F(ScriptsConsoleTest, RenameRefusesAnExistingNameAndKeepsBothFiles) {
    Write("Scripts/prime.scr", "prime");
    Write("Scripts/flush.scr", "flush");
    std::string error;
    EXPECT_FALSE(ScriptsConsole::rename_script_file("prime", "flush", &error));
    EXPECT_EQ(error, "rename_script_file () : unable to rename " + (root / "Scripts" / "prime.scr").string() +
                         " -> " + (root / "Scripts" / "flush.scr").string());
    EXPECT_EQ(ReadText(root / "Scripts" / "prime.scr"), "prime");
    EXPECT_EQ(ReadText(root / "Scripts" / "flush.scr"), "flush");

    EXPECT_FALSE(ScriptsConsole::rename_script_file("gone", "other", &error));
    EXPECT_EQ(error, "rename_script_file () : Script file does not exist: " + (root / "Scripts" / "gone.scr").string());

    // ".scr" is appended whatever the typed name ends in.
    ASSERT_TRUE(ScriptsConsole::rename_script_file("prime", "prime2.scr", &error)) << error;
    EXPECT_EQ(ReadText(root / "Scripts" / "prime2.scr.scr"), "prime");
    EXPECT_FALSE(fs::exists(root / "Scripts" / "prime.scr"));

    // A script listed as "LOUD.SCR" renames as it is listed.
    Write("Scripts/LOUD.SCR", "loud");
    ASSERT_TRUE(ScriptsConsole::rename_script_file("LOUD", "quiet", &error)) << error;
    EXPECT_EQ(ReadText(root / "Scripts" / "quiet.scr"), "loud");
}

TEST_F(ScriptsConsoleTest, DuplicateTakesTheFirstFreeSuffixAndDeleteRemoves) {
    Write("Scripts/run.scr", "body");
    Write("Scripts/run_1.scr", "older copy");
    std::string copy, error;
    ASSERT_TRUE(ScriptsConsole::DuplicateScriptFile("run.scr", &copy, &error)) << error;
    EXPECT_EQ(copy, "run_2.scr");
    EXPECT_EQ(ReadText(root / "Scripts" / "run_2.scr"), "body");
    EXPECT_EQ(ReadText(root / "Scripts" / "run_1.scr"), "older copy");
    // A copy of a copy adds its own suffix.
    ASSERT_TRUE(ScriptsConsole::DuplicateScriptFile("run_2.scr", &copy, &error));
    EXPECT_EQ(copy, "run_2_1.scr");

    for (int i = 1; i <= 99; ++i) Write("Scripts/full_" + std::to_string(i) + ".scr", "");
    Write("Scripts/full.scr", "");
    EXPECT_FALSE(ScriptsConsole::DuplicateScriptFile("full.scr", &copy, &error));
    EXPECT_EQ(error, "Unable to duplicate script: full.scr");

    ASSERT_TRUE(ScriptsConsole::DeleteScriptFile("run_2_1.scr", &error));
    EXPECT_FALSE(fs::exists(root / "Scripts" / "run_2_1.scr"));
    EXPECT_FALSE(ScriptsConsole::DeleteScriptFile("run_2_1.scr", &error));
    EXPECT_EQ(error, "Unable to delete file:\n" + (root / "Scripts" / "run_2_1.scr").string());
}

TEST_F(ScriptsConsoleTest, TheLineFeedAsksForOneUpdateAndKeepsTheNewestLine) {
    ScriptsConsole::CurrentLineFeed feed;
    EXPECT_TRUE(feed.Set("a"));
    EXPECT_FALSE(feed.Set("b"));
    EXPECT_FALSE(feed.Set("c"));
    EXPECT_EQ(feed.Take(), "c");
    EXPECT_TRUE(feed.Set("d"));
}

}  // namespace
