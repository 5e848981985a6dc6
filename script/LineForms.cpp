#include "script/LineForms.h"

#include <cstring>
#include <string>

namespace {

bool IsLineEnd(const char* p) { return *p == '\0' || (p[0] == '/' && p[1] == '/'); }

bool IsBlockLine(const char* line, char brace)
{
    const char* p = SkipBlanks(line);
    if (*p != brace)
        return false;
    return IsLineEnd(SkipBlanks(p + 1));
}

bool IsKeywordStatement(const char* line, const char* keyword)
{
    const char* p = SkipBlanks(line);
    const size_t length = std::strlen(keyword);
    if (std::strncmp(p, keyword, length) != 0)
        return false;
    p = SkipBlanks(p + length);
    if (*p != ';')
        return false;
    return IsLineEnd(p + 1);
}

// The name at the cursor, when one starts there.
bool ReadName(const char*& p, std::string& name)
{
    if (!IsNameStart(*p))
        return false;
    const char* start = p;
    while (IsNameChar(*p))
        ++p;
    name.assign(start, static_cast<size_t>(p - start));
    return true;
}

const Variable* FindNamed(const std::string& name, std::vector<Variable>& variables)
{
    int index = -1;
    return FindVariable(variables, name.c_str(), &index) ? &variables[static_cast<size_t>(index)] : nullptr;
}

// The longest run of the given characters at p.
std::string Run(const char* p, const char* characters)
{
    const char* end = p;
    while (*end && std::strchr(characters, *end))
        ++end;
    return std::string(p, static_cast<size_t>(end - p));
}

enum class Operator { None, Equal, LessEqual, GreaterEqual, Less, Greater, NotEqual };

bool ReadOperator(const char*& p, Operator& op)
{
    static const struct {
        const char* text;
        Operator op;
    } operators[] = {{"==", Operator::Equal}, {"<=", Operator::LessEqual}, {">=", Operator::GreaterEqual},
                     {"<", Operator::Less},   {">", Operator::Greater},    {"!=", Operator::NotEqual}};
    for (const auto& candidate : operators) {
        const size_t length = std::strlen(candidate.text);
        if (std::strncmp(p, candidate.text, length) == 0) {
            p += length;
            op = candidate.op;
            return true;
        }
    }
    return false;
}

// The comparison of two values whose order is given by compare (<0, 0, >0);
// unordered values (a NaN) make every comparison but "!=" false.
template <typename T>
bool Compare(const T& a, const T& b, Operator op)
{
    switch (op) {
    case Operator::Equal: return a == b;
    case Operator::NotEqual: return !(a == b);
    case Operator::Less: return a < b;
    case Operator::LessEqual: return a <= b;
    case Operator::Greater: return a > b;
    case Operator::GreaterEqual: return a >= b;
    default: return false;
    }
}

}  // namespace

bool IsBlockBegin(const char* line) { return IsBlockLine(line, '{'); }
bool IsBlockEnd(const char* line) { return IsBlockLine(line, '}'); }
bool IsContinueStatement(const char* line) { return IsKeywordStatement(line, "continue"); }
bool IsBreakStatement(const char* line) { return IsKeywordStatement(line, "break"); }
bool IsReturnStatement(const char* line) { return IsKeywordStatement(line, "return"); }

bool SplitFunctionCall(const Tovanix::String& line, Tovanix::String& name, Tovanix::String& arguments)
{
    const char* p = SkipBlanks(line.c_str());
    std::string identifier;
    if (!ReadName(p, identifier))
        return false;
    p = SkipBlanks(p);
    // "ResetDIO;" has always been accepted without its parentheses.
    if (*p != '(' && !(identifier == "ResetDIO" && *p == ';'))
        return false;
    name = identifier.c_str();
    arguments = p;
    return true;
}

bool ReadDoubleOperand(const char*& cursor, double& value, std::vector<Variable>& variables)
{
    const char* p = SkipBlanks(cursor);
    cursor = p;  // the blanks stay skipped
    if (*p == '\0')
        return false;
    std::string name;
    if (ReadName(p, name)) {
        const Variable* variable = FindNamed(name, variables);
        if (!variable || variable->type == kVariableString)
            return false;
        value = variable->type == kVariableDouble ? variable->dValue : variable->iValue;
        cursor = p;
        return true;
    }
    const std::string run = Run(p, "0123456789+-.Ee");
    if (run.empty() || !ScanDoubleLiteral(run.c_str(), value))
        return false;
    cursor = p + run.size();
    return true;
}

bool ReadIntOperand(const char*& cursor, int& value, std::vector<Variable>& variables)
{
    const char* p = SkipBlanks(cursor);
    cursor = p;
    if (*p == '\0')
        return false;
    std::string name;
    if (ReadName(p, name)) {
        const Variable* variable = FindNamed(name, variables);
        if (!variable || variable->type == kVariableString)
            return false;
        value = variable->type == kVariableInt ? variable->iValue : ClampDoubleToInt(variable->dValue);
        cursor = p;
        return true;
    }
    const std::string run = Run(p, "0123456789+-");
    int32_t read = 0;
    if (run.empty() || !ScanIntLiteral(run.c_str(), read))
        return false;
    value = read;
    cursor = p + run.size();
    return true;
}

bool ReadStringOperand(const char*& cursor, Tovanix::String& value, std::vector<Variable>& variables)
{
    const char* p = SkipBlanks(cursor);
    cursor = p;
    if (*p == '\0')
        return false;
    std::string name;
    if (ReadName(p, name)) {
        const Variable* variable = FindNamed(name, variables);
        if (!variable || variable->type != kVariableString)
            return false;
        value = variable->sValue;
        cursor = p;
        return true;
    }
    if (*p != '"')
        return false;
    const char* close = std::strchr(p + 1, '"');
    if (!close)
        return false;
    if (close == p + 1)
        value = "";
    else
        value.Assign(p + 1, static_cast<int32_t>(close - p - 1));
    cursor = close + 1;
    return true;
}

bool ParseCondition(const char* line, std::vector<Variable>& variables, bool& result, int& kind)
{
    const char* p = SkipBlanks(line);
    if (std::strncmp(p, "if", 2) == 0) {
        kind = kConditionIf;
        p += 2;
    } else if (std::strncmp(p, "while", 5) == 0) {
        kind = kConditionWhile;
        p += 5;
    } else {
        return false;
    }
    p = SkipBlanks(p);
    if (*p != '(')
        return false;
    ++p;

    enum class Type { Double, Int, String } type;
    double d1 = 0.0, d2 = 0.0;
    int i1 = 0, i2 = 0;
    Tovanix::String s1, s2;
    if (ReadDoubleOperand(p, d1, variables))
        type = Type::Double;
    else if (ReadIntOperand(p, i1, variables))
        type = Type::Int;
    else if (ReadStringOperand(p, s1, variables))
        type = Type::String;
    else
        return false;

    p = SkipBlanks(p);
    Operator op = Operator::None;
    if (*p != ')') {
        if (!ReadOperator(p, op))
            return false;
        bool read = false;
        switch (type) {
        case Type::Double: read = ReadDoubleOperand(p, d2, variables); break;
        case Type::Int: read = ReadIntOperand(p, i2, variables); break;
        case Type::String: read = ReadStringOperand(p, s2, variables); break;
        }
        if (!read)
            return false;
        p = SkipBlanks(p);
        if (*p != ')')
            return false;
    }
    if (!IsLineEnd(SkipBlanks(p + 1)))
        return false;

    switch (type) {
    case Type::Double: result = op == Operator::None ? d1 != 0.0 : Compare(d1, d2, op); break;
    case Type::Int: result = op == Operator::None ? i1 != 0 : Compare(i1, i2, op); break;
    case Type::String: {
        if (op == Operator::None) {
            result = s1.c_str()[0] != '\0';
        } else {
            // strcmp orders by unsigned characters, a proper prefix first.
            const int order = std::strcmp(s1.c_str(), s2.c_str());
            result = Compare(order, 0, op);
        }
        break;
    }
    }
    return true;
}
