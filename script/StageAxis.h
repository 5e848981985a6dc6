#pragma once

// What the stage commands and the focus stack share: the axis names of
// scripts and starting the stage driver on behalf of a command.

#include <cstdint>

#include "platform/CString.h"
#include "support/String.h"

// "X" is the stage's X axis (Zaber::kXAxis), "Z" its focus axis
// (Zaber::kFocusAxis), spelt exactly so; -1 for any other text.
int32_t ScriptStageAxis(const Tovanix::String& name);

// Zaber::Initialize on behalf of `command`: false with the driver's text, or
// "<command>() Zaber is not initialized." when the driver gave none.
bool InitializeStageForCommand(const char* command, CString& error);
