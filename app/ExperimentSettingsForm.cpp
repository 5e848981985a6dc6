#include "app/ExperimentSettingsForm.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/VelloraApp.h"
#include "devices/Camera.h"
#include "support/EncryptedProfile.h"
#include "support/Profile.h"
#include "support/ShellUtils.h"

namespace {

using Field = ExperimentSettingsField;
using Kind = ExperimentSettingsField::Kind;
namespace id = ExperimentSettingsId;

constexpr const char* kExperiment = "ExperimentSettings";
constexpr const char* kTecan = "TecanCentris";
constexpr const char* kZaber = "Zaber";

// Edits are read into 1023 characters, check boxes into 9.
constexpr int kEditBufferSize = 1024;
constexpr int kCheckBufferSize = 10;

constexpr int32_t kDefaultMinExposureUs = 29;
constexpr int32_t kDefaultMaxExposureUs = 1000000;
constexpr int64_t kMaxPumpGapMs = 2000;

const char* const kZaberIndexMessage[] = {
    "ZaberFocusDeviceIndex must be an integer between 1 and 99",
    "ZaberXAxisDeviceIndex must be an integer between 1 and 99",
    "ZaberFocusAxisIndex must be an integer between 1 and 99",
    "ZaberXAxisIndex must be an integer between 1 and 99",
};
constexpr const char* kStepsPerMMMessage = "ZaberStepsPerMM must be a floating point value between 1000 and 100000";

std::vector<Field> MakeFields() {
    return {
        {id::DataDirectory, kExperiment, "DataDirectory", Kind::AsTyped, ""},
        {id::CreateDailySubDirectory, kExperiment, "CreateDailySubDirectory", Kind::CheckTrueFalseKeep, ""},
        {id::ExperimentName, kExperiment, "ExperimentName", Kind::FileName, ""},
        {id::InitializeTecanPumps, kTecan, "InitializeTecanPumpsOnStartup", Kind::CheckOnUnlessFalse, ""},
        {id::InitializeZaber, kZaber, "InitializeZaberOnStartup", Kind::CheckOnForTrue, ""},
        {id::InitializeZaberXAxis, kZaber, "InitializeZaberXAxisOnStartup", Kind::CheckOnForTrue, ""},
        {id::DarkPixelsMaxFraction, kExperiment, "DarkPixelsMaxFraction", Kind::Real, "0.95", 0, 0.999,
         "Dark pixels max fraction must be a floating point number between 0 and 0.999"},
        {id::SatPixelsMaxFraction, kExperiment, "SatPixelsMaxFraction", Kind::Real, "0.01", 0, 0.999,
         "Saturated pixels max fraction must be a floating point number between 0 and 0.999"},
        {id::DarkPixelThreshold, kExperiment, "DarkPixelThreshold", Kind::Integer, "0", 0, 1024,
         "Dark pixel threshold must be an integer between 0 and 1024."},
        {id::SatPixelThreshold, kExperiment, "SatPixelThreshold", Kind::Integer, "4000", 1024, 65536,
         "Saturation pixel threshold must be an integer between 0 and 64K."},
        {id::ImageCapturePeriod, kExperiment, "ImageCapturePeriod", Kind::Integer, "3000", 0, 3600000,
         "Image capture period must be between 0 and 3600000. Where 0 indicates that only a single image will be "
         "acquired and saved per active image type."},
        {id::ImageCaptureCount, kExperiment, "ImageCaptureCount", Kind::Integer, "100", 1, 10000,
         "Image capture period must be between 1 and 10000."},
        {id::IsActive1, kExperiment, "IsActive1", Kind::CheckOnForTrue, ""},
        {id::IsActive2, kExperiment, "IsActive2", Kind::CheckOnForTrue, ""},
        {id::IsActive3, kExperiment, "IsActive3", Kind::CheckOnForTrue, ""},
        {id::IsActive4, kExperiment, "IsActive4", Kind::CheckOnForTrue, ""},
        {id::ImageTypeName1, kExperiment, "ImageTypeName1", Kind::FileName, ""},
        {id::ImageTypeName2, kExperiment, "ImageTypeName2", Kind::FileName, ""},
        {id::ImageTypeName3, kExperiment, "ImageTypeName3", Kind::FileName, ""},
        {id::ImageTypeName4, kExperiment, "ImageTypeName4", Kind::FileName, ""},
        {id::ImageTypeExposure1, kExperiment, "ImageTypeExposure1", Kind::Exposure, ""},
        {id::ImageTypeExposure2, kExperiment, "ImageTypeExposure2", Kind::Exposure, ""},
        {id::ImageTypeExposure3, kExperiment, "ImageTypeExposure3", Kind::Exposure, ""},
        {id::ImageTypeExposure4, kExperiment, "ImageTypeExposure4", Kind::Exposure, ""},
        {id::LockAspectRatio, kExperiment, "LockAspectRatio", Kind::CheckTrueFalseKeep, ""},
        {id::AspectRatio, kExperiment, "AspectRatio", Kind::AsTyped, "1"},
        {id::MonitorScaleFactor, kExperiment, "MonitorScaleFactor", Kind::MonitorScale, "1", 0.333, 3.0,
         "MonitorScaleFactor must be between 0.333 and 3.0"},
        {id::ZaberFocusDeviceIndex, kZaber, "ZaberFocusDeviceIndex", Kind::Integer, "1", 1, 99, kZaberIndexMessage[0]},
        {id::ZaberXAxisDeviceIndex, kZaber, "ZaberXAxisDeviceIndex", Kind::Integer, "1", 1, 99, kZaberIndexMessage[1]},
        {id::ZaberFocusAxisIndex, kZaber, "ZaberFocusAxisIndex", Kind::Integer, "1", 1, 99, kZaberIndexMessage[2]},
        {id::ZaberXAxisIndex, kZaber, "ZaberXAxisIndex", Kind::Integer, "2", 1, 99, kZaberIndexMessage[3]},
        {id::ZaberStepsPerMM_Z, kZaber, "ZaberStepsPerMM_Z", Kind::Real, "20997.38", 1000, 100000, kStepsPerMMMessage},
        {id::ZaberStepsPerMM_X, kZaber, "ZaberStepsPerMM_X", Kind::Real, "20997.38", 1000, 100000, kStepsPerMMMessage},
        {id::PumpMinTimeBetweenCommands, kTecan, "min_time_between_commands_ms", Kind::PumpGap, "0"},
    };
}

bool IsStageField(const Field& field) {
    return field.id >= id::ZaberFocusDeviceIndex && field.id <= id::ZaberStepsPerMM_X;
}

std::string ReadValue(const char* section, const char* key, const char* defaultText, int size, const char* file) {
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    Tovanix::E_GetPrivateProfileString(section, key, defaultText, buffer.data(), size, file);
    return buffer.data();
}

bool EqualsNoCase(const std::string& text, const char* word) {
    return Tovanix::String::CompareNoCase(text.c_str(), word) == 0;
}

std::string TextOf(const ExperimentSettingsValues& values, int control) {
    const auto found = values.texts.find(control);
    return found == values.texts.end() ? std::string() : found->second;
}

// Writes an accepted value; a key the store could not write is remembered.
void Write(const char* section, const char* key, const std::string& text, const char* file,
           std::vector<std::string>* unwritten) {
    if (!Tovanix::E_WritePrivateProfileString(section, key, text.c_str(), file) && unwritten) {
        unwritten->push_back(key);
    }
}

// Checks one numeric edit against its field's range.
bool InRange(const Field& field, const std::string& text) {
    if (field.kind == Kind::Integer) {
        const int64_t value = ParseSettingsInteger(text);
        return value >= static_cast<int64_t>(field.min) && value <= static_cast<int64_t>(field.max);
    }
    if (field.kind == Kind::MonitorScale && text.empty()) return true;
    const double value = ParseSettingsReal(text);
    if (field.kind == Kind::MonitorScale) return value >= field.min && value < field.max;
    return value >= field.min && value <= field.max;
}

// Checks and writes one field; false with the message when refused.
bool SaveField(const Field& field, const ExperimentSettingsValues& values, const char* file,
               const PumpGapSetter& setPumpGap, CString& error, std::vector<std::string>* unwritten) {
    if (field.IsCheckBox()) {
        const auto found = values.checks.find(field.id);
        const bool on = found != values.checks.end() && found->second;
        Write(field.section, field.key, on ? "TRUE" : "FALSE", file, unwritten);
        return true;
    }
    const std::string text = TextOf(values, field.id);
    switch (field.kind) {
        case Kind::AsTyped:
            Write(field.section, field.key, text, file, unwritten);
            return true;
        case Kind::FileName:
            return SaveFileNameField(field.key, text, file, error, unwritten);
        case Kind::Exposure:
            return SaveExposureField(field.key, text, file, error, unwritten);
        case Kind::PumpGap:
            return SavePumpSettings(text, file, setPumpGap, error, unwritten);
        default:
            break;
    }
    if (!InRange(field, text)) {
        error = field.rangeMessage;
        return false;
    }
    Write(field.section, field.key, text, file, unwritten);
    return true;
}

std::string UnwrittenMessage(const std::vector<std::string>& keys, const char* file) {
    std::string message = std::string("ExperimentSettingsDlg::SaveSettings() : unable to write to ") + file + ":";
    for (const std::string& key : keys) message += " " + key;
    return message;
}

}  // namespace

const std::vector<ExperimentSettingsField>& ExperimentSettingsFields() {
    static const std::vector<Field> fields = MakeFields();
    return fields;
}

int64_t ParseSettingsInteger(const std::string& text) {
    const char* start = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*start))) ++start;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(start, &end, 10);
    if (end == start) return -1;
    // Out-of-range texts saturate, which every range refuses.
    return static_cast<int64_t>(value);
}

double ParseSettingsReal(const std::string& text) {
    const char* start = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*start))) ++start;
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    return end == start ? -1.0 : value;
}

std::string CleanFileName(const std::string& text) {
    std::string cleaned = text;
    for (char& ch : cleaned) {
        if (!Tovanix::IsValidFileNameChar(&ch)) ch = '_';
    }
    return cleaned;
}

ExperimentSettingsValues LoadExperimentSettings(const char* settingsFile, const char* dataRoot) {
    ExperimentSettingsValues values;
    for (const Field& field : ExperimentSettingsFields()) {
        if (!field.IsCheckBox()) {
            const char* defaultText = field.id == id::DataDirectory ? (dataRoot ? dataRoot : "") : field.defaultText;
            values.texts[field.id] = ReadValue(field.section, field.key, defaultText, kEditBufferSize, settingsFile);
            continue;
        }
        const std::string stored = ReadValue(field.section, field.key, "", kCheckBufferSize, settingsFile);
        switch (field.kind) {
            case Kind::CheckOnForTrue:
            case Kind::CheckTrueFalseKeep:
                values.checks[field.id] = EqualsNoCase(stored, "TRUE");
                break;
            default:
                values.checks[field.id] = !EqualsNoCase(stored, "FALSE");
                break;
        }
    }
    return values;
}

std::vector<std::string> SaveExperimentSettings(const ExperimentSettingsValues& values, const char* settingsFile,
                                                const PumpGapSetter& setPumpGap) {
    std::vector<std::string> messages;
    std::vector<std::string> unwritten;
    bool stageSaved = false;
    for (const Field& field : ExperimentSettingsFields()) {
        if (IsStageField(field)) {
            if (!stageSaved) SaveStageSettings(values, settingsFile, messages, &unwritten);
            stageSaved = true;
            continue;
        }
        CString error;
        if (!SaveField(field, values, settingsFile, setPumpGap, error, &unwritten)) messages.push_back(error.str());
    }
    if (!unwritten.empty()) messages.push_back(UnwrittenMessage(unwritten, settingsFile));
    return messages;
}

bool SaveFileNameField(const char* key, const std::string& text, const char* settingsFile, CString& error,
                       std::vector<std::string>* unwritten) {
    if (Tovanix::String::CompareNoCase(CleanFileName(text).c_str(), text.c_str()) != 0) {
        error.Format("%s has invalid characters, only valid Windows file name characters allowed.", key);
        return false;
    }
    Write(kExperiment, key, text, settingsFile, unwritten);
    return true;
}

bool SaveExposureField(const char* key, const std::string& text, const char* settingsFile, CString& error,
                       std::vector<std::string>* unwritten) {
    if (!text.empty()) {
        const int64_t value = ParseSettingsInteger(text);
        const int32_t exposure = value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
        if (!CheckExposureAgainstCameraLimits(exposure, error)) return false;
    }
    Write(kExperiment, key, text, settingsFile, unwritten);
    return true;
}

bool SavePumpSettings(const std::string& text, const char* settingsFile, const PumpGapSetter& setPumpGap,
                      CString& error, std::vector<std::string>* unwritten) {
    const int64_t value = ParseSettingsInteger(text);
    if (value < 0 || value > kMaxPumpGapMs) {
        error = "Tecan: Min time between commands must be between 0 and 2000 ms";
        return false;
    }
    if (setPumpGap) {
        Tovanix::String driverError;
        if (!setPumpGap(static_cast<uint16_t>(value), &driverError)) {
            error = driverError.c_str();
            return false;
        }
    }
    Write(kTecan, "min_time_between_commands_ms", text, settingsFile, unwritten);
    return true;
}

void SaveStageSettings(const ExperimentSettingsValues& values, const char* settingsFile,
                       std::vector<std::string>& messages, std::vector<std::string>* unwritten) {
    for (const Field& field : ExperimentSettingsFields()) {
        if (!IsStageField(field)) continue;
        CString error;
        if (!SaveField(field, values, settingsFile, {}, error, unwritten)) messages.push_back(error.str());
    }
}

bool CheckExposureAgainstCameraLimits(int32_t exposureUs, CString& error) {
    int32_t minimum = kDefaultMinExposureUs;
    int32_t maximum = kDefaultMaxExposureUs;
    CString model;
    CString modelError;
    Camera* camera = theApp.m_pCamera;
    if (camera && camera->IsInitialized() && camera->GetModelName(&model, &modelError)) {
        CString section;
        section.Format("%s Settings", model.GetString());
        const int64_t min = ParseSettingsInteger(ReadValue(section, "min_exposure_us", "29", 32, g_IniPath));
        const int64_t max = ParseSettingsInteger(ReadValue(section, "max_exposure_us", "1000000", 32, g_IniPath));
        // Limits that make no sense fall back to the defaults.
        if (min >= 3 && max >= 1000 && max <= 10000000 && min < max) {
            minimum = static_cast<int32_t>(min);
            maximum = static_cast<int32_t>(max);
        }
    }
    if (exposureUs < minimum) {
        error.Format("exposure must be at least %ld us", static_cast<long>(minimum));
        return false;
    }
    if (exposureUs > maximum) {
        error.Format("exposure must be no more than %ld us", static_cast<long>(maximum));
        return false;
    }
    return true;
}

std::string MainSettingsFileOfDataRoot(const char* dataRoot) {
    Tovanix::String folder(dataRoot);
    folder.Trim();
    std::string path = folder.c_str();
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    return path + "Vellora.ini";
}

bool OpenMainSettingsFileForEditing(const char* dataRoot, CString& error) {
    const std::string path = MainSettingsFileOfDataRoot(dataRoot);
    bool encrypted = false;
    Tovanix::String examineError;
    if (!Tovanix::E_IsFileEncrypted(path.c_str(), encrypted, examineError)) {
        error = examineError.c_str();
        return false;
    }
    if (encrypted) {
        error = "File is encrypted. Can't edit it.";
        return false;
    }
    // Without a registered editor the desktop's opener is asked; either way
    // the opener logs its own trouble.
    Tovanix::OpenUsingDefaultApp(path.c_str(), ".txt");
    return true;
}
