#pragma once

// The options of circular cell counting, kept in ".counting_params" files
// (section [CountingAlgorithmDlg]); the image scale comes from the main
// settings file. Field names are the parameter-file keys.

#include "platform/CStringArray.h"

#include <cstdint>
#include <vector>

namespace Tovanix {
class String;
}

struct CountingAlgoOptions {
    double image_pixels_per_mm = 0.0;
    bool EdgeProcessing = false;
    bool MFilter1 = false;
    bool MFilter2 = false;
    bool CFilter1 = false;
    bool CFilter2 = false;
    bool ProximityFilteringWithinType1 = false;
    bool ProximityFilteringWithinType2 = false;
    bool ProximityFilteringBetweenType1_2 = false;
    double ObjectRadius1 = 0.0;  // micrometres
    double ObjectRadius2 = 0.0;
    int32_t ObjectRadiusSweep1 = 0;  // micrometres, half-width of the sweep
    int32_t ObjectRadiusSweep2 = 0;
    int32_t MFilterThreshold1 = 0;
    int32_t MFilterThreshold2 = 0;
    int32_t MFilterSamples1 = 0;
    int32_t MFilterSamples2 = 0;
    int32_t CFilterThreshold1 = 0;
    int32_t CFilterThreshold2 = 0;
    int32_t CFilterMinSize1 = 0;
    int32_t CFilterMinSize2 = 0;
    bool UseInnerRing1 = false;
    bool UseInnerRing2 = false;
    bool enabled = false;  // set by the batch analysis after a successful load
    int32_t Left = -1;     // region of interest, inclusive pixel bounds
    int32_t Top = -1;
    int32_t Right = -1;
    int32_t Bottom = -1;

    // Reads every field but `enabled` from the parameter file and the image
    // scale from the main settings file. False when the region is incomplete,
    // with the problems listed in `problems` under a header naming the file.
    bool LoadFromFile(const char* path, Tovanix::String& problems);

    // Sets one numeric option by its key (any letter case); the integer ones
    // take the value rounded to the nearest integer. False, with `error` set,
    // for any other name.
    bool SetParamByName(const char* name, double value, Tovanix::String& error);

    // Appends the description block that heads result files.
    void AppendDescription(CStringArray& lines);
};

// The image scale of the main settings file, 1000 pixels per millimetre when
// it is missing or not a number.
double ReadImagePixelsPerMm();
