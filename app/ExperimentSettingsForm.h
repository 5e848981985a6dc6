#pragma once

// The rules of the experiment settings window without the window: which key
// of the main settings file each control shows, how the controls are filled,
// and how their texts are checked and written.
//
// A value that passes its check is written exactly as typed (the text "12abc"
// is written when it reads as 12 and 12 is allowed); a value that fails is
// not written, and its message is handed back so the window can log and show
// it. One failing value never stops the others from being written.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/CString.h"
#include "support/String.h"

// Control ids of the experiment settings window.
namespace ExperimentSettingsId {
enum : int {
    DataDirectory = 1003,
    Browse = 1009,
    CreateDailySubDirectory = 1010,
    OpenSettingsFile = 1011,
    Done = 1012,
    ExperimentName = 1013,
    OpenRunLog = 1014,
    IsActive1 = 1015,
    IsActive2 = 1016,
    DarkPixelsMaxFraction = 1017,
    DarkPixelThreshold = 1018,
    SatPixelsMaxFraction = 1019,
    SatPixelThreshold = 1020,
    IsActive3 = 1021,
    IsActive4 = 1022,
    ImageCapturePeriod = 1039,
    ImageTypeName1 = 1040,
    ImageTypeName2 = 1041,
    ImageTypeExposure1 = 1044,
    ImageTypeExposure2 = 1045,
    ImageTypeName3 = 1046,
    ImageTypeName4 = 1047,
    ImageTypeExposure3 = 1050,
    ImageTypeExposure4 = 1051,
    ImageCaptureCount = 1052,
    LockAspectRatio = 1245,
    AspectRatio = 1246,
    MonitorScaleFactor = 1247,
    InitializeTecanPumps = 1306,
    InitializeZaber = 1308,
    InitializeZaberXAxis = 1309,
    ZaberFocusDeviceIndex = 1331,
    ZaberXAxisDeviceIndex = 1332,
    ZaberFocusAxisIndex = 1333,
    ZaberXAxisIndex = 1334,
    ZaberStepsPerMM_Z = 1335,
    ZaberStepsPerMM_X = 1336,
    PumpMinTimeBetweenCommands = 1365,
};
}  // namespace ExperimentSettingsId

// One control of the window and the key it edits.
struct ExperimentSettingsField {
    enum class Kind {
        AsTyped,        // edit, written unchecked
        FileName,       // edit, only characters allowed in file names
        Exposure,       // edit, microseconds within the camera's limits (empty allowed)
        Integer,        // edit, whole number within [min, max]
        Real,           // edit, number within [min, max]
        MonitorScale,   // edit, empty or a number within [min, max)
        PumpGap,        // edit, milliseconds between pump commands
        CheckOnForTrue,     // check box: on for "TRUE" (any case)
        CheckTrueFalseKeep, // check box: on for "TRUE", off for "FALSE", else as created (off)
        CheckOnUnlessFalse, // check box: on unless "FALSE" (any case)
    };
    int id;
    const char* section;
    const char* key;
    Kind kind;
    const char* defaultText;  // what an edit shows when the key is missing
    double min = 0;
    double max = 0;
    const char* rangeMessage = nullptr;

    bool IsCheckBox() const {
        return kind == Kind::CheckOnForTrue || kind == Kind::CheckTrueFalseKeep || kind == Kind::CheckOnUnlessFalse;
    }
};

// Every control with a key, in the order a save checks and writes them.
const std::vector<ExperimentSettingsField>& ExperimentSettingsFields();

// What the window's controls hold: edit texts and check box states by id.
struct ExperimentSettingsValues {
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
};

// The controls' values from the settings file; a missing DataDirectory key
// shows `dataRoot`.
ExperimentSettingsValues LoadExperimentSettings(const char* settingsFile, const char* dataRoot);

// How the pump driver takes a new gap between commands; false with the
// driver's message when it refuses.
using PumpGapSetter = std::function<bool(uint16_t milliseconds, Tovanix::String* error)>;

// Checks and writes every value in field order; returns the message of each
// refused value in that order, and one message naming the keys that could not
// be written to the file, if any.
std::vector<std::string> SaveExperimentSettings(const ExperimentSettingsValues& values, const char* settingsFile,
                                                const PumpGapSetter& setPumpGap);

// The single checks a save makes. Each writes the text and returns true, or
// returns false with the message and writes nothing. A failed write of an
// accepted value returns true and adds the key to `unwritten` when given.
bool SaveFileNameField(const char* key, const std::string& text, const char* settingsFile, CString& error,
                       std::vector<std::string>* unwritten = nullptr);
bool SaveExposureField(const char* key, const std::string& text, const char* settingsFile, CString& error,
                       std::vector<std::string>* unwritten = nullptr);
bool SavePumpSettings(const std::string& text, const char* settingsFile, const PumpGapSetter& setPumpGap,
                      CString& error, std::vector<std::string>* unwritten = nullptr);
// The six [Zaber] edits; the messages of the refused ones are appended.
void SaveStageSettings(const ExperimentSettingsValues& values, const char* settingsFile,
                       std::vector<std::string>& messages, std::vector<std::string>* unwritten = nullptr);

// Whether an exposure in microseconds is within the open camera's limits
// ([<model> Settings] min_exposure_us and max_exposure_us of the main
// settings file when they make sense), else within 29 to 1,000,000.
bool CheckExposureAgainstCameraLimits(int32_t exposureUs, CString& error);

// The text with every character that a file name may not hold replaced by
// '_'; every character is examined, however long the text.
std::string CleanFileName(const std::string& text);

// The number the text starts with, read as "%d" and "%lf" read it; -1 when
// the text does not start with one.
int64_t ParseSettingsInteger(const std::string& text);
double ParseSettingsReal(const std::string& text);

// <data root>/Vellora.ini.
std::string MainSettingsFileOfDataRoot(const char* dataRoot);

// Opens the data root's main settings file in the text editor; refused (false
// with the message) when the file is enciphered or cannot be examined.
bool OpenMainSettingsFileForEditing(const char* dataRoot, CString& error);
