#include "support/tests/ProfileTestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using profiletest::Bytes;
using profiletest::ProfileTest;
using profiletest::Put;

const char* const kOldStyleSettings =
    "[CountingAlgorithmDlg]\r\nUpperChannel=412\r\nLowerChannel=1600\r\nUpperMagnet=100\r\n"
    "[ExperimentSettings]\r\nimage_pixels_per_mm=512.5\r\n"
    "[Zaber]\r\nZFactory=77\r\n"
    "[CalibrationSettings]\r\nLowerMagnet=900\r\nLowerChannel=\r\n"
    "[Cartridge]\r\nCartridgeLowerChannel=1500\r\n";

TEST_F(ProfileTest, CalibrationHookFallsBackToOlderSections) {
    const std::string file = Path("Vellora.ini");
    Put(file, kOldStyleSettings);
    Tovanix::g_E_GetPrivateProfileStringHook = CalibrationProfileHook;
    struct Case {
        const char* section;
        const char* key;
        const char* def;
        const char* value;
    };
    const Case cases[] = {
        {"CalibrationSettings", "UpperChannel", "", "412"},
        {"CalibrationSettings", "UpperChannel", "0", "0"},  // the caller's default answers first
        {"CalibrationSettings", "LowerMagnet", "", "900"},
        {"CalibrationSettings", "UpperMagnet", "", "100"},
        {"CalibrationSettings", "LowerChannel", "", "1600"},  // empty own value falls back
        {"calibrationsettings", "upperchannel", "", "412"},   // names compare without case
        {"CalibrationSettings", "image_pixels_per_mm", "", "512.5"},
        {"CalibrationSettings", "ZFactory", "", "77"},
        {"CalibrationSettings", "Other", "", ""},
        {"Cartridge", "CartridgeUpperChannel", "", "412"},
        {"Cartridge", "CartridgeLowerChannel", "", "1500"},
        {"Cartridge", "CartridgeLowerChannel", "x", "1500"},
        {"Zaber", "ZFactory", "", "77"},
    };
    for (const Case& c : cases) {
        std::string value;
        EXPECT_TRUE(Get(file, c.section, c.key, c.def, value)) << c.section << "/" << c.key;
        EXPECT_EQ(value, c.value) << c.section << "/" << c.key;
    }
}

TEST_F(ProfileTest, CalibrationHookUsesMainSettingsFileForNullFile) {
    static std::string mainFile;
    mainFile = Path("Vellora.ini");
    Put(mainFile, kOldStyleSettings);
    g_MainSettingsPath = [] { return mainFile.c_str(); };
    char buffer[32] = "";
    EXPECT_TRUE(CalibrationProfileHook("CalibrationSettings", "UpperChannel", "", buffer, 32, nullptr));
    EXPECT_STREQ(buffer, "412");
    Tovanix::g_E_GetPrivateProfileStringHook = CalibrationProfileHook;
    EXPECT_TRUE(Tovanix::E_GetPrivateProfileString("Cartridge", "CartridgeUpperChannel", "", buffer, 32, nullptr));
    EXPECT_STREQ(buffer, "412");
    // Reads the hook leaves alone need a file.
    EXPECT_FALSE(Tovanix::E_GetPrivateProfileString("Zaber", "ZFactory", "", buffer, 32, nullptr));
    EXPECT_FALSE(CalibrationProfileHook(nullptr, "UpperChannel", "", buffer, 32, nullptr));
    EXPECT_FALSE(CalibrationProfileHook("Zaber", "ZFactory", "", buffer, 32, nullptr));
}

TEST_F(ProfileTest, WriteHookAnswersFirst) {
    const std::string file = Path("Hooked.ini");
    static int calls;
    calls = 0;
    Tovanix::g_E_WritePrivateProfileStringHook = [](const char*, const char* key, const char*, const char*) {
        ++calls;
        return std::string(key) == "Taken";
    };
    EXPECT_TRUE(Tovanix::E_WritePrivateProfileString("S", "Taken", "1", file.c_str()));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(Tovanix::E_WritePrivateProfileString("S", "Passed", "2", file.c_str()));
    EXPECT_EQ(Bytes(file), "[S]\r\nPassed=2\r\n");
    EXPECT_EQ(calls, 2);
}

// A hook's own reads never reach the hook again.
TEST_F(ProfileTest, HookIsNotReenteredByItsOwnReads) {
    const std::string file = Path("Reenter.ini");
    Put(file, "[S]\r\nk=1\r\n");
    static std::string hookFile;
    static int calls;
    hookFile = file;
    calls = 0;
    Tovanix::g_E_GetPrivateProfileStringHook = [](const char*, const char* key, const char*, char* buffer, int size,
                                                  const char*) {
        ++calls;
        return Tovanix::E_GetPrivateProfileString("S", key, "", buffer, size, hookFile.c_str());
    };
    EXPECT_EQ(Value(file, "S", "k"), "1");
    EXPECT_EQ(calls, 1);
}

// The depth that keeps a hook from re-entering belongs to the thread: while
// one thread is inside the hook, another thread's read still asks it.
TEST_F(ProfileTest, HookDepthIsPerThread) {
    const std::string file = Path("Threads.ini");
    Put(file, "[S]\r\nk=plain\r\n");
    static std::mutex mutex;
    static std::condition_variable changed;
    static bool firstInside;
    static bool secondDone;
    static std::atomic<int> calls;
    firstInside = false;
    secondDone = false;
    calls = 0;
    Tovanix::g_E_GetPrivateProfileStringHook = [](const char*, const char* key, const char*, char* buffer, int,
                                                  const char*) {
        ++calls;
        if (std::string(key) == "first") {
            std::unique_lock<std::mutex> lock(mutex);
            firstInside = true;
            changed.notify_all();
            changed.wait(lock, [] { return secondDone; });
        }
        std::strcpy(buffer, "hooked");
        return true;
    };
    std::string firstValue;
    std::thread first([&] { Get(file, "S", "first", "", firstValue); });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [] { return firstInside; });
    }
    std::string secondValue;
    Get(file, "S", "k", "", secondValue);
    {
        std::lock_guard<std::mutex> lock(mutex);
        secondDone = true;
    }
    changed.notify_all();
    first.join();
    EXPECT_EQ(secondValue, "hooked");
    EXPECT_EQ(firstValue, "hooked");
    EXPECT_EQ(calls.load(), 2);
}

TEST_F(ProfileTest, ErrorLogWritesEachMessageOnce) {
    EXPECT_TRUE(Tovanix::log_error("Tovanix::E_Something() : first problem"));
    EXPECT_TRUE(Tovanix::log_error("Tovanix::E_Something() : first problem"));
    EXPECT_TRUE(Tovanix::log_error("Tovanix::E_Something() : second problem"));
    const std::string log = Log();
    // "YYYY/MM/DD hh:mm:ss\tTovanix::log_error()\t<message>\r\n"
    ASSERT_GE(log.size(), 20u);
    EXPECT_EQ(log[4], '/');
    EXPECT_EQ(log[7], '/');
    EXPECT_EQ(log[10], ' ');
    EXPECT_EQ(log[13], ':');
    EXPECT_EQ(log.substr(19, 22), "\tTovanix::log_error()\t");
    size_t first = log.find("first problem");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("first problem", first + 1), std::string::npos);
    EXPECT_NE(log.find("second problem\r\n"), std::string::npos);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST_F(ProfileTest, ErrorLogNeedsAPath) {
    Tovanix::g_ErrorLogPath = "";
    EXPECT_FALSE(Tovanix::log_error("nowhere"));

    Tovanix::String error;
    const std::string badPath = Path("NoFolder/EncryptedProfile_2026_01_01.log");
    EXPECT_FALSE(Tovanix::E_SetErrorLog(badPath.c_str(), error));
    EXPECT_EQ(profiletest::Text(error), "Tovanix::E_SetErrorLog() unable to create file: " + badPath);
    EXPECT_FALSE(Tovanix::g_ErrorLogPath.HasText());

    // An existing log is kept and appended to.
    Put(Path("Existing.log"), "earlier\r\n");
    EXPECT_TRUE(Tovanix::E_SetErrorLog(Path("Existing.log").c_str(), error));
    EXPECT_TRUE(Tovanix::log_error("later"));
    EXPECT_EQ(Bytes(Path("Existing.log")).rfind("earlier\r\n", 0), 0u);
    EXPECT_NE(Bytes(Path("Existing.log")).find("later"), std::string::npos);
}

}  // namespace
