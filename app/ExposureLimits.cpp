#include "app/ExposureLimits.h"

#include "app/ExperimentSettingsForm.h"
#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraSettings.h"
#include "support/Profile.h"

namespace {

constexpr int32_t kDefaultMinExposureUs = 29;
constexpr int32_t kDefaultMaxExposureUs = 1000000;

// The limits are read into 31 characters, as "%d" reads them.
int64_t ReadLimit(const CString& section, const char* key, const char* fallback) {
    char buffer[32] = {};
    Tovanix::E_GetPrivateProfileString(section, key, fallback, buffer, sizeof buffer, g_IniPath);
    return ParseSettingsInteger(buffer);
}

}  // namespace

bool CheckExposureAgainstCameraLimits(int64_t exposureUs, CString& error) {
    int64_t minimum = kDefaultMinExposureUs;
    int64_t maximum = kDefaultMaxExposureUs;
    CString model;
    CString modelError;
    Camera* camera = theApp.m_pCamera;
    if (camera && camera->IsInitialized() && camera->GetModelName(&model, &modelError)) {
        const CString section = CameraSettingsSection(model);
        const int64_t min = ReadLimit(section, CameraSettingsKey::kMinExposureUs, "29");
        const int64_t max = ReadLimit(section, CameraSettingsKey::kMaxExposureUs, "1000000");
        // Limits that make no sense fall back to the defaults.
        if (min >= 3 && max >= 1000 && max <= 10000000 && min < max) {
            minimum = min;
            maximum = max;
        }
    }
    if (exposureUs < minimum) {
        error.Format("exposure must be at least %ld us", static_cast<long>(minimum));
        return false;
    }
    if (exposureUs > maximum) {
        error.Format("exposure must be no more than %ld us", static_cast<long>(maximum));
        return false;
    }
    return true;
}
