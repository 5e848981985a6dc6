#pragma once

// Helpers for the script language tests: run declaration and assignment
// lines the way the statement executor does, and describe variables as text.

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "script/Variable.h"

namespace scripttest {

// Runs one declaration or assignment line at depth; returns the error text
// ("" on success, "not a statement" when the line is neither form).
inline std::string RunStatement(std::vector<Variable>& variables, const std::string& line, int depth = 0,
                                bool check_only = false)
{
    Tovanix::String statement(line.c_str());
    CString error;
    int type = -1;
    Variable* target = nullptr;
    bool ok;
    if (ParseVariableType(statement, type))
        ok = DeclareVariables(statement, type, variables, depth, error);
    else if (FindLeadingVariable(statement, variables, target))
        ok = AssignVariable(statement.c_str(), *target, variables, error, check_only);
    else
        return "not a statement";
    return ok ? std::string() : (error.IsEmpty() ? std::string("failed without a message") : error.str());
}

// Runs lines that must all succeed.
inline std::vector<Variable> Declared(const std::vector<std::string>& lines)
{
    std::vector<Variable> variables;
    for (const auto& line : lines) {
        const std::string error = RunStatement(variables, line);
        if (!error.empty())
            throw std::runtime_error(line + ": " + error);
    }
    return variables;
}

// "int 5", "double 0.5", "STRING abc", or "missing".
inline std::string Describe(const std::vector<Variable>& variables, const char* name)
{
    int index = -1;
    if (!FindVariable(variables, name, &index))
        return "missing";
    const Variable& v = variables[static_cast<size_t>(index)];
    char buffer[64];
    switch (v.type) {
    case kVariableDouble: std::snprintf(buffer, sizeof buffer, "double %.17g", v.dValue); return buffer;
    case kVariableInt: std::snprintf(buffer, sizeof buffer, "int %d", v.iValue); return buffer;
    case kVariableString: return std::string("STRING ") + v.sValue.c_str();
    default: return "undefined";
    }
}

}  // namespace scripttest
