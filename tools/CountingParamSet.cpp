#include "tools/CountingParamSet.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "support/AppLogs.h"
#include "support/DataFiles.h"
#include "support/Profile.h"
#include "support/String.h"
#include "tools/ToolFrame.h"

namespace {

using Kind = CountingParamKind;

std::string ReadText(const char* section, const char* key, const char* fallback, int size, const std::string& file) {
    char buffer[1024] = "";
    if (!Tovanix::E_GetPrivateProfileString(section, key, fallback, buffer, size, file.c_str())) return fallback;
    return buffer;
}

bool IsText(const std::string& value, const char* text) { return strcasecmp(value.c_str(), text) == 0; }

struct SpinRule {
    const char* key;
    double step;
    double highest;
    double lowest;
};

constexpr SpinRule kSpinRules[] = {
    {"ObjectRadius1", 1, 50, 1},       {"ObjectRadius2", 1, 50, 1},       {"ObjectRadiusSweep1", 1, 20, 0},
    {"ObjectRadiusSweep2", 1, 20, 0},  {"MFilterSamples1", 1, 36, 4},     {"MFilterSamples2", 1, 36, 4},
    {"MFilterThreshold1", 5, 500, 1},  {"MFilterThreshold2", 5, 500, 1},  {"CFilterThreshold1", 5, 500, 1},
    {"CFilterThreshold2", 5, 500, 1},  {"CFilterMinSize1", 1, 100, 1},    {"CFilterMinSize2", 1, 100, 1},
};

}  // namespace

const std::array<CountingParamKey, kCountingParamCount> kCountingParamKeys = {{
    {"EdgeProcessing", Kind::Flag, nullptr, 1021},
    {"MFilter1", Kind::Flag, nullptr, 1026},
    {"MFilter2", Kind::Flag, nullptr, 1027},
    {"CFilter1", Kind::Flag, nullptr, 1028},
    {"CFilter2", Kind::Flag, nullptr, 1029},
    {"ObjectRadius1", Kind::Number, "13", 1024},
    {"ObjectRadius2", Kind::Number, "4", 1025},
    {"ObjectRadiusSweep1", Kind::Number, "0", 1044},
    {"ObjectRadiusSweep2", Kind::Number, "0", 1045},
    {"MFilterSamples1", Kind::Number, "12", 1030},
    {"MFilterSamples2", Kind::Number, "8", 1031},
    {"CFilterThreshold1", Kind::Number, "200", 1032},
    {"CFilterThreshold2", Kind::Number, "100", 1033},
    {"CFilterMinSize1", Kind::Number, "5", 1034},
    {"CFilterMinSize2", Kind::Number, "1", 1035},
    {"RestoreImage", Kind::Flag, nullptr, 1038},
    {"MFilterThreshold1", Kind::Number, "250", 1037},
    {"MFilterThreshold2", Kind::Number, "250", 1039},
    {"UseInnerRing1", Kind::FlagDefaultOn, nullptr, 1022},
    {"UseInnerRing2", Kind::FlagDefaultOn, nullptr, 1023},
    {"ProximityFilteringWithinType1", Kind::FlagDefaultOn, nullptr, 1258},
    {"ProximityFilteringWithinType2", Kind::FlagDefaultOn, nullptr, 1259},
    {"ProximityFilteringBetweenType1_2", Kind::FlagDefaultOn, nullptr, 1260},
    {"Left", Kind::Number, "100", 1040},
    {"Right", Kind::Number, "1000", 1209},
    {"Top", Kind::Number, "100", 1042},
    {"Bottom", Kind::Number, "1000", 1210},
}};

int CountingParamIndex(const char* key) {
    for (size_t i = 0; i < kCountingParamKeys.size(); ++i) {
        if (strcasecmp(kCountingParamKeys[i].key, key) == 0) return static_cast<int>(i);
    }
    return -1;
}

CountingParamValues::CountingParamValues() {
    for (size_t i = 0; i < kCountingParamKeys.size(); ++i) {
        if (kCountingParamKeys[i].kind != Kind::Number) text[i] = "FALSE";
    }
}

const std::string& CountingParamValues::Get(const char* key) const {
    static const std::string empty;
    const int index = CountingParamIndex(key);
    return index < 0 ? empty : text[static_cast<size_t>(index)];
}

void CountingParamValues::Set(const char* key, const std::string& value) {
    const int index = CountingParamIndex(key);
    if (index >= 0) text[static_cast<size_t>(index)] = value;
}

bool CountingParamValues::Flag(const char* key) const { return Get(key) == "TRUE"; }

void CountingParamValues::SetFlag(const char* key, bool on) { Set(key, on ? "TRUE" : "FALSE"); }

void ReadCountingParams(const std::string& file, CountingParamValues& values) {
    for (size_t i = 0; i < kCountingParamKeys.size(); ++i) {
        const CountingParamKey& key = kCountingParamKeys[i];
        switch (key.kind) {
        case Kind::Flag: {
            const std::string value = ReadText(kCountingSection, key.key, "", 9, file);
            if (IsText(value, "TRUE")) values.text[i] = "TRUE";
            if (IsText(value, "FALSE")) values.text[i] = "FALSE";
            break;
        }
        case Kind::FlagDefaultOn:
            values.text[i] = IsText(ReadText(kCountingSection, key.key, "", 9, file), "FALSE") ? "FALSE" : "TRUE";
            break;
        case Kind::Number:
            values.text[i] = ReadText(kCountingSection, key.key, key.missingDefault, 1024, file);
            break;
        }
    }
}

bool WriteCountingParams(const std::string& file, const CountingParamValues& values) {
    bool written = true;
    for (size_t i = 0; i < kCountingParamKeys.size(); ++i) {
        written = Tovanix::E_WritePrivateProfileString(kCountingSection, kCountingParamKeys[i].key,
                                                       values.text[i].c_str(), file.c_str()) && written;
    }
    return written;
}

void ReadCountingToolChoices(CountingToolChoices& choices) {
    const std::string ini = g_IniPath.str();
    choices.paramSetName = ReadText(kCountingSection, "ParamSetName", "", 1024, ini);
    const std::string create = ReadText(kCountingSection, "CreateResultsFiles", "", 9, ini);
    if (IsText(create, "TRUE")) choices.createResultsFiles = true;
    if (IsText(create, "FALSE")) choices.createResultsFiles = false;
    const std::string open = ReadText(kCountingSection, "OpenSummary", "", 9, ini);
    if (IsText(open, "TRUE")) choices.openSummary = true;
    if (IsText(open, "FALSE")) choices.openSummary = false;
}

bool WriteCountingToolChoices(const CountingToolChoices& choices) {
    const std::string ini = g_IniPath.str();
    bool written = Tovanix::E_WritePrivateProfileString(kCountingSection, "ParamSetName", choices.paramSetName.c_str(), ini.c_str());
    written = Tovanix::E_WritePrivateProfileString(kCountingSection, "CreateResultsFiles",
                                                   choices.createResultsFiles ? "TRUE" : "FALSE", ini.c_str()) && written;
    written = Tovanix::E_WritePrivateProfileString(kCountingSection, "OpenSummary", choices.openSummary ? "TRUE" : "FALSE",
                                                   ini.c_str()) && written;
    return written;
}

bool SaveCountingParamSet(const std::string& name, const CountingParamValues& values, std::string* error) {
    if (!CheckParamSetName(name, error)) return false;
    const std::string folder = LibFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!platform::DirectoryExists(folder)) {
        *error = "Unable to create directory: " + folder;
        return false;
    }
    const std::string path = ParamSetPath(name, kCountingParamsExtension);
    // Written whole into a fresh file, so the set holds only the 27 keys.
    if (!platform::WriteFileAtomically(path, "", 0)) {
        *error = "Unable to create file: " + path;
        return false;
    }
    if (!WriteCountingParams(path, values)) {
        *error = "Unable to create file: " + path;
        return false;
    }
    return true;
}

std::string CountingWorkingCopyPath() { return DataRootPath("Tmp/Params.ini").str(); }

bool CountingParamSetDiffers(const std::string& name, const CountingParamValues& values) {
    const std::string working = CountingWorkingCopyPath();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(working).parent_path(), ec);
    std::filesystem::remove(working, ec);
    WriteCountingParams(working, values);
    return !Tovanix::AreFilesIdentical(ParamSetPath(name, kCountingParamsExtension).c_str(), working.c_str());
}

std::optional<std::string> SpinCountingParam(const char* key, const std::string& text, bool up) {
    for (const SpinRule& rule : kSpinRules) {
        if (strcasecmp(rule.key, key) != 0) continue;
        const char* start = text.c_str();
        char* end = nullptr;
        const double value = std::strtod(start, &end);
        if (end == start) return std::nullopt;
        const double result = up ? value + rule.step : value - rule.step;
        if (up ? result > rule.highest : result < rule.lowest) return std::nullopt;
        char buffer[32] = "";
        Tovanix::FormatNumber(result, buffer);
        return std::string(buffer);
    }
    return std::nullopt;
}
