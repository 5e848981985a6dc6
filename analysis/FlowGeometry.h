#pragma once

// Where the two streams of the channel meet (the split line) and how far the
// sample moves between two frames, from the capture log's pump speeds and
// capture times; stored in g_FlowGeometry for the image steps. The caller
// holds AnalysisEngineLock.

#include "analysis/ExperimentDataSet.h"

#include <string>

// Writes g_FlowGeometry's splitOffsetPercent and splitRow. False (with the
// step's message) for a data set without frames or without pump flow.
bool CalculateSplitLine(ExperimentDataSet data, std::string* error);

// Writes g_FlowGeometry.pixelShiftPerFrame. False (with the step's message)
// with fewer than two frames or without an image calibration, which would
// give no interval or a negative shift.
bool CalculatePixelShiftPerFrame(ExperimentDataSet data, std::string* error);

// Checks that the lead frame can be cut by the pixel shift.
bool CalculateSampleVolume(std::string folder, ExperimentDataSet data, std::string* error);
