#pragma once

// The Scale Intensities dialog's values without its window: reading a typed
// intensity and storing the typed pair as the default display window of
// new views ([ScaleIntensitiesDlg] of the main settings file).

#include <cstdint>

#include "platform/CString.h"

// "%d" of the text, kept to its low 16 bits (70000 gives 4464, -1 gives
// 65535). False, with "<label> is not a whole number", when it does not
// parse (an empty text included).
bool ReadIntensityEdit(const char* text, const char* label, uint16_t& value, CString& error);

// Writes MaxIntensity and MinIntensity as typed. False when a write fails.
bool SaveDisplayWindowDefaults(const char* maxText, const char* minText);
