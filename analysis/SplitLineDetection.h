#pragma once

// The split line's offset, the image rotation and its centre for a recorded
// experiment: read from the experiment's settings file when they were found
// before, else measured on a bright-field frame and stored there.

#include "analysis/ExperimentDataSet.h"

#include <opencv2/core.hpp>

#include <string>

// Values of the four cached [Cartridge] keys that mean "not detected".
inline constexpr int kSplitLineNotDetected = 10000;

// Takes the cached values when all four are present; otherwise measures them
// on the reference frame's bright-field image and, when that succeeds, stores
// them. An error inside sets *error ("Function detect splitline from logs"
// + message), writes nothing and gives false.
bool DetectSplitLineFromLogs(ExperimentDataSet& data, const std::string& folder, const std::string& iniPath,
                             std::string* error);

// Measures the values on a freshly captured image with the settings of the
// INI, and stores them there; zeros when nothing was found or an error
// occurred (then *error = "Function detect splitline " + message).
bool DetectSplitLine(ExperimentDataSet& data, const std::string& iniPath, const std::string& cartridge, cv::Mat image,
                     std::string* error);
