#include <cstdio>
#include <string>
#include <strings.h>

#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "platform/UiBridge.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace {

constexpr const char* kAbsent = "$It does not exist";

// A flip key's decision: "TRUE" on, "FALSE" off, any other value keeps the
// decision made so far. False when the key is absent.
bool ReadFlip(const CString& section, const char* key, bool& on) {
    char probe[401] = {};
    if (!Tovanix::E_GetPrivateProfileString(section, key, kAbsent, probe, sizeof probe, g_IniPath) ||
        std::string(probe) == kAbsent) {
        return false;
    }
    char value[10] = {};
    Tovanix::E_GetPrivateProfileString(section, key, "", value, sizeof value, g_IniPath);
    if (strcasecmp(value, "TRUE") == 0) on = true;
    if (strcasecmp(value, "FALSE") == 0) on = false;
    return true;
}

int ReadInt(const CString& section, const char* key, int fallback) {
    char text[32] = {};
    int value = fallback;
    Tovanix::E_GetPrivateProfileString(section, key, "", text, sizeof text, g_IniPath);
    if (std::sscanf(text, "%d", &value) != 1) value = fallback;
    return value;
}

}  // namespace

bool CVelloraApp::ApplyCameraSettings() {
    if (!m_pCamera) return true;
    CString model;
    CString ignored;
    m_pCamera->GetModelName(&model, &ignored);
    CString section;
    section.Format("%s Settings", model.GetString());

    bool flip = false;
    if (ReadFlip(section, "FlipImageHorz", flip)) m_pCamera->SetFlipHorizontal(flip);
    if (ReadFlip(section, "FlipImageVert", flip)) m_pCamera->SetFlipVertical(flip);

    CString error;
    if (!m_pCamera->SetImageSize(ReadInt(section, "CameraImageWidth", 2448), ReadInt(section, "CameraImageHeight", 2048),
                                 &error)) {
        LogErrAndInfo(__FILE__, __LINE__, error);
        platform::ShowMessageBox(error.str(), m_strDisplayName.str(), platform::MB_OK | platform::MB_ICONERROR);
    }
    return true;
}
