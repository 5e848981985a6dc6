// Random and truncated lines fed to every parser of a script line. The
// parsers must never crash or read past the end of their text; run under
// AddressSanitizer, each line sits in a heap buffer of exactly its size, so a
// read past its terminating NUL is reported.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "script/ArgumentReaders.h"
#include "script/BuiltInFunctions.h"
#include "script/LineForms.h"
#include "script/Script.h"
#include "script/Variable.h"
#include "script/tests/ScriptTestSupport.h"

namespace {

// Lines of every form, valid and broken, whose prefixes are fed too.
const char* const kSeeds[] = {
    "int a, b = 5;",
    "STRING s = \"text with // and ; inside\";",
    "double d = -1.5E3;",
    "a += 2;",
    "s += \"more\";",
    "d /= 0;",
    "if (s == \"abc\") // x",
    "while ( n >= -2 )",
    "if (\"a\" != s)",
    "Wait (5);",
    "SaveTextToImageCaptureLogHeader(\"x\");",
    "Dispense(1, 50.0, \"a\", n, s);",
    "(1, 2.5E2, \"quoted\", name);",
    "( ) ;",
    "Add(int a int b) // comment",
    "Mix ( double v , STRING s, int n )",
    "continue ;// x",
    "#include \"file.inc\"",
};

const char* const kTokens[] = {
    "int ", "double ", "STRING ", "if", "while", "(", ")", "\"", ",", ";", "=", "+=", "-=", "*=", "/=",
    "==", "<=", "!=", "<", ">", "//", "{", "}", " ", "\t", "a", "n", "s", "d", "Count", "_x9", "5", "-",
    "+", ".", "E", "e", "1e5", "3-2", "2147483648", "-2147483649", "0", "\"abc\"", "continue", "break",
    "return", "void ", "\xff", "\x80",
};

// A NUL-terminated copy in a buffer of exactly its size.
std::unique_ptr<char[]> ExactCopy(const std::string& text)
{
    auto buffer = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
    return buffer;
}

std::vector<Variable> FuzzVariables()
{
    return scripttest::Declared({"int n = -2147483648;", "int a = 3;", "double d = 1e300;",
                                 "STRING s = \"abc\";", "int Count;"});
}

// Runs one line through every parser; only the absence of faults matters.
void Exercise(const std::string& line)
{
    const auto text = ExactCopy(line);
    std::vector<Variable> variables = FuzzVariables();
    CString error;

    for (bool check_only : {true, false}) {
        std::vector<Variable> vars = variables;
        scripttest::RunStatement(vars, text.get(), 1, check_only);
    }

    bool result = false;
    int kind = 0;
    ParseCondition(text.get(), variables, result, kind);
    IsBlockBegin(text.get());
    IsBlockEnd(text.get());
    IsContinueStatement(text.get());
    IsBreakStatement(text.get());
    IsReturnStatement(text.get());

    Tovanix::String name, arguments;
    SplitFunctionCall(Tovanix::String(text.get()), name, arguments);

    for (std::vector<Variable>* list : {&variables, static_cast<std::vector<Variable>*>(nullptr)}) {
        const char* cursor = text.get();
        int i = 0;
        double d = 0;
        Tovanix::String s;
        Variable* found = nullptr;
        // Read parameters of every type in turn until one fails.
        for (int number = 1; number < 20; ++number) {
            const bool ok = number % 3 == 0   ? ReadStringParameter(number, cursor, s, error, list, &found)
                            : number % 3 == 1 ? ReadIntParameter(number, cursor, i, error, list, &found)
                                              : ReadDoubleParameter(number, cursor, d, error, list, &found);
            if (!ok)
                break;
        }
        cursor = text.get();
        if (OpenArgumentList(cursor, error))
            ReadStringParameter(1, cursor, s, error, list, &found);
        cursor = text.get();
        ParseEmptyArgumentList(cursor, error);
    }

    std::string functionName;
    std::vector<int32_t> types;
    std::vector<std::string> names;
    ParseFunctionDefinition(Tovanix::String(text.get()), functionName, types, names, error);
    int position = 0;
    ParseQuotedString(text.get(), position, error);

    Script script(0);
    script.ExecuteBuiltInFunction(BuiltIn::kSaveTextToImageCaptureLogHeader, text.get(), variables, true, error);
    script.ProcessInclude(text.get(), error);
}

}  // namespace

TEST(ParserFuzz, TruncatedLinesOfEveryForm)
{
    BuildBuiltInFunctionTable();
    for (const char* seed : kSeeds) {
        const std::string line(seed);
        for (size_t length = 0; length <= line.size(); ++length)
            Exercise(line.substr(0, length));
    }
}

TEST(ParserFuzz, RandomLines)
{
    BuildBuiltInFunctionTable();
    std::mt19937 random(20261211);  // fixed: a failure must reproduce
    std::uniform_int_distribution<size_t> tokenCount(0, 14);
    std::uniform_int_distribution<size_t> pickToken(0, std::size(kTokens) - 1);
    std::uniform_int_distribution<int> anyByte(1, 255);
    std::uniform_int_distribution<int> coin(0, 9);
    for (int round = 0; round < 4000; ++round) {
        std::string line;
        const size_t count = tokenCount(random);
        for (size_t t = 0; t < count; ++t) {
            if (coin(random) == 0)
                line += static_cast<char>(anyByte(random));
            else
                line += kTokens[pickToken(random)];
        }
        SCOPED_TRACE(line);
        Exercise(line);
    }
}

TEST(ParserFuzz, LongLiteralsNearTheLimits)
{
    for (size_t length : {998u, 999u, 1000u, 1001u, 1022u, 1023u, 1024u, 1025u, 5000u}) {
        const std::string body(length, 'q');
        Exercise("STRING s = \"" + body + "\";");
        Exercise("STRING s = \"" + body);
        Exercise("(\"" + body + "\");");
        Exercise("(\"" + body);
        Exercise("if (s == \"" + body);
    }
}
