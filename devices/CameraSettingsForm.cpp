#include "devices/CameraSettingsForm.h"

#include <cstdio>

#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "devices/CameraSettings.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace {

std::string Formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string FormattedInt(int value) {
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

std::string SectionSetting(const CString& section, const char* key, const char* fallback) {
    char buffer[1024] = {};
    if (!Tovanix::E_GetPrivateProfileString(section, key, fallback, buffer, sizeof buffer, g_IniPath)) return fallback;
    return buffer;
}

bool ParseInt(const std::string& text, int* value) { return std::sscanf(text.c_str(), "%d", value) == 1; }

}  // namespace

void CameraSettingsForm::Report(int line, const std::string& message) {
    LogErrAndInfo("CameraSettingsDlg", line, message.c_str());
    platform::ShowMessageBox(message, "Vellora", platform::MB_OK | platform::MB_ICONERROR);
}

CameraSettingsForm::LoadResult CameraSettingsForm::Load(CameraSettingsFields* fields) {
    if (m_camera == nullptr || !m_camera->IsInitialized()) {
        Report(__LINE__, kNoCameraMessage);
        return LoadResult::NoCamera;
    }
    CString error, model, serial;
    int width = 0, height = 0, depth = 0;
    float gain = 0, exposure = 0;
    bool output1 = false, output2 = false;
    // The serial number is asked twice, as the camera drivers expect it.
    const bool queried = m_camera->GetSerialNumber(&serial, &error) && m_camera->GetModelName(&model, &error) &&
                         m_camera->GetSerialNumber(&serial, &error) &&
                         m_camera->GetImageSize(&width, &height, &error) && m_camera->GetPixelDepth(&depth, &error) &&
                         m_camera->GetGain(&gain, &error) && m_camera->GetExposureTime(&exposure, &error) &&
                         m_camera->GetDigitalOutput(1, &output1, &error) &&
                         m_camera->GetDigitalOutput(2, &output2, &error);
    if (!queried) {
        Report(__LINE__, error.str());
        return LoadResult::QueryFailed;
    }
    fields->gain = Formatted("%4.2lf", gain);
    fields->exposure = Formatted("%2.0lf", exposure);
    fields->model = model.str();
    fields->serialNumber = serial.str();
    fields->width = FormattedInt(width);
    fields->height = FormattedInt(height);
    fields->pixelDepth = FormattedInt(depth);

    const CString section = CameraSettingsSection(model);
    fields->minTimeBetweenCapturesMs = SectionSetting(section, CameraSettingsKey::kMinTimeBetweenCaptures, "100");
    fields->refreshPeriodMs = SectionSetting(section, CameraSettingsKey::kRefreshPeriodMs, "100");
    fields->defaultExposure = SectionSetting(section, CameraSettingsKey::kDefaultExposure, fields->exposure.c_str());
    fields->digitalOutput1 = output1;
    fields->digitalOutput2 = output2;
    fields->minExposureUs = SectionSetting(section, CameraSettingsKey::kMinExposureUs, "29");
    fields->maxExposureUs = SectionSetting(section, CameraSettingsKey::kMaxExposureUs, "1000000");
    return LoadResult::Loaded;
}

bool CameraSettingsForm::SaveSettings(const CameraSettingsFields& fields) {
    int minTime = 0;
    if (!ParseInt(fields.minTimeBetweenCapturesMs, &minTime) || minTime < 100 || minTime > 1000) {
        Report(__LINE__, kMinTimeMessage);
        return false;
    }
    const CString section = CameraSettingsSection(fields.model.c_str());
    const std::pair<const char*, const std::string*> values[] = {
        {CameraSettingsKey::kPixelDepth, &fields.pixelDepth},
        {CameraSettingsKey::kGain, &fields.gain},
        {CameraSettingsKey::kLastExposure, &fields.exposure},
        {CameraSettingsKey::kDefaultExposure, &fields.defaultExposure},
        {CameraSettingsKey::kRefreshPeriodMs, &fields.refreshPeriodMs},
        {CameraSettingsKey::kMinTimeBetweenCaptures, &fields.minTimeBetweenCapturesMs},
        {CameraSettingsKey::kMinExposureUs, &fields.minExposureUs},
        {CameraSettingsKey::kMaxExposureUs, &fields.maxExposureUs},
    };
    bool written = true;
    for (const auto& [key, value] : values) {
        written = Tovanix::E_WritePrivateProfileString(section, key, value->c_str(), g_IniPath) && written;
    }
    // A write the user believes done must not fail unnoticed.
    if (!written) {
        Report(__LINE__, "CameraSettingsDlg::SaveSettings () : unable to write the camera settings to " +
                             g_IniPath.str());
    }
    return written;
}

bool CameraSettingsForm::ApplyPixelDepth(CameraSettingsFields* fields) {
    if (m_camera == nullptr) return false;
    CString error;
    int bits = 0;
    if (ParseInt(fields->pixelDepth, &bits) && (bits == 8 || bits == 12 || bits == 16)) {
        if (m_camera->SetPixelDepth(bits, &error)) return SaveSettings(*fields);
        Report(__LINE__, error.str());
    }
    // Show the depth the camera really uses.
    if (m_camera->GetPixelDepth(&bits, &error)) fields->pixelDepth = FormattedInt(bits);
    return false;
}

bool CameraSettingsForm::ApplyGain(const CameraSettingsFields& fields) {
    if (m_camera == nullptr) return false;
    double gain = 0;
    if (std::sscanf(fields.gain.c_str(), "%lf", &gain) != 1) gain = 0;
    CString error;
    if (!m_camera->SetGain(static_cast<float>(gain), &error)) {
        Report(__LINE__, error.str());
        return false;
    }
    return SaveSettings(fields);
}

bool CameraSettingsForm::ApplyExposure(const CameraSettingsFields& fields) {
    if (m_camera == nullptr) return false;
    double exposure = 0;
    if (std::sscanf(fields.exposure.c_str(), "%lf", &exposure) != 1) exposure = 0;
    CString error;
    if (!m_camera->SetExposureTime(static_cast<float>(exposure), &error)) {
        Report(__LINE__, error.str());
        return false;
    }
    return SaveSettings(fields);
}

bool CameraSettingsForm::CheckRefreshPeriodAndSave(const CameraSettingsFields& fields) {
    int period = 0;
    if (!ParseInt(fields.refreshPeriodMs, &period) || period < 25 || period > 10000) {
        Report(__LINE__, kRefreshPeriodMessage);
        return false;
    }
    return SaveSettings(fields);
}

bool CameraSettingsForm::ToggleDigitalOutput(int channel) {
    if (m_camera == nullptr) return false;
    CString error;
    bool state = false;
    if (!m_camera->GetDigitalOutput(channel, &state, &error) || !m_camera->SetDigitalOutput(channel, !state, &error)) {
        Report(__LINE__, error.str());
        return false;
    }
    return true;
}
