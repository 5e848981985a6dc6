#pragma once

// The fractionation pipeline: loads a recorded experiment folder, finds the
// menisci, the split line and the pixel shift, and runs the fractionation
// analysis, which writes "<report name>.txt" into the folder. Stops at the
// first step that fails; afterwards the analysis engine's state is reset
// whatever happened. Holds AnalysisEngineLock for the whole run, so a second
// caller waits for the first.

#include <string>

// True when the report was written. Once the analysis step has run, `top` and
// `bottom` receive the fractions it left (the raw sums when it failed);
// a pipeline that stopped earlier does not write them. On failure *error
// holds the failed step's message; a step that fails without one (a folder
// without a capture log) leaves it as it was. `unused` is not read.
bool FractionationAnalysis(void* unused, std::string folder, std::string reportName, double& top, double& bottom,
                           std::string* error);
