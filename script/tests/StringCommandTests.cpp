// The text, number and time commands: conversions and their messages, the
// integer test's canonical forms, left and right parts, replacement counts
// and the time text; results only into variables of their type.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>

#include "platform/Clock.h"
#include "script/tests/CommandTestSupport.h"

namespace {

constexpr int kStringToInt = 134;
constexpr int kStringToDouble = 135;
constexpr int kStrLen = 157;
constexpr int kStrLeft = 158;
constexpr int kStrRight = 159;
constexpr int kStrReplace = 160;
constexpr int kGetCurrentTimeAsString = 162;
constexpr int kIsStringInt = 190;

class StringCommandTest : public scripttest::CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        Reset();
    }
    void Reset()
    {
        variables = scripttest::Declared({"int i = 7;", "double d = 0.5;", "STRING s = \"abcdef\";",
                                          "int n = 10;", "STRING t = \"\";"});
    }
};

TEST_F(StringCommandTest, ResultsAndRefusals)
{
    const struct {
        int index;
        const char* setup;  // an assignment made first, or ""
        const char* arguments;
        const char* result;
        const char* variable;
        const char* value;
    } cases[] = {
        {kStringToInt, "", "(\"  12\", i);", "ok", "i", "int 12"},
        {kStringToInt, "", "(\"12abc\", i);", "ok", "i", "int 12"},
        {kStringToInt, "", "(\"-40\", i);", "ok", "i", "int -40"},
        {kStringToInt, "", "(\"abc\", i);", "Unable to convert: \"abc\" to an int.", "i", "int 7"},
        {kStringToInt, "", "(\"\", i);", "Unable to convert: \"\" to an int.", "i", "int 7"},
        // A double in the int place is read, and left as it was.
        {kStringToInt, "", "(\"12\", d);", "ok", "d", "double 0.5"},
        {kStringToInt, "", "(\"12\", s);", "Variable s is not type int, parameter 2 expected int", "s",
         "STRING abcdef"},
        {kStringToDouble, "", "(\"2.5e3x\", d);", "ok", "d", "double 2500"},
        {kStringToDouble, "", "(\"x2\", d);", "Unable to convert: \"x2\" to a double.", "d", "double 0.5"},
        {kStringToDouble, "", "(\"3\", i);", "ok", "i", "int 7"},
        {kStrLen, "", "(s, i);", "ok", "i", "int 6"},
        {kStrLen, "", "(\"\", i);", "ok", "i", "int 0"},
        {kStrLeft, "", "(s, 2);", "ok", "s", "STRING ab"},
        {kStrLeft, "", "(s, 0);", "ok", "s", "STRING "},
        {kStrLeft, "", "(s, -3);", "ok", "s", "STRING "},
        {kStrLeft, "", "(s, 99);", "ok", "s", "STRING abcdef"},
        {kStrRight, "", "(s, 2);", "ok", "s", "STRING ef"},
        {kStrRight, "", "(s, -1);", "ok", "s", "STRING "},
        {kStrRight, "", "(s, 6);", "ok", "s", "STRING abcdef"},
        {kStrLeft, "", "(\"abc\", 1);", "ok", "s", "STRING abcdef"},
        {kStrReplace, "s = \"aaa\";", "(s, \"a\", \"aa\", n);", "ok", "s", "STRING aaaaaa"},
        {kStrReplace, "s = \"aaa\";", "(s, \"a\", \"aa\", n);", "ok", "n", "int 3"},
        {kStrReplace, "n = 0;", "(s, \"c\", \"X\", n);", "ok", "n", "int 1"},
        {kStrReplace, "s = \"a.b.c.d\"; n = 2;", "(s, \".\", \"--\", n);", "ok", "s", "STRING a--b--c.d"},
        {kStrReplace, "n = 0;", "(s, \"b\", \"\", n);", "ok", "s", "STRING acdef"},
        {kStrReplace, "", "(s, \"zz\", \"X\", n);", "ok", "n", "int 0"},
        {kStrReplace, "", "(s, \"\", \"X\", n);", "ok", "s", "STRING abcdef"},
        {kStrReplace, "", "(s, \"\", \"X\", n);", "ok", "n", "int 0"},
        {kStrReplace, "", "(s, \"a\", \"X\", 5);", "ok", "s", "STRING Xbcdef"},
        {kStrReplace, "", "(s, \"a\", \"X\");", "Invalid int parameter 4", "s", "STRING abcdef"},
        {kIsStringInt, "", "(\"abc\", i);", "ok", "i", "int 0"},
        {kGetCurrentTimeAsString, "", "(i, 0);", "Variable i is not type STRING, parameter 1 expected STRING",
         "i", "int 7"},
    };
    for (const auto& c : cases) {
        Reset();
        if (*c.setup) {
            std::string setup = c.setup;
            for (size_t start = 0; start < setup.size();) {
                size_t end = setup.find(';', start);
                const std::string statement = setup.substr(start, end - start + 1);
                ASSERT_EQ(scripttest::RunStatement(variables, statement), "") << statement;
                start = end + 1;
                while (start < setup.size() && setup[start] == ' ')
                    ++start;
            }
        }
        EXPECT_EQ(Run(c.index, c.arguments), c.result) << c.arguments;
        EXPECT_EQ(Value(c.variable), c.value) << c.setup << " " << c.arguments;
    }
}

TEST_F(StringCommandTest, IsStringIntAcceptsOnlyTheCanonicalForm)
{
    const struct {
        const char* text;
        int result;
    } cases[] = {
        {"42", 1}, {"-7", 1}, {"0", 1}, {"2147483647", 1}, {"-2147483648", 1},
        {"", 0}, {"+7", 0}, {"007", 0}, {"7.0", 0}, {" 7", 0}, {"7 ", 0}, {"-0", 0}, {"12abc", 0},
        // Past the 32-bit range the value written back differs.
        {"2147483648", 0},
    };
    for (const auto& c : cases) {
        Reset();
        EXPECT_EQ(Run(kIsStringInt, std::string("(\"") + c.text + "\", i);"), "ok") << c.text;
        EXPECT_EQ(Value("i"), "int " + std::to_string(c.result)) << "\"" << c.text << "\"";
    }
}

TEST_F(StringCommandTest, CheckPassReadsArgumentsAndChangesNothing)
{
    EXPECT_EQ(Run(kStringToInt, "(\"abc\", i);", true), "ok");
    EXPECT_EQ(Run(kStrLeft, "(s, 1);", true), "ok");
    EXPECT_EQ(Run(kStrReplace, "(s, \"a\", \"b\", n);", true), "ok");
    EXPECT_EQ(Run(kGetCurrentTimeAsString, "(t, 1);", true), "ok");
    EXPECT_EQ(Run(kStrLen, "(s);", true), "Invalid int parameter 2");
    EXPECT_EQ(Run(kStrRight, "s, 1);", true), "Missing '('");
    EXPECT_EQ(Run(kStringToDouble, "(\"1\", nosuch);", true),
              "Variable \"nosuch\" is not defined, expecting double parameter 2");
    EXPECT_EQ(Value("s"), "STRING abcdef");
    EXPECT_EQ(Value("i"), "int 7");
    EXPECT_EQ(Value("t"), "STRING ");
}

TEST_F(StringCommandTest, TimeTextIsTheLocalTimeInCompactForm)
{
    scripttest::SleepRecordingClock clock;
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 4;
    local.tm_hour = 5;
    local.tm_min = 6;
    local.tm_sec = 7;
    local.tm_isdst = -1;
    clock.SetWallTime(std::chrono::system_clock::from_time_t(std::mktime(&local)));
    platform::ScopedClock useClock{clock};
    EXPECT_EQ(Run(kGetCurrentTimeAsString, "(t, 0);"), "ok");
    EXPECT_EQ(Value("t"), "STRING 20260304-050607");
}

}  // namespace
