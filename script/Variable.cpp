#include "script/Variable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Longest literal of a STRING assignment: the closing quote must be among
// the first 1000 characters after the opening one.
constexpr int kMaxQuotedAssignment = 1000;

bool IsTypeEnd(char ch) { return IsBlank(ch); }

// Reads a name at text; returns its length (0 when none starts there).
int NameLength(const char* text)
{
    if (!IsNameStart(*text))
        return 0;
    int length = 1;
    while (IsNameChar(text[length]))
        ++length;
    return length;
}

char FoldAscii(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch; }

bool NamesEqual(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b))
            return false;
    }
    return *a == *b;
}

int32_t WrapToInt(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }

// Length of the run of characters that a double literal of an assignment
// consumes: digits, '.', 'E', 'e', '+', '-'.
int DoubleRunLength(const char* text)
{
    int length = 0;
    while (text[length] != '\0' && ((text[length] >= '0' && text[length] <= '9') || std::strchr(".Ee+-", text[length])))
        ++length;
    return length;
}

// An optional sign, then digits.
int IntRunLength(const char* text)
{
    int length = (*text == '+' || *text == '-') ? 1 : 0;
    while (text[length] >= '0' && text[length] <= '9')
        ++length;
    return length;
}

bool ReadVariableValue(Variable& target, const char* text, std::vector<Variable>& variables, CString& error,
                       int* consumed)
{
    const int length = NameLength(text);
    const std::string name(text, static_cast<size_t>(length));
    int index = -1;
    if (!FindVariable(variables, name.c_str(), &index)) {
        error.Format("Invalid assignment string \"%s\" has not been declared", name.c_str());
        return false;
    }
    // Copy first: the source may be the target itself.
    const Variable source = variables[static_cast<size_t>(index)];
    switch (target.type) {
    case kVariableDouble:
        if (source.type == kVariableDouble)
            target.dValue = source.dValue;
        else if (source.type == kVariableInt)
            target.dValue = source.iValue;
        else {
            error.Format("Invalid assignment string \"%s\" is not type double or int", name.c_str());
            return false;
        }
        break;
    case kVariableInt:
        if (source.type == kVariableInt)
            target.iValue = source.iValue;
        else if (source.type == kVariableDouble)
            target.iValue = ClampDoubleToInt(source.dValue);
        else {
            error.Format("Invalid assignment string \"%s\" is not type int or double", name.c_str());
            return false;
        }
        break;
    default:  // STRING
        if (source.type == kVariableString)
            target.sValue = source.sValue;
        else if (source.type == kVariableInt)
            target.sValue = Tovanix::String(source.iValue);
        else
            target.sValue = Tovanix::String(source.dValue);
        break;
    }
    if (consumed)
        *consumed += length;
    return true;
}

}  // namespace

int32_t ClampDoubleToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483647.0)
        return 2147483647;
    if (value <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int32_t>(value);  // truncates toward zero
}

bool ScanIntLiteral(const char* text, int32_t& value)
{
    const char* start = text;
    while (*start == ' ' || (*start >= '\t' && *start <= '\r'))
        ++start;
    const char* digits = start + ((*start == '+' || *start == '-') ? 1 : 0);
    if (!(*digits >= '0' && *digits <= '9'))
        return false;
    errno = 0;
    const long long wide = std::strtoll(start, nullptr, 10);
    value = static_cast<int32_t>(std::clamp<long long>(wide, INT32_MIN, INT32_MAX));
    return true;
}

bool ScanDoubleLiteral(const char* text, double& value)
{
    char* end = nullptr;
    const double read = std::strtod(text, &end);
    if (end == text)
        return false;
    value = read;
    return true;
}

bool Variable::ApplyOperator(const Variable& operand, char op, CString& error, bool check_only)
{
    switch (type) {
    case kVariableDouble:
        switch (op) {
        case '*': dValue *= operand.dValue; return true;
        case '+': dValue += operand.dValue; return true;
        case '-': dValue -= operand.dValue; return true;
        case '/':
            if (operand.dValue == 0.0) {
                if (check_only)
                    return true;  // the check pass divides by 1
                error = "Attempt to divide by zero.";
                return false;
            }
            dValue /= operand.dValue;
            return true;
        default:
            error = "Invalid math operator, must be * / + -";
            return false;
        }
    case kVariableInt:
        switch (op) {
        case '*': iValue = WrapToInt(static_cast<int64_t>(iValue) * operand.iValue); return true;
        case '+': iValue = WrapToInt(static_cast<int64_t>(iValue) + operand.iValue); return true;
        case '-': iValue = WrapToInt(static_cast<int64_t>(iValue) - operand.iValue); return true;
        case '/':
            if (operand.iValue == 0) {
                if (check_only)
                    return true;
                error = "Attempt to divide by zero.";
                return false;
            }
            // In 64 bits the most negative int divided by -1 does not trap;
            // it wraps back to itself like the other int operations.
            iValue = WrapToInt(static_cast<int64_t>(iValue) / operand.iValue);
            return true;
        default:
            error = "Invalid math operator, must be * / + -";
            return false;
        }
    case kVariableString:
        if (op != '+') {
            error = "Invalid math operator, must be +";
            return false;
        }
        sValue.Append(operand.sValue.c_str());
        return true;
    default:
        error.Format("Variable %s has undefined type", name.c_str());
        return false;
    }
}

bool ParseVariableType(Tovanix::String& statement, int& type)
{
    const char* text = statement.c_str();
    const char* start = SkipBlanks(text);
    struct Keyword {
        const char* word;
        int length;
        int type;
    };
    static const Keyword keywords[] = {{"double", 6, kVariableDouble}, {"int", 3, kVariableInt},
                                       {"STRING", 6, kVariableString}};
    for (const Keyword& keyword : keywords) {
        if (std::strncmp(start, keyword.word, static_cast<size_t>(keyword.length)) == 0 &&
            IsTypeEnd(start[keyword.length])) {
            type = keyword.type;
            statement.Delete(0, static_cast<int32_t>(start - text) + keyword.length);
            return true;
        }
    }
    return false;
}

bool DeclareVariables(Tovanix::String& statement, int type, std::vector<Variable>& variables, int depth,
                      CString& error)
{
    const char* text = statement.c_str();
    int pos = 0;
    for (;;) {
        pos = static_cast<int>(SkipBlanks(text + pos) - text);
        const int length = NameLength(text + pos);
        if (length == 0) {
            error.Format("Invalid variable name: %s", text + pos);
            return false;
        }
        Variable variable;
        variable.type = type;
        variable.scope = depth;
        variable.name.Assign(text + pos, length);
        pos += length;
        if (IsBlank(text[pos]))
            ++pos;

        const char ch = text[pos];
        if (ch == ';') {
            if (!AddVariable(variables, variable, error))
                return false;
            statement.Delete(0, pos + 1);
            return true;
        }
        if (ch == ',') {
            if (!AddVariable(variables, variable, error))
                return false;
            ++pos;
            continue;
        }
        if (ch == '=') {
            const int valueStart = pos + 1;
            pos = static_cast<int>(SkipBlanks(text + valueStart) - text);
            int consumed = 0;
            if (!EvaluateAssignmentValue(variable, text + pos, variables, error, &consumed))
                return false;
            pos = static_cast<int>(SkipBlanks(text + pos + consumed) - text);
            if (text[pos] != ';') {
                error = "Expected ';' after variable assignment.";
                return false;
            }
            if (!AddVariable(variables, variable, error))
                return false;
            int end = valueStart;
            if (!ParseQuotedString(text, end, error))
                end = pos;
            statement.Delete(0, end + 1);
            return true;
        }
        // Anything else: the name just read is dropped and reading goes on
        // from here ("int a b;" declares only b).
    }
}

bool FindLeadingVariable(Tovanix::String& statement, std::vector<Variable>& variables, Variable*& found)
{
    const char* text = statement.c_str();
    const char* start = SkipBlanks(text);
    const int length = NameLength(start);
    if (length == 0)
        return false;
    const std::string name(start, static_cast<size_t>(length));
    int index = -1;
    if (!FindVariable(variables, name.c_str(), &index))
        return false;
    found = &variables[static_cast<size_t>(index)];
    statement.Delete(0, static_cast<int32_t>(start - text) + length);
    return true;
}

bool AssignVariable(const char* text, Variable& target, std::vector<Variable>& variables, CString& error,
                    bool check_only)
{
    text = SkipBlanks(text);
    if (*text == '=') {
        text = SkipBlanks(text + 1);
        int consumed = 0;
        if (!EvaluateAssignmentValue(target, text, variables, error, &consumed))
            return false;
        text = SkipBlanks(text + consumed);
        if (*text != ';') {
            error = "Expected ';' after variable assignment.";
            return false;
        }
        return true;
    }
    if ((*text == '*' || *text == '/' || *text == '+' || *text == '-') && text[1] == '=') {
        const char op = *text;
        text = SkipBlanks(text + 2);
        Variable operand;
        operand.type = target.type;
        if (!EvaluateAssignmentValue(operand, text, variables, error, nullptr))
            return false;
        return target.ApplyOperator(operand, op, error, check_only);
    }
    error = "Expected '=' following variable name.";
    return false;
}

bool EvaluateAssignmentValue(Variable& target, const char* text, std::vector<Variable>& variables,
                             CString& error, int* consumed)
{
    if (target.type != kVariableDouble && target.type != kVariableInt && target.type != kVariableString) {
        error.Format("Variable %s has undefined type", target.name.c_str());
        return false;
    }
    if (IsNameStart(*text))
        return ReadVariableValue(target, text, variables, error, consumed);

    switch (target.type) {
    case kVariableDouble: {
        double value = 0.0;
        if (!ScanDoubleLiteral(text, value)) {
            error.Format("Invalid assignment string \"%s\" for variable %s", text, target.name.c_str());
            return false;
        }
        target.dValue = value;
        if (consumed)
            *consumed += DoubleRunLength(text);
        return true;
    }
    case kVariableInt: {
        int32_t value = 0;
        if (!ScanIntLiteral(text, value)) {
            error.Format("Invalid assignment string \"%s\" for variable %s", text, target.name.c_str());
            return false;
        }
        target.iValue = value;
        if (consumed)
            *consumed += IntRunLength(text);
        return true;
    }
    default: {
        if (*text != '"')
            return true;  // not a STRING value: nothing read, nothing changed
        // The search stops at the end of the text as well as after 1000 characters.
        int close = 1;
        while (close <= kMaxQuotedAssignment && text[close] && text[close] != '"')
            ++close;
        if (close > kMaxQuotedAssignment) {
            error.Format("Invalid assignment end quote not found after 1000 characters while assigning variable %s",
                         target.name.c_str());
            return false;
        }
        if (text[close] != '"') {
            error.Format("Invalid assignment end quote not found while assigning variable %s", target.name.c_str());
            return false;
        }
        if (close == 1)
            target.sValue = "";
        else
            target.sValue.Assign(text + 1, close - 1);
        if (consumed)
            *consumed += close + 1;
        return true;
    }
    }
}

bool ParseQuotedString(const char* text, int& position, CString& error)
{
    int pos = static_cast<int>(SkipBlanks(text + position) - text);
    if (text[pos] == '"') {
        ++pos;
        while (text[pos] && text[pos] != '"')
            ++pos;
        if (!text[pos]) {
            error = "ParseQuotedString () : missing closing quote";
            return false;
        }
        ++pos;
    }
    while (text[pos] && text[pos] != ',' && text[pos] != ';')
        ++pos;
    if (!text[pos]) {
        error = "ParseQuotedString () : missing , or ;";
        return false;
    }
    position = pos;
    return true;
}

bool AddVariable(std::vector<Variable>& variables, const Variable& variable, CString& error)
{
    if (FindVariable(variables, variable.name.c_str(), nullptr)) {
        error.Format("Variable %s has already been defined.", variable.name.c_str());
        return false;
    }
    variables.push_back(variable);
    return true;
}

bool RemoveScopeVariables(std::vector<Variable>& variables, int depth)
{
    std::erase_if(variables, [depth](const Variable& variable) { return variable.scope == depth; });
    return true;
}

bool FindVariable(const std::vector<Variable>& variables, const char* name, int* index)
{
    for (size_t i = 0; i < variables.size(); ++i) {
        if (NamesEqual(variables[i].name.c_str(), name)) {
            if (index)
                *index = static_cast<int>(i);
            return true;
        }
    }
    return false;
}
