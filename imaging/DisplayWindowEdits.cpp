#include "imaging/DisplayWindowEdits.h"

#include <cstdio>

#include "app/VelloraApp.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

bool ReadIntensityEdit(const char* text, const char* label, uint16_t& value, CString& error) {
    int parsed = 0;
    if (!text || std::sscanf(text, "%d", &parsed) != 1) {
        error = CString::Formatted("%s is not a whole number", label);
        return false;
    }
    value = static_cast<uint16_t>(static_cast<uint32_t>(parsed) & 0xFFFF);
    return true;
}

bool SaveDisplayWindowDefaults(const char* maxText, const char* minText) {
    const bool written =
        Tovanix::E_WritePrivateProfileString("ScaleIntensitiesDlg", "MaxIntensity", maxText ? maxText : "", g_IniPath) &&
        Tovanix::E_WritePrivateProfileString("ScaleIntensitiesDlg", "MinIntensity", minText ? minText : "", g_IniPath);
    if (!written) {
        LogErrAndInfo(__FILE__, __LINE__,
                      CString::Formatted("SaveDefaults() - could not write [ScaleIntensitiesDlg] to %s",
                                         g_IniPath.GetString()));
    }
    return written;
}
