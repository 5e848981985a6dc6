#include "script/Variable.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "script/tests/ScriptTestSupport.h"

using scripttest::Declared;
using scripttest::Describe;
using scripttest::RunStatement;

namespace {

struct StatementCase {
    std::vector<std::string> before;  // lines that run first and must succeed
    std::string line;
    std::string error;  // "" when the line succeeds
    std::vector<std::pair<std::string, std::string>> after;  // name, Describe()
};

}  // namespace

TEST(Variables, DeclarationsAndAssignments)
{
    const std::string longText(999, 'x');
    const std::vector<StatementCase> cases = {
        {{}, "int a, b, c;", "", {{"a", "int 0"}, {"b", "int 0"}, {"c", "int 0"}}},
        {{}, "double d;", "", {{"d", "double 0"}}},
        {{}, "STRING s;", "", {{"s", "STRING "}}},
        {{}, "int a = 5, b;", "Expected ';' after variable assignment.", {{"b", "missing"}}},
        {{}, "int a, b = 5;", "", {{"a", "int 0"}, {"b", "int 5"}}},
        {{}, "int a b;", "", {{"a", "missing"}, {"b", "int 0"}}},
        {{}, "int a  = 1;", "Invalid variable name: = 1;", {{"a", "missing"}}},
        {{}, "int a =1;", "", {{"a", "int 1"}}},
        {{}, "int a= 1;", "", {{"a", "int 1"}}},
        {{}, "INT a;", "not a statement", {}},
        {{}, "integer a;", "not a statement", {}},
        {{"int Count;"}, "count = 3;", "", {{"COUNT", "int 3"}}},
        {{"int Count;"}, "int count;", "Variable count has already been defined.", {}},
        {{"double d = 1e12;"}, "int i = d;", "", {{"i", "int 2147483647"}}},
        {{"double d = -3.9;"}, "int i = d;", "", {{"i", "int -3"}}},
        {{"int x = 1;"}, "x = 3.7;", "Expected ';' after variable assignment.", {{"x", "int 3"}}},
        {{"int x = 1;"}, "x += 3.7;", "", {{"x", "int 4"}}},
        {{"int x = 1;", "int y = 4;"}, "x = y / 2;", "Expected ';' after variable assignment.", {}},
        {{}, "int a = a;", "Invalid assignment string \"a\" has not been declared", {{"a", "missing"}}},
        {{"STRING s;", "STRING t;"}, "s -= t;", "Invalid math operator, must be +", {}},
        {{"STRING s = \"ab\";"}, "s = 5;", "Expected ';' after variable assignment.", {{"s", "STRING ab"}}},
        {{"STRING s = \"ab\";"}, "s += 5;", "", {{"s", "STRING ab"}}},
        {{"STRING s = \"ab\";", "STRING t = \"cd\";"}, "s += t;", "", {{"s", "STRING abcd"}}},
        {{"int n = 42;"}, "STRING s = n;", "", {{"s", "STRING 42"}}},
        {{"double d = 0.25;"}, "STRING s = d;", "", {{"s", "STRING 0.25"}}},
        {{"STRING t;"}, "double d = t;", "Invalid assignment string \"t\" is not type double or int", {}},
        {{"STRING t;"}, "int i = t;", "Invalid assignment string \"t\" is not type int or double", {}},
        {{}, "double d = x1;", "Invalid assignment string \"x1\" has not been declared", {}},
        {{}, "double d = .5e1;", "", {{"d", "double 5"}}},
        {{}, "double d = #;", "Invalid assignment string \"#;\" for variable d", {}},
        {{}, "int i = -;", "Invalid assignment string \"-;\" for variable i", {}},
        {{"int i;"}, "i ^= 2;", "Expected '=' following variable name.", {}},
        {{"int i = 7;"}, "i /= 2;", "", {{"i", "int 3"}}},
        {{"int i = -7;"}, "i /= 2;", "", {{"i", "int -3"}}},
        {{"double d = 1;"}, "d /= 4;", "", {{"d", "double 0.25"}}},
        {{"int i = 5;"}, "i /= 0;", "Attempt to divide by zero.", {{"i", "int 5"}}},
        {{"double d = 5;"}, "d /= 0.0;", "Attempt to divide by zero.", {{"d", "double 5"}}},
        {{"int i = 2147483647;"}, "i += 1;", "", {{"i", "int -2147483648"}}},
        {{"int i = 65536;"}, "i *= 65536;", "", {{"i", "int 0"}}},
        {{"int i = -2147483648;"}, "i /= -1;", "", {{"i", "int -2147483648"}}},
        {{"int i = 1;"}, "int j = 99999999999;", "", {{"j", "int 2147483647"}}},
        {{}, "STRING s = \"\";", "", {{"s", "STRING "}}},
        {{}, "STRING s = \"a // b\" ;", "", {{"s", "STRING a // b"}}},
        {{}, "STRING s = \"" + longText + "\";", "", {{"s", "STRING " + longText}}},
        {{},
         "STRING s = \"" + longText + "x\";",
         "Invalid assignment end quote not found after 1000 characters while assigning variable s",
         {{"s", "missing"}}},
        {{}, "STRING s = \"no end;", "Invalid assignment end quote not found while assigning variable s", {}},
        {{"int a;"}, "int b, a;", "Variable a has already been defined.", {{"b", "int 0"}}},
        {{}, "int 5x;", "Invalid variable name: 5x;", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<Variable> variables = Declared(c.before);
        EXPECT_EQ(c.error, RunStatement(variables, c.line));
        for (const auto& [name, expected] : c.after)
            EXPECT_EQ(expected, Describe(variables, name.c_str())) << name;
    }
}

TEST(Variables, TheCheckPassDividesByOneInsteadOfFailing)
{
    std::vector<Variable> variables = Declared({"int x = 6;", "double d = 3;"});
    EXPECT_EQ("", RunStatement(variables, "x /= 0;", 0, true));
    EXPECT_EQ("", RunStatement(variables, "d /= 0;", 0, true));
    EXPECT_EQ("int 6", Describe(variables, "x"));
    EXPECT_EQ("double 3", Describe(variables, "d"));
}

TEST(Variables, ADeclarationCutsTheStatementThroughItsSemicolon)
{
    std::vector<Variable> variables;
    CString error;
    int type = -1;
    Tovanix::String statement("  STRING s = \"a;b\" ; rest");
    ASSERT_TRUE(ParseVariableType(statement, type));
    EXPECT_EQ(kVariableString, type);
    EXPECT_STREQ(" s = \"a;b\" ; rest", statement.c_str());
    ASSERT_TRUE(DeclareVariables(statement, type, variables, 2, error)) << error.str();
    EXPECT_STREQ(" rest", statement.c_str());
    EXPECT_EQ(2, variables[0].scope);

    Tovanix::String notDeclaration("int");  // a keyword at the end of the text
    EXPECT_FALSE(ParseVariableType(notDeclaration, type));
    EXPECT_STREQ("int", notDeclaration.c_str());
}

TEST(Variables, ScopesAreRemovedWhenTheirBlockCloses)
{
    std::vector<Variable> variables;
    EXPECT_EQ("", RunStatement(variables, "int a;", 0));
    EXPECT_EQ("", RunStatement(variables, "int b;", 1));
    EXPECT_EQ("", RunStatement(variables, "int c;", 2));
    EXPECT_EQ("", RunStatement(variables, "int d;", 1));
    // A name declared outside cannot be declared again inside.
    EXPECT_EQ("Variable A has already been defined.", RunStatement(variables, "int A;", 2));

    RemoveScopeVariables(variables, 1);
    ASSERT_EQ(2u, variables.size());
    EXPECT_STREQ("a", variables[0].name.c_str());
    EXPECT_STREQ("c", variables[1].name.c_str());
    // The name is free again once its block is closed.
    EXPECT_EQ("", RunStatement(variables, "double b;", 1));
}

TEST(Variables, FindLeadingVariableLeavesTheTextAfterTheName)
{
    std::vector<Variable> variables = Declared({"int Count;"});
    Variable* found = nullptr;
    Tovanix::String statement("\t COUNT+= 2;");
    ASSERT_TRUE(FindLeadingVariable(statement, variables, found));
    EXPECT_EQ(&variables[0], found);
    EXPECT_STREQ("+= 2;", statement.c_str());

    Tovanix::String unknown("Counter = 1;");
    EXPECT_FALSE(FindLeadingVariable(unknown, variables, found));
    EXPECT_STREQ("Counter = 1;", unknown.c_str());
}

TEST(Variables, OperatorsByType)
{
    const auto make = [](int32_t type, double number, const char* text) {
        Variable v;
        v.type = type;
        v.name = "v";
        v.dValue = number;
        v.iValue = static_cast<int32_t>(number);
        v.sValue = text;
        return v;
    };
    const struct {
        int32_t type;
        double start;
        char op;
        double operand;
        std::string result;  // Describe() of v, or the message
    } cases[] = {
        {kVariableDouble, 1.5, '*', 4, "double 6"},
        {kVariableDouble, 1.5, '-', 4, "double -2.5"},
        {kVariableDouble, 1, '%', 4, "Invalid math operator, must be * / + -"},
        {kVariableInt, 7, '/', -2, "int -3"},
        {kVariableInt, -2147483648.0, '-', 1, "int 2147483647"},
        {kVariableInt, -2147483648.0, '*', -1, "int -2147483648"},
        {kVariableInt, 1, '=', 4, "Invalid math operator, must be * / + -"},
        {kVariableString, 0, '+', 0, "STRING ab"},
        {kVariableString, 0, '*', 0, "Invalid math operator, must be +"},
        {kVariableString, 0, '/', 0, "Invalid math operator, must be +"},
        {kVariableUndefined, 0, '+', 0, "Variable v has undefined type"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.op) + " " + c.result);
        std::vector<Variable> variables{make(c.type, c.start, "a")};
        CString error;
        if (variables[0].ApplyOperator(make(c.type, c.operand, "b"), c.op, error, false))
            EXPECT_EQ(c.result, Describe(variables, "v"));
        else
            EXPECT_EQ(c.result, error.str());
    }

    Variable undefined;
    undefined.name = "u";
    std::vector<Variable> none;
    CString error;
    EXPECT_FALSE(EvaluateAssignmentValue(undefined, "5", none, error, nullptr));
    EXPECT_EQ("Variable u has undefined type", error.str());
}
