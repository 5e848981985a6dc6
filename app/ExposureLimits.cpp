#include "app/ExposureLimits.h"

#include <cstdio>

#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraSettings.h"
#include "support/Profile.h"

namespace {

long ReadLimit(const CString& section, const char* key, long fallback) {
    char buffer[32] = {};
    Tovanix::E_GetPrivateProfileString(section, key, "", buffer, sizeof buffer - 1, g_IniPath);
    long value = 0;
    return std::sscanf(buffer, "%ld", &value) == 1 ? value : fallback;
}

}  // namespace

bool CheckExposureAgainstCameraLimits(uint32_t exposureUs, CString& error) {
    long minimum = 29;
    long maximum = 1000000;
    CString model, modelError;
    if (theApp.m_pCamera && theApp.m_pCamera->GetModelName(&model, &modelError) && !model.IsEmpty()) {
        const CString section = CameraSettingsSection(model);
        minimum = ReadLimit(section, CameraSettingsKey::kMinExposureUs, minimum);
        maximum = ReadLimit(section, CameraSettingsKey::kMaxExposureUs, maximum);
    }
    if (static_cast<long>(exposureUs) < minimum || static_cast<long>(exposureUs) > maximum) {
        error.Format("CheckExposureAgainstCameraLimits() exposure %lu us must be between %ld and %ld us",
                     static_cast<unsigned long>(exposureUs), minimum, maximum);
        return false;
    }
    return true;
}
