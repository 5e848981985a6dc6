#include "support/ShellUtils.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/tests/LogTestSupport.h"

namespace {

using logtest::ReadFile;

const char* const kAssociations =
    "[Extensions]\r\n"
    ".txt=textfile\r\n"
    ".CSV=csvfile\r\n"
    ".log=viewonly\r\n"
    ".dat=ghost\r\n"
    ".ini=system\r\n"
    "[textfile]\r\n"
    "open=/usr/bin/editor --new \"%1\" --title=%1\r\n"
    "[csvfile]\r\n"
    "open=\"/opt/Sheet Tool/sheet\" --readonly\r\n"
    "[viewonly]\r\n"
    "edit=vi %1\r\n"
    "[system]\n"
    "open=%SystemRoot%\\system32\\notepad.exe %1\n";

class ShellUtilsTest : public logtest::LogTest {
protected:
    void SetUp() override {
        logtest::LogTest::SetUp();
        logtest::WriteFile(root / "FileAssociations.ini", kAssociations);
        Tovanix::SetProcessStarter([this](const std::vector<std::string>& arguments, const std::string& folder) {
            started.push_back(arguments);
            EXPECT_EQ(folder, "/");
            return startSucceeds;
        });
    }
    void TearDown() override {
        Tovanix::SetProcessStarter({});
        logtest::LogTest::TearDown();
    }
    std::string ErrorLog() { return ReadFile(root / "LOG" / std::filesystem::directory_iterator(root / "LOG")->path().filename()); }

    std::vector<std::vector<std::string>> started;
    bool startSucceeds = true;
};

using Args = std::vector<std::string>;

TEST_F(ShellUtilsTest, RegisteredCommandsGetThePathAsOneArgument) {
    const std::string report = Path("my report.txt");
    EXPECT_TRUE(Tovanix::OpenUsingDefaultApp(report.c_str()));
    const std::string table = Path("big table.csv");
    EXPECT_TRUE(Tovanix::OpenUsingDefaultApp(table.c_str()));
    const std::string params = Path("cells.counting_params");
    EXPECT_TRUE(Tovanix::OpenUsingDefaultApp(params.c_str(), ".txt"));
    // An unregistered substitute falls back to the file's own extension.
    EXPECT_TRUE(Tovanix::OpenUsingDefaultApp(table.c_str(), ".xls"));
    EXPECT_TRUE(Tovanix::OpenUsingDefaultApp(Path("Vellora.ini").c_str()));

    ASSERT_EQ(started.size(), 5u);
    EXPECT_EQ(started[0], (Args{"/usr/bin/editor", "--new", report, "--title=" + report}));
    EXPECT_EQ(started[1], (Args{"/opt/Sheet Tool/sheet", "--readonly", table}));
    EXPECT_EQ(started[2], (Args{"/usr/bin/editor", "--new", params, "--title=" + params}));
    EXPECT_EQ(started[3], (Args{"/opt/Sheet Tool/sheet", "--readonly", table}));
    EXPECT_EQ(started[4], (Args{"/usr/system32/notepad.exe", Path("Vellora.ini")}));
}

TEST_F(ShellUtilsTest, PathsInWindowsNotationAreOpenedNatively) {
    EXPECT_TRUE(Tovanix::OpenUsingDefaultApp("reports\\\\run 1\\summary.txt"));
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0][2], "reports/run 1/summary.txt");
}

TEST_F(ShellUtilsTest, LookupFailuresAreLoggedAndTheDesktopOpensTheFile) {
    struct Case {
        const char* file;
        std::string message;
    };
    const Case cases[] = {
        {"photo.unknown", "Extension: .unknown is not registered."},
        {"run.log", "Extension: .log is registered.  But does not have action: open"},
        {"data.dat", "Problem looking up information for extension: .dat Windows registry may be corrupt."},
    };
    for (const Case& c : cases) {
        started.clear();
        const std::string file = Path(c.file);
        EXPECT_FALSE(Tovanix::OpenUsingDefaultApp(file.c_str())) << c.file;
        EXPECT_EQ(started, (std::vector<Args>{{"xdg-open", file}})) << c.file;
        EXPECT_NE(ErrorLog().find("\t" + c.message + "\r\n"), std::string::npos) << c.message;
    }
}

TEST_F(ShellUtilsTest, ProgramThatCannotStartFallsBackToTheDesktop) {
    startSucceeds = false;
    const std::string file = Path("notes.txt");
    EXPECT_FALSE(Tovanix::OpenUsingDefaultApp(file.c_str()));
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1], (Args{"xdg-open", file}));
}

TEST_F(ShellUtilsTest, ExtensionIsLookedUpWithItsDotAndWithoutRegardToCase) {
    Tovanix::String command;
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::GetOpenCommandForExtension("csv", &command, &error));
    EXPECT_STREQ(command.c_str(), "\"/opt/Sheet Tool/sheet\" --readonly");
    EXPECT_TRUE(Tovanix::GetOpenCommandForExtension(".TXT", &command, &error));
    EXPECT_STREQ(command.c_str(), "/usr/bin/editor --new \"%1\" --title=%1");
}

TEST(CommandLineTest, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(Tovanix::SplitCommandLine("  a  \"b c\" d\"e f\"g \"\" "), (Args{"a", "b c", "de fg", ""}));
    EXPECT_EQ(Tovanix::SplitCommandLine(""), Args{});
}

TEST(ProcessStarterTest, RealStarterRunsAProgramWithoutAShell) {
    // A path full of shell syntax reaches the program as one argument.
    const std::string folder = std::string(std::getenv("VELLORA_TEST_ROOT")) + "/starter";
    std::filesystem::create_directories(folder);
    const std::string marker = folder + "/it ran; $(false) `x` | &";
    logtest::WriteFile(std::filesystem::path(folder) / "FileAssociations.ini",
                       "[Extensions]\n.mark=marker\n[marker]\nopen=touch \"%1\"\n");
    CString root = folder.c_str();
    CString version = "1";
    SetAppLogSources({&root, &version, nullptr, nullptr});
    Tovanix::SetProcessStarter({});
    EXPECT_TRUE(Tovanix::OpenUsingDefaultApp((marker + ".mark").c_str()));
    for (int i = 0; i < 200 && !std::filesystem::exists(marker + ".mark"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(std::filesystem::exists(marker + ".mark"));
    SetAppLogSources({});
}

}  // namespace
