#pragma once

// The exposure range the camera in use accepts. While a camera is open and
// names its model, the limits are [<model> Settings] min_exposure_us
// (default 29) and max_exposure_us (default 1000000) of the main settings
// file, as long as they make sense (minimum at least 3, maximum 1000 to
// 10000000 and above the minimum); otherwise 29 to 1000000 us hold.

#include <cstdint>

#include "platform/CString.h"

// True when the exposure (microseconds) lies within the limits; false with
// "exposure must be at least %ld us" or "exposure must be no more than %ld
// us" otherwise.
bool CheckExposureAgainstCameraLimits(int64_t exposureUs, CString& error);
