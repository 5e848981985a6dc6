#pragma once

// What scripts do to experiments and the recording workflow, for the script
// commands and for the run screen's commands alike: name checks, the
// experiment keys of [ExperimentSettings] in the main settings file, the
// start of the timed workflow, single captures, the capture period, the four
// image-type descriptions and the live view's intervals by image type.
//
// Each operation runs on the calling script thread; what belongs to windows
// (the workflow timer, the image-type box, the run screen's radio buttons)
// is handed to the user-interface thread, and the caller waits.
//
// Errors: false with a message that begins with the command's name. Writes
// of the main settings file are not checked, as the commands' callers expect.

#include <cstdint>
#include <string>

#include "platform/CString.h"

// Longest experiment name and image-type name.
constexpr size_t kMaxExperimentNameLength = 32;

// Every character passes Tovanix::IsValidFileNameChar; a text longer than
// 256 characters is not examined and counts as valid.
bool IsValidFileNameText(const std::string& text);
// The text with each refused character replaced by '_'.
std::string WithInvalidFileNameCharsReplaced(const std::string& text);

// [ExperimentSettings] of the main settings file (1023 characters, default "").
std::string ReadExperimentSetting(const char* key);
void WriteExperimentSetting(const char* key, const std::string& value);

// The checks of a new experiment name, in their order.
enum class ExperimentNameProblem { None, InvalidCharacters, TooLong, TooShort };
ExperimentNameProblem CheckExperimentName(const std::string& name);

// Writes ExperimentName and starts the main window's timed workflow; then the
// run screen shows its first image type and the toolbar image type 1. The
// workflow files into the experiment that ExperimentDirectory names.
bool StartRecordingWorkflow(const std::string& experimentName, CString& error);

// Captures and files the active image types once (empty type) or the type of
// that name, on the calling thread.
bool SingleWorkflowImageCapture(const std::string& imageType, CString& error);

// Writes ImageCapturePeriod (0..3600000 ms); a running workflow takes its
// next capture at once and then follows the new period.
bool SetImageCapturePeriodMS(int32_t periodMs, CString& error);

// Writes DataDirectory when the folder exists.
bool SetDataDirectory(const std::string& folder, CString& error);

struct ImageTypeDescription {
    bool active = false;
    std::string name;
    int32_t exposureUs = 100;
};
// itype 1..4.
bool GetImageTypeDescription(int32_t itype, ImageTypeDescription& description, CString& error);
// itype 1..4; active 1 is "TRUE", anything else "FALSE"; with alsoExperiment
// the activity is written into the current experiment's settings copy too.
bool SetImageTypeDescription(int32_t itype, int32_t active, const std::string& name, int32_t exposureUs,
                             bool alsoExperiment, CString& error);

// The live view's interval for an image type name (exact text), 10..100000 ms.
bool SetWorkflowLiveImageIntervalByImageType(const std::string& imageType, int32_t intervalMs, CString& error);
