#pragma once

// The exposure range the camera in use accepts, from [<model> Settings]
// min_exposure_us (default 29) and max_exposure_us (default 1000000) of the
// main settings file; without a camera (or its model name) the defaults hold.

#include <cstdint>

#include "platform/CString.h"

// True when the exposure (microseconds) lies within the limits; false with
// the limits in the error text otherwise.
bool CheckExposureAgainstCameraLimits(uint32_t exposureUs, CString& error);
