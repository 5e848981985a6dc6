#pragma once

// What the fractionation analysis tool does without its window: its settings
// section, the projection parameters and the region of interest a run uses,
// and the flow-split update of its channel-divider text. The image folder's
// channel and magnet rows are read and written through FolderCalibration.h.
//
// Errors: false with the message in the caller's text; an empty text where
// the failure has nothing to say.

#include "analysis/ProjectionAnalysisParams.h"
#include "tools/FolderCalibration.h"
#include "tools/ToolFrame.h"

#include <cstdint>
#include <string>

// The settings of [FractionationAnalysisDlg]: Directory,
// ProjectionAnalysisParams, ROI, Filter, ChannelDivider, BrightField.
ToolSettings MakeFractionationToolSettings();

// The ROI entry that stands for the folder's own cartridge rows.
inline constexpr const char* kImageDirRoiName = "[ImageDir]\\ExperimentSettings.ini";

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
