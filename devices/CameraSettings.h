#pragma once

// The per-model camera settings: section "<model> Settings" of the main
// settings file, with the model as the camera reports it, and its keys with
// their defaults.

#include "platform/CString.h"

inline CString CameraSettingsSection(const char* modelName) {
    CString section;
    section.Format("%s Settings", modelName);
    return section;
}

namespace CameraSettingsKey {
inline constexpr const char* kPixelDepth = "PixelDepth";  // bits, default 12
inline constexpr const char* kGain = "Gain";              // default 1.0
inline constexpr const char* kDefaultExposure = "DefaultExposure";
inline constexpr const char* kLastExposure = "LastExposure";
inline constexpr const char* kRefreshPeriodMs = "RefreshPeriodMs";  // default 100
inline constexpr const char* kMinTimeBetweenCaptures = "min_time_between_image_capture_events_ms";  // 100..1000, default 100
inline constexpr const char* kMinExposureUs = "min_exposure_us";  // default 29
inline constexpr const char* kMaxExposureUs = "max_exposure_us";  // default 1000000
inline constexpr const char* kFlipImageHorz = "FlipImageHorz";
inline constexpr const char* kFlipImageVert = "FlipImageVert";
inline constexpr const char* kCameraImageWidth = "CameraImageWidth";    // default 2448
inline constexpr const char* kCameraImageHeight = "CameraImageHeight";  // default 2048
}  // namespace CameraSettingsKey
