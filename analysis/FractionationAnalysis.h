#pragma once

// The fractionation analysis of a recorded experiment: the bright-field
// intensity of the flowing sample, minus a background built from the frames
// themselves, summed row by row across the channel from the lead meniscus
// frame to the trail meniscus frame, then divided at the split row into the
// top and bottom fractions of the cell fractionation report.
//
// Runs after the meniscus searches, the split line and the pixel shift, whose
// results it reads from the engine state; its working data lives in
// g_FractionationState. The caller holds AnalysisEngineLock.

#include "analysis/ExperimentDataSet.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// Loads the strips, builds the backgrounds, accumulates the intensity profile
// and writes the report. False with "Function conduct Fractionation
// Analysis: " and the reason in *error when a frame cannot be read, fewer than
// five frames lie between the menisci, the report cannot be written or the
// image library fails; the fractions then hold what had been summed so far.
bool ConductFractionationAnalysis(std::string folder, std::string experimentName, std::string reportName,
                                  ExperimentDataSet data, std::string* error);

// The sum of each row of a 32-bit float image, in double precision. Adds the
// sums of the rows above the split row to g_FractionationState.topFraction
// and of the rows below it to bottomFraction (the split row to neither).
std::vector<double> ComputeRowSums(const cv::Mat& image);

// Adds a frame's row sums to the intensity profile as whole numbers: each
// value is truncated toward zero before the addition.
void AddRowSumsToProfile(std::vector<double>& profile, const std::vector<double>& sums);
