// The stage commands (absolute and relative moves, homing, the position and
// the wait for a move) and the temperature read-out of the stage driver, the
// pumps and the camera. Axes are named "X" and "Z" (the focus axis) in
// scripts; moves are in millimetres.

#include <cstdio>
#include <string>

#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/TecanCentris.h"
#include "devices/Zaber.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "script/Script.h"
#include "script/StageAxis.h"
#include "support/CachedLog.h"

namespace {

constexpr int32_t kZB_MoveToPosition_mm = 81;
constexpr int32_t kZB_MoveRelative_mm = 82;
constexpr int32_t kZB_GetPosition_mm = 83;
constexpr int32_t kZB_WaitForMoveToFinish = 84;
constexpr int32_t kZB_Home = 123;
constexpr int32_t kGetTemperatures = 136;

// The commands accept a wider range than the driver, which refuses the rest
// with its own message.
constexpr double kMoveLimitMm = 200.0;
constexpr uint32_t kDefaultLogWaitMs = 5000;

bool AxisOf(const char* command, const Tovanix::String& name, int& axis, CString& error)
{
    axis = ScriptStageAxis(name);
    if (axis < 0) {
        error.Format("%s() axis must have value \"X\" or \"Z\"", command);
        return false;
    }
    return true;
}

// Written so that a value that is not a number fails too.
bool InRange(const char* command, double millimetres, CString& error)
{
    if (!(millimetres >= -kMoveLimitMm && millimetres <= kMoveLimitMm)) {
        error.Format("%s() position must be between -200 and +200 mm", command);
        return false;
    }
    return true;
}

}  // namespace

bool Script::ZB_MoveToPosition_mm(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                  CString& error)
{
    const char* cursor = arguments;
    Tovanix::String axisName;
    double position = 0;
    int axis = -1;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, axisName, error, &variables, nullptr) ||
        !AxisOf("ZB_MoveToPosition_mm", axisName, axis, error) ||
        !ReadDoubleParameter(2, cursor, position, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (!InRange("ZB_MoveToPosition_mm", position, error) || !InitializeStageForCommand("ZB_MoveToPosition_mm", error))
        return false;
    CString driverError;
    if (!Zaber::MoveToPosition_mm(axis, position, &driverError)) {
        error = driverError;
        return false;
    }
    return true;
}

bool Script::ZB_Home(const char* arguments, std::vector<Variable>& variables, bool check_only, CString& error)
{
    const char* cursor = arguments;
    Tovanix::String axisName;
    int axis = -1;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, axisName, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;
    if (!AxisOf("ZB_Home", axisName, axis, error) || !InitializeStageForCommand("ZB_Home", error))
        return false;
    CString driverError;
    if (!Zaber::Home(axis, &driverError)) {
        error = driverError;
        return false;
    }
    return true;
}

bool Script::ZB_MoveRelative_mm(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                CString& error)
{
    const char* cursor = arguments;
    Tovanix::String axisName;
    double distance = 0;
    int axis = -1;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, axisName, error, &variables, nullptr) ||
        !ReadDoubleParameter(2, cursor, distance, error, &variables, nullptr) ||
        !AxisOf("ZB_MoveRelative_mm", axisName, axis, error))
        return false;
    if (check_only)
        return true;
    if (!InRange("ZB_MoveRelative_mm", distance, error) || !InitializeStageForCommand("ZB_MoveRelative_mm", error))
        return false;
    CString driverError;
    if (!Zaber::MoveRelative_mm(axis, distance, &driverError)) {
        error = driverError;
        return false;
    }
    return true;
}

bool Script::ZB_GetPosition_mm(const char* arguments, std::vector<Variable>& variables, bool check_only,
                               CString& error)
{
    const char* cursor = arguments;
    Tovanix::String axisName;
    double ignored = 0;
    Variable* target = nullptr;
    int axis = -1;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, axisName, error, &variables, nullptr) ||
        !AxisOf("ZB_GetPosition_mm", axisName, axis, error) ||
        !ReadDoubleParameter(2, cursor, ignored, error, &variables, &target))
        return false;
    if (check_only)
        return true;
    if (!InitializeStageForCommand("ZB_GetPosition_mm", error))
        return false;
    double position = 0;
    CString driverError;
    if (!Zaber::GetPosition_mm_s(axis, &position, &driverError)) {
        error = driverError;
        return false;
    }
    if (target && target->type == kVariableDouble)
        target->dValue = position;
    return true;
}

bool Script::ZB_WaitForMoveToFinish(const char* arguments, std::vector<Variable>& variables, bool check_only,
                                    CString& error)
{
    const char* cursor = arguments;
    Tovanix::String axisName;
    int axis = -1;
    if (!OpenArgumentList(cursor, error) || !ReadStringParameter(1, cursor, axisName, error, &variables, nullptr) ||
        !AxisOf("ZB_WaitForMoveToFinish", axisName, axis, error))
        return false;
    // A script that waits for the stage cannot start without one.
    CString initError;
    if (!Zaber::Initialize(&initError)) {
        error = "ZB_WaitForMoveToFinish() Zaber is not initialized.";
        return false;
    }
    if (check_only)
        return true;
    CString driverError;
    if (!Zaber::WaitForMoveToFinish(axis, &driverError)) {
        error = driverError;
        return false;
    }
    return true;
}

bool Script::GetTemperatures(const char* arguments, std::vector<Variable>& variables, bool check_only,
                             CString& error)
{
    const char* cursor = arguments;
    // Stage driver, pump 1, pump 2, camera.
    double temperature[4] = {};
    Variable* target[4] = {};
    int logFlag = 0;
    if (!OpenArgumentList(cursor, error))
        return false;
    for (int i = 0; i < 4; ++i) {
        if (!ReadDoubleParameter(i + 1, cursor, temperature[i], error, &variables, &target[i]))
            return false;
    }
    if (!ReadIntParameter(5, cursor, logFlag, error, &variables, nullptr))
        return false;
    if (check_only)
        return true;

    // A device that is missing or does not answer keeps the value its variable held.
    if (theApp.m_nStageComPort != 0) {
        double stage = 0;
        CString ignored;
        if (Zaber::GetTemperature(&stage, &ignored))
            temperature[0] = stage;
    }
    if (theApp.m_nPumpComPort != 0) {
        double pump1 = 0, pump2 = 0;
        Tovanix::String ignored;
        if (TecanCentris::GetTemperature(theApp.m_nPumpComPort, &pump1, &pump2, &ignored)) {
            temperature[1] = pump1;
            temperature[2] = pump2;
        }
    }
    if (theApp.m_pCamera) {
        double camera = 0;
        CString ignored;
        if (theApp.m_pCamera->GetTemperature(&camera, &ignored))
            temperature[3] = camera;
    }
    for (int i = 0; i < 4; ++i) {
        if (target[i] && target[i]->type == kVariableDouble)
            target[i]->dValue = temperature[i];
    }

    if (logFlag != 0) {
        char line[256];
        std::snprintf(line, sizeof line, "T_ZStageDriver=%5.2lf\tT_Pump1=%5.2lf\tT_Pump2=%5.2lf\tT_Camera=%5.2lf",
                      temperature[0], temperature[1], temperature[2], temperature[3]);
        // A line that finds no log is dropped; the read-out itself succeeded.
        Tovanix::String logError;
        if (!AddALine_ToDefaultLog(line, &logError, kDefaultLogWaitMs))
            error = logError.c_str();
    }
    return true;
}

void InstallStageCommands(BuiltInHandlerTable& table)
{
    table.Set(kZB_MoveToPosition_mm, &Script::ZB_MoveToPosition_mm);
    table.Set(kZB_MoveRelative_mm, &Script::ZB_MoveRelative_mm);
    table.Set(kZB_GetPosition_mm, &Script::ZB_GetPosition_mm);
    table.Set(kZB_WaitForMoveToFinish, &Script::ZB_WaitForMoveToFinish);
    table.Set(kZB_Home, &Script::ZB_Home);
    table.Set(kGetTemperatures, &Script::GetTemperatures);
}
