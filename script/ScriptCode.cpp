// The check pass (ScriptCode::Load with Script::load_function and
// ScriptCode::BindArguments) and the executor (ScriptCode::Execute with
// Script::run_included_function).

#include <cstring>
#include <fstream>
#include <string>

#include "script/ArgumentReaders.h"
#include "script/BuiltInFunctions.h"
#include "script/LineForms.h"
#include "script/Script.h"
#include "script/ScriptLines.h"
#include "script/ScriptRun.h"
#include "support/AppLogs.h"

namespace {

std::string TrimmedCopy(const std::string& line)
{
    Tovanix::String text(line.c_str());
    text.Trim();
    return text.c_str();
}

bool EndsWithSemicolon(const std::string& trimmed) { return !trimmed.empty() && trimmed.back() == ';'; }

// From the line after a "{" at `open`, the index of the "}" that closes it,
// or -1 when the code ends first.
long MatchingBlockEnd(const std::vector<std::string>& lines, long open)
{
    int count = 1;
    for (long i = open + 1; i < static_cast<long>(lines.size()); ++i) {
        const char* line = lines[static_cast<size_t>(i)].c_str();
        if (IsBlockEnd(line)) {
            if (count == 1)
                return i;
            --count;
        } else if (IsBlockBegin(line)) {
            ++count;
        }
    }
    return -1;
}

// The innermost while block on the stack, or -1.
long InnermostWhile(const std::vector<CodeBlock>& blocks)
{
    for (long i = static_cast<long>(blocks.size()) - 1; i >= 0; --i) {
        if (blocks[static_cast<size_t>(i)].kind == kConditionWhile)
            return i;
    }
    return -1;
}

// Leaves the blocks from the top down to and including block `target`, with
// the variables declared in them.
void LeaveBlocks(std::vector<CodeBlock>& blocks, long target, std::vector<Variable>& variables, int& depth)
{
    for (int d = depth; d > target; --d)
        RemoveScopeVariables(variables, d);
    blocks.resize(static_cast<size_t>(target));
    depth = static_cast<int>(blocks.size());
}

}  // namespace

bool ScriptCode::Load(Script& owner, std::istream& file, const char* path, long firstLine, CString& error,
                      bool function_body)
{
    lines.clear();
    blocks.clear();
    std::vector<Variable> checkVariables;
    if (function_body) {
        for (size_t i = 0; i < parameterNames.size(); ++i) {
            Variable parameter;
            parameter.type = parameterTypes[i];
            parameter.name = parameterNames[i].c_str();
            CString ignored;
            AddVariable(checkVariables, parameter, ignored);
        }
    }
    int depth = 0;
    bool codeSeen = false;
    bool expectBlockBegin = false;
    int lastKind = -1;
    long lineNumber = firstLine;

    std::string line;
    bool tooLong = false;
    while (ReadScriptLine(file, line, tooLong)) {
        ++lineNumber;
        if (tooLong) {
            // Cutting it would run its tail as a statement of its own.
            error.Format("%s at line %ld is longer than %ld characters.", path, lineNumber, kMaxScriptLineLength);
            return false;
        }
        CutScriptComment(line);
        const std::string trimmed = TrimmedCopy(line);
        if (trimmed.empty())
            continue;
        const char* text = trimmed.c_str();

        if (std::strncmp(text, "#include ", 9) == 0) {
            if (codeSeen) {
                error.Format("%s at line %ld, include statements must precede any code.", path, lineNumber);
                return false;
            }
            CString includeError;
            if (!owner.ProcessInclude(text, includeError)) {
                error.Format("%s at line %ld : %s.", path, lineNumber, includeError.GetString());
                return false;
            }
            continue;
        }
        codeSeen = true;

        if (expectBlockBegin) {
            if (!IsBlockBegin(text)) {
                error.Format("%s at line %ld expected new code block beginning {", path, lineNumber);
                return false;
            }
            ++depth;
            lines.push_back(line);
            blocks.push_back(CodeBlock{static_cast<int32_t>(lineNumber), lastKind});
            expectBlockBegin = false;
            continue;
        }
        if (IsBlockEnd(text)) {
            if (depth == 0) {
                if (function_body)
                    return true;
                error.Format("%s at line %ld unexpected code block end }", path, lineNumber);
                return false;
            }
            RemoveScopeVariables(checkVariables, depth);
            --depth;
            lines.push_back(line);
            blocks.pop_back();
            continue;
        }
        if (IsReturnStatement(text)) {
            lines.push_back(line);
            continue;
        }
        if (IsContinueStatement(text) || IsBreakStatement(text)) {
            if (InnermostWhile(blocks) < 0) {
                error.Format("%s at line %ld invalid %s statement, not inside a while loop", path, lineNumber,
                             IsContinueStatement(text) ? "continue" : "break");
                return false;
            }
            lines.push_back(line);
            continue;
        }
        if (!EndsWithSemicolon(trimmed)) {
            bool result = false;
            int kind = -1;
            if (!ParseCondition(text, checkVariables, result, kind)) {
                error.Format("%s at line %ld does not end with ; and is not valid if() or while() statement.", path,
                             lineNumber);
                return false;
            }
            lastKind = kind;
            lines.push_back(line);
            expectBlockBegin = true;
            continue;
        }

        Tovanix::String statement(text);
        int type = -1;
        Variable* target = nullptr;
        CString lineError;
        if (ParseVariableType(statement, type)) {
            if (!DeclareVariables(statement, type, checkVariables, depth, lineError)) {
                error.Format("%s invalid line %ld : %s", path, lineNumber, lineError.GetString());
                return false;
            }
        } else if (FindLeadingVariable(statement, checkVariables, target)) {
            if (!AssignVariable(statement.c_str(), *target, checkVariables, lineError, true)) {
                error.Format("%s invalid line %ld : %s", path, lineNumber, lineError.GetString());
                return false;
            }
        } else {
            Tovanix::String name, arguments;
            if (!SplitFunctionCall(Tovanix::String(text), name, arguments)) {
                error.Format("%s invalid line %ld does not begin with valid variable name or function name", path,
                             lineNumber);
                return false;
            }
            const int builtIn = FindBuiltInFunction(name.c_str());
            int function = -1;
            if (builtIn >= 0) {
                if (!owner.ExecuteBuiltInFunction(g_BuiltInFunctions[static_cast<size_t>(builtIn)].index,
                                                  arguments.c_str(), checkVariables, true, lineError)) {
                    error.Format("%s at line %ld : %s", path, lineNumber, lineError.GetString());
                    return false;
                }
            } else if (owner.FindIncludedFunction(name.c_str(), &function)) {
                if (!owner.load_function(function, arguments.c_str(), checkVariables, lineError)) {
                    error.Format("%s at line %ld : %s", path, lineNumber, lineError.GetString());
                    return false;
                }
            } else {
                error.Format("%s invalid line %ld no such function: %s", path, lineNumber, name.c_str());
                return false;
            }
        }
        lines.push_back(line);
    }
    if (!blocks.empty() || expectBlockBegin) {
        error.Format("Did not close out all code blocks before the end of the script file: %s", path);
        return false;
    }
    return true;
}

bool Script::load_function(int index, const char* arguments, std::vector<Variable>& variables, CString& error)
{
    if (index < 0 || index >= static_cast<int>(functions.size())) {
        error = "load_function () internal error #1";
        return false;
    }
    ScriptCode& code = functions[static_cast<size_t>(index)];
    if (!code.BindArguments(arguments, variables, error, nullptr, nullptr))
        return false;
    std::ifstream file(code.file, std::ios::binary);
    if (!file.is_open()) {
        error.Format("laod_function () unable to open file for reading: %s", code.file.c_str());
        return false;
    }
    // Up to and including the "{" line after the definition.
    std::string skipped;
    bool tooLong = false;
    for (long i = 0; i <= code.definitionLine; ++i) {
        if (!ReadScriptLine(file, skipped, tooLong)) {
            error.Format("load_function () internal error #2 : %s", code.file.c_str());
            return false;
        }
    }
    if (++functionCallDepth > kMaxFunctionCallDepth) {
        --functionCallDepth;
        error.Format("load_function() : maximum recursion depth exceeded: %ld", static_cast<long>(kMaxFunctionCallDepth));
        return false;
    }
    const bool loaded = code.Load(*this, file, code.file.c_str(), code.definitionLine + 1, error, true);
    --functionCallDepth;
    return loaded;
}

bool ScriptCode::BindArguments(const char* arguments, std::vector<Variable>& callerVariables, CString& error,
                               std::vector<Variable>* locals, std::vector<Variable*>* passed) const
{
    const char* cursor = SkipBlanks(arguments ? arguments : "");
    if (*cursor != '(') {
        error = "Missing '('";
        return false;
    }
    cursor = SkipBlanks(cursor + 1);
    if (*cursor == '\0') {
        error = "missing );";
        return false;
    }
    for (size_t i = 0; i < parameterTypes.size(); ++i) {
        const int number = static_cast<int>(i);
        Variable value;
        value.type = parameterTypes[i];
        value.name = parameterNames[i].c_str();
        Variable* found = nullptr;
        bool read = false;
        switch (parameterTypes[i]) {
        case kVariableInt:
            read = ReadIntParameter(number, cursor, value.iValue, error, &callerVariables, &found);
            break;
        case kVariableDouble:
            read = ReadDoubleParameter(number, cursor, value.dValue, error, &callerVariables, &found);
            break;
        case kVariableString:
            read = ReadStringParameter(number, cursor, value.sValue, error, &callerVariables, &found);
            break;
        default:
            error = "load_function () internal error #2";
            return false;
        }
        if (!read)
            return false;
        if (locals) {
            CString ignored;
            AddVariable(*locals, value, ignored);
        }
        if (passed)
            passed->push_back(found);
    }
    cursor = SkipBlanks(cursor);
    if (*cursor != ')') {
        error = "Missing \")\" after parameters.";
        return false;
    }
    cursor = SkipBlanks(cursor + 1);
    if (*cursor != ';') {
        error = "Missing \";\" after function call.";
        return false;
    }
    cursor = SkipBlanks(cursor + 1);
    if (*cursor != '\0' && !(cursor[0] == '/' && cursor[1] == '/')) {
        error = "Invalid characters following \";\"";
        return false;
    }
    return true;
}

bool ScriptCode::Execute(Script& owner, std::vector<Variable>& variables, CString& error, const char* scriptFileName)
{
    const long count = static_cast<long>(lines.size());
    int depth = 0;
    bool expectBlockBegin = false;
    int lastKind = -1;
    blocks.clear();

    for (long index = 0; index < count; ++index) {
        if (!owner.running.load()) {
            blocks.clear();
            return true;
        }
        const std::string& stored = lines[static_cast<size_t>(index)];
        if (ScriptRunObserver* observer = GetScriptRunObserver()) {
            if (observer->IsVariableWatchVisible())
                observer->SetVariables(variables);
            observer->ShowCurrentLine(owner.handle, stored);
        }
        if (VariableWatchSink* watch = GetVariableWatchSink()) {
            if (watch->IsVisible())
                watch->SetVariables(variables);
        }
        const std::string trimmed = TrimmedCopy(stored);
        const char* text = trimmed.c_str();

        if (expectBlockBegin) {
            if (!IsBlockBegin(text)) {
                error = "Internal scripting error #10";
                return false;
            }
            blocks.push_back(CodeBlock{static_cast<int32_t>(index), lastKind});
            ++depth;
            expectBlockBegin = false;
            continue;
        }
        if (IsBlockEnd(text)) {
            if (depth == 0 || blocks.empty()) {
                error = "Internal scripting error #11";
                return false;
            }
            RemoveScopeVariables(variables, depth);
            const CodeBlock block = blocks.back();
            blocks.pop_back();
            --depth;
            if (block.kind == kConditionWhile)
                index = block.line - 2;  // the while line runs next
            continue;
        }
        if (IsReturnStatement(text)) {
            blocks.clear();
            return true;
        }
        const bool isContinue = IsContinueStatement(text);
        if (isContinue || IsBreakStatement(text)) {
            const long loop = InnermostWhile(blocks);
            if (loop < 0) {
                error = isContinue ? "internal scripting error #16" : "internal scripting error #16a";
                return false;
            }
            const long open = blocks[static_cast<size_t>(loop)].line;
            LeaveBlocks(blocks, loop, variables, depth);
            if (isContinue) {
                index = open - 2;
                continue;
            }
            const long end = MatchingBlockEnd(lines, open);
            if (end < 0) {
                error = "Internal scripting error #15a";
                return false;
            }
            index = end;
            continue;
        }
        if (!EndsWithSemicolon(trimmed)) {
            bool result = false;
            int kind = -1;
            if (!ParseCondition(text, variables, result, kind)) {
                owner.running = false;
                error = "Internal scripting error #22";
                return false;
            }
            if (result) {
                expectBlockBegin = true;
                lastKind = kind;
                continue;
            }
            const long open = index + 1;
            if (open >= count || !IsBlockBegin(TrimmedCopy(lines[static_cast<size_t>(open)]).c_str())) {
                error = "Internal scripting error #15";
                return false;
            }
            const long end = MatchingBlockEnd(lines, open);
            if (end < 0) {
                error = "Internal scripting error #15";
                return false;
            }
            index = end;
            continue;
        }

        Tovanix::String statement(text);
        int type = -1;
        Variable* target = nullptr;
        CString ignored;
        if (ParseVariableType(statement, type)) {
            if (!DeclareVariables(statement, type, variables, depth, ignored)) {
                error = "Internal scripting error #3";
                return false;
            }
            continue;
        }
        if (FindLeadingVariable(statement, variables, target)) {
            if (!AssignVariable(statement.c_str(), *target, variables, ignored, false)) {
                error = "Internal scripting error #4";
                return false;
            }
            continue;
        }
        Tovanix::String name, arguments;
        if (!SplitFunctionCall(Tovanix::String(text), name, arguments)) {
            error = "Internal scripting error #1";
            return false;
        }
        const int builtIn = FindBuiltInFunction(name.c_str());
        CString callError;
        if (builtIn >= 0) {
            LogScriptLine(file.c_str(), stored.c_str());
            if (!owner.ExecuteBuiltInFunction(g_BuiltInFunctions[static_cast<size_t>(builtIn)].index,
                                              arguments.c_str(), variables, false, callError)) {
                error.Format("%s : %s", text, callError.GetString());
                return false;
            }
            continue;
        }
        int function = -1;
        if (!owner.FindIncludedFunction(name.c_str(), &function)) {
            error = "Internal scripting error #2.1";
            return false;
        }
        LogScriptLine(file.c_str(), stored.c_str());
        if (!owner.run_included_function(function, arguments.c_str(), variables, callError)) {
            error.Format("%s : %s", name.c_str(), callError.GetString());
            return false;
        }
    }
    if (!blocks.empty()) {
        CString message;
        message.Format("Internal scripting error #12 at line: %ld file: %s", count, scriptFileName ? scriptFileName : "");
        LogErrAndInfo("Script", __LINE__, message.GetString());
    }
    return true;
}

bool Script::run_included_function(int index, const char* arguments, std::vector<Variable>& variables,
                                   CString& error)
{
    if (index < 0) {
        error = "run_included_function () Error #1";
        return false;
    }
    if (index >= static_cast<int>(functions.size())) {
        error = "run_included_function () Error #2";
        return false;
    }
    if (++functionCallDepth > kMaxFunctionCallDepth) {
        --functionCallDepth;
        error.Format("run_included_function () : Maximum recursion depth %ld exceeded.",
                     static_cast<long>(kMaxFunctionCallDepth));
        return false;
    }
    ScriptCode& code = functions[static_cast<size_t>(index)];
    std::vector<Variable> locals;
    std::vector<Variable*> passed;
    if (!code.BindArguments(arguments, variables, error, &locals, &passed)) {
        --functionCallDepth;
        return false;
    }
    const bool ran = code.Execute(*this, locals, error, fileName.c_str());
    --functionCallDepth;
    if (!ran)
        return false;

    // Hand the parameters back to the variables passed for them.
    for (size_t i = 0; i < passed.size() && i < code.parameterNames.size(); ++i) {
        Variable* caller = passed[i];
        if (!caller)
            continue;
        int local = -1;
        if (!FindVariable(locals, code.parameterNames[i].c_str(), &local)) {
            error = "run_included_function() error #1";
            return false;
        }
        const Variable& value = locals[static_cast<size_t>(local)];
        if (value.type != caller->type) {
            error = "run_included_function() error #2 : Variable::Assign () failed because types don't match.";
            return false;
        }
        caller->dValue = value.dValue;
        caller->iValue = value.iValue;
        caller->sValue = value.sValue;
    }
    return true;
}
