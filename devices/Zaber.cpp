#include "devices/Zaber.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/VelloraApp.h"
#include "platform/Clock.h"
#include "support/Profile.h"
#include "support/SerialPort.h"

int32_t g_ZaberFocusDeviceIndex = 0;
int32_t g_ZaberXAxisDeviceIndex = 0;
int32_t g_ZaberFocusAxisIndex = 0;
int32_t g_ZaberXAxisIndex = 0;
double g_ZaberStepsPerMM_Z = 0;
double g_ZaberStepsPerMM_X = 0;

namespace Zaber {

namespace {

constexpr unsigned int kReplyTimeoutMs = 500;
constexpr int kMaxStatusPolls = 80;
constexpr uint32_t kStatusPollPauseMs = 250;
constexpr double kDefaultStepsPerMm = 20997.38;

int32_t ReadInt(const char* key, int32_t fallback) {
    char buffer[32] = "";
    Tovanix::E_GetPrivateProfileString("Zaber", key, "", buffer, 31, static_cast<const char*>(g_IniPath));
    int value;
    return std::sscanf(buffer, "%d", &value) == 1 ? value : fallback;
}

double ReadDouble(const char* key, double fallback) {
    char buffer[32] = "";
    Tovanix::E_GetPrivateProfileString("Zaber", key, "", buffer, 31, static_cast<const char*>(g_IniPath));
    double value;
    return std::sscanf(buffer, "%lf", &value) == 1 ? value : fallback;
}

bool IsInitialized(const char* function, CString* error) {
    if (g_ZaberStepsPerMM_Z != 0) return true;
    error->Format("Zaber::%s() - must call Zaber::Initialize() first.", function);
    return false;
}

bool SelectAxis(int32_t axis, int32_t* device, int32_t* axisIndex, CString* error) {
    if (axis == kXAxis) {
        *device = g_ZaberXAxisDeviceIndex;
        *axisIndex = g_ZaberXAxisIndex;
    } else if (axis == kFocusAxis) {
        *device = g_ZaberFocusDeviceIndex;
        *axisIndex = g_ZaberFocusAxisIndex;
    } else {
        *error = "Invalid axis specified.";
        return false;
    }
    return true;
}

bool Send(const CString& command, Tovanix::String* reply) {
    return SendSerialCommand(theApp.m_nStageComPort, command, '\n', reply, kReplyTimeoutMs, 0, nullptr);
}

CString ReplyPrefix(int32_t device, int32_t axis) {
    CString prefix;
    prefix.Format("@%02ld %ld OK ", static_cast<long>(device), static_cast<long>(axis));
    return prefix;
}

bool HasPrefix(const Tovanix::String& reply, int32_t device, int32_t axis) {
    CString prefix = ReplyPrefix(device, axis);
    return std::strncmp(reply.c_str(), prefix, static_cast<size_t>(prefix.GetLength())) == 0;
}

// The value of a reply: the text after its last blank, or null when it has none.
const char* LastField(const Tovanix::String& reply) {
    const char* blank = std::strrchr(reply.c_str(), ' ');
    return blank ? blank + 1 : nullptr;
}

// One command to the selected axis ("" for the status query), checked for an
// answer that carries the axis's "@dd a OK " prefix. `reply` gets the text
// after that prefix.
bool AxisCommand(int32_t axis, const CString& text, const char* noReply, const char* badReply, CString* reply,
                 CString* error) {
    int32_t device;
    int32_t axisIndex;
    if (!SelectAxis(axis, &device, &axisIndex, error)) return false;
    CString command;
    command.Format("/%02ld %ld%s%s\n", static_cast<long>(device), static_cast<long>(axisIndex),
                   text.IsEmpty() ? "" : " ", text.GetString());
    Tovanix::String answer;
    if (!Send(command, &answer)) {
        *error = noReply;
        return false;
    }
    if (!HasPrefix(answer, device, axisIndex)) {
        *error = badReply;
        return false;
    }
    if (reply) *reply = answer.c_str() + ReplyPrefix(device, axisIndex).GetLength();
    return true;
}

bool Move(const char* function, const char* kind, const char* rangeMessage, int32_t axis, double distanceMm,
          CString* error) {
    if (!IsInitialized(function, error)) return false;
    if (distanceMm < -100.0 || distanceMm > 100.0) {
        *error = rangeMessage;
        return false;
    }
    double stepsPerMm = axis == kXAxis ? g_ZaberStepsPerMM_X : g_ZaberStepsPerMM_Z;
    auto steps = static_cast<int32_t>(std::lround(distanceMm * stepsPerMm));
    CString text;
    text.Format("%s %ld", kind, static_cast<long>(steps));
    CString noReply;
    noReply.Format("Zaber fails to respond to \"%s\" command", kind);
    CString badReply;
    badReply.Format("Zaber provides invalid response to \"%s\" command #1", kind);
    return AxisCommand(axis, text, noReply, badReply, nullptr, error);
}

}  // namespace

bool Initialize(CString* error) {
    if (theApp.m_nStageComPort != 0) {
        g_ZaberFocusDeviceIndex = ReadInt("ZaberFocusDeviceIndex", 1);
        g_ZaberXAxisDeviceIndex = ReadInt("ZaberXAxisDeviceIndex", 1);
        g_ZaberFocusAxisIndex = ReadInt("ZaberFocusAxisIndex", 1);
        g_ZaberXAxisIndex = ReadInt("ZaberXAxisIndex", 2);
        g_ZaberStepsPerMM_Z = ReadDouble("ZaberStepsPerMM_Z", kDefaultStepsPerMm);
        g_ZaberStepsPerMM_X = ReadDouble("ZaberStepsPerMM_X", kDefaultStepsPerMm);
        return true;
    }
    char buffer[10] = "";
    Tovanix::E_GetPrivateProfileString("Zaber", "InitializeZaberOnStartup", "", buffer, 9,
                                       static_cast<const char*>(g_IniPath));
    // Meant to be present but not found: the caller already knows why.
    if (CString(buffer).CompareNoCase("TRUE") == 0) return false;
    *error = "Please set InitializeZaberOnStartup=TRUE in the ExperimentSettings.ini file and restart Vellora";
    return false;
}

bool GetTemperature(double* degreesC, CString* error) {
    if (theApp.m_nStageComPort == 0) {
        *error = "Zaber::GetTemperature() - Zaber stage is not connected.";
        return false;
    }
    CString command;
    command.Format("/%02ld %ld get driver.temperature\n", 1L, 1L);
    Tovanix::String reply;
    if (!Send(command, &reply)) {
        error->Format("Zaber fails to respond to \"%s\" command", command.GetString());
        return false;
    }
    if (!HasPrefix(reply, 1, 1)) {
        error->Format("Zaber provides invalid to respond  #1 \"%s\" to \"%s\" command", reply.c_str(),
                      command.GetString());
        return false;
    }
    const char* value = LastField(reply);
    if (!value) {
        error->Format("Zaber provides invalid to respond #2 \"%s\" to \"%s\" command", reply.c_str(),
                      command.GetString());
        return false;
    }
    if (std::sscanf(value, "%lf", degreesC) != 1) {
        error->Format("Zaber provides invalid to respond #3 \"%s\" to \"%s\" command", reply.c_str(),
                      command.GetString());
        return false;
    }
    return true;
}

bool CheckStatus(int32_t axis, Tovanix::String* status, CString* error) {
    *status = "";
    if (!IsInitialized("CheckStatus", error)) return false;
    CString rest;
    if (!AxisCommand(axis, "", "Zaber fails to respond", "Zaber provides invalid response", &rest, error)) {
        return false;
    }
    status->Assign(rest, static_cast<int32_t>(std::strcspn(rest, " ")));
    return true;
}

bool WaitForMoveToFinish(int32_t axis, CString* error) {
    for (int polls = 1;; ++polls) {
        Tovanix::String status;
        if (!CheckStatus(axis, &status, error)) return false;
        if (Tovanix::String::CompareNoCase(status.c_str(), "IDLE") == 0) return true;
        if (polls >= kMaxStatusPolls) {
            *error = "WaitForMoveToFinish() - timeout";
            return false;
        }
        Sleep(kStatusPollPauseMs);
    }
}

bool MoveToPosition_mm(int32_t axis, double positionMm, CString* error) {
    return Move("MoveToPosition_mm", "move abs", "Absolute position setting must be betwen -100.0 and 100.0 mm", axis,
                positionMm, error);
}

bool MoveRelative_mm(int32_t axis, double distanceMm, CString* error) {
    return Move("MoveRelative_mm", "move rel", "Relative position setting must be betwen -100.0 and 100.0 mm", axis,
                distanceMm, error);
}

bool Home(int32_t axis, CString* error) {
    // Before Initialize the device number is 0, which would home every
    // controller on the line.
    if (!IsInitialized("Home", error)) return false;
    return AxisCommand(axis, "home", "Zaber fails to respond to \"home\" command",
                       "Zaber provides invalid response to \"home\" command #1", nullptr, error);
}

bool GetPosition_mm_s(int32_t axis, double* positionMm, CString* error) {
    if (!IsInitialized("GetPosition_mm_s", error)) return false;
    CString rest;
    if (!AxisCommand(axis, "get pos", "Zaber fails to respond to \"get pos\" command",
                     "Zaber provides invalid response to \"get pos\" command #1", &rest, error)) {
        return false;
    }
    // The prefix ends with a blank, so without another one the value follows it.
    const char* blank = std::strrchr(rest, ' ');
    long steps;
    if (std::sscanf(blank ? blank + 1 : rest.GetString(), "%ld", &steps) != 1) {
        *error = "Zaber provides invalid response to \"get pos\" command #2";
        return false;
    }
    double stepsPerMm = axis == kFocusAxis ? g_ZaberStepsPerMM_Z : g_ZaberStepsPerMM_X;
    *positionMm = static_cast<double>(static_cast<int32_t>(steps));
    if (stepsPerMm != 0) *positionMm /= stepsPerMm;
    return true;
}

}  // namespace Zaber
