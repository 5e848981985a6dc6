#include "script/LineForms.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "script/BuiltInFunctions.h"
#include "script/tests/ScriptTestSupport.h"

using scripttest::Declared;

TEST(LineForms, KeywordLines)
{
    enum { Begin = 1, End = 2, Continue = 4, Break = 8, Return = 16 };
    const struct {
        const char* line;
        int forms;  // which recognisers accept the line
    } cases[] = {
        {"{", Begin},
        {"{ // start", Begin},
        {"  {//x", Begin},
        {"{ \t", Begin},
        {"{x", 0},
        {"{ x", 0},
        {"{ /", 0},
        {"}", End},
        {"} else", 0},
        {"}// end", End},
        {"continue;", Continue},
        {"continue ;", Continue},
        {"\tcontinue\t;", Continue},
        {"continue;// next", Continue},
        {"continue; // next", 0},
        {"continue; x", 0},
        {"continued;", 0},
        {"continue x;", 0},
        {"continue", 0},
        {"break;", Break},
        {"break ;//", Break},
        {"Break;", 0},
        {"return;", Return},
        {"return 0;", 0},
        {"return ;", Return},
        {"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ((c.forms & Begin) != 0, IsBlockBegin(c.line));
        EXPECT_EQ((c.forms & End) != 0, IsBlockEnd(c.line));
        EXPECT_EQ((c.forms & Continue) != 0, IsContinueStatement(c.line));
        EXPECT_EQ((c.forms & Break) != 0, IsBreakStatement(c.line));
        EXPECT_EQ((c.forms & Return) != 0, IsReturnStatement(c.line));
    }
}

TEST(LineForms, CallLinesSplitIntoNameAndArguments)
{
    const struct {
        const char* line;
        const char* name;       // null: not a call line
        const char* arguments;
    } cases[] = {
        {"Wait (5);", "Wait", "(5);"},
        {"  _my_Func2(\"a\", b);", "_my_Func2", "(\"a\", b);"},
        {"f\t();", "f", "();"},
        {"3Wait(5);", nullptr, nullptr},
        {"Wait 5;", nullptr, nullptr},
        {"Wait", nullptr, nullptr},
        {"(5);", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Tovanix::String name("unchanged"), arguments;
        const bool split = SplitFunctionCall(Tovanix::String(c.line), name, arguments);
        ASSERT_EQ(c.name != nullptr, split);
        if (split) {
            EXPECT_STREQ(c.name, name.c_str());
            EXPECT_STREQ(c.arguments, arguments.c_str());
        }
    }
}

TEST(LineForms, Conditions)
{
    std::vector<Variable> variables =
        Declared({"double x = 0.5;", "double zero = 0;", "int n = 3;", "int neg = -1;", "STRING s;",
                  "STRING abc = \"abc\";", "STRING ab = \"ab\";", "double d = 1;", "int one = 1;"});
    // A NaN, which no literal can give.
    Variable nan;
    nan.type = kVariableDouble;
    nan.name = "nan";
    nan.dValue = std::numeric_limits<double>::quiet_NaN();
    variables.push_back(nan);

    enum Outcome { False, True, Invalid };
    const struct {
        const char* line;
        Outcome outcome;
        int kind;  // checked when the line is valid
    } cases[] = {
        {"if (x)", True, kConditionIf},
        {"if (zero)", False, kConditionIf},
        {"while(n>0)", True, kConditionWhile},
        {"while ( neg >= 0 ) // loop", False, kConditionWhile},
        {"if (s)", False, kConditionIf},
        {"if (abc)", True, kConditionIf},
        {"if (abc == \"abc\")", True, kConditionIf},
        {"if (\"abc\" == abc)", True, kConditionIf},
        {"if (ab < abc)", True, kConditionIf},  // a proper prefix is smaller
        {"if (abc <= ab)", False, kConditionIf},
        {"if (\"\xe9\" > \"z\")", True, kConditionIf},  // bytes compare unsigned
        {"if (\"\" != s)", False, kConditionIf},
        {"if (s == 5)", Invalid, 0},
        {"if (x == \"5\")", Invalid, 0},
        {"if (a = b)", Invalid, 0},
        {"if (x = 1)", Invalid, 0},
        {"if (x == 1) {", Invalid, 0},
        {"if (n == 3-2)", True, kConditionIf},  // "3-2" reads as 3
        {"if (d == 3-2)", False, kConditionIf},
        {"if (one != 1.0)", False, kConditionIf},
        {"if (n == 3.0)", True, kConditionIf},
        {"if (1E1 == 10)", True, kConditionIf},
        {"if (nan)", True, kConditionIf},
        {"if (nan == nan)", False, kConditionIf},
        {"if (nan != nan)", True, kConditionIf},
        {"if (nan < 1)", False, kConditionIf},
        {"iffy (x)", Invalid, 0},
        {"If (x)", Invalid, 0},
        {"if x", Invalid, 0},
        {"if (undeclared)", Invalid, 0},
        {"if (\"open)", Invalid, 0},
        {"if ()", Invalid, 0},
        {"if (x", Invalid, 0},
        {"if (x ==)", Invalid, 0},
        {"if (x) y", Invalid, 0},
        {"if (x) //", True, kConditionIf},
        {"if (-)", Invalid, 0},
        {"if", Invalid, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        bool result = false;
        int kind = -1;
        const bool valid = ParseCondition(c.line, variables, result, kind);
        ASSERT_EQ(c.outcome != Invalid, valid);
        if (valid) {
            EXPECT_EQ(c.outcome == True, result);
            EXPECT_EQ(c.kind, kind);
        }
    }
}

TEST(LineForms, OperandReadersMovePastTheOperandOnlyOnSuccess)
{
    std::vector<Variable> variables = Declared({"double big = 5e9;", "STRING s = \"t\";"});
    const char* text = "  3-2 )";
    double d = 0;
    ASSERT_TRUE(ReadDoubleOperand(text, d, variables));
    EXPECT_EQ(3.0, d);
    EXPECT_STREQ(" )", text);

    int i = 0;
    const char* name = " big)";
    ASSERT_TRUE(ReadIntOperand(name, i, variables));
    EXPECT_EQ(2147483647, i);
    EXPECT_STREQ(")", name);

    const char* str = " s";
    EXPECT_FALSE(ReadIntOperand(str, i, variables));
    EXPECT_STREQ("s", str);  // the blanks stay skipped, the name does not
    Tovanix::String value;
    ASSERT_TRUE(ReadStringOperand(str, value, variables));
    EXPECT_STREQ("t", value.c_str());
    EXPECT_STREQ("", str);
}
