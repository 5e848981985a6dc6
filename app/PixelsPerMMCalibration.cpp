#include "app/PixelsPerMMCalibration.h"

#include <cstdio>

#include "app/VelloraApp.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/String.h"

PixelsPerMMState EvaluatePixelsPerMM(double heightPixels, const char* typedHeight) {
    PixelsPerMMState state;
    double height = 0.0;
    if (!typedHeight || std::sscanf(typedHeight, "%lf", &height) != 1) height = 0.0;
    if (!(height > 0.49999 && height < 100.00001)) {
        state.messageChanged = true;
        state.message = "Enter an object height between 0.5 and 100 mm";
        return state;
    }
    state.pixelsPerMM = heightPixels / height;
    state.saveEnabled = true;
    state.saveText = CString::Formatted("Save New image_pixels_per_mm = %5.3lf", state.pixelsPerMM);
    char text[32] = {};
    double current = 0.0;
    if (Tovanix::E_GetPrivateProfileString("CalibrationSettings", "image_pixels_per_mm", "", text, sizeof text,
                                           g_IniPath) &&
        std::sscanf(text, "%lf", &current) == 1 && current != 0.0) {
        state.messageChanged = true;
        state.message = CString::Formatted("Current [CalibrationSettings] image_pixels_per_mm = %5.3lf", current);
    }
    return state;
}

bool WritePixelsPerMM(double pixelsPerMM) {
    char number[32] = {};
    Tovanix::FormatNumber(pixelsPerMM, number);
    if (!Tovanix::E_WritePrivateProfileString("CalibrationSettings", "image_pixels_per_mm", number, g_IniPath)) {
        LogErrAndInfo(__FILE__, __LINE__,
                      CString::Formatted("ComputePixelsPerMMDlg::OnOK() - could not write [CalibrationSettings] "
                                         "image_pixels_per_mm to %s",
                                         g_IniPath.GetString()));
        return false;
    }
    return true;
}
