#pragma once

// Counting parameter sets: the 27 options of circular cell counting as the
// counting tool edits them, one ".counting_params" file per set in the LIB
// folder of the data root (section [CountingAlgorithmDlg]), and the main
// settings file's copy of the tool's working state.
//
// Values are kept as the texts of the tool's controls: flags "TRUE" or
// "FALSE", numbers as typed (never reformatted or range-checked here; the
// readers check them). A set written here holds exactly the 27 keys in
// their fixed order, so two sets with the same values are the same bytes,
// which is how unsaved changes are found.

#include <array>
#include <cstddef>
#include <optional>
#include <string>

constexpr const char* kCountingParamsExtension = ".counting_params";
constexpr const char* kCountingSection = "CountingAlgorithmDlg";

enum class CountingParamKind {
    Flag,           // "TRUE" sets, "FALSE" clears, anything else keeps the value
    FlagDefaultOn,  // "FALSE" clears, anything else sets
    Number,         // the text as it stands; a missing key gives the default
};

struct CountingParamKey {
    const char* key;
    CountingParamKind kind;
    const char* missingDefault;  // Number only
    int controlId;               // of the tool's window
};

constexpr size_t kCountingParamCount = 27;
extern const std::array<CountingParamKey, kCountingParamCount> kCountingParamKeys;

// Index of a key (any letter case), or -1.
int CountingParamIndex(const char* key);

struct CountingParamValues {
    // Texts of the controls, in key order; flags are "TRUE" or "FALSE".
    std::array<std::string, kCountingParamCount> text;
    CountingParamValues();  // every flag off, every number empty (the window's empty state)

    const std::string& Get(const char* key) const;
    void Set(const char* key, const std::string& value);
    bool Flag(const char* key) const;
    void SetFlag(const char* key, bool on);
};

// Reads the keys in order from a profile file into `values` with the rules
// of each key's kind; a missing file reads as if every key were missing.
void ReadCountingParams(const std::string& file, CountingParamValues& values);
// Writes the 27 keys in order; false when any write failed.
bool WriteCountingParams(const std::string& file, const CountingParamValues& values);

// The tool's own keys in the main settings file besides the 27.
struct CountingToolChoices {
    std::string paramSetName;
    bool createResultsFiles = false;
    bool openSummary = false;
};
// CreateResultsFiles and OpenSummary keep their state unless "TRUE"/"FALSE".
void ReadCountingToolChoices(CountingToolChoices& choices);
bool WriteCountingToolChoices(const CountingToolChoices& choices);

// Saves a set under a name: the name is checked (CheckParamSetName), the LIB
// folder made when missing ("Unable to create directory: %s"), the file
// created empty ("Unable to create file: %s"), then the keys written. False
// with the message in `error`, nothing written.
bool SaveCountingParamSet(const std::string& name, const CountingParamValues& values, std::string* error);

// The unsaved-change test: the values written into the working copy
// Tmp\Params.ini of the data root compare unequal to the set's file (or the
// set has no file). Sets written by other means (keys reordered or added)
// differ too.
bool CountingParamSetDiffers(const std::string& name, const CountingParamValues& values);
std::string CountingWorkingCopyPath();

// The spin buttons beside the numeric edits: the new text after one step up
// or down, or nothing when the text is not a number or the step would pass
// the edit's limit. Only the twelve spun keys have a step.
std::optional<std::string> SpinCountingParam(const char* key, const std::string& text, bool up);
