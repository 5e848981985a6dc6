#pragma once

// Every step of a recorded-experiment analysis guards its whole body: an
// error raised inside it (by the image library, or a number in a capture log
// that does not parse) becomes a failure of that step, reported as the step's
// prefix followed by the error's message, so one bad file never ends the
// program and the caller can show which step failed.

#include <opencv2/core.hpp>

#include <exception>
#include <string>

// Step prefixes of the error text.
inline constexpr const char* kLeadMeniscusIndexPrefix = "Function Lead Meniscus Index: ";
inline constexpr const char* kTrailMeniscusIndexPrefix = "Function Trail Meniscus Index: ";
inline constexpr const char* kCalculateSplitLinePrefix = "Function Calculate SplitLine: ";
inline constexpr const char* kCalculatePixelShiftPrefix = "Function Calculate PixelShiftperFrame: ";
inline constexpr const char* kCreateMontageImagePrefix = "Function Create Montage: ";
inline constexpr const char* kCalculateSampleVolumePrefix = "Function Calculate Sample Volume: ";
inline constexpr const char* kCreateMontagePrefix = "Create Montage: ";
inline constexpr const char* kConductFractionationPrefix = "Function conduct Fractionation Analysis: ";
inline constexpr const char* kFractionationAnalysisPrefix = "Fractionation Analysis: ";
inline constexpr const char* kCreateVideoPrefix = "Create Video: ";
inline constexpr const char* kReadExperimentSettingsPrefix = "Function parse_fnames: ";
inline constexpr const char* kDetectSplitLineFromLogsPrefix = "Function detect splitline from logs";
inline constexpr const char* kDetectSplitLinePrefix = "Function detect splitline ";

// Runs body() (returning bool). An exception leaving it sets *error to
// prefix + its message and gives false; otherwise body's result.
template <typename Body>
bool RunGuardedStep(const char* prefix, std::string* error, Body&& body)
{
    try {
        return body();
    } catch (const cv::Exception& e) {
        if (error)
            *error = std::string(prefix) + e.what();
    } catch (const std::exception& e) {
        if (error)
            *error = std::string(prefix) + e.what();
    }
    return false;
}
