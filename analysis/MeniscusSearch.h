#pragma once

// Finds the frames in which the sample plug's lead and trail menisci pass,
// by matching the recorded bright-field frames against the meniscus templates
// of the data root. Results go to g_LeadMeniscusSearch and
// g_TrailMeniscusSearch; the caller holds AnalysisEngineLock.

#include "analysis/ExperimentDataSet.h"

#include <string>

// The latest frame of the run's first quarter in which a lead template
// matches (frame 0 when none does).
bool LeadMeniscusIndex(std::string folder, ExperimentDataSet data, std::string* error);

// The earliest frame of the run's second half in which a trail template
// matches (the last frame when none does).
bool TrailMeniscusIndex(std::string folder, ExperimentDataSet data, std::string* error);
