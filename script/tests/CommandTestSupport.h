#pragma once

// A fixture for tests of command families: the data root and settings file
// of ScriptFolderTest, an interpreter instance and its variables, and one
// call of a command by index as the dispatcher makes it; and a manual clock
// that only the test's own thread moves.

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "script/BuiltInFunctions.h"
#include "script/Script.h"
#include "script/tests/ScriptRunTestSupport.h"
#include "script/tests/ScriptTestSupport.h"

namespace scripttest {

// The manual clock, recording the sleeps of the test's own thread. Other
// threads (the cached-log writer) sleep in real time, so they neither move
// the time the test stamps its lines with nor count as its sleeps.
class SleepRecordingClock : public platform::ManualClock {
public:
    void SleepFor(std::chrono::milliseconds duration) override
    {
        if (std::this_thread::get_id() != m_testThread) {
            std::this_thread::sleep_for(duration);
            return;
        }
        slept += duration;
        ManualClock::SleepFor(duration);
    }
    std::chrono::milliseconds slept{0};

private:
    std::thread::id m_testThread = std::this_thread::get_id();
};

class CommandTest : public ScriptFolderTest {
protected:
    // Runs a command's argument text; "ok" or the error text.
    std::string Run(int index, const std::string& arguments, bool check_only = false)
    {
        CString error;
        return script.ExecuteBuiltInFunction(index, arguments.c_str(), variables, check_only, error) ? "ok"
                                                                                                    : error.str();
    }
    std::string Value(const char* name) { return Describe(variables, name); }

    Script script{0};
    std::vector<Variable> variables;
};

}  // namespace scripttest
