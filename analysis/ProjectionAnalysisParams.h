#pragma once

// The parameters of a projection analysis: the region of interest of a
// channel image whose rows are averaged into one profile, and how that
// profile is smoothed and its peaks (or valleys) found and fitted. Sets are
// kept in ".pa_params" profile files (section [RightSideProjection]) in the
// LIB folder of the data root, or in the main settings file under the set
// name "__ExperimentSettings__".
//
// Loading never fails: missing keys take their defaults and every range
// problem is reported by Validate, whose text the callers show.

#include "platform/CString.h"
#include "platform/CStringArray.h"
#include "support/String.h"

#include <cstdint>
#include <string>
#include <vector>

struct ProjectionAnalysisParams {
    double image_pixels_per_mm = 0.0;
    double smoothingWindowMicrons = 0.0;  // "SmoothingWindowMicrons"
    int32_t numPeaksToFind = 0;           // "NumPeaksToFind"
    bool findValleys = false;             // "FindValleys"
    double stdevIntegrationArea = 0.0;    // "StdevIntegrationArea": half-width of the fit window, in stdevs
    int32_t integrationSamples = 0;       // "IntegrationSamples": points of the fit window
    int32_t left = 0;                     // region of interest, inclusive image pixels
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t upperChannel = 0;  // image rows of the channel walls
    int32_t lowerChannel = 0;
    std::vector<int32_t> baseline;  // one value per ROI row, subtracted from the projection; empty for none
    Tovanix::String roiName;        // "ROI_name": a named ROI of the main settings file

    // True when `error` stays empty; otherwise it holds one message per failed
    // check, one per line.
    bool Validate(CString& error) const;

    // Appends the 13-line description block (the last line empty) that heads
    // the batch projection results.
    bool AppendDescription(CStringArray& lines) const;

    // Reads the analysis values and the ROI name of a set file (the extension
    // in any letter case) and takes the ROI from the named ROI list; the ROI
    // stays 0,0,0,0 when the name is empty or not in the list. The image scale,
    // channel rows and baseline are left as they are.
    bool LoadFromFile(const char* path);

    // Reads the image scale and the channel rows from the image folder's
    // experiment settings, or, without a scale there, from the main settings
    // file.
    bool LoadCalibration(const char* experimentDirectory);
};

// The set name that stands for the main settings file.
inline constexpr const char* kExperimentSettingsParamsName = "__ExperimentSettings__";

// The file of a parameter set: the main settings file for
// "__ExperimentSettings__", else <data root>/LIB/<name>.pa_params.
std::string ProjectionParamsFilePath(const char* setName);
