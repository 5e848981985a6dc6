// The commands that convert and edit script values: text to numbers, the
// integer test, length, left and right parts, replacement and the time text.
// Results go only into variables of the result's type; a literal or a
// variable of another type in that place receives nothing.

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Time.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"

namespace {

constexpr int32_t kStringToInt = 134;
constexpr int32_t kStringToDouble = 135;
constexpr int32_t kStrLen = 157;
constexpr int32_t kStrLeft = 158;
constexpr int32_t kStrRight = 159;
constexpr int32_t kStrReplace = 160;
constexpr int32_t kGetCurrentTimeAsString = 162;
constexpr int32_t kIsStringInt = 190;

// "%ld" of a 32-bit long: a value past the range wraps as the conversion of
// the instrument computer did, rather than depending on the host's long.
bool ScanInt32(const char* text, int32_t& value)
{
    long long wide = 0;
    if (std::sscanf(text, "%lld", &wide) != 1)
        return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(wide)));
    return true;
}

// A STRING parameter and an int variable for the result.
bool ReadTextAndIntTarget(const char* arguments, std::vector<Variable>& variables, Tovanix::String& text,
                          Variable*& target, CString& error)
{
    const char* cursor = arguments;
    int unused = 0;
    return OpenArgumentList(cursor, error) && ReadStringParameter(1, cursor, text, error, &variables, nullptr) &&
           ReadIntParameter(2, cursor, unused, error, &variables, &target);
}

// A STRING variable to edit and an int count.
bool ReadTextTargetAndCount(const char* arguments, std::vector<Variable>& variables, Tovanix::String& text,
                            Variable*& target, int& count, CString& error)
{
    const char* cursor = arguments;
    return OpenArgumentList(cursor, error) && ReadStringParameter(1, cursor, text, error, &variables, &target) &&
           ReadIntParameter(2, cursor, count, error, &variables, nullptr);
}

bool IsStringVariable(const Variable* v) { return v && v->type == kVariableString; }
bool IsIntVariable(const Variable* v) { return v && v->type == kVariableInt; }

}  // namespace

bool Script::StringToInt(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Tovanix::String text;
    Variable* target = nullptr;
    if (!ReadTextAndIntTarget(arguments, variables, text, target, error))
        return false;
    if (check_only)
        return true;
    int32_t value = 0;
    if (!ScanInt32(text.c_str(), value)) {
        error.Format("Unable to convert: \"%s\" to an int.", text.c_str());
        return false;
    }
    if (IsIntVariable(target))
        target->iValue = value;
    return true;
}

bool Script::StringToDouble(const char* arguments, std::vector<Variable>& variables, bool check_only,
                            CString& error)
{
    const char* cursor = arguments;
    Tovanix::String text;
    double unused = 0;
    Variable* target = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, text, error, &variables, nullptr) ||
        !ReadDoubleParameter(2, cursor, unused, error, &variables, &target))
        return false;
    if (check_only)
        return true;
    double value = 0;
    if (std::sscanf(text.c_str(), "%lf", &value) != 1) {
        error.Format("Unable to convert: \"%s\" to a double.", text.c_str());
        return false;
    }
    if (target && target->type == kVariableDouble)
        target->dValue = value;
    return true;
}

bool Script::IsStringInt(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Tovanix::String text;
    Variable* target = nullptr;
    if (!ReadTextAndIntTarget(arguments, variables, text, target, error))
        return false;
    if (check_only)
        return true;
    // Canonical form only: the number written back must be the whole text.
    int result = 0;
    int32_t value = 0;
    if (text.GetLength() > 0 && ScanInt32(text.c_str(), value)) {
        char canonical[16];
        std::snprintf(canonical, sizeof canonical, "%d", value);
        result = std::strlen(canonical) == static_cast<size_t>(text.GetLength()) ? 1 : 0;
    }
    if (IsIntVariable(target))
        target->iValue = result;
    return true;
}

bool Script::StrLen(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Tovanix::String text;
    Variable* target = nullptr;
    if (!ReadTextAndIntTarget(arguments, variables, text, target, error))
        return false;
    if (!check_only && IsIntVariable(target))
        target->iValue = text.GetLength();
    return true;
}

bool Script::StrLeft(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Tovanix::String text;
    Variable* target = nullptr;
    int count = 0;
    if (!ReadTextTargetAndCount(arguments, variables, text, target, count, error))
        return false;
    if (!check_only && IsStringVariable(target) && count < text.GetLength()) {
        const std::string kept(text.c_str(), static_cast<size_t>(count < 0 ? 0 : count));
        target->sValue = kept.c_str();
    }
    return true;
}

bool Script::StrRight(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    Tovanix::String text;
    Variable* target = nullptr;
    int count = 0;
    if (!ReadTextTargetAndCount(arguments, variables, text, target, count, error))
        return false;
    const int32_t length = text.GetLength();
    if (!check_only && IsStringVariable(target) && count < length) {
        const std::string kept(text.c_str() + (count < 0 ? length : length - count));
        target->sValue = kept.c_str();
    }
    return true;
}

bool Script::StrReplace(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    Tovanix::String text, find, replacement;
    Variable* textTarget = nullptr;
    Variable* countTarget = nullptr;
    int count = 0;
    if (!OpenArgumentList(cursor, error) ||
        !ReadStringParameter(1, cursor, text, error, &variables, &textTarget) ||
        !ReadStringParameter(2, cursor, find, error, &variables, nullptr) ||
        !ReadStringParameter(3, cursor, replacement, error, &variables, nullptr) ||
        !ReadIntParameter(4, cursor, count, error, &variables, &countTarget))
        return false;
    if (check_only)
        return true;
    // A count of 1 or less still replaces the first occurrence.
    const int32_t made = text.Replace(find.c_str(), replacement.c_str(), count);
    if (IsStringVariable(textTarget))
        textTarget->sValue = text.c_str();
    if (IsIntVariable(countTarget))
        countTarget->iValue = made;
    return true;
}

bool Script::GetCurrentTimeAsString(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                    CString& error)
{
    const char* cursor = arguments;
    Tovanix::String unusedText;
    Variable* target = nullptr;
    int unused = 0;
    if (!OpenArgumentList(cursor, error) ||
        !ReadStringParameter(1, cursor, unusedText, error, &variables, &target) ||
        !ReadIntParameter(2, cursor, unused, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    if (IsStringVariable(target))
        target->sValue = text;
    return true;
}

void InstallStringCommands(BuiltInHandlerTable& table)
{
    table.Set(kStringToInt, &Script::StringToInt);
    table.Set(kStringToDouble, &Script::StringToDouble);
    table.Set(kStrLen, &Script::StrLen);
    table.Set(kStrLeft, &Script::StrLeft);
    table.Set(kStrRight, &Script::StrRight);
    table.Set(kStrReplace, &Script::StrReplace);
    table.Set(kGetCurrentTimeAsString, &Script::GetCurrentTimeAsString);
    table.Set(kIsStringInt, &Script::IsStringInt);
}
