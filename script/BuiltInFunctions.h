#pragma once

// The built-in commands of the script language.
//
// The language has 210 built-in commands. Each has a fixed command index
// (its row in the table below, which never changes, because other parts
// select commands by it); the table g_BuiltInFunctions holds the names with
// their indices, sorted by name for lookup. Names are case-sensitive.
//
// A command's behaviour is a handler with one calling convention: the
// argument text from the "(" after the name, the variables of the run (or of
// the check pass), check_only (true in the check pass: read and validate the
// arguments and change nothing), and an error text; true on success. Member
// handlers also get the interpreter instance. Handlers are installed per
// command index: the script library installs its own command families, and
// the higher layers (the operator's run screen) install theirs at start-up,
// before the first script runs. A row without a handler fails with a clear
// message naming the command; the retired commands always fail.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/CString.h"
#include "script/Variable.h"

class Script;

struct BuiltInFunction {
    std::string name;  // case-sensitive
    int32_t index;     // 0..209
};

constexpr int32_t kBuiltInFunctionCount = 210;

// The commands sorted by name (byte order of unsigned characters). Filled by
// BuildBuiltInFunctionTable before the first run, read-only afterwards.
extern std::vector<BuiltInFunction> g_BuiltInFunctions;

// Empties the table, appends the 210 commands in index order and sorts it by name.
void BuildBuiltInFunctionTable();
// Appends {name, nextIndex} and increments nextIndex.
void AddBuiltInFunction(const char* name, int& nextIndex);
// The name of a command index; null outside 0..209.
const char* BuiltInFunctionName(int32_t index);
// The position of a name in g_BuiltInFunctions (exact, case-sensitive), or -1.
int FindBuiltInFunction(const char* name);

// Command indices the dispatcher treats specially.
namespace BuiltIn {
constexpr int32_t kDispense = 9;
constexpr int32_t kAspirate = 10;
constexpr int32_t kValidateDispense = 17;
constexpr int32_t kValidateAspirate = 18;
constexpr int32_t kSaveTextToImageCaptureLogHeader = 51;
constexpr int32_t kCustomerUI_CreateINIBackup = 187;
constexpr int32_t kAutoDetectSplitLineZeroPosition = 203;
constexpr int32_t kStartDisplayRotationCorrectedImages = 204;
}  // namespace BuiltIn

using BuiltInFunctionHandler = bool (*)(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                        CString& error);
using BuiltInMemberHandler = bool (*)(Script& script, const char* arguments, std::vector<Variable>& variables,
                                      bool check_only, CString& error);

// The message of a retired command; null for a command that is not retired.
const char* RetiredBuiltInFunctionMessage(int32_t index);

// Installs the handler of a command, replacing the one it had. False (nothing
// installed) for an index outside the table or a retired command. Install at
// start-up, before the first script runs: runs read the handlers unlocked.
bool SetBuiltInFunctionHandler(int32_t index, BuiltInFunctionHandler handler);
bool SetBuiltInMemberHandler(int32_t index, BuiltInMemberHandler handler);

// The handlers of a command index (both null when none is installed).
struct BuiltInHandlerRow {
    BuiltInFunctionHandler plain = nullptr;
    BuiltInMemberHandler member = nullptr;
};
BuiltInHandlerRow GetBuiltInHandler(int32_t index);
