#include "script/ArgumentReaders.h"

#include <cstring>
#include <string>

namespace {

enum class Kind { String, Int, Double };

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::String: return "STRING";
    case Kind::Int: return "int";
    default: return "double";
    }
}

// After a parameter: blanks, then ")" (cursor stays on it) or "," (stepped
// over with the blanks after it).
bool CloseParameter(const char*& cursor, const char* message, int number, CString& error)
{
    const char* p = SkipBlanks(cursor);
    if (*p == ')') {
        cursor = p;
        return true;
    }
    if (*p == ',') {
        cursor = SkipBlanks(p + 1);
        return true;
    }
    error.Format(message, static_cast<long>(number));
    return false;
}

// The variable form of a parameter: the name at p must be declared.
Variable* LookUp(Kind kind, int number, const char*& p, std::vector<Variable>& variables, CString& error)
{
    const char* start = p;
    while (IsNameChar(*p))
        ++p;
    const std::string name(start, static_cast<size_t>(p - start));
    int index = -1;
    if (!FindVariable(variables, name.c_str(), &index)) {
        error.Format("Variable \"%s\" is not defined, expecting %s parameter %ld", name.c_str(), KindName(kind),
                     static_cast<long>(number));
        return nullptr;
    }
    return &variables[static_cast<size_t>(index)];
}

// Steps over the characters that a number literal may continue with.
const char* SkipNumberRun(const char* p, const char* characters)
{
    while (*p && std::strchr(characters, *p))
        ++p;
    return p;
}

// Opens a parameter: blanks, then something must follow.
bool StartParameter(Kind kind, int number, const char*& p, CString& error, Variable** found)
{
    p = SkipBlanks(p);
    if (*p == '\0') {
        error.Format("Missing %s parameter %ld", KindName(kind), static_cast<long>(number));
        return false;
    }
    if (found)
        *found = nullptr;
    return true;
}

}  // namespace

bool OpenArgumentList(const char*& cursor, CString& error)
{
    const char* p = SkipBlanks(cursor);
    if (*p != '(') {
        error = "Missing '('";
        return false;
    }
    p = SkipBlanks(p + 1);
    if (*p == '\0') {
        error = "missing );";
        return false;
    }
    cursor = p;
    return true;
}

bool ParseEmptyArgumentList(const char*& cursor, CString& error)
{
    const char* p = SkipBlanks(cursor);
    if (*p != '(') {
        error = "Missing '('";
        return false;
    }
    p = SkipBlanks(p + 1);
    if (*p != ')') {
        error = "missing )";
        return false;
    }
    p = SkipBlanks(p + 1);
    if (*p != ';') {
        error = "missing ; after )";
        return false;
    }
    cursor = p;
    return true;
}

bool ReadStringParameter(int number, const char*& cursor, Tovanix::String& value, CString& error,
                         std::vector<Variable>* variables, Variable** found)
{
    const char* p = cursor;
    if (!StartParameter(Kind::String, number, p, error, found))
        return false;
    if (variables && IsNameStart(*p)) {
        Variable* variable = LookUp(Kind::String, number, p, *variables, error);
        if (!variable)
            return false;
        if (variable->type != kVariableString) {
            error.Format("Variable %s is not type STRING, parameter %ld expected STRING", variable->name.c_str(),
                         static_cast<long>(number));
            return false;
        }
        if (!CloseParameter(p, "Expected ',' or ')' after parameter %ld", number, error))
            return false;
        value = variable->sValue;
        if (found)
            *found = variable;
        cursor = p;
        return true;
    }
    if (*p != '"') {
        error.Format("Missing leading \" for string parameter %ld", static_cast<long>(number));
        return false;
    }
    const char* start = p + 1;
    const char* end = start;
    while (*end && *end != '"') {
        if (end - start >= kMaxStringParameter - 1) {
            error.Format("String parameter is too large, must be less than %ld characters",
                         static_cast<long>(kMaxStringParameter));
            return false;
        }
        ++end;
    }
    if (*end != '"') {
        error.Format("Missing trailing \" for string parameter %ld", static_cast<long>(number));
        return false;
    }
    p = end + 1;
    if (!CloseParameter(p, "Expected , or ) after string parameter %ld", number, error))
        return false;
    if (end == start)
        value = "";
    else
        value.Assign(start, static_cast<int32_t>(end - start));
    cursor = p;
    return true;
}

bool ReadIntParameter(int number, const char*& cursor, int& value, CString& error,
                      std::vector<Variable>* variables, Variable** found)
{
    const char* p = cursor;
    if (!StartParameter(Kind::Int, number, p, error, found))
        return false;
    int32_t read = 0;
    Variable* variable = nullptr;
    if (variables && IsNameStart(*p)) {
        variable = LookUp(Kind::Int, number, p, *variables, error);
        if (!variable)
            return false;
        if (variable->type == kVariableInt)
            read = variable->iValue;
        else if (variable->type == kVariableDouble)
            read = ClampDoubleToInt(variable->dValue);
        else {
            error.Format("Variable %s is not type int, parameter %ld expected int", variable->name.c_str(),
                         static_cast<long>(number));
            return false;
        }
    } else {
        if (!ScanIntLiteral(p, read)) {
            error.Format("Invalid int parameter %ld", static_cast<long>(number));
            return false;
        }
        p = SkipNumberRun(p, "0123456789+-");
    }
    if (!CloseParameter(p, "Expected ',' or ')' after parameter %ld", number, error))
        return false;
    value = read;
    if (found)
        *found = variable;
    cursor = p;
    return true;
}

bool ReadDoubleParameter(int number, const char*& cursor, double& value, CString& error,
                         std::vector<Variable>* variables, Variable** found)
{
    const char* p = cursor;
    if (!StartParameter(Kind::Double, number, p, error, found))
        return false;
    double read = 0.0;
    Variable* variable = nullptr;
    if (variables && IsNameStart(*p)) {
        variable = LookUp(Kind::Double, number, p, *variables, error);
        if (!variable)
            return false;
        if (variable->type == kVariableDouble)
            read = variable->dValue;
        else if (variable->type == kVariableInt)
            read = variable->iValue;
        else {
            error.Format("Variable %s is not type double, parameter %ld expected double", variable->name.c_str(),
                         static_cast<long>(number));
            return false;
        }
    } else {
        if (!ScanDoubleLiteral(p, read)) {
            error.Format("Invalid double parameter %ld", static_cast<long>(number));
            return false;
        }
        // A lower-case "e" is not passed over, so "1e5" stops the parameter there.
        p = SkipNumberRun(p, "0123456789+-.E");
    }
    if (!CloseParameter(p, "Expected ',' or ')' after parameter %ld", number, error))
        return false;
    value = read;
    if (found)
        *found = variable;
    cursor = p;
    return true;
}

bool ArgumentListEnded(const char* cursor)
{
    return *SkipBlanks(cursor) == ')';
}
