// The executor hands each line's variables to the variable watch only while
// the watch says it is visible.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "script/tests/ScriptRunTestSupport.h"

namespace {

class RecordingWatch : public VariableWatchSink {
public:
    bool IsVisible() override { return visible; }
    void SetVariables(const std::vector<Variable>& variables) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        sizes.push_back(variables.size());
    }
    std::vector<size_t> Sizes()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return sizes;
    }

    std::atomic<bool> visible{false};
    std::mutex mutex;
    std::vector<size_t> sizes;
};

class VariableWatchSinkTest : public scripttest::ScriptFolderTest {
protected:
    void TearDown() override
    {
        SetVariableWatchSink(nullptr);
        ScriptFolderTest::TearDown();
    }
};

TEST_F(VariableWatchSinkTest, EachLineHandsItsVariablesToAVisibleWatch)
{
    RecordingWatch watch;
    SetVariableWatchSink(&watch);
    const std::string path = Write("Scripts/two.scr", "int a = 1;\nint b = 2;\nWait(1);\n");
    CString error;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.GetString();
    ASSERT_TRUE(observer.WaitForEnds(1));
    EXPECT_TRUE(watch.Sizes().empty());

    watch.visible = true;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.GetString();
    ASSERT_TRUE(observer.WaitForEnds(2));
    // Before each of the three lines, with the variables declared so far.
    EXPECT_EQ(watch.Sizes(), (std::vector<size_t>{0, 1, 2}));
}

}  // namespace
