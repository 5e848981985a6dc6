#include "analysis/CountingAlgoOptions.h"

#include "analysis/Rounding.h"
#include "app/VelloraApp.h"
#include "support/Profile.h"
#include "support/String.h"

#include <cstdarg>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kSection[] = "CountingAlgorithmDlg";

// Flags are read into 9 characters, numbers into 31, as the parameter files
// have always been read; a value that does not fit counts as missing.
std::string ReadValue(const char* section, const char* key, int size, const char* file)
{
    char buffer[32] = "";
    if (!Tovanix::E_GetPrivateProfileString(section, key, "", buffer, size, file))
        return {};
    return buffer;
}

bool IsText(const std::string& value, const char* text)
{
    return Tovanix::String::CompareNoCase(value.c_str(), text) == 0;
}

// True unless the value is "FALSE".
bool ReadFlagOn(const char* key, const char* file)
{
    return !IsText(ReadValue(kSection, key, 9, file), "FALSE");
}

// True only for "TRUE".
bool ReadFlagOff(const char* key, const char* file)
{
    return IsText(ReadValue(kSection, key, 9, file), "TRUE");
}

// "%d": leading digits after optional blanks and sign; out-of-range numbers
// are held at the limits of a 32-bit value.
int32_t ReadInt(const char* key, int32_t fallback, const char* file)
{
    const std::string value = ReadValue(kSection, key, 31, file);
    char* end = nullptr;
    const long long parsed = std::strtoll(value.c_str(), &end, 10);
    if (end == value.c_str())
        return fallback;
    if (parsed > INT32_MAX)
        return INT32_MAX;
    if (parsed < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(parsed);
}

double ReadDouble(const char* section, const char* key, double fallback, const char* file)
{
    const std::string value = ReadValue(section, key, 31, file);
    double parsed = 0.0;
    return std::sscanf(value.c_str(), "%lf", &parsed) == 1 ? parsed : fallback;
}

const char* TrueFalse(bool flag)
{
    return flag ? "true" : "false";
}

}  // namespace

double ReadImagePixelsPerMm()
{
    return ReadDouble("CalibrationSettings", "image_pixels_per_mm", 1000.0, g_IniPath.GetString());
}

bool CountingAlgoOptions::LoadFromFile(const char* path, Tovanix::String& problems)
{
    image_pixels_per_mm = ReadImagePixelsPerMm();
    EdgeProcessing = ReadFlagOn("EdgeProcessing", path);
    MFilter1 = ReadFlagOff("MFilter1", path);
    MFilter2 = ReadFlagOff("MFilter2", path);
    CFilter1 = ReadFlagOff("CFilter1", path);
    CFilter2 = ReadFlagOff("CFilter2", path);
    ProximityFilteringWithinType1 = ReadFlagOn("ProximityFilteringWithinType1", path);
    ProximityFilteringWithinType2 = ReadFlagOn("ProximityFilteringWithinType2", path);
    ProximityFilteringBetweenType1_2 = ReadFlagOn("ProximityFilteringBetweenType1_2", path);
    ObjectRadius1 = ReadDouble(kSection, "ObjectRadius1", 0.0, path);
    ObjectRadius2 = ReadDouble(kSection, "ObjectRadius2", 0.0, path);
    ObjectRadiusSweep1 = ReadInt("ObjectRadiusSweep1", 0, path);
    ObjectRadiusSweep2 = ReadInt("ObjectRadiusSweep2", 0, path);
    MFilterThreshold1 = ReadInt("MFilterThreshold1", 0, path);
    MFilterThreshold2 = ReadInt("MFilterThreshold2", 0, path);
    MFilterSamples1 = ReadInt("MFilterSamples1", 0, path);
    MFilterSamples2 = ReadInt("MFilterSamples2", 0, path);
    CFilterThreshold1 = ReadInt("CFilterThreshold1", 0, path);
    CFilterThreshold2 = ReadInt("CFilterThreshold2", 0, path);
    CFilterMinSize1 = ReadInt("CFilterMinSize1", 1, path);
    CFilterMinSize2 = ReadInt("CFilterMinSize2", 1, path);
    UseInnerRing1 = ReadFlagOff("UseInnerRing1", path);
    UseInnerRing2 = ReadFlagOff("UseInnerRing2", path);
    Left = ReadInt("Left", -1, path);
    Right = ReadInt("Right", -1, path);
    Top = ReadInt("Top", -1, path);
    Bottom = ReadInt("Bottom", -1, path);

    const struct {
        int32_t value;
        const char* problem;
    } bounds[] = {{Left, "\nLeft is missing or invalid"},
                  {Right, "\nRight is missing or invalid"},
                  {Top, "\nTop is missing or invalid"},
                  {Bottom, "\nBottom is missing or invalid"}};
    for (const auto& bound : bounds)
        if (bound.value < 0)
            problems.Append(bound.problem);
    if (!problems.HasText())
        return true;
    const CString header = CString::Formatted("File: %s\nSection [%s]\nHas the following problems:\n", path, kSection);
    problems.Insert(0, header.GetString(), -1);
    return false;
}

bool CountingAlgoOptions::SetParamByName(const char* name, double value, Tovanix::String& error)
{
    auto is = [&](const char* key) { return Tovanix::String::CompareNoCase(name ? name : "", key) == 0; };
    if (is("ObjectRadius1")) {
        ObjectRadius1 = value;
        return true;
    }
    if (is("ObjectRadius2")) {
        ObjectRadius2 = value;
        return true;
    }
    const struct {
        const char* key;
        int32_t* field;
    } integers[] = {
        {"ObjectRadiusSweep1", &ObjectRadiusSweep1}, {"ObjectRadiusSweep2", &ObjectRadiusSweep2},
        {"MFilterThreshold1", &MFilterThreshold1},   {"MFilterThreshold2", &MFilterThreshold2},
        {"MFilterSamples1", &MFilterSamples1},       {"MFilterSamples2", &MFilterSamples2},
        {"CFilterThreshold1", &CFilterThreshold1},   {"CFilterThreshold2", &CFilterThreshold2},
        {"CFilterMinSize1", &CFilterMinSize1},       {"CFilterMinSize2", &CFilterMinSize2},
    };
    for (const auto& option : integers)
        if (is(option.key)) {
            *option.field = RoundToInt32(value);
            return true;
        }
    error = "CountingAlgoOptions::SetParamByName() Unknown parameter name: ";
    error.Append(name ? name : "");
    return false;
}

void CountingAlgoOptions::AppendDescription(CStringArray& lines)
{
    if (!enabled) {
        lines.Add("# ******** Circular cell detection algo is not enabled. ********");
        return;
    }
    if (image_pixels_per_mm == 0)
        image_pixels_per_mm = ReadImagePixelsPerMm();
    lines.Add("# ******* Circular cell detection algo parameters ********");
    lines.Add(CString::Formatted("#pixels_per_mm=%3.1lf", image_pixels_per_mm));
    lines.Add(CString::Formatted("#ROI.left=%d", Left));
    lines.Add(CString::Formatted("#ROI.right=%d", Right));
    lines.Add(CString::Formatted("#ROI.top=%d", Top));
    lines.Add(CString::Formatted("#ROI.bottom=%d", Bottom));
    lines.Add("");
    lines.Add(CString::Formatted("#NUM_FILTERS=%d", 2));
    lines.Add(CString::Formatted("#b_edge_processing=%s", TrueFalse(EdgeProcessing)));
    lines.Add("");
    const struct {
        bool mfilter;
        double radius;
        int32_t sweep, samples, mthreshold;
        bool innerRing, cfilter;
        int32_t threshold, minSize;
        bool proximity;
    } types[] = {{MFilter1, ObjectRadius1, ObjectRadiusSweep1, MFilterSamples1, MFilterThreshold1, UseInnerRing1,
                  CFilter1, CFilterThreshold1, CFilterMinSize1, ProximityFilteringWithinType1},
                 {MFilter2, ObjectRadius2, ObjectRadiusSweep2, MFilterSamples2, MFilterThreshold2, UseInnerRing2,
                  CFilter2, CFilterThreshold2, CFilterMinSize2, ProximityFilteringWithinType2}};
    for (int t = 1; t <= 2; ++t) {
        const auto& o = types[t - 1];
        lines.Add(CString::Formatted("# *** Morphological Filter %d Options ****", t));
        lines.Add(CString::Formatted("#morph_filter[%d]=%s", t, TrueFalse(o.mfilter)));
        lines.Add(CString::Formatted("#radius[%d]=%5.3lf\tum", t, o.radius));
        lines.Add(CString::Formatted("#radius[%d]=%5.3lf\tpixels", t, o.radius / 1000.0 * image_pixels_per_mm));
        lines.Add(CString::Formatted("#radius_sweep[idx]=%d", o.sweep));
        lines.Add(CString::Formatted("#samples[%d]=%d", t, o.samples));
        lines.Add(CString::Formatted("#mthreshold[%d]=%d", t, o.mthreshold));
        lines.Add(CString::Formatted("#use_inner_ring[%d]=%s", t, TrueFalse(o.innerRing)));
        lines.Add(CString::Formatted("# *** Count Filter %d Options ****", t));
        lines.Add(CString::Formatted("#count_filter=%s", TrueFalse(o.cfilter)));
        lines.Add(CString::Formatted("#threshold[%d]=%d", t, o.threshold));
        lines.Add(CString::Formatted("#min_size[%d]=%d", t, o.minSize));
        lines.Add(CString::Formatted("#proximity_filtering_per_type[%d]=%s", t, TrueFalse(o.proximity)));
    }
    lines.Add(CString::Formatted("#cross_type_filtering=%s", TrueFalse(ProximityFilteringBetweenType1_2)));
}
