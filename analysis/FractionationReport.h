#pragma once

// The cell fractionation report: how the measured intensity of the sample
// divides between the channel above the split line and the channel below it.
// A tab-separated text file "<report name>.txt" in the experiment folder with
// the two fractions, the channel and split-line positions and the normalised
// intensity profile from the lower channel wall up.
//
// Reads g_FractionationState.intensityProfile and g_FlowGeometry; leaves the
// two fractions in g_FractionationState. The caller holds AnalysisEngineLock.

#include "analysis/ExperimentDataSet.h"

#include <string>

// Computes the fractions and writes the report (replacing an existing one).
// False, with "Cell fractionation report: " and the reason in *error, when
// the profile is empty or the file cannot be written; the fractions are set
// before the file is written.
bool WriteCellFractionationReport(std::string folder, std::string experimentName, std::string reportName,
                                  ExperimentDataSet data, std::string* error);
