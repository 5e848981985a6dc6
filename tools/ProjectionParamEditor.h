#pragma once

// The projection parameter sets as the editor handles them: the five values
// as texts (stored as typed, checked only where they are used), the set's
// file, the set remembered in [ProjectionAnalysisTool], and the sets offered.

#include "analysis/ProjectionAnalysisParams.h"

#include <string>
#include <vector>

struct ProjectionParamTexts {
    std::string smoothingWindowMicrons = "15.0";
    std::string numPeaksToFind = "2";
    std::string stdevIntegrationArea = "1.0";
    std::string integrationSamples = "11";
    bool findValleys = false;
};

// The set remembered in the main settings file ("ExperimentSettings" when none).
std::string RememberedProjectionSet();
bool RememberProjectionSet(const std::string& name);

// The file a set is read from: the main settings file for
// "__ExperimentSettings__", else <LIB>/<name>.pa_params.
std::string ProjectionSetReadPath(const std::string& name);
// The file a set is written to: the main settings file when the name holds
// "ExperimentSettings" (any case) or `toMainSettings`, else the set file.
std::string ProjectionSetWritePath(const std::string& name, bool toMainSettings);

// Reads the keys; a missing file or key gives its default. A FindValleys
// that is neither TRUE nor FALSE leaves `texts.findValleys` as it is.
void LoadProjectionParamTexts(const std::string& file, ProjectionParamTexts& texts);
// Writes the keys in order, BackgroundSubtract always FALSE. False when a
// write failed.
bool SaveProjectionParamTexts(const std::string& file, const ProjectionParamTexts& texts);

// Fills the five analysis values from texts; a text that does not read
// leaves its field as it was.
void ApplyProjectionParamTexts(const ProjectionParamTexts& texts, ProjectionAnalysisParams& params);

// The sets of the LIB folder without the experiment-settings ones, and
// "__ExperimentSettings__".
std::vector<std::string> ListProjectionParamSets();
