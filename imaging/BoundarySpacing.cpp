#include "imaging/BoundarySpacing.h"

#include <cmath>
#include <cstdio>

#include "app/VelloraApp.h"
#include "imaging/ImageView.h"
#include "support/AppLogs.h"
#include "support/Profile.h"

namespace {

double ReadPixelsPerMM() {
    char text[32] = {};
    double value = 0.0;
    if (!Tovanix::E_GetPrivateProfileString("CalibrationSettings", "image_pixels_per_mm", "", text, sizeof text,
                                            g_IniPath) ||
        std::sscanf(text, "%lf", &value) != 1) {
        return 0.0;
    }
    return value;
}

// Indexes into g_ChannelMagnetLines of the pair's upper and lower line.
int UpperIndex(BoundaryPair pair) { return pair == BoundaryPair::Magnets ? 2 : 0; }
int LowerIndex(BoundaryPair pair) { return pair == BoundaryPair::Magnets ? 3 : 1; }

}  // namespace

CString BoundarySpacingText(BoundaryPair pair) {
    const double spacing = (g_ChannelMagnetLines[LowerIndex(pair)] - g_ChannelMagnetLines[UpperIndex(pair)]) /
                           ReadPixelsPerMM();
    return CString::Formatted("%5.3lf", spacing);
}

bool BoundaryUpdateEnabled(BoundaryPair pair, const char* typed, bool enabledNow) {
    const CString text = typed ? typed : "";
    if (text.CompareNoCase(BoundarySpacingText(pair)) == 0) return false;
    double value = 0.0;
    if (std::sscanf(text.GetString(), "%lf", &value) == 1) return true;
    return enabledNow;
}

bool UpdateBoundarySpacing(BoundaryPair pair, bool anchorTop, const char* typed) {
    double millimetres = 0.0;
    if (!typed || std::sscanf(typed, "%lf", &millimetres) != 1) return false;
    const double shift = ReadPixelsPerMM() * millimetres;
    const bool magnets = pair == BoundaryPair::Magnets;
    int index = 0;
    int32_t row = 0;
    const char* key = nullptr;
    if (anchorTop) {
        index = LowerIndex(pair);
        row = static_cast<int32_t>(std::lround(g_ChannelMagnetLines[UpperIndex(pair)] + shift));
        key = magnets ? "LowerMagnet" : "LowerChannel";
    } else {
        index = UpperIndex(pair);
        row = static_cast<int32_t>(std::lround(g_ChannelMagnetLines[LowerIndex(pair)] - shift));
        key = magnets ? "UpperMagnet" : "UpperChannel";
    }
    g_ChannelMagnetLines[index] = row;
    if (!Tovanix::E_WritePrivateProfileString("CalibrationSettings", key, CString::Formatted("%d", row), g_IniPath)) {
        LogErrAndInfo(__FILE__, __LINE__,
                      CString::Formatted("UpdateBoundarySpacing() - could not write [CalibrationSettings] %s to %s",
                                         key, g_IniPath.GetString()));
    }
    return true;
}
