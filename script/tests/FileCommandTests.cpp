// The file, log, stored-setting and sound commands: settings files placed in
// the data root and their exact bytes, failed reads and writes reported, the
// compare report's header and rows, log lines with their time stamps, the
// Sounds folder messages and a sound played to nothing, and files opened
// without a shell.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/VelloraApp.h"
#include "platform/Clock.h"
#include "platform/Sound.h"
#include "script/tests/CommandTestSupport.h"
#include "support/CachedLog.h"
#include "support/ShellUtils.h"
#include "support/String.h"

namespace {

namespace fs = std::filesystem;
using scripttest::ReadText;

constexpr int kCompareTwoDataFiles = 79;
constexpr int kOpenFileUsingDefaultApp = 80;
constexpr int kSaveTextToLogFile = 143;
constexpr int kReadStoredString = 156;
constexpr int kWriteStoredString = 164;
constexpr int kPlaySound = 165;

// A mono 16-bit PCM wave of `samples` samples at 8000 Hz.
std::string Wave(uint32_t samples)
{
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    const uint32_t bytes = samples * 2;
    std::string wave = "RIFF" + le32(36 + bytes) + "WAVE";
    wave += "fmt " + le32(16) + le16(1) + le16(1) + le32(8000) + le32(16000) + le16(2) + le16(16);
    wave += "data" + le32(bytes) + std::string(bytes, '\0');
    return wave;
}

class FileCommandTest : public scripttest::CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        variables = scripttest::Declared({"STRING v = \"old\";", "int i = 3;"});
        theApp.m_strFileVersion = "1.2.3.4";
        theApp.m_strRunLogPath = (root / "LOG" / "20261211-0700-00.log").c_str();
        std::tm local{};
        local.tm_year = 2026 - 1900;
        local.tm_mon = 11;
        local.tm_mday = 11;
        local.tm_hour = 7;
        local.tm_min = 8;
        local.tm_sec = 9;
        local.tm_isdst = -1;
        clock.SetWallTime(std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(45));
    }
    void TearDown() override
    {
        Tovanix::SetProcessStarter({});
        platform::SetSoundOutputDevice("");
        CommandTest::TearDown();
    }

    scripttest::SleepRecordingClock clock;
    platform::ScopedClock useClock{clock};
};

TEST_F(FileCommandTest, StoredSettingsArePlacedInTheDataRootAndWrittenExactly)
{
    // A file named with a folder is the file of that name in the data root.
    EXPECT_EQ(Run(kWriteStoredString, "(\"Pump\", \"Speed\", \"12 ul/s\", \"sub\\\\dir/extra.ini\");"), "ok");
    EXPECT_FALSE(fs::exists(root / "sub"));
    EXPECT_EQ(ReadText(root / "extra.ini"), "[Pump]\r\nSpeed=12 ul/s\r\n");
    EXPECT_EQ(Run(kWriteStoredString, "(\"Pump\", \"Valve\", \"2\", \"extra.ini\");"), "ok");
    EXPECT_EQ(ReadText(root / "extra.ini"), "[Pump]\r\nSpeed=12 ul/s\r\nValve=2\r\n");

    EXPECT_EQ(Run(kReadStoredString, "(\"Pump\", \"Speed\", v, \"elsewhere/extra.ini\");"), "ok");
    EXPECT_EQ(Value("v"), "STRING 12 ul/s");
    // A missing key or file reads as empty without a failure.
    EXPECT_EQ(Run(kReadStoredString, "(\"Pump\", \"Nothing\", v, \"extra.ini\");"), "ok");
    EXPECT_EQ(Value("v"), "STRING ");
    EXPECT_EQ(Run(kReadStoredString, "(\"Pump\", \"Speed\", v, \"missing.ini\");"), "ok");

    // Without a file: the main settings file.
    EXPECT_EQ(Run(kWriteStoredString, "(\"ScriptValues\", \"Last\", \"x y\");"), "ok");
    EXPECT_NE(ReadText(root / "Vellora.ini").find("[ScriptValues]\r\nLast=x y\r\n"), std::string::npos);
    EXPECT_EQ(Run(kReadStoredString, "(\"ScriptValues\", \"Last\", v);"), "ok");
    EXPECT_EQ(Value("v"), "STRING x y");
    // A literal or an int in the value's place receives nothing.
    EXPECT_EQ(Run(kReadStoredString, "(\"ScriptValues\", \"Last\", i);"), "Variable i is not type STRING, parameter 3 expected STRING");
    EXPECT_EQ(Run(kReadStoredString, "(\"ScriptValues\", \"Last\", \"literal\");"), "ok");
}

TEST_F(FileCommandTest, SettingsFailuresAreReportedNotPassedOff)
{
    // A folder where the file should be: the write cannot succeed.
    fs::create_directories(root / "blocked.ini");
    const std::string blocked = (root / "blocked.ini").string();
    EXPECT_EQ(Run(kWriteStoredString, "(\"S\", \"K\", \"V\", \"blocked.ini\");"),
              "Problem writing to file: " + blocked);

    // A value longer than the buffer is an error naming section, key and file.
    std::ofstream(root / "long.ini", std::ios::binary) << "[Big]\r\nKey=" << std::string(1100, 'x') << "\r\n";
    const std::string message = Run(kReadStoredString, "(\"Big\", \"Key\", v, \"long.ini\");");
    EXPECT_NE(message.find("ReadStoredString()"), std::string::npos) << message;
    EXPECT_NE(message.find("Key"), std::string::npos) << message;
    EXPECT_NE(message.find("[Big]"), std::string::npos) << message;
    EXPECT_NE(message.find((root / "long.ini").string()), std::string::npos) << message;
    EXPECT_EQ(Value("v"), "STRING old");

    // Only an ended list leaves the optional file out; a misspelt one is refused.
    EXPECT_EQ(Run(kWriteStoredString, "(\"S\", \"K\", \"V\", flie);", true),
              "Variable \"flie\" is not defined, expecting STRING parameter 4");
    EXPECT_EQ(Run(kReadStoredString, "(\"S\", \"K\", v, 5);", true), "Missing leading \" for string parameter 4");
    // The check pass touches no file.
    EXPECT_EQ(Run(kWriteStoredString, "(\"S\", \"K\", \"V\", \"checked.ini\");", true), "ok");
    EXPECT_FALSE(fs::exists(root / "checked.ini"));
}

TEST_F(FileCommandTest, CompareReportGetsItsHeaderOnceAndOneRowPerCall)
{
    const std::string a = Write("a.txt", "title\r\nx\ty\tz\r\n1\t10\t5\r\n2\t20\t5\r\n");
    const std::string b = Write("b.txt", "z\tx\ty\n5\t1.5\t7\n5\t2\t20\n");
    const std::string report = (root / "report.txt").string();
    const std::string call = "(\"" + a + "\", \"" + b + "\", \"x\ty\", \"" + report + "\");";
    EXPECT_EQ(Run(kCompareTwoDataFiles, call, true), "ok");
    EXPECT_FALSE(fs::exists(report));
    ASSERT_EQ(Run(kCompareTwoDataFiles, call), "ok");
    ASSERT_EQ(Run(kCompareTwoDataFiles, call), "ok");
    char x[16], y[16];
    Tovanix::FormatNumber(0.5, x);
    Tovanix::FormatNumber(3, y);
    const std::string row = std::string("12/11/2026 07:08:09\t1.2.3.4\t2\t") + x + "\t" + y + "\r\n";
    EXPECT_EQ(ReadText(report), "TimeStamp\tVersion\tnrows\tx\ty\r\n" + row + row);

    const struct {
        std::string arguments;
        std::string result;
    } refusals[] = {
        {"(\"" + a + "\", \"" + b + "\", \"\", \"" + report + "\");", "names parameter is invalid"},
        {"(\"" + a + "\", \"" + (root / "none.txt").string() + "\", \"x\", \"" + report + "\");",
         "File does not exist: " + (root / "none.txt").string()},
        {"(\"" + a + "\", \"" + b + "\", \"x\", \"" + (root / "no/such/report.txt").string() + "\");",
         "Problem opening report file: " + (root / "no/such/report.txt").string()},
    };
    for (const auto& c : refusals)
        EXPECT_EQ(Run(kCompareTwoDataFiles, c.arguments), c.result) << c.arguments;
    // A failed compare writes nothing.
    EXPECT_EQ(ReadText(report), "TimeStamp\tVersion\tnrows\tx\ty\r\n" + row + row);
}

TEST_F(FileCommandTest, LogLinesCarryTheirTimeAndABareNameGoesToTheLogFolder)
{
    if (!_CachedLog_semaphore) {
        Tovanix::String error;
        ASSERT_TRUE(InitializeCachedLogging(30, &error)) << error.c_str();
    }
    const std::string elsewhere = (root / "own" / "mine.log").string();
    fs::create_directories(root / "own");
    EXPECT_EQ(Run(kSaveTextToLogFile, "(\"station.log\", \"first\ttab\");"), "ok");
    EXPECT_EQ(Run(kSaveTextToLogFile, "(\"" + elsewhere + "\", \"second\");"), "ok");
    EXPECT_EQ(Run(kSaveTextToLogFile, "(\"checked.log\", \"no\");", true), "ok");
    Tovanix::String error;
    const std::string bare = (root / "LOG" / "station.log").string();
    ASSERT_TRUE(CachedLogging::Release(bare.c_str(), &error)) << error.c_str();
    ASSERT_TRUE(CachedLogging::Release(elsewhere.c_str(), &error)) << error.c_str();
    EXPECT_EQ(ReadText(bare), "12/11/2026 07:08:09.045\tfirst\ttab\r\n");
    EXPECT_EQ(ReadText(elsewhere), "12/11/2026 07:08:09.045\tsecond\r\n");
    EXPECT_FALSE(fs::exists(root / "LOG" / "checked.log"));

    // Before a run log is named, a bare name still goes to the LOG folder.
    theApp.m_strRunLogPath = "";
    EXPECT_EQ(Run(kSaveTextToLogFile, "(\"early.log\", \"third\");"), "ok");
    const std::string early = (root / "LOG" / "early.log").string();
    ASSERT_TRUE(CachedLogging::Release(early.c_str(), &error)) << error.c_str();
    EXPECT_EQ(ReadText(early), "12/11/2026 07:08:09.045\tthird\r\n");
}

TEST_F(FileCommandTest, SoundsComeFromTheSoundsFolderAndPlayToNothingForTheirLength)
{
    platform::SetSoundOutputDevice("vellora_test_no_such_device");
    const std::string folder = (root / "Sounds").string();
    EXPECT_EQ(Run(kPlaySound, "(\"ding\");"), "Directory " + folder + " does not exist.");
    fs::create_directories(root / "Sounds");
    EXPECT_EQ(Run(kPlaySound, "(\"ding\");"), "File " + folder + "/ding.wav does not exist.");

    std::ofstream(root / "Sounds" / "ding.wav", std::ios::binary) << Wave(6000);  // 750 ms
    EXPECT_EQ(Run(kPlaySound, "(\"ding\");"), "ok");
    EXPECT_EQ(clock.slept.count(), 750);

    // A file that is no sound: a message naming the command and the file.
    std::ofstream(root / "Sounds" / "broken.wav", std::ios::binary) << "not a wave";
    const std::string message = Run(kPlaySound, "(\"broken\");");
    EXPECT_EQ(message.rfind("PlaySound() - unable to play file " + folder + "/broken.wav", 0), 0u) << message;
    EXPECT_EQ(Run(kPlaySound, "(\"gone\");", true), "ok");
}

TEST_F(FileCommandTest, WaveHeadersAreReadThroughOtherChunks)
{
    std::string wave = Wave(800);
    // A LIST chunk of odd size (padded) between the format and the samples.
    wave.insert(36, std::string("LIST") + std::string{3, 0, 0, 0} + "abc" + std::string(1, '\0'));
    std::ofstream(root / "list.wav", std::ios::binary) << wave;
    platform::WaveFormat format;
    std::string error;
    ASSERT_TRUE(platform::ReadWaveFormat((root / "list.wav").string(), &format, &error)) << error;
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(format.sampleRate, 8000u);
    EXPECT_EQ(format.dataBytes, 1600u);
    EXPECT_EQ(format.DurationMs(), 100u);
}

TEST_F(FileCommandTest, FilesAreOpenedWithoutAShell)
{
    std::vector<std::vector<std::string>> started;
    bool startSucceeds = true;
    Tovanix::SetProcessStarter([&](const std::vector<std::string>& arguments, const std::string&) {
        started.push_back(arguments);
        return startSucceeds;
    });
    const std::string path = (root / "a; touch pwned & $(reboot) `id` | x.unknown").string();
    EXPECT_EQ(Run(kOpenFileUsingDefaultApp, "(\"" + path + "\", \"\");"), "ok");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (std::vector<std::string>{"xdg-open", path}));

    startSucceeds = false;
    EXPECT_EQ(Run(kOpenFileUsingDefaultApp, "(\"" + path + "\", \".txt\");"), "Unable to open file: " + path);
    for (const auto& arguments : started) {
        EXPECT_NE(arguments[0], "sh");
        EXPECT_NE(arguments[0], "/bin/sh");
    }
    started.clear();
    EXPECT_EQ(Run(kOpenFileUsingDefaultApp, "(\"x.txt\", \"\");", true), "ok");
    EXPECT_TRUE(started.empty());
}

TEST_F(FileCommandTest, ShellCharactersInAPathRunNothing)
{
    // The real starter: whatever opens (or fails to open) the file, the
    // command hidden in its name never runs.
    const fs::path marker = root / "pwned";
    const std::string path = (root / "doc.unknown; touch ").string() + marker.string() + " #";
    Run(kOpenFileUsingDefaultApp, "(\"" + path + "\", \"\");");
    const std::string quoted = (root / "doc$(touch ").string() + marker.string() + ").unknown";
    Run(kOpenFileUsingDefaultApp, "(\"" + quoted + "\", \"\");");
    EXPECT_FALSE(fs::exists(marker));
}

}  // namespace
