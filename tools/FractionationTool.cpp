#include "tools/FractionationTool.h"

#include "app/ExperimentSettingsIni.h"
#include "app/FlowSplit.h"
#include "app/NamedROIList.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "support/Profile.h"
#include "support/String.h"

#include <cmath>
#include <cstdlib>

namespace {

std::string SettingsFileOf(const std::string& folder) {
    return FindExperimentSettingsIni(Tovanix::String(folder.c_str())).c_str();
}

}  // namespace

ToolSettings MakeFractionationToolSettings() {
    return ToolSettings("FractionationAnalysisDlg", {{"Directory", ""},
                                                     {"ProjectionAnalysisParams", ""},
                                                     {"ROI", ""},
                                                     {"Filter", "*.png"},
                                                     {"ChannelDivider", "0.5"},
                                                     {"BrightField", ""}});
}

bool GetFractionationProjectionParams(const std::string& folder, const std::string& setName,
                                      ProjectionAnalysisParams& params, std::string& error) {
    const std::string ini = SettingsFileOf(folder);
    if (ini.empty() || !platform::FileExists(ini)) {
        error = "Missing required file: " + ini;
        return false;
    }
    params.LoadCalibration(folder.c_str());
    if (setName.empty()) {
        error = "You must choose a projection parameters file.";
        return false;
    }
    params.LoadFromFile(ParamSetPath(setName, ".pa_params").c_str());
    return true;
}

bool ResolveFractionationRoi(const std::string& folder, const std::string& name, FractionationRoi& roi,
                             std::string& error) {
    roi.name = name;
    if (Tovanix::TextEquals(name.c_str(), kImageDirRoiName, false, -1) &&
        name.size() == std::char_traits<char>::length(kImageDirRoiName)) {
        const std::string ini = SettingsFileOf(folder);
        CartridgeChannelROI rect;
        theApp.GetCartridgeChannelROI(true, CString(ini.c_str()), rect);
        const bool positive = rect.left > 0 && rect.top > 0 && rect.right > 0 && rect.bottom > 0;
        const int32_t w = rect.right - rect.left;
        const int32_t h = rect.bottom - rect.top;
        if (ini.empty() || !(positive || (w >= 10 && w <= 3000 && h >= 10 && h <= 3000))) {
            error = "Unable to determine default ROI from file: " + ini;
            return false;
        }
        roi.left = rect.left;
        roi.top = rect.top;
        roi.right = rect.right;
        roi.bottom = rect.bottom;
        return true;
    }
    NamedROIList list;
    if (!list.LoadFromIni(g_IniPath.GetString())) {
        error.clear();
        return false;
    }
    for (int i = 0; i < list.count; ++i) {
        const NamedROI& r = *list.items[i];
        if (Tovanix::String::Compare(r.name.c_str(), name.c_str()) == 0) {
            roi.left = static_cast<int32_t>(r.left);
            roi.top = static_cast<int32_t>(r.top);
            roi.right = static_cast<int32_t>(r.right);
            roi.bottom = static_cast<int32_t>(r.bottom);
            return true;
        }
    }
    error = "ROI object \"" + name + "\" does not exist in file: " + g_IniPath.GetString();
    return false;
}

bool ApplyChannelDividerText(const std::string& text) {
    // The form has no divider field, so the text is normally empty; only a
    // text that reads whole as a number may move the shared split line.
    double fraction = 0.0;
    bool readable = false;
    if (!text.empty()) {
        char* end = nullptr;
        fraction = std::strtod(text.c_str(), &end);
        readable = end != text.c_str() && *end == '\0' && std::isfinite(fraction);
    }
    bool changed = false;
    UpdateFlowSplit([&](FlowSplitValues& v) {
        v.FlowSplitLineVisible = true;
        if (readable && fraction != v.FlowSplitFraction) {
            v.FlowSplitFraction = fraction;
            v.FlowSplitChanged = true;
            changed = true;
        }
    });
    if (changed) InvalidateImageViews();
    return changed;
}

std::vector<std::string> ListFractionationParamSets() {
    std::vector<std::string> names;
    for (const std::string& name : ListParamSets(".pa_params")) {
        if (Tovanix::FindText(name.c_str(), "ExperimentSettings", false) == nullptr) names.push_back(name);
    }
    return names;
}

std::vector<std::string> ListFractionationRois(const std::string& folder) {
    std::vector<std::string> names;
    NamedROIList list;
    if (list.LoadFromIni(g_IniPath.GetString())) {
        for (int i = 0; i < list.count; ++i) names.emplace_back(list.SortedAt(i)->name.c_str());
    }
    if (!SettingsFileOf(folder).empty()) names.emplace_back(kImageDirRoiName);
    return names;
}
