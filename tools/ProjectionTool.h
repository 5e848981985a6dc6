#pragma once

// What the projection analysis tool keeps without its window: its settings
// section and the parameter sets it offers. The image folder's channel and
// magnet rows are read and written through FolderCalibration.h; the batch
// run is ProjectionRun.h.

#include "tools/ToolFrame.h"

#include <string>
#include <vector>

// The extension of the projection parameter sets the tool offers and runs.
inline constexpr const char* kProjectionParamsExtension = ".PA_params";

// [ProjectionAnalysisTool]: Directory, ProjectionAnalysisParams, ROI, Filter
// ("*.png"), LPCurve, OpenSummary, Gd_conc; the others default empty.
// ProjectionAnalysisParams is shared with the parameter editor and the image
// views: whichever saves last decides it.
ToolSettings MakeProjectionToolSettings();

// The parameter-set combo's entries: the ".PA_params" files of the LIB
// folder (extension in any case), each cut at its first ".".
std::vector<std::string> ListProjectionToolParamSets();
