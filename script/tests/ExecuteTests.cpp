// The executor: blocks and loops with their jumps, scopes, user-function
// calls with value-result hand-back, and the run-time messages.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "script/tests/ScriptRunTestSupport.h"
#include "script/tests/ScriptTestSupport.h"

namespace {

using scripttest::Describe;
using scripttest::ScriptFolderTest;

class ExecuteTest : public ScriptFolderTest {
protected:
    void SetUp() override
    {
        ScriptFolderTest::SetUp();
        Write("Includes/lib.inc",
              "void SetFive(int n)\n"
              "{\n"
              "    n = 5;\n"
              "}\n"
              "void Twice(int a, int b)\n"
              "{\n"
              "    a = 1;\n"
              "    b = 2;\n"
              "}\n"
              "void Failing(int n)\n"
              "{\n"
              "    n = 1;\n"
              "      Wait(-1);   // fails at run time\n"
              "}\n"
              "void Stopped(int n)\n"
              "{\n"
              "    n = 1;\n"
              "    Wait(0);\n"
              "    n = 2;\n"
              "}\n"
              "void Outer(int n)\n"
              "{\n"
              "    Failing(n);\n"
              "}\n");
    }

    // Checks and runs a main script on this thread; returns "ok" or the error.
    std::string Run(const std::string& text)
    {
        script = std::make_unique<Script>(0);
        const std::string checked = Check(*script, text);
        if (checked != "ok")
            return "check: " + checked;
        script->running = true;
        variables.clear();
        CString error;
        const bool ran = script->mainCode.Execute(*script, variables, error, "main.scr");
        return ran ? "ok" : error.str();
    }

    std::unique_ptr<Script> script;
    std::vector<Variable> variables;
};

TEST_F(ExecuteTest, LoopsBlocksAndJumps)
{
    const struct {
        const char* script;
        const char* variable;
        const char* value;
    } cases[] = {
        {"int i = 0;\nwhile (i < 3)\n{\n  i += 1;\n}\n", "i", "int 3"},
        // continue goes back to the while line; nothing after it runs.
        {"int i = 0;\nint after = 0;\nwhile (i < 1000)\n{\n  i += 1;\n  if (i > 0)\n  {\n    continue;\n  }\n"
         "  after += 1;\n}\n",
         "after", "int 0"},
        // break inside an if inside the while leaves the loop.
        {"int i = 0;\nwhile (i < 100)\n{\n  i += 1;\n  if (i == 5)\n  {\n    break;\n  }\n}\ni += 100;\n", "i",
         "int 105"},
        // A false condition skips its whole block, nested blocks included.
        {"int i = 0;\nif (1 > 2)\n{\n  if (1 < 2)\n  {\n    i = 7;\n  }\n  i = 8;\n}\ni += 1;\n", "i", "int 1"},
        // Nested loops: break leaves the inner loop only.
        {"int i = 0;\nint n = 0;\nwhile (i < 3)\n{\n  i += 1;\n  int j = 0;\n  while (j < 10)\n  {\n    j += 1;\n"
         "    if (j == 2)\n    {\n      break;\n    }\n    n += 1;\n  }\n}\n",
         "n", "int 3"},
        // A declaration in the loop body is removed at every "}".
        {"int i = 0;\nwhile (i < 5)\n{\n  int t = i;\n  i += 1;\n}\n", "t", "missing"},
        {"int i = 0;\nwhile (i < 5)\n{\n  i += 1;\n  if (i < 5)\n  {\n    int u = 1;\n    continue;\n  }\n}\n", "u",
         "missing"},
        // return ends the main script without an error.
        {"int i = 1;\nreturn;\ni = 2;\n", "i", "int 1"},
        {"STRING s = \"a\";\nwhile (s != \"aaa\")\n{\n  s += \"a\";\n}\n", "s", "STRING aaa"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Run(c.script), "ok") << c.script;
        EXPECT_EQ(Describe(variables, c.variable), c.value) << c.script;
        EXPECT_TRUE(script->mainCode.blocks.empty()) << c.script;
    }
}

TEST_F(ExecuteTest, ParametersAreHandedBackToTheVariablesPassed)
{
    const struct {
        const char* script;
        const char* expected;       // the run's result
        const char* variable;
        const char* value;
    } cases[] = {
        {"#include \"lib.inc\"\nint n = 1;\nSetFive(n);\n", "ok", "n", "int 5"},
        {"#include \"lib.inc\"\nint n = 1;\nSetFive(3);\n", "ok", "n", "int 1"},
        // The later parameter wins for a variable passed twice.
        {"#include \"lib.inc\"\nint n = 0;\nTwice(n, n);\n", "ok", "n", "int 2"},
        // The body runs, then the hand-back refuses a variable of another type.
        {"#include \"lib.inc\"\ndouble d = 1.5;\nSetFive(d);\n",
         "SetFive : run_included_function() error #2 : Variable::Assign () failed because types don't match.", "d",
         "double 1.5"},
        // A command failing in a function: the function's name, the line, the message.
        {"#include \"lib.inc\"\nint n = 0;\nFailing(n);\n", "Failing : Wait(-1); : Wait() failed on purpose", "n",
         "int 0"},
        {"#include \"lib.inc\"\nint n = 0;\nOuter(n);\n",
         "Outer : Failing : Wait(-1); : Wait() failed on purpose", "n", "int 0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.script), c.expected) << c.script;
        EXPECT_EQ(Describe(variables, c.variable), c.value) << c.script;
        EXPECT_EQ(script->functionCallDepth, 0) << c.script;
    }
}

TEST_F(ExecuteTest, AStopInAFunctionEndsItAtItsNextLineAndHandsBack)
{
    ASSERT_EQ(Run("#include \"lib.inc\"\nint k = 0;\nint after = 0;\nStopped(k);\nafter = 1;\n"), "ok");
    EXPECT_EQ(Describe(variables, "k"), "int 1");
    EXPECT_EQ(Describe(variables, "after"), "int 0");
    EXPECT_FALSE(script->running);
}

TEST_F(ExecuteTest, RunTimeFailuresOfStatementsAndCommands)
{
    const struct {
        const char* script;
        const char* expected;
    } cases[] = {
        {"int x = 1;\nx /= 0;\n", "Internal scripting error #4"},
        {"double x = 1.0;\nx /= 0;\n", "Internal scripting error #4"},
        {"int x = 1;\n  Wait(-1);  \n", "Wait(-1); : Wait() failed on purpose"},
        {"Wait(\"x\");\n", "check: main.scr at line 1 : Invalid int parameter 1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(c.script), c.expected) << c.script;
}

TEST_F(ExecuteTest, InconsistentStoredCodeGivesTheInternalErrors)
{
    // Code the check pass would refuse, put into the records directly.
    const struct {
        std::vector<std::string> lines;
        const char* expected;
    } cases[] = {
        {{"int a = 1;", "if (a > 0)", "a = 2;"}, "Internal scripting error #10"},
        {{"}"}, "Internal scripting error #11"},
        {{"int a = 1;", "if (a > 5)", "a = 2;"}, "Internal scripting error #15"},
        {{"int a = 1;", "if (a > 5)", "{", "a = 2;"}, "Internal scripting error #15"},
        {{"continue;"}, "internal scripting error #16"},
        {{"break;"}, "internal scripting error #16a"},
        {{"if (b > 5)"}, "Internal scripting error #22"},
        {{"int a = 1;", "int a = 2;"}, "Internal scripting error #3"},
        {{"5;"}, "Internal scripting error #1"},
        {{"NoSuchFunction(1);"}, "Internal scripting error #2.1"},
    };
    for (const auto& c : cases) {
        Script instance(0);
        instance.running = true;
        instance.mainCode.lines = c.lines;
        std::vector<Variable> list;
        CString error;
        EXPECT_FALSE(instance.mainCode.Execute(instance, list, error, "main.scr"));
        EXPECT_EQ(error.str(), c.expected);
    }
}

TEST_F(ExecuteTest, EveryLineIsShownAndAClearedFlagEndsTheRunWithoutError)
{
    ASSERT_EQ(Run("int i = 0;\nwhile (i < 2)\n{\n  i += 1;\n}\n"), "ok");
    EXPECT_EQ(observer.Lines(), (std::vector<std::string>{"0:int i = 0;", "0:while (i < 2)", "0:{", "0:  i += 1;",
                                                          "0:}", "0:while (i < 2)", "0:{", "0:  i += 1;", "0:}",
                                                          "0:while (i < 2)"}));

    Script stopped(0);
    ASSERT_EQ(Check(stopped, "int i = 0;\n"), "ok");
    stopped.running = false;
    std::vector<Variable> list;
    CString error;
    EXPECT_TRUE(stopped.mainCode.Execute(stopped, list, error, "main.scr"));
    EXPECT_TRUE(list.empty());
}

}  // namespace
