#include "devices/StagePanel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "app/VelloraApp.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/SerialPort.h"

namespace {

constexpr unsigned kReplyTimeoutMs = 500;
constexpr int32_t kXMcb2DeviceId = 30222;

std::string Format(const char* format, long a, long b, long c) {
    char buffer[128];
    std::snprintf(buffer, sizeof(buffer), format, a, b, c);
    return buffer;
}

std::string Setting(const char* key, const char* fallback = "") {
    char buffer[256];
    if (!Tovanix::E_GetPrivateProfileString("Zaber", key, fallback, buffer, sizeof(buffer), g_IniPath)) return fallback;
    return buffer;
}

int32_t IntSetting(const char* key, int32_t fallback) {
    int value = 0;
    return std::sscanf(Setting(key).c_str(), "%d", &value) == 1 ? value : fallback;
}

double DoubleSetting(const char* key, double fallback) {
    double value = 0;
    return std::sscanf(Setting(key).c_str(), "%lf", &value) == 1 ? value : fallback;
}

// The number after the reply's last blank.
bool LastNumber(const std::string& reply, long* value) {
    const size_t blank = reply.rfind(' ');
    if (blank == std::string::npos) return false;
    return std::sscanf(reply.c_str() + blank + 1, "%ld", value) == 1;
}

bool HasPrefix(const std::string& reply, int32_t device, int32_t axis) {
    char prefix[48];
    std::snprintf(prefix, sizeof(prefix), "@%02ld %ld OK ", static_cast<long>(device), static_cast<long>(axis));
    return reply.compare(0, std::strlen(prefix), prefix) == 0;
}

int32_t RoundSteps(double steps) { return static_cast<int32_t>(std::lround(steps)); }

}  // namespace

StagePanel::StagePanel(LogSink log) : m_log(std::move(log)) {}

void StagePanel::LoadSettings() {
    stepsPerMM_X = DoubleSetting("ZaberStepsPerMM_X", 20997.38);
    stepsPerMM_Z = DoubleSetting("ZaberStepsPerMM_Z", 20997.38);
    focusDevice = IntSetting("ZaberFocusDeviceIndex", 1);
    focusAxis = IntSetting("ZaberFocusAxisIndex", 1);
    xDevice = IntSetting("ZaberXAxisDeviceIndex", 1);
    xAxis = IntSetting("ZaberXAxisIndex", 2);
    xAxisEnabled = XAxisEnabledSetting();
}

bool StagePanel::XAxisEnabledSetting() {
    return strcasecmp(Setting("InitializeZaberXAxisOnStartup").substr(0, 8).c_str(), "TRUE") == 0;
}

double StagePanel::IncrementMm(int selectedItem) {
    if (selectedItem == 1) return 0.01;
    if (selectedItem == 2) return 0.1;
    return 0.001;
}

void StagePanel::DeviceAxis(Axis axis, int32_t* device, int32_t* axisNumber) const {
    *device = axis == Axis::Focus ? focusDevice : xDevice;
    *axisNumber = axis == Axis::Focus ? focusAxis : xAxis;
}

double StagePanel::StepsPerMm(int32_t axisNumber) const {
    return axisNumber == focusAxis ? stepsPerMM_Z : stepsPerMM_X;
}

void StagePanel::Log(const std::string& message) {
    if (m_log) {
        m_log(message);
    } else {
        LogErrAndInfo(__FILE__, __LINE__, message.c_str());
    }
}

bool StagePanel::Send(const std::string& command, std::string* reply) {
    Tovanix::String answer;
    if (!SendSerialCommand(theApp.m_nStageComPort, command.c_str(), '\n', &answer, kReplyTimeoutMs, 0, nullptr)) {
        return false;
    }
    *reply = answer.c_str();
    return true;
}

bool StagePanel::GetPosition_mm(Axis axis, double* positionMm) {
    *positionMm = 0;
    int32_t device, number;
    DeviceAxis(axis, &device, &number);
    std::string reply;
    if (!Send(Format("/%02ld %ld get pos\n", device, number, 0), &reply)) {
        Log("Zaber fails to respond to \"get pos\" command");
        return false;
    }
    if (!HasPrefix(reply, device, number)) {
        Log("Zaber provides invalid response to \"get pos\" command #1");
        return false;
    }
    long steps = 0;
    if (!LastNumber(reply, &steps)) {
        Log("Zaber provides invalid response to \"get pos\" command #2");
        return false;
    }
    *positionMm = static_cast<double>(steps) / StepsPerMm(number);
    return true;
}

bool StagePanel::MoveRelative_mm(Axis axis, double distanceMm) {
    int32_t device, number;
    DeviceAxis(axis, &device, &number);
    const std::string command =
        Format("/%02ld %ld move rel %ld\n", device, number, RoundSteps(distanceMm * StepsPerMm(number)));
    std::string reply;
    if (!Send(command, &reply)) {
        Log("Zaber fails to respond to command: " + command);
        return false;
    }
    if (!HasPrefix(reply, device, number)) {
        Log("Zaber provides invalid response to command: " + command + ", response: " + reply);
        return false;
    }
    return true;
}

bool StagePanel::MoveVelocity(Axis axis, const std::string& velocityText, int sign) {
    double velocity = 0;
    if (std::sscanf(velocityText.c_str(), "%lf", &velocity) != 1) {
        Log("Invalid velocity: " + velocityText);
        return false;
    }
    if (!(velocity >= 0.0001 && velocity <= 5)) {
        Log("Invalid velocity: " + velocityText + " must be between 0.0001 and 5 mm/s");
        return false;
    }
    int32_t device, number;
    DeviceAxis(axis, &device, &number);
    const long steps = (sign < 0 ? -1 : 1) * static_cast<long>(RoundSteps(velocity * StepsPerMm(number)));
    const std::string command = Format("/%02ld %ld move vel %ld\n", device, number, steps);
    std::string reply;
    if (!Send(command, &reply)) {
        Log("Zaber fails to respond to command: " + command);
        return false;
    }
    if (!HasPrefix(reply, device, number)) {
        Log("Zaber provides invalid response to command: " + command + ", response: " + reply);
        return false;
    }
    return true;
}

bool StagePanel::MoveAbsolute(Axis axis, const std::string& targetText) {
    double target = 0;
    if (std::sscanf(targetText.c_str(), "%lf", &target) != 1) {
        Log("Invalid position: " + targetText);
        return false;
    }
    if (!(target >= -100.0 && target <= 100.0)) {
        Log("Zaber absolute position setting must be betwen -100.0 and 100.0 mm");
        return false;
    }
    int32_t device, number;
    DeviceAxis(axis, &device, &number);
    const double factor = axis == Axis::Focus ? stepsPerMM_Z : StepsPerMm(number);
    std::string reply;
    if (!Send(Format("/%02ld %ld move abs %ld\n", device, number, RoundSteps(target * factor)), &reply)) {
        Log("Zaber fails to respond to \"move abs\" command");
        return false;
    }
    if (!HasPrefix(reply, device, number)) {
        Log("Zaber provides invalid response to \"move abs\" command #1");
        return false;
    }
    return true;
}

bool StagePanel::Home(Axis axis) {
    int32_t device, number;
    DeviceAxis(axis, &device, &number);
    std::string reply;
    if (!Send(Format("/%02ld %ld home\n", device, number, 0), &reply)) {
        Log("Zaber fails to respond to \"home\" command");
        return false;
    }
    if (!HasPrefix(reply, device, number)) {
        Log("Zaber provides invalid response to \"home\" command #1");
        return false;
    }
    return true;
}

bool StagePanel::Stop(Axis axis) {
    int32_t device, number;
    DeviceAxis(axis, &device, &number);
    std::string reply;
    if (!Send(Format("/%02ld %ld stop\n", device, number, 0), &reply)) {
        Log("Zaber fails to respond to \"stop\" command");
        return false;
    }
    if (!HasPrefix(reply, device, number)) {
        Log("Zaber provides invalid response to \"stop\" command #1");
        return false;
    }
    return true;
}

bool StagePanel::GetDeviceId(std::string* identity) {
    std::string reply;
    if (!Send("/get deviceid\n", &reply)) {
        Log("Zaber fails to respond to \"get deviceid\" command");
        return false;
    }
    if (!HasPrefix(reply, 1, 0)) {
        Log("Zaber provides invalid response to \"get deviceid\" command #1");
        return false;
    }
    long id = 0;
    if (!LastNumber(reply, &id)) {
        Log("Zaber provides invalid response to \"get deviceid\" command #2");
        return false;
    }
    *identity = id == kXMcb2DeviceId ? "X-MCB2 Controller" : "DeviceID " + std::to_string(static_cast<unsigned long>(id));
    return true;
}

bool StagePanel::GetSerialNumber(std::string* serial) {
    std::string reply;
    if (!Send("/get system.serial\n", &reply)) {
        Log("Zaber fails to respond to \"get system.serial\" command");
        return false;
    }
    if (!HasPrefix(reply, 1, 0)) {
        Log("Zaber provides invalid response to \"get system.serial\" command #1");
        return false;
    }
    long number = 0;
    if (!LastNumber(reply, &number)) {
        Log("Zaber provides invalid response to \"get system.serial\" command #2");
        return false;
    }
    *serial = "S/N " + std::to_string(static_cast<unsigned long>(number));
    return true;
}

bool StagePanel::SaveEdits(const std::string& absFocus, const std::string& absX, const std::string& velocityFocus,
                           const std::string& velocityX) {
    bool ok = Tovanix::E_WritePrivateProfileString("Zaber", kMoveAbsPosFocusKey, absFocus.c_str(), g_IniPath);
    ok = Tovanix::E_WritePrivateProfileString("Zaber", kMoveAbsPosXAxisKey, absX.c_str(), g_IniPath) && ok;
    ok = Tovanix::E_WritePrivateProfileString("Zaber", kMoveVelocityFocusKey, velocityFocus.c_str(), g_IniPath) && ok;
    ok = Tovanix::E_WritePrivateProfileString("Zaber", kMoveVelocityXAxisKey, velocityX.c_str(), g_IniPath) && ok;
    return ok;
}
