#pragma once

// Helpers for tests of script loading, execution and runs: a data root of the
// test's own with its Includes and Scripts folders, stand-in command handlers
// for commands whose own handlers belong to other families, and an observer
// that records what a run shows and tells when it has ended.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/SuppliedFiles.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "platform/UiBridge.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInFunctions.h"
#include "script/Script.h"
#include "script/ScriptRun.h"

namespace scripttest {

namespace fs = std::filesystem;

inline std::string ReadText(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The "Wait" command as the tests need it: Wait(n) with an int. At run time
// n = -1 fails, n = -2 throws, n = 0 clears the instance's running flag (a
// stop arriving while the command runs) and n >= 1000 blocks until the test
// releases it (a long command). Every run-time call is counted.
class StandInWait {
public:
    static StandInWait& Instance()
    {
        static StandInWait wait;
        return wait;
    }

    static void Install()
    {
        BuildBuiltInFunctionTable();
        SetBuiltInMemberHandler(7, &StandInWait::Handler);
    }

    // Waits until a call has blocked (true) or 10 s have passed.
    bool WaitUntilBlocked(int calls = 1)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_blocked >= calls; });
    }
    void ReleaseAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    int Calls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

private:
    static bool Handler(Script& script, const char* arguments, std::vector<Variable>& variables, bool check_only,
                        CString& error)
    {
        const char* cursor = arguments;
        int value = 0;
        if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, value, error, &variables, nullptr))
            return false;
        if (check_only)
            return true;
        StandInWait& self = Instance();
        {
            std::unique_lock<std::mutex> lock(self.m_mutex);
            ++self.m_calls;
            if (value >= 1000) {
                ++self.m_blocked;
                self.m_changed.notify_all();
                self.m_changed.wait(lock, [&] { return self.m_released; });
            }
        }
        if (value == -1) {
            error = "Wait() failed on purpose";
            return false;
        }
        if (value == -2)
            throw std::runtime_error("thrown on purpose");
        if (value == 0)
            script.running = false;
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_blocked = 0;
    int m_calls = 0;
    bool m_released = false;
};

// Records the lines shown and the ends of runs.
class RecordingObserver : public ScriptRunObserver {
public:
    void ShowCurrentLine(int32_t handle, const std::string& line) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::to_string(handle) + ":" + line);
    }
    bool IsVariableWatchVisible() override { return false; }
    void SetVariables(const std::vector<Variable>&) override {}
    void OnScriptEnded(int32_t handle, bool failed) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ends.push_back(std::to_string(handle) + (failed ? " failed" : " ended"));
        m_changed.notify_all();
    }

    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    std::vector<std::string> Ends()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ends;
    }

    // Waits until `count` runs have ended and their instances are gone.
    bool WaitForEnds(size_t count)
    {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_ends.size() >= count; }))
                return false;
        }
        // The instance is removed right after the console is told.
        for (int i = 0; i < 20000; ++i) {
            if (!ScriptInstanceExists(0) && !ScriptInstanceExists(1))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_ends;
};

// A data root of the test's own (with Includes and Scripts) as the
// application's data root, the stand-in Wait, a recording observer and a
// scripted user-interface bridge; no pumps.
class ScriptFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StandInWait::Install();
        const char* testRoot = std::getenv("VELLORA_TEST_ROOT");
        root = fs::path(testRoot ? testRoot : fs::temp_directory_path().string()) / "data";
        fs::create_directories(root / "Includes");
        fs::create_directories(root / "Scripts");
        fs::create_directories(root / "LOG");
        theApp.m_strDataRoot = root.string();
        theApp.m_nPumpComPort = 0;
        // The main settings file: the supplied default, with its line mapping.
        std::string error;
        ASSERT_TRUE(InstallMissingDataRootFiles(theApp.m_strDataRoot, &error)) << error;
        fs::copy_file(root / "Default" / "Vellora.ini", root / "Vellora.ini", fs::copy_options::overwrite_existing);
        theApp.m_strIniPath = (root / "Vellora.ini").string();
        g_IniPath = theApp.m_strIniPath;
        SetScriptRunObserver(&observer);
    }
    void TearDown() override
    {
        StandInWait::Instance().ReleaseAll();
        SetScriptRunObserver(nullptr);
        SetScriptThreadStarter(nullptr);
    }

    // Writes a file below the data root; returns its path.
    std::string Write(const std::string& relative, const std::string& text)
    {
        const fs::path path = root / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    // The check pass of a main script held in text, as a run makes it.
    std::string Check(Script& script, const std::string& text, const std::string& path = "main.scr")
    {
        std::istringstream file(text);
        CString error;
        return script.mainCode.Load(script, file, path.c_str(), 0, error, false) ? "ok" : error.str();
    }

    fs::path root;
    RecordingObserver observer;
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

}  // namespace scripttest
