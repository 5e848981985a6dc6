#pragma once

// Driver of the instrument's two syringe pumps, daisy-chained on one COM port
// and addressed as pump 1 and pump 2.
//
// Every operation is one or more framed commands ("/<pump><command>\r") run
// through the serial layer under one process-wide semaphore, so pump traffic
// of all threads never interleaves. Operations return false with an English
// message in the caller's error text; on success the error text is left as
// it was.

#include <cstdint>

#include "platform/Sync.h"
#include "support/String.h"

// Receives one timing line per pump command (the return value is ignored).
using PumpTimingLogCallback = bool (*)(const char* timingLine);

// Serialises all pump traffic; created by the first command.
extern platform::Semaphore* g_PumpSemaphore;
// End of the previous transaction, 100 ns units of local time; 0 before the first.
extern uint64_t g_PumpLastCommandTime;
// Minimum gap between the end of one transaction and the start of the next.
extern uint16_t g_PumpMinTimeBetweenCommandsMs;
extern PumpTimingLogCallback g_PumpTimingLogCallback;
// Last top speed (microlitres per minute) and valve letter set on pumps 1 and 2.
extern double g_PumpTopSpeed[2];
extern char g_PumpValveState[2];

namespace TecanCentris {

bool SendCommand(int comPort, int pump, const char* command, uint32_t replyTimeoutMs, Tovanix::String* reply,
                 Tovanix::String* error);
// Checks a raw reply frame; with a success status the reply gets its data,
// with an error status the status message. A malformed frame leaves it alone.
bool ParseResponse(const char* rawReply, Tovanix::String* reply);

bool QueryLong(int comPort, int pump, const char* command, int32_t* value, Tovanix::String* error);
bool QueryDouble(int comPort, int pump, const char* command, double* value, Tovanix::String* error);
bool QueryReport(int comPort, int pump, uint32_t reportNumber, Tovanix::String* reply, Tovanix::String* error);

bool InitializeSyringePump(int comPort, int pump, Tovanix::String* error);
bool SetBacklashSteps(int comPort, int pump, uint32_t steps, Tovanix::String* error);
bool SetAccelerationRate(int comPort, int pump, uint32_t rampUp, uint32_t rampDown, Tovanix::String* error);
bool SetTopSpeed(int comPort, int pump, double microlitresPerMinute, Tovanix::String* error);
bool SetValveBypass(int comPort, int pump, Tovanix::String* error);
bool SetValveInput(int comPort, int pump, Tovanix::String* error);
bool SetValveOutput(int comPort, int pump, Tovanix::String* error);
bool MoveToPosition(int comPort, int pump, double microlitres, Tovanix::String* error);
// skipCheck leaves out the volume checks against the pump's reports.
bool Dispense_ul(int comPort, int pump, double microlitres, Tovanix::String* error, bool skipCheck = false);
bool Aspirate_ul(int comPort, int pump, double microlitres, Tovanix::String* error, bool skipCheck = false);
bool TerminateMove(int comPort, int pump, Tovanix::String* error);
bool ResetPump(int comPort, int pump, Tovanix::String* error);
bool SetSyringeVolume(int comPort, int pump, int volumeUl, Tovanix::String* error);

// Stops whichever of the two pumps reports busy.
bool TerminateBusyPumps(int comPort, Tovanix::String* error);
// Both pumps' temperatures in degrees Celsius, rounded to one decimal.
bool GetTemperature(int comPort, double* pump1C, double* pump2C, Tovanix::String* error);
bool SetMinimumTimeBetweenCommands(uint16_t milliseconds, Tovanix::String* error);

}  // namespace TecanCentris
