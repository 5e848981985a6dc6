#pragma once

// What the fractionation analysis tool does without its window: its settings
// section, the channel and magnet rows of the image folder's experiment
// settings (read, and written when the user places a line), the projection
// parameters and the region of interest a run uses, and the flow-split
// update of its channel-divider text.
//
// Errors: false with the message in the caller's text; an empty text where
// the failure has nothing to say.

#include "analysis/ProjectionAnalysisParams.h"
#include "tools/ToolFrame.h"

#include <array>
#include <cstdint>
#include <string>

// The settings of [FractionationAnalysisDlg]: Directory,
// ProjectionAnalysisParams, ROI, Filter, ChannelDivider, BrightField.
ToolSettings MakeFractionationToolSettings();

// The ROI entry that stands for the folder's own cartridge rows.
inline constexpr const char* kImageDirRoiName = "[ImageDir]\\ExperimentSettings.ini";

// Upper channel, lower channel, upper magnet, lower magnet; -1 for a value
// the folder's settings file does not hold.
using ChannelMagnetRows = std::array<int32_t, 4>;

// The rows of the folder's settings file. False without a message when the
// folder is not a directory; false with "There is no ExperimentSettings.ini
// file here: <folder>" when it has no settings file.
bool LoadFractionationCalibration(const std::string& folder, ChannelMagnetRows& rows, std::string& error);

// Stores a placed line ("UpperMagnet", "LowerMagnet", "UpperChannel",
// "LowerChannel", any case) in the folder's settings file and in `rows`.
// False, writing nothing, for another key, a folder that is not a directory
// or one without a settings file.
bool StoreFractionationCalibrationValue(const std::string& folder, const std::string& key, int32_t row,
                                        ChannelMagnetRows& rows);

// The folder's calibration and the named set of the LIB folder.
bool GetFractionationProjectionParams(const std::string& folder, const std::string& setName,
                                      ProjectionAnalysisParams& params, std::string& error);

struct FractionationRoi {
    std::string name;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The ROI named by the combo text: the folder's cartridge band for
// "[ImageDir]\ExperimentSettings.ini" (any case), else a named ROI of the
// main settings file. False with the message (empty when the ROI list cannot
// be read at all).
bool ResolveFractionationRoi(const std::string& folder, const std::string& name, FractionationRoi& roi,
                             std::string& error);

// Shows the flow-split line and stores the divider text's fraction when it
// reads as a number and differs; an empty or unreadable text leaves the
// fraction as it is. True when the fraction changed.
bool ApplyChannelDividerText(const std::string& text);

// The entries of the projection set combo: the ".pa_params" sets of the LIB
// folder, without the experiment-settings ones.
std::vector<std::string> ListFractionationParamSets();
// The entries of the ROI combo: the named ROIs, then the folder's entry when
// it has a settings file.
std::vector<std::string> ListFractionationRois(const std::string& folder);
