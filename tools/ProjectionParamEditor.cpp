#include "tools/ProjectionParamEditor.h"

#include "app/VelloraApp.h"
#include "support/Profile.h"
#include "support/String.h"
#include "tools/ToolFrame.h"

#include <cstdio>

namespace {

constexpr const char* kSection = "RightSideProjection";

std::string Read(const char* key, const char* defaultValue, const std::string& file, int size = 1024) {
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    Tovanix::E_GetPrivateProfileString(kSection, key, defaultValue, buffer.data(), size, file.c_str());
    return buffer.data();
}

bool HoldsExperimentSettings(const std::string& name) {
    return Tovanix::FindText(name.c_str(), "ExperimentSettings", false) != nullptr;
}

}  // namespace

std::string RememberedProjectionSet() {
    char buffer[1024] = {};
    Tovanix::E_GetPrivateProfileString("ProjectionAnalysisTool", "ProjectionAnalysisParams", "ExperimentSettings",
                                       buffer, sizeof buffer, g_IniPath.GetString());
    return buffer;
}

bool RememberProjectionSet(const std::string& name) {
    return Tovanix::E_WritePrivateProfileString("ProjectionAnalysisTool", "ProjectionAnalysisParams", name.c_str(),
                                                g_IniPath.GetString());
}

std::string ProjectionSetReadPath(const std::string& name) {
    if (name == kExperimentSettingsParamsName) return g_IniPath.GetString();
    return ParamSetPath(name, ".pa_params");
}

std::string ProjectionSetWritePath(const std::string& name, bool toMainSettings) {
    if (toMainSettings || HoldsExperimentSettings(name)) return g_IniPath.GetString();
    return ParamSetPath(name, ".pa_params");
}

void LoadProjectionParamTexts(const std::string& file, ProjectionParamTexts& texts) {
    texts.smoothingWindowMicrons = Read("SmoothingWindowMicrons", "15.0", file);
    texts.numPeaksToFind = Read("NumPeaksToFind", "2", file);
    texts.stdevIntegrationArea = Read("StdevIntegrationArea", "1.0", file);
    texts.integrationSamples = Read("IntegrationSamples", "11", file);
    const std::string valleys = Read("FindValleys", "", file, 9);
    if (Tovanix::String::CompareNoCase(valleys.c_str(), "TRUE") == 0) texts.findValleys = true;
    if (Tovanix::String::CompareNoCase(valleys.c_str(), "FALSE") == 0) texts.findValleys = false;
}

bool SaveProjectionParamTexts(const std::string& file, const ProjectionParamTexts& texts) {
    const std::pair<const char*, std::string> values[] = {
        {"SmoothingWindowMicrons", texts.smoothingWindowMicrons},
        {"NumPeaksToFind", texts.numPeaksToFind},
        {"StdevIntegrationArea", texts.stdevIntegrationArea},
        {"IntegrationSamples", texts.integrationSamples},
        {"BackgroundSubtract", "FALSE"},
        {"FindValleys", texts.findValleys ? "TRUE" : "FALSE"},
    };
    bool ok = true;
    for (const auto& [key, value] : values) {
        ok = Tovanix::E_WritePrivateProfileString(kSection, key, value.c_str(), file.c_str()) && ok;
    }
    return ok;
}

void ApplyProjectionParamTexts(const ProjectionParamTexts& texts, ProjectionAnalysisParams& params) {
    double d = 0;
    int n = 0;
    if (std::sscanf(texts.smoothingWindowMicrons.c_str(), "%lf", &d) == 1) params.smoothingWindowMicrons = d;
    if (std::sscanf(texts.numPeaksToFind.c_str(), "%d", &n) == 1) params.numPeaksToFind = n;
    if (std::sscanf(texts.integrationSamples.c_str(), "%d", &n) == 1) params.integrationSamples = n;
    if (std::sscanf(texts.stdevIntegrationArea.c_str(), "%lf", &d) == 1) params.stdevIntegrationArea = d;
    params.findValleys = texts.findValleys;
}

std::vector<std::string> ListProjectionParamSets() {
    std::vector<std::string> names;
    for (const std::string& name : ListParamSets(".pa_params")) {
        if (!HoldsExperimentSettings(name)) names.push_back(name);
    }
    names.emplace_back(kExperimentSettingsParamsName);
    return names;
}
