// The check pass: every line rule with its message and physical line
// number, include files, blocks, user-function calls and their nesting limit.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/tests/ScriptRunTestSupport.h"

namespace {

using scripttest::ScriptFolderTest;

// The whole message, or only its start when `expected` ends in "...".
void ExpectMessage(const std::string& result, const std::string& expected, const char* script)
{
    const bool prefix = expected.size() > 3 && expected.compare(expected.size() - 3, 3, "...") == 0;
    if (prefix)
        EXPECT_EQ(result.substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3)) << script;
    else
        EXPECT_EQ(result, expected) << script;
}

class CheckPassTest : public ScriptFolderTest {
protected:
    void SetUp() override
    {
        ScriptFolderTest::SetUp();
        includePath = Write("Includes/lib.inc",
                            "void SetFive(int n)\n"           // 1
                            "{\n"                             // 2
                            "    n = 5;\n"                    // 3
                            "}\n"                             // 4
                            "void Broken(int n)\n"            // 5
                            "{\n"                             // 6
                            "    n = n + ;\n"                 // 7
                            "}\n"                             // 8
                            "void Self(int n)\n"              // 9
                            "{\n"                             // 10
                            "    Self(n);\n"                  // 11
                            "}\n");                           // 12
    }

    // A chain of `count` functions F1 .. Fcount, each calling the next.
    void WriteChain(int count)
    {
        std::string text;
        for (int i = 1; i <= count; ++i) {
            text += "void F" + std::to_string(i) + "(int n)\n{\n";
            if (i < count)
                text += "    F" + std::to_string(i + 1) + "(n);\n";
            else
                text += "    n = 1;\n";
            text += "}\n";
        }
        Write("Includes/chain.inc", text);
    }

    std::string includePath;
};

TEST_F(CheckPassTest, EachLineRuleGivesItsMessageWithThePhysicalLineNumber)
{
    const std::string longLine = "int a = 1;" + std::string(70000, ' ') + "// x";
    const struct {
        const char* script;
        std::string expected;  // "ok", the whole message, or its start followed by "..."
    } cases[] = {
        {"int a = 1;\nwhile (a < 3)\n{\n  a += 1;\n}\n", "ok"},
        {"STRING s = \"a//b\"; // comment\n", "ok"},
        {"\n// one\n   \n// three\nFrobnicate(1);\n", "main.scr invalid line 5 no such function: Frobnicate"},
        {"int a;\n#include \"lib.inc\"\n", "main.scr at line 2, include statements must precede any code."},
        {"#include\t\"lib.inc\"\n",
         "main.scr at line 1 does not end with ; and is not valid if() or while() statement."},
        {"#include \"nothere.inc\"\n", "main.scr at line 1 : Included file nothere.inc does not exist.."},
        {"#include lib.inc\n", "main.scr at line 1 : Expected \" after #include ."},
        {"int a = 1;\nif (a > 0)\n\n{\n}\n", "ok"},
        {"int a = 1;\nif (a > 0)\nint b;\n", "main.scr at line 3 expected new code block beginning {"},
        {"}\n", "main.scr at line 1 unexpected code block end }"},
        {"int a = 1;\nwhile (a < 3)\n{\n  if (a > 1)\n  {\n    break;\n  }\n  a += 1;\n}\n", "ok"},
        {"int a = 1;\nif (a > 0)\n{\n  continue;\n}\n",
         "main.scr at line 4 invalid continue statement, not inside a while loop"},
        {"break;\n", "main.scr at line 1 invalid break statement, not inside a while loop"},
        {"if (a > 0)\n{\n}\n",
         "main.scr at line 1 does not end with ; and is not valid if() or while() statement."},
        {"int 5x;\n", "main.scr invalid line 1 : ..."},
        {"int a;\na = \"text\";\n", "main.scr invalid line 2 : ..."},
        {"5 + 5;\n", "main.scr invalid line 1 does not begin with valid variable name or function name"},
        {"SaveTextToImageCaptureLogHeader(\"a\", \"b\");\n",
         "main.scr at line 1 : Missing ) after string parameter."},
        {"Wait(\"x\");\n", "main.scr at line 1 : Invalid int parameter 1"},
        {"int a = 1;\nwhile (a < 3)\n{\n  a += 1;\n", "Did not close out all code blocks before the end of the script file: main.scr"},
        {"int a = 1;\nif (a > 0)\n", "Did not close out all code blocks before the end of the script file: main.scr"},
        {"return;\nint a = 1;\n", "ok"},
    };
    for (const auto& c : cases) {
        Script script(0);
        const std::string result = Check(script, c.script);
        ExpectMessage(result, c.expected, c.script);
        EXPECT_EQ(script.functionCallDepth, 0) << c.script;
    }

    Script script(0);
    EXPECT_EQ(Check(script, "int a;\n" + longLine + "\nFrobnicate(1);\n"),
              "main.scr at line 2 is longer than 65535 characters.");
}

TEST_F(CheckPassTest, StoresCodeLinesWithoutCommentsIncludesOrBlankLines)
{
    Script script(0);
    ASSERT_EQ(Check(script,
                    "// heading\r\n#include \"lib.inc\"\r\n\r\n  STRING s = \"x//y\"; // note\r\nint n;\r\nSetFive(n);\r\n"),
              "ok");
    EXPECT_EQ(script.mainCode.lines, (std::vector<std::string>{"  STRING s = \"x//y\"; ", "int n;", "SetFive(n);"}));
    EXPECT_TRUE(script.mainCode.blocks.empty());
    int index = -1;
    ASSERT_TRUE(script.FindIncludedFunction("SetFive", &index));
    EXPECT_EQ(script.functions[static_cast<size_t>(index)].lines, std::vector<std::string>{"    n = 5;"});
}

TEST_F(CheckPassTest, UserFunctionCallsAreCheckedWithTheirArgumentsAndBodies)
{
    const struct {
        const char* script;
        std::string expected;
    } cases[] = {
        {"#include \"lib.inc\"\nint n;\nSetFive(n);\nSetFive(3);\n", "ok"},
        {"#include \"lib.inc\"\nint n;\nSetFive(n, 2);\n", "main.scr at line 3 : Missing \")\" after parameters."},
        {"#include \"lib.inc\"\nSetFive(\"x\");\n", "main.scr at line 2 : Invalid int parameter 0"},
        {"#include \"lib.inc\"\nSetFive(1)\n",
         "main.scr at line 2 does not end with ; and is not valid if() or while() statement."},
        {"#include \"lib.inc\"\nSetFive(1); x;\n", "main.scr at line 2 : Invalid characters following \";\""},
        // The body's message names the include file and its own line.
        {"#include \"lib.inc\"\nBroken(1);\n", "main.scr at line 2 : " + includePath + " invalid line 7 : ..."},
        {"#include \"lib.inc\"\nSelf(1);\n",
         "main.scr at line 2 : " + includePath + " at line 11 : " + includePath + " at line 11 : ..."},
    };
    for (const auto& c : cases) {
        Script script(0);
        const std::string result = Check(script, c.script);
        ExpectMessage(result, c.expected, c.script);
        EXPECT_EQ(script.functionCallDepth, 0) << c.script;
    }
}

TEST_F(CheckPassTest, FunctionsNestTenDeepAndNoDeeper)
{
    Script script(0);
    // A function calling itself always fails, and leaves the nesting count at 0...
    const std::string recursion = Check(script, "#include \"lib.inc\"\nSelf(1);\n");
    EXPECT_NE(recursion.find("load_function() : maximum recursion depth exceeded: 10"), std::string::npos)
        << recursion;
    EXPECT_EQ(script.functionCallDepth, 0);

    // ... so ten nested functions pass afterwards on the same instance.
    WriteChain(10);
    script.includedFiles.clear();
    script.functions.clear();
    EXPECT_EQ(Check(script, "#include \"chain.inc\"\nF1(1);\n"), "ok");

    WriteChain(11);
    Script deeper(0);
    const std::string eleven = Check(deeper, "#include \"chain.inc\"\nF1(1);\n");
    EXPECT_NE(eleven.find("load_function() : maximum recursion depth exceeded: 10"), std::string::npos) << eleven;
}

TEST_F(CheckPassTest, OneInstancesNestingDoesNotCountAgainstTheOther)
{
    WriteChain(10);
    Script first(0);
    Script second(1);
    theApp.m_strCustomerUIDir = root.string().c_str();
    // The other instance is deep inside its own calls.
    first.functionCallDepth = 9;
    EXPECT_EQ(Check(second, "#include \"chain.inc\"\nF1(1);\n"), "ok");
    EXPECT_EQ(first.functionCallDepth, 9);
}

}  // namespace
