#pragma once

// Driver of the motorised stage: a focus axis and an X axis on motion
// controllers that speak the controller's ASCII protocol on the stage port
// found by the serial device discovery. Moves are in millimetres, converted
// to microsteps with a per-axis factor from the [Zaber] settings.
//
// Every function returns false with a message in the caller's error text on
// failure. Moves and homing return once the controller has accepted the
// command; WaitForMoveToFinish waits for the axis to come to rest.

#include <cstdint>

#include "platform/CString.h"
#include "support/String.h"

// Driver state, loaded by Zaber::Initialize (all zero before it has run).
extern int32_t g_ZaberFocusDeviceIndex;
extern int32_t g_ZaberXAxisDeviceIndex;
extern int32_t g_ZaberFocusAxisIndex;
extern int32_t g_ZaberXAxisIndex;
extern double g_ZaberStepsPerMM_Z;
extern double g_ZaberStepsPerMM_X;

namespace Zaber {

// Axis selectors.
constexpr int32_t kXAxis = 0;
constexpr int32_t kFocusAxis = 1;

bool Initialize(CString* error);
// Temperature of the controller's driver in degrees Celsius (device 1, axis 1).
bool GetTemperature(double* degreesC, CString* error);
bool CheckStatus(int32_t axis, Tovanix::String* status, CString* error);
bool WaitForMoveToFinish(int32_t axis, CString* error);
bool MoveToPosition_mm(int32_t axis, double positionMm, CString* error);
bool MoveRelative_mm(int32_t axis, double distanceMm, CString* error);
bool Home(int32_t axis, CString* error);
bool GetPosition_mm_s(int32_t axis, double* positionMm, CString* error);

}  // namespace Zaber
