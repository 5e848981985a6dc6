#include "analysis/ProjectionAnalysisParams.h"

#include "app/ExperimentSettingsIni.h"
#include "app/NamedROIList.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "support/Profile.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kSection[] = "RightSideProjection";

// The value of a key as the profile store gives it, or the empty text when it
// is missing or does not fit `size` - 1 characters.
std::string ReadValue(const char* section, const char* key, int size, const std::string& file)
{
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    if (!Tovanix::E_GetPrivateProfileString(section, key, "", buffer.data(), size, file.c_str()))
        return {};
    return buffer.data();
}

bool ParseDouble(const std::string& text, double& value)
{
    return std::sscanf(text.c_str(), "%lf", &value) == 1;
}

// "%d": leading digits after optional blanks and sign, held at the limits of
// a 32-bit value.
bool ParseInt(const std::string& text, int32_t& value)
{
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str())
        return false;
    value = static_cast<int32_t>(parsed > INT32_MAX ? INT32_MAX : (parsed < INT32_MIN ? INT32_MIN : parsed));
    return true;
}

double ReadDouble(const char* section, const char* key, double fallback, const std::string& file)
{
    double value = 0.0;
    return ParseDouble(ReadValue(section, key, 31, file), value) ? value : fallback;
}

int32_t ReadInt(const char* section, const char* key, int32_t fallback, const std::string& file)
{
    int32_t value = 0;
    return ParseInt(ReadValue(section, key, 31, file), value) ? value : fallback;
}

// Parameter files are named in either letter case of their extension.
std::string ResolveParamsFile(const char* path)
{
    const std::string native = platform::NativePath(path ? path : "");
    const std::string found = platform::FindFileIgnoringCase(native);
    return found.empty() ? native : found;
}

}  // namespace

std::string ProjectionParamsFilePath(const char* setName)
{
    const std::string name = setName ? setName : "";
    if (name == kExperimentSettingsParamsName)
        return g_IniPath.str();
    const std::string lib = platform::JoinPath(platform::NativePath(theApp.m_strDataRoot.str()), "LIB");
    return platform::JoinPath(lib, name + ".pa_params");
}

bool ProjectionAnalysisParams::Validate(CString& error) const
{
    error.Empty();
    auto fail = [&](const char* message) {
        if (!error.IsEmpty())
            error += "\n";
        error += message;
    };
    if (!(smoothingWindowMicrons >= 0.0 && smoothingWindowMicrons <= 150.0))
        fail("Smoothing Window (um) is invalid, must be between 0 and 150.0");
    if (numPeaksToFind < 0 || numPeaksToFind > 10)
        fail("Num Peaks To Find is invalid, must be between 0 and 10");
    if (!(stdevIntegrationArea >= 0.5 && stdevIntegrationArea <= 2.0))
        fail("Stdev Integration Area is invalid, must be between 0.5 and 2.0");
    if (integrationSamples % 2 == 0 || integrationSamples < 5 || integrationSamples > 49)
        fail("Integration Samples is invalid, must be an odd number between 5 and 49");
    if (!(image_pixels_per_mm >= 30.0 && image_pixels_per_mm <= 5000.0))
        fail("Pixels per mm is invalid, must be between 30 and 5000");
    // Compared in 64 bits so that edges near the int32 limits cannot wrap.
    if (left < 0 || static_cast<int64_t>(right) < static_cast<int64_t>(left) + 30 || top < 0 ||
        static_cast<int64_t>(bottom) < static_cast<int64_t>(top) + 30)
        fail("ROI is invalid, must be at least 30x30 and all numbers positive integers.");
    return error.IsEmpty();
}

bool ProjectionAnalysisParams::AppendDescription(CStringArray& lines) const
{
    lines.Add("# *******************  ProjectionAnalysisParams ********************************");
    lines.Add(CString::Formatted("# ROI left\t%d", left));
    lines.Add(CString::Formatted("# ROI right\t%d", right));
    lines.Add(CString::Formatted("# ROI top\t%d", top));
    lines.Add(CString::Formatted("# ROI bottom\t%d", bottom));
    lines.Add(CString::Formatted("# SmoothingWindowMicrons\t%5.3lf", smoothingWindowMicrons));
    lines.Add(CString::Formatted("# NumPeaks/ValleysToFind\t%d", numPeaksToFind));
    lines.Add(CString::Formatted("# FindValleys\t%s", findValleys ? "TRUE" : "FALSE"));
    lines.Add(CString::Formatted("# StdevIntegrationArea\t%5.3lf", stdevIntegrationArea));
    lines.Add(CString::Formatted("# IntegrationSamples\t%d", integrationSamples));
    lines.Add(CString::Formatted("# PixelsPerMM\t%4.2lf", image_pixels_per_mm));
    lines.Add(CString::Formatted("# ROI_name\t%s", roiName.c_str()));
    lines.Add("");
    return true;
}

bool ProjectionAnalysisParams::LoadFromFile(const char* path)
{
    const std::string file = ResolveParamsFile(path);
    smoothingWindowMicrons = ReadDouble(kSection, "SmoothingWindowMicrons", 15.0, file);
    numPeaksToFind = ReadInt(kSection, "NumPeaksToFind", 0, file);
    stdevIntegrationArea = ReadDouble(kSection, "StdevIntegrationArea", 1.0, file);
    integrationSamples = ReadInt(kSection, "IntegrationSamples", 11, file);
    findValleys = Tovanix::String::CompareNoCase(ReadValue(kSection, "FindValleys", 9, file).c_str(), "FALSE") != 0;
    roiName = ReadValue(kSection, "ROI_name", 1024, file).c_str();

    left = top = right = bottom = 0;
    NamedROIList list;
    if (roiName.HasText() && list.LoadFromIni(g_IniPath.GetString()) && list.count > 0) {
        NamedROI key;
        key.name = roiName.c_str();
        if (const NamedROI* roi = list.Find(key)) {
            left = static_cast<int32_t>(roi->left);
            top = static_cast<int32_t>(roi->top);
            right = static_cast<int32_t>(roi->right);
            bottom = static_cast<int32_t>(roi->bottom);
        }
    }
    return true;
}

bool ProjectionAnalysisParams::LoadCalibration(const char* experimentDirectory)
{
    const std::string ini = FindExperimentSettingsIni(experimentDirectory ? experimentDirectory : "").c_str();
    image_pixels_per_mm = 0.0;
    if (!ini.empty()) {
        image_pixels_per_mm = ReadDouble("CalibrationSettings", "image_pixels_per_mm", 0.0, ini);
        upperChannel = ReadInt("CalibrationSettings", "UpperChannel", 0, ini);
        lowerChannel = ReadInt("CalibrationSettings", "LowerChannel", 0, ini);
    }
    if (image_pixels_per_mm == 0.0) {
        const std::string main = g_IniPath.str();
        image_pixels_per_mm = ReadDouble("CalibrationSettings", "image_pixels_per_mm", 500.0, main);
        upperChannel = ReadInt("CalibrationSettings", "UpperChannel", 0, main);
        lowerChannel = ReadInt("CalibrationSettings", "LowerChannel", 0, main);
    }
    return true;
}
