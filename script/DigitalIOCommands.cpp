// The digital-line commands (the cartridge and clamp sensors, and single
// lines of the digital I/O device: direction, input level, output level) and
// the cartridge bar-code commands (split a bar code into its numbers, find
// its cartridge type, make it the current cartridge).

#include <cstdio>
#include <string>

#include "app/CartridgeTypes.h"
#include "app/VelloraApp.h"
#include "devices/DigitalIO.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"
#include "support/AppLogs.h"

namespace {

constexpr int32_t kGetCartridgeState = 95;
constexpr int32_t kGetClampState = 96;
constexpr int32_t kParseBarCode = 148;
constexpr int32_t kDIO_ConfigureLine = 173;
constexpr int32_t kDIO_GetLineConfiguration = 174;
constexpr int32_t kDIO_GetInputLineState = 176;
constexpr int32_t kDIO_SetOutputLineState = 177;
constexpr int32_t kGetCartridgeTypeFromBarCode = 178;
constexpr int32_t kSetCurrentBarCode = 179;

// Logical lines of the two sensors.
constexpr int kCartridgeSensorLine = 7;
constexpr int kClampSensorLine = 8;

void StoreInt(Variable* target, int value)
{
    if (target && target->type == kVariableInt)
        target->iValue = value;
}

// The state of a sensor line: its bit, inverted when the line reads low for
// logic high.
bool ReadSensor(int logicalLine, int& state, CString& error)
{
    unsigned char value = 0;
    if (!ReadDIOLines(g_DIOLinePort[logicalLine], &value, &error))
        return false;
    const int bit = (value >> g_DIOLineNumber[logicalLine]) & 1;
    state = g_DIOLineStateForLogicHigh[logicalLine] != 0 ? bit : 1 - bit;
    return true;
}

bool SensorCommand(int logicalLine, const char* arguments, std::vector<Variable>& variables, bool check_only,
                   CString& error)
{
    const char* cursor = arguments;
    int ignored = 0;
    Variable* target = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadIntParameter(1, cursor, ignored, error, &variables, &target))
        return false;
    if (!target) {
        error = "Invalid parameter 2, expecting an int variable";
        return false;
    }
    if (check_only)
        return true;
    CString initError;
    if (!Initialize_DIO(&initError, false)) {
        error = initError;
        return false;
    }
    int state = 0;
    if (!ReadSensor(logicalLine, state, error))
        return false;
    StoreInt(target, state);
    return true;
}

// Port and line of a DIO_ command: port 0 has lines 0..7, port 1 lines 0..3.
bool ValidPortAndLine(int port, int line, CString& error)
{
    if (static_cast<unsigned>(port) > 1) {
        error = "iport must be either 0 or 1";
        return false;
    }
    if (port == 0 && (line < 0 || line > 7)) {
        error = "line number must be between 0 and 7 for port=0";
        return false;
    }
    if (port == 1 && (line < 0 || line > 3)) {
        error = "line number must be between 0 and 3 for port=1";
        return false;
    }
    return true;
}

// Opens the list and reads port, line and the third int (value or variable).
bool ReadPortLineAndInt(const char* arguments, std::vector<Variable>& variables, int& port, int& line, int& third,
                        Variable** target, CString& error)
{
    const char* cursor = arguments;
    return OpenArgumentList(cursor, error) && ReadIntParameter(1, cursor, port, error, &variables, nullptr) &&
           ReadIntParameter(2, cursor, line, error, &variables, nullptr) &&
           ReadIntParameter(3, cursor, third, error, &variables, target);
}

// Reads the group of a bar code as "%ld" does: blanks and a sign are taken,
// and the number stops at the first character that is no digit.
bool ReadBarCodeGroup(const std::string& digits, size_t from, size_t count, int& value)
{
    const std::string group = digits.substr(from, count);
    long number = 0;
    if (std::sscanf(group.c_str(), "%ld", &number) != 1)
        return false;
    value = static_cast<int>(number);
    return true;
}

}  // namespace

bool Script::GetCartridgeState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    return SensorCommand(kCartridgeSensorLine, arguments, variables, check_only, error);
}

bool Script::GetClampState(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    return SensorCommand(kClampSensorLine, arguments, variables, check_only, error);
}

bool Script::DIO_ConfigureLine(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    int port = 0, line = 0, type = 0;
    if (!ReadPortLineAndInt(arguments, variables, port, line, type, nullptr, error))
        return false;
    if (check_only)
        return true;
    if (!ValidPortAndLine(port, line, error))
        return false;
    return ConfigureDIOLineType(port, line, type != 0 ? 1 : 0, &error);
}

bool Script::DIO_GetLineConfiguration(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                      CString& error)
{
    int port = 0, line = 0, ignored = 0;
    Variable* target = nullptr;
    if (!ReadPortLineAndInt(arguments, variables, port, line, ignored, &target, error))
        return false;
    if (check_only)
        return true;
    int type = 0;
    if (!ValidPortAndLine(port, line, error) || !GetDIOLineType(port, line, &type, &error))
        return false;
    StoreInt(target, type);
    return true;
}

bool Script::DIO_GetInputLineState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                   CString& error)
{
    int port = 0, line = 0, ignored = 0;
    Variable* target = nullptr;
    if (!ReadPortLineAndInt(arguments, variables, port, line, ignored, &target, error))
        return false;
    if (check_only)
        return true;
    int type = 0;
    if (!ValidPortAndLine(port, line, error) || !GetDIOLineType(port, line, &type, &error))
        return false;
    if (type != 0) {
        error.Format("port=%ld line=%ld is not configured for input", static_cast<long>(port), static_cast<long>(line));
        return false;
    }
    bool level = false;
    if (!GetDIOInputLineState(port, line, &level, &error))
        return false;
    StoreInt(target, level ? 1 : 0);
    return true;
}

bool Script::DIO_SetOutputLineState(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                    CString& error)
{
    int port = 0, line = 0, state = 0;
    if (!ReadPortLineAndInt(arguments, variables, port, line, state, nullptr, error))
        return false;
    if (check_only)
        return true;
    if (!ValidPortAndLine(port, line, error))
        return false;
    if (state != 0 && state != 1) {
        error = "state must be 0 or 1";
        return false;
    }
    int type = 0;
    if (!GetDIOLineType(port, line, &type, &error))
        return false;
    if (type == 0) {
        error.Format("port=%ld line=%ld is not configured for output", static_cast<long>(port),
                     static_cast<long>(line));
        return false;
    }
    return SetDIOOutputLineState(port, line, state == 1, &error);
}

bool Script::ParseBarCode(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    Tovanix::String barCode;
    int ignored = 0;
    Variable* valid = nullptr;
    Variable* number[3] = {};
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, barCode, error, &variables, nullptr) ||
        !ReadIntParameter(2, cursor, ignored, error, &variables, &valid))
        return false;
    for (int i = 0; i < 3; ++i) {
        if (!ReadIntParameter(i + 3, cursor, ignored, error, &variables, &number[i]))
            return false;
    }
    if (check_only)
        return true;

    std::string digits;
    for (const char* c = barCode.c_str(); *c; ++c) {
        if (*c != '-')
            digits += *c;
    }
    // Groups of three, three and four characters; anything after them is ignored.
    static constexpr size_t kGroupStart[3] = {0, 3, 6};
    static constexpr size_t kGroupLength[3] = {3, 3, 4};
    if (digits.size() < 10) {
        StoreInt(valid, 0);
        return true;
    }
    for (int i = 0; i < 3; ++i) {
        int value = 0;
        if (!ReadBarCodeGroup(digits, kGroupStart[i], kGroupLength[i], value)) {
            StoreInt(valid, 0);
            return true;
        }
        StoreInt(number[i], value);
    }
    StoreInt(valid, 1);
    return true;
}

bool Script::GetCartridgeTypeFromBarCode(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                         CString& error)
{
    const char* cursor = arguments;
    Tovanix::String barCode, ignored;
    Variable* target = nullptr;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, barCode, error, &variables, nullptr) ||
        !ReadStringParameter(2, cursor, ignored, error, &variables, &target))
        return false;
    if (check_only)
        return true;
    Tovanix::String typeName, definitionFile;
    if (!FindCartridgeTypeByBarcode(barCode.c_str(), typeName, definitionFile))
        typeName = "";
    if (target && target->type == kVariableString)
        target->sValue = typeName;
    return true;
}

bool Script::SetCurrentBarCode(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    const char* cursor = arguments;
    Tovanix::String barCode;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, barCode, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    theApp.m_strCartridgeTypeCode = barCode;
    // The script goes on either way; a settings file left unchanged is logged.
    CString imposeError;
    if (!ImposeCartridgeTypeOffsets(theApp.m_strIniPath, barCode.c_str(), imposeError)) {
        CString message;
        message.Format("SetCurrentBarCode() - settings of bar code %s not applied: %s", barCode.c_str(),
                       imposeError.GetString());
        LogErrAndInfo(__FILE__, __LINE__, message);
    }
    return true;
}

void InstallDigitalIOCommands(BuiltInHandlerTable& table)
{
    table.Set(kGetCartridgeState, &Script::GetCartridgeState);
    table.Set(kGetClampState, &Script::GetClampState);
    table.Set(kParseBarCode, &Script::ParseBarCode);
    table.Set(kDIO_ConfigureLine, &Script::DIO_ConfigureLine);
    table.Set(kDIO_GetLineConfiguration, &Script::DIO_GetLineConfiguration);
    table.Set(kDIO_GetInputLineState, &Script::DIO_GetInputLineState);
    table.Set(kDIO_SetOutputLineState, &Script::DIO_SetOutputLineState);
    table.Set(kGetCartridgeTypeFromBarCode, &Script::GetCartridgeTypeFromBarCode);
    table.Set(kSetCurrentBarCode, &Script::SetCurrentBarCode);
}
