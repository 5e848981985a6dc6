#pragma once

// Runs one script call line ("ZB_Home(\"X\");") through the dispatcher the
// way the check pass (check_only) or the executor does, so tests can hold
// their cases as script lines.

#include <cctype>
#include <string>
#include <vector>

#include "script/BuiltInFunctions.h"
#include "script/Script.h"
#include "script/Variable.h"

namespace scripttest {

// "ok" or the command's message; "no such command" when the line does not
// start with the name of a built-in command.
inline std::string Call(Script& script, std::vector<Variable>& variables, const std::string& line, bool check_only)
{
    if (g_BuiltInFunctions.empty())
        BuildBuiltInFunctionTable();
    size_t end = 0;
    while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_'))
        ++end;
    const int found = FindBuiltInFunction(line.substr(0, end).c_str());
    if (found < 0)
        return "no such command";
    CString error;
    const char* arguments = line.c_str() + end;
    return script.ExecuteBuiltInFunction(g_BuiltInFunctions[static_cast<size_t>(found)].index, arguments, variables,
                                         check_only, error)
               ? "ok"
               : error.str();
}

}  // namespace scripttest
