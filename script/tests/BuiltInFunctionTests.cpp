#include "script/BuiltInFunctions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/ImageCaptureLogHeader.h"
#include "script/Script.h"

namespace {

class BuiltInFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override { BuildBuiltInFunctionTable(); }

    std::string Run(int index, const char* arguments, bool check_only = true)
    {
        CString error;
        if (script.ExecuteBuiltInFunction(index, arguments, variables, check_only, error))
            return "ok";
        return error.str();
    }

    Script script{0};
    std::vector<Variable> variables;
};

// Records what the dispatcher handed to a handler.
struct Seen {
    static inline std::string arguments;
    static inline bool checkOnly = false;
    static inline size_t variableCount = 0;
    static inline Script* script = nullptr;
    static bool Plain(const char* args, std::vector<Variable>& vars, bool check_only, CString&)
    {
        arguments = args;
        checkOnly = check_only;
        variableCount = vars.size();
        return true;
    }
    static bool Member(Script& s, const char* args, std::vector<Variable>& vars, bool check_only, CString& error)
    {
        script = &s;
        return Plain(args, vars, check_only, error);
    }
};

// Puts a handler in for one test and the previous one back after it.
class ScopedHandler {
public:
    ScopedHandler(int32_t index, BuiltInFunctionHandler handler) : m_index(index), m_old(GetBuiltInHandler(index))
    {
        EXPECT_TRUE(SetBuiltInFunctionHandler(index, handler));
    }
    ScopedHandler(int32_t index, BuiltInMemberHandler handler) : m_index(index), m_old(GetBuiltInHandler(index))
    {
        EXPECT_TRUE(SetBuiltInMemberHandler(index, handler));
    }
    ~ScopedHandler()
    {
        if (m_old.member)
            SetBuiltInMemberHandler(m_index, m_old.member);
        else
            SetBuiltInFunctionHandler(m_index, m_old.plain);
    }

private:
    int32_t m_index;
    BuiltInHandlerRow m_old;
};

}  // namespace

TEST_F(BuiltInFunctionsTest, TheTableHoldsEveryCommandOnceAndFindsItAgainAtItsIndex)
{
    ASSERT_EQ(210u, g_BuiltInFunctions.size());
    std::set<std::string> names;
    std::set<int32_t> indices;
    for (size_t i = 0; i < g_BuiltInFunctions.size(); ++i) {
        const BuiltInFunction& entry = g_BuiltInFunctions[i];
        names.insert(entry.name);
        indices.insert(entry.index);
        EXPECT_EQ(static_cast<int>(i), FindBuiltInFunction(entry.name.c_str())) << entry.name;
        EXPECT_STREQ(entry.name.c_str(), BuiltInFunctionName(entry.index));
        if (i > 0) {
            EXPECT_LT(g_BuiltInFunctions[i - 1].name, entry.name);  // ASCII names: byte order
        }
    }
    EXPECT_EQ(210u, names.size());
    EXPECT_EQ(210u, indices.size());
    EXPECT_EQ(0, *indices.begin());
    EXPECT_EQ(209, *indices.rbegin());
}

TEST_F(BuiltInFunctionsTest, LookupIsExactAndCaseSensitive)
{
    const struct {
        const char* name;
        int32_t index;  // -1: not found
    } cases[] = {
        {"Wait", 7},          {"wait", -1},       {"WAIT", -1},           {"PromptInfo", 0},
        {"IsQX4Lite", 209},   {"Wai", -1},        {"Waits", -1},          {"", -1},
        {"AAAA", -1},         {"zzzz", -1},       {"StrLen", 157},        {"CustomerUI_PromptInfo", 110},
        {"ZB_Home", 123},     {"FG_Start", 47},   {"SaveTextToImageCaptureLogHeader", 51},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int position = FindBuiltInFunction(c.name);
        if (c.index < 0) {
            EXPECT_EQ(-1, position);
        } else {
            ASSERT_GE(position, 0);
            EXPECT_EQ(c.index, g_BuiltInFunctions[static_cast<size_t>(position)].index);
        }
    }
    g_BuiltInFunctions.clear();
    EXPECT_EQ(-1, FindBuiltInFunction("Wait"));
}

TEST_F(BuiltInFunctionsTest, RetiredCommandsAlwaysFailWithTheirMessage)
{
    const struct {
        int index;
        const char* message;
    } cases[] = {
        {6, "SetPinchValveState() - Function is obsolete"},
        {23, "SetChannelDivider() - This function is obsolete as of V1.445 - please use "
             "CustomerUI_SetFlowSplit(isplit)."},
        {44, "FG_SetFlowRates() - not supported after V1.161"},
        {46, "FG_RunState() - not supported after V1.161"},
        {47, "FG_Start() - not supported after V1.161"},
        {45, "FG_SetPressures() - not supported after V1.491"},
        {48, "FG_Stop() - not supported after V1.491"},
        {60, "FG_DispenseAtConstPressure() - not supported after V1.491"},
        {73, "FG_ShowVolumeInFluigentView() - not supported after V1.491"},
        {89, "CustomerUI_SampleLoading() is obsolete. Please use ShowVideo()"},
        {92, "CustomerUI_SampleFlowing() is obsolete. Please use ShowVideo()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(c.message, Run(c.index, "();", true));
        EXPECT_EQ(c.message, Run(c.index, "();", false));
    }
    // Every retired row: 6, 23, 44 to 48, 53 to 68, 70 to 73, 89 to 92.
    int retired = 0;
    for (int index = 0; index < kBuiltInFunctionCount; ++index) {
        if (const char* message = RetiredBuiltInFunctionMessage(index)) {
            ++retired;
            EXPECT_EQ(0, std::string(message).rfind(BuiltInFunctionName(index), 0)) << message;
            EXPECT_FALSE(SetBuiltInFunctionHandler(index, &Seen::Plain)) << index;
            EXPECT_EQ(message, Run(index, "();"));
        }
    }
    EXPECT_EQ(31, retired);
}

TEST_F(BuiltInFunctionsTest, IndicesOutsideTheTableAndRowsWithoutAHandlerFailClearly)
{
    EXPECT_EQ("Unknown function index: 210", Run(210, "();"));
    EXPECT_EQ("Unknown function index: -1", Run(-1, "();"));
    EXPECT_FALSE(SetBuiltInFunctionHandler(210, &Seen::Plain));

    ScopedHandler none(7, static_cast<BuiltInFunctionHandler>(nullptr));
    EXPECT_EQ("Wait() - command not built yet", Run(7, "(5);"));
}

TEST_F(BuiltInFunctionsTest, HandlersGetTheirArgumentsAsTheRowSays)
{
    variables.resize(2);
    {
        ScopedHandler plain(7, &Seen::Plain);
        EXPECT_EQ("ok", Run(7, "(5);", false));
        EXPECT_EQ("(5);", Seen::arguments);
        EXPECT_FALSE(Seen::checkOnly);
        EXPECT_EQ(2u, Seen::variableCount);
    }
    {
        ScopedHandler member(99, &Seen::Member);
        Seen::script = nullptr;
        EXPECT_EQ("ok", Run(99, "(1, \"x\");", true));
        EXPECT_EQ(&script, Seen::script);
        EXPECT_TRUE(Seen::checkOnly);
    }
    {
        // ValidateDispense and ValidateAspirate only validate, also when the line runs.
        ScopedHandler dispense(9, &Seen::Plain);
        ScopedHandler aspirate(10, &Seen::Plain);
        EXPECT_EQ("ok", Run(17, "(1, 50.0);", false));
        EXPECT_TRUE(Seen::checkOnly);
        EXPECT_EQ("(1, 50.0);", Seen::arguments);
        Seen::checkOnly = false;
        EXPECT_EQ("ok", Run(18, "(2, 10.0);", false));
        EXPECT_TRUE(Seen::checkOnly);
    }
    {
        ScopedHandler backup(187, &Seen::Member);
        ScopedHandler split(203, &Seen::Plain);
        EXPECT_EQ("ok", Run(187, "();", false));
        EXPECT_EQ(0u, Seen::variableCount);
        EXPECT_EQ("ok", Run(203, "();", false));
        EXPECT_EQ(0u, Seen::variableCount);
    }
    {
        // Acts in the check pass as well, and never looks at its arguments.
        ScopedHandler rotation(204, &Seen::Plain);
        EXPECT_EQ("ok", Run(204, "(anything at all", true));
        EXPECT_EQ("", Seen::arguments);
        EXPECT_FALSE(Seen::checkOnly);
    }
}

TEST_F(BuiltInFunctionsTest, SaveTextToImageCaptureLogHeaderQueuesOneTextAtRunTimeOnly)
{
    CreateImageCaptureLogHeaderSemaphore();
    std::vector<Tovanix::String> lines;
    TakeImageCaptureLogHeaderLines(lines);
    lines.clear();

    variables.resize(1);
    variables[0].type = kVariableString;
    variables[0].name = "note";
    variables[0].sValue = "from a variable";

    const struct {
        const char* arguments;
        const char* result;
    } cases[] = {
        {"(\"flow 5 ul/min\");", "ok"},
        {"( note ) ;", "ok"},
        {"(\"a\", \"b\");", "Missing ) after string parameter."},
        {"(\"a\",);", "Missing ) after string parameter."},
        {"(\"a\" \"b\");", "Expected , or ) after string parameter 1"},
        {"(5);", "Missing leading \" for string parameter 1"},
        {"(missing);", "Variable \"missing\" is not defined, expecting STRING parameter 1"},
        {"\"a\");", "Missing '('"},
        {"(", "missing );"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(c.result, Run(51, c.arguments, true));
    }
    EXPECT_EQ(0, TakeImageCaptureLogHeaderLines(lines));  // the check pass queues nothing

    EXPECT_EQ("ok", Run(51, "(\"flow 5 ul/min\");", false));
    EXPECT_EQ("ok", Run(51, "(note);", false));
    ASSERT_EQ(2, TakeImageCaptureLogHeaderLines(lines));
    const std::string first = lines[0].c_str();
    const std::string second = lines[1].c_str();
    EXPECT_EQ("\tflow 5 ul/min", first.substr(12));
    EXPECT_EQ("\tfrom a variable", second.substr(12));
}
