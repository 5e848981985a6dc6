#include "script/ArgumentReaders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "script/tests/ScriptTestSupport.h"

using scripttest::Declared;

namespace {

enum class Reader { Int, Double, String };

struct ReadCase {
    Reader reader;
    std::string text;      // from the first parameter on
    bool withVariables;    // false: a null variable list
    std::string expected;  // the value read, or the error text
    std::string rest;      // what the cursor stands on afterwards (on success)
    std::string foundName; // the variable that supplied the value ("" for a literal)
};

std::vector<Variable> TestVariables()
{
    return Declared({"int n = 7;", "double big = 3e10;", "double neg = -2.7;", "double half = 0.5;",
                     "STRING s = \"text\";"});
}

// Runs one reader as parameter 2 and describes the outcome.
std::string Read(const ReadCase& c, std::vector<Variable>& variables, std::string& rest, std::string& foundName)
{
    const char* cursor = c.text.c_str();
    CString error;
    static Variable sentinel;
    Variable* found = &sentinel;  // the reader must reset it
    std::vector<Variable>* list = c.withVariables ? &variables : nullptr;
    bool ok = false;
    std::string value;
    char buffer[64];
    switch (c.reader) {
    case Reader::Int: {
        int read = 0;
        ok = ReadIntParameter(2, cursor, read, error, list, &found);
        std::snprintf(buffer, sizeof buffer, "%d", read);
        value = buffer;
        break;
    }
    case Reader::Double: {
        double read = 0;
        ok = ReadDoubleParameter(2, cursor, read, error, list, &found);
        std::snprintf(buffer, sizeof buffer, "%.17g", read);
        value = buffer;
        break;
    }
    case Reader::String: {
        Tovanix::String read;
        ok = ReadStringParameter(2, cursor, read, error, list, &found);
        value = read.c_str();
        break;
    }
    }
    if (!ok) {
        EXPECT_EQ(c.text.c_str(), cursor) << "a failing reader moved the cursor";
        return error.str();
    }
    rest = cursor;
    foundName = found ? found->name.c_str() : "";
    return value;
}

}  // namespace

TEST(ArgumentReaders, ReadOneParameterEach)
{
    const std::string chars1023(1023, 'a');
    const std::vector<ReadCase> cases = {
        // int literals: the cursor passes over digits, "+" and "-" only.
        {Reader::Int, "5)", false, "5", ")", ""},
        {Reader::Int, "  -12 , 3)", false, "-12", "3)", ""},
        {Reader::Int, "1-2)", false, "1", ")", ""},
        {Reader::Int, "1.5)", false, "Expected ',' or ')' after parameter 2", "", ""},
        {Reader::Int, "+7,)", false, "7", ")", ""},  // a trailing comma
        {Reader::Int, "x)", false, "Invalid int parameter 2", "", ""},
        {Reader::Int, "x)", true, "Variable \"x\" is not defined, expecting int parameter 2", "", ""},
        {Reader::Int, "", true, "Missing int parameter 2", "", ""},
        {Reader::Int, " \t", true, "Missing int parameter 2", "", ""},
        {Reader::Int, "n)", true, "7", ")", "n"},
        {Reader::Int, "N )", true, "7", ")", "n"},
        {Reader::Int, "big)", true, "2147483647", ")", "big"},
        {Reader::Int, "neg)", true, "-2", ")", "neg"},
        {Reader::Int, "s)", true, "Variable s is not type int, parameter 2 expected int", "", ""},
        {Reader::Int, "n;", true, "Expected ',' or ')' after parameter 2", "", ""},
        {Reader::Int, "99999999999)", false, "2147483647", ")", ""},
        // double literals: "E" is passed over, "e" is not.
        {Reader::Double, "1E5)", false, "100000", ")", ""},
        {Reader::Double, "1e5)", false, "Expected ',' or ')' after parameter 2", "", ""},
        {Reader::Double, "-0.25, 1)", false, "-0.25", "1)", ""},
        {Reader::Double, ".5)", false, "0.5", ")", ""},
        {Reader::Double, "abc)", false, "Invalid double parameter 2", "", ""},
        {Reader::Double, "n)", true, "7", ")", "n"},
        {Reader::Double, "half)", true, "0.5", ")", "half"},
        {Reader::Double, "s)", true, "Variable s is not type double, parameter 2 expected double", "", ""},
        {Reader::Double, "", true, "Missing double parameter 2", "", ""},
        // STRING literals and variables.
        {Reader::String, "\"a,b\" )", false, "a,b", ")", ""},
        {Reader::String, "\"\", 1)", false, "", "1)", ""},
        {Reader::String, "\"x\\\", 1)", false, "x\\", "1)", ""},  // no escapes
        {Reader::String, "s)", true, "text", ")", "s"},
        {Reader::String, "n)", true, "Variable n is not type STRING, parameter 2 expected STRING", "", ""},
        {Reader::String, "q)", true, "Variable \"q\" is not defined, expecting STRING parameter 2", "", ""},
        {Reader::String, "s)", false, "Missing leading \" for string parameter 2", "", ""},
        {Reader::String, "\"open)", false, "Missing trailing \" for string parameter 2", "", ""},
        {Reader::String, "\"a\" b)", false, "Expected , or ) after string parameter 2", "", ""},
        {Reader::String, "s b)", true, "Expected ',' or ')' after parameter 2", "", ""},
        {Reader::String, "", false, "Missing STRING parameter 2", "", ""},
        {Reader::String, "\"" + chars1023 + "\")", false, chars1023, ")", ""},
        {Reader::String, "\"" + chars1023 + "a\")", false,
         "String parameter is too large, must be less than 1024 characters", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        std::vector<Variable> variables = TestVariables();
        std::string rest, foundName;
        EXPECT_EQ(c.expected, Read(c, variables, rest, foundName));
        EXPECT_EQ(c.rest, rest);
        EXPECT_EQ(c.foundName, foundName);
    }
}

TEST(ArgumentReaders, OpeningAndEmptyArgumentLists)
{
    const struct {
        const char* text;
        bool empty;  // ParseEmptyArgumentList, else OpenArgumentList
        const char* result;  // "ok:<rest>" or the message
    } cases[] = {
        {" ( 5);", false, "ok:5);"},
        {"5);", false, "Missing '('"},
        {"(  ", false, "missing );"},
        {"( ) ;", true, "ok:;"},
        {"();  // note", true, "ok:;  // note"},
        {"x();", true, "Missing '('"},
        {"(1);", true, "missing )"},
        {"()", true, "missing ; after )"},
        {"() x", true, "missing ; after )"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const char* cursor = c.text;
        CString error;
        const bool ok = c.empty ? ParseEmptyArgumentList(cursor, error) : OpenArgumentList(cursor, error);
        EXPECT_EQ(c.result, ok ? "ok:" + std::string(cursor) : error.str());
    }
}

TEST(ArgumentReaders, AHandlerReadsItsParametersInTurn)
{
    std::vector<Variable> variables = TestVariables();
    const char* cursor = "(1, half, \"name\", s);";
    CString error;
    int pump = 0;
    double volume = 0;
    Tovanix::String name;
    Tovanix::String answer;
    Variable* result = nullptr;
    ASSERT_TRUE(OpenArgumentList(cursor, error));
    ASSERT_TRUE(ReadIntParameter(1, cursor, pump, error, &variables, nullptr));
    ASSERT_TRUE(ReadDoubleParameter(2, cursor, volume, error, &variables, nullptr));
    ASSERT_TRUE(ReadStringParameter(3, cursor, name, error, &variables, nullptr));
    ASSERT_TRUE(ReadStringParameter(4, cursor, answer, error, &variables, &result)) << error.str();
    EXPECT_EQ(1, pump);
    EXPECT_EQ(0.5, volume);
    EXPECT_STREQ("name", name.c_str());
    ASSERT_NE(nullptr, result);
    EXPECT_STREQ("s", result->name.c_str());
    EXPECT_STREQ(");", cursor);

    EXPECT_TRUE(ArgumentListEnded(cursor));

    // A fifth parameter is missing: the text after the ")" is read as one.
    int extra = 0;
    EXPECT_FALSE(ReadIntParameter(5, cursor, extra, error, &variables, nullptr));
    EXPECT_EQ("Invalid int parameter 5", error.str());
}

TEST(ArgumentReaders, AnOptionalParameterIsAbsentOnlyAtTheListsEnd)
{
    std::vector<Variable> variables = TestVariables();
    CString error;
    int value = 0;
    const char* absent = "(1 );";
    ASSERT_TRUE(OpenArgumentList(absent, error));
    ASSERT_TRUE(ReadIntParameter(1, absent, value, error, &variables, nullptr));
    EXPECT_TRUE(ArgumentListEnded(absent));

    // A misspelt variable in the optional place is present, and fails to read.
    const char* misspelt = "(1, no_such_variable);";
    ASSERT_TRUE(OpenArgumentList(misspelt, error));
    ASSERT_TRUE(ReadIntParameter(1, misspelt, value, error, &variables, nullptr));
    EXPECT_FALSE(ArgumentListEnded(misspelt));
    EXPECT_FALSE(ReadIntParameter(2, misspelt, value, error, &variables, nullptr));
}
