#include "script/Script.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/VelloraApp.h"
#include "script/BuiltInFunctions.h"

namespace fs = std::filesystem;

namespace {

// Each test gets a data root and a run-screen folder of its own, with an
// empty Includes folder in each.
class IncludeFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildBuiltInFunctionTable();
        const char* testRoot = std::getenv("VELLORA_TEST_ROOT");
        root = fs::path(testRoot ? testRoot : fs::temp_directory_path().string()) /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(root);
        fs::create_directories(root / "data" / "Includes");
        fs::create_directories(root / "customer" / "Includes");
        savedDataRoot = theApp.m_strDataRoot;
        savedCustomerDir = theApp.m_strCustomerUIDir.c_str();
        theApp.m_strDataRoot = (root / "data").string();
        theApp.m_strCustomerUIDir = (root / "customer").string().c_str();
    }
    void TearDown() override
    {
        theApp.m_strDataRoot = savedDataRoot;
        theApp.m_strCustomerUIDir = savedCustomerDir.c_str();
    }

    std::string Write(const std::string& name, const std::string& text, const char* base = "data")
    {
        const fs::path path = root / base / "Includes" / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    std::string Include(Script& script, const std::string& line)
    {
        CString error;
        return script.ProcessInclude(line.c_str(), error) ? "ok" : error.str();
    }

    std::vector<std::string> Names(const Script& script)
    {
        std::vector<std::string> names;
        for (const ScriptCode& code : script.functions)
            names.push_back(code.name);
        return names;
    }

    fs::path root;
    CString savedDataRoot;
    std::string savedCustomerDir;
};

}  // namespace

TEST_F(IncludeFileTest, AFileIsScannedOnceWhateverTheCaseOfItsName)
{
    const std::string path = Write("Pumps.inc",
                                   "// pump helpers\r\n"
                                   "\r\n"
                                   "void Prime(int pump, double volume)\r\n"
                                   "{\r\n"
                                   "  if (pump == 1)\r\n"
                                   "  {\r\n"
                                   "    Dispense(pump, volume);\r\n"
                                   "  }\r\n"
                                   "}\r\n"
                                   "void Run(STRING name) // by name\r\n"
                                   "{\r\n"
                                   "}\r\n"
                                   "void run(int a int b)\r\n"
                                   "\r\n"
                                   "{\r\n"
                                   "}\r\n");
    Script script(0);
    EXPECT_EQ("ok", Include(script, "#include \"Pumps.inc\""));
    EXPECT_EQ("ok", Include(script, "#include   \"PUMPS.INC\""));
    EXPECT_EQ(std::vector<std::string>{"Pumps.inc"}, script.includedFiles);
    // Run and run are two functions, in byte order.
    EXPECT_EQ((std::vector<std::string>{"Prime", "Run", "run"}), Names(script));

    int index = -1;
    ASSERT_TRUE(script.FindIncludedFunction("Prime", &index));
    const ScriptCode& prime = script.functions[static_cast<size_t>(index)];
    EXPECT_EQ(3, prime.definitionLine);
    EXPECT_EQ(path, prime.file);
    EXPECT_EQ((std::vector<std::string>{"pump", "volume"}), prime.parameterNames);
    EXPECT_EQ((std::vector<int32_t>{kVariableInt, kVariableDouble}), prime.parameterTypes);
    EXPECT_TRUE(prime.lines.empty());
    ASSERT_TRUE(script.FindIncludedFunction("run", &index));
    EXPECT_EQ(2u, script.functions[static_cast<size_t>(index)].parameterNames.size());
    EXPECT_FALSE(script.FindIncludedFunction("RUN", &index));
}

TEST_F(IncludeFileTest, EachInstanceFindsItsIncludesInItsOwnFolder)
{
    Write("screens.inc", "void Show(int a)\n{\n}\n", "customer");
    Script console(0);
    EXPECT_EQ("Included file screens.inc does not exist.", Include(console, "#include \"screens.inc\""));
    Script runScreen(1);
    EXPECT_EQ("ok", Include(runScreen, "#include \"screens.inc\""));
    EXPECT_EQ(std::vector<std::string>{"Show"}, Names(runScreen));

    // Without a base folder nothing is found, not even in the current folder.
    theApp.m_strCustomerUIDir = "";
    const fs::path saved = fs::current_path();
    fs::current_path(root / "customer");
    Script unplaced(1);
    EXPECT_EQ("Included file screens.inc does not exist.", Include(unplaced, "#include \"screens.inc\""));
    fs::current_path(saved);
}

TEST_F(IncludeFileTest, IncludeLinesAndFilesThatAreRefused)
{
    const std::string longName(49, 'p');
    const struct {
        const char* file;  // content of "a.inc"
        const char* line;
        std::string message;  // %s stands for the full path of a.inc
    } cases[] = {
        {"", "#include x.inc", "Expected \" after #include "},
        {"", "#include \"a.inc", "Did not find terminating \" after #include \""},
        {"", "#include \"missing.inc\"", "Included file missing.inc does not exist."},
        {"void F(int a)\n{\n}\nint x;\n", "#include \"a.inc\"",
         "scan_included_file() : Expecting function definition at line 4. Function definitions must begin with "
         "\"void \""},
        {"void\tF(int a)\n{\n}\n", "#include \"a.inc\"",
         "scan_included_file() : Expecting function definition at line 1. Function definitions must begin with "
         "\"void \""},
        {"\n\nvoid Add()\n{\n}\n", "#include \"a.inc\"", "Undefined variable type: ) : in file %s at line 3"},
        {"void Add(int\ta)\n{\n}\n", "#include \"a.inc\"",
         "Undefined variable type: int\ta) : in file %s at line 1"},
        {"void F(int a)\n// the body\n{\n}\n", "#include \"a.inc\"",
         "scan_included_file() : missing \"{\" immediately following function definition: F in file %s at line 2"},
        {"void Wait(int seconds)\n{\n}\n", "#include \"a.inc\"",
         "scan_included_file() : %s - Function name already being used for a built in function: Wait at line 1"},
        {"void F(int a)\n{\n  {\n}\n\n", "#include \"a.inc\"",
         "scan_included_file() :  not find end of function \"}\" for function F in file %s up to the end of the "
         "file at line 5"},
        {"void F(int a)\n{\n}\nvoid F(double b)\n{\n}\n", "#include \"a.inc\"",
         "scan_included_file() : Function F in %s at line 4 is already defined. Existing definition in %s at "
         "line 1."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line + std::string(" / ") + c.file);
        const std::string path = Write("a.inc", c.file);
        std::string expected = c.message;
        for (size_t at = expected.find("%s"); at != std::string::npos; at = expected.find("%s"))
            expected.replace(at, 2, path);
        Script script(0);
        EXPECT_EQ(expected, Include(script, c.line));
        EXPECT_TRUE(script.includedFiles.empty());
    }
}

TEST_F(IncludeFileTest, AFunctionNameMayBeDefinedInOneFileOnly)
{
    const std::string first = Write("first.inc", "\nvoid Mix(int a)\n{\n}\n");
    const std::string second = Write("second.inc", "void Other(int a)\n{\n}\n\nvoid Mix(int a)\n{\n}\n");
    Script script(0);
    EXPECT_EQ("ok", Include(script, "#include \"first.inc\""));
    EXPECT_EQ("scan_included_file() : Function Mix in " + second + " at line 5 is already defined. "
              "Existing definition in " + first + " at line 2.",
              Include(script, "#include \"second.inc\""));
    // What the failing file entered before its fault stays for the rest of the refused run.
    EXPECT_EQ((std::vector<std::string>{"Mix", "Other"}), Names(script));
    EXPECT_EQ(std::vector<std::string>{"first.inc"}, script.includedFiles);
}

TEST(FunctionDefinitions, Parse)
{
    const std::string name48(48, 'p');
    const std::string name49(49, 'p');
    const struct {
        std::string text;  // after "void "
        std::string result;  // "ok <name> <type:param>..." or the message
    } cases[] = {
        {"Add(int a int b)", "ok Add 1:a 1:b"},
        {"  Mix ( double v , STRING s, int n )  // x", "ok Mix 0:v 2:s 1:n"},
        {"F(int " + name48 + ")", "ok F 1:" + name48},
        {"F(int " + name49 + ")", "Function parameter names may not exceed 48 characters: " + name49 + ")"},
        {"Add()", "Undefined variable type: )"},
        {"Add(integer a)", "Undefined variable type: integer a)"},
        {"1Add(int a)", "Invalid character to begin function name: 1Add(int a)"},
        {"Add int a)", "Did not find \"(\" after function name: Add int a)"},
        {"Add(int 1a)", "Invalid character at the beginning of parameter name: 1a)"},
        {"Add(int a;)", "Invalid character in the parameter name: a;)"},
        {"Add(int a\t)", "Invalid character in the parameter name: a\t)"},
        {"Add(int a", "Expecting \",\" or \")\" after parameter name: a"},
        {"Add(int a ", "Missing \")\" character to end function definition."},
        {"Add(int a, double a)", "Function parameter name a is repeated."},
        {"Add(int a, double A)", "ok Add 1:a 0:A"},
        {"Add(int a) x", "Invalid characters found following \")\" : x"},
        {"Add(int a,)", "Undefined variable type: )"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string name;
        std::vector<int32_t> types;
        std::vector<std::string> names;
        CString error;
        std::string result;
        if (ParseFunctionDefinition(Tovanix::String(c.text.c_str()), name, types, names, error)) {
            result = "ok " + name;
            for (size_t i = 0; i < names.size(); ++i)
                result += " " + std::to_string(types[i]) + ":" + names[i];
        } else {
            result = error.str();
        }
        EXPECT_EQ(c.result, result);
    }
}

TEST(FunctionsTable, KeepsNamesSortedAndUnique)
{
    std::vector<ScriptCode> functions;
    const char* names[] = {"mix", "Mix", "b", "_x", "a", "Zeta", "ab", "a1", "\xc3\xa9t\xc3\xa9", "Wait2", "c"};
    for (const char* name : names) {
        ScriptCode code;
        code.name = name;
        int index = -1;
        ASSERT_TRUE(InsertFunctionSorted(functions, code, &index)) << name;
        EXPECT_EQ(name, functions[static_cast<size_t>(index)].name);
    }
    ScriptCode duplicate;
    duplicate.name = "ab";
    EXPECT_FALSE(InsertFunctionSorted(functions, duplicate, nullptr));
    ASSERT_EQ(std::size(names), functions.size());
    for (size_t i = 1; i < functions.size(); ++i) {
        // Byte order of unsigned characters: the UTF-8 name comes last.
        EXPECT_LT(functions[i - 1].name, functions[i].name);
    }
    EXPECT_EQ("\xc3\xa9t\xc3\xa9", functions.back().name);
    for (const char* name : names)
        EXPECT_EQ(name, functions[static_cast<size_t>(FindFunctionSorted(functions, name))].name);
    for (const char* absent : {"", "A", "zz", "\xff", "MIX", "a2"})
        EXPECT_EQ(-1, FindFunctionSorted(functions, absent)) << absent;
}
