#pragma once

// The montage of a recorded experiment: one wide colour picture of the sample
// plug from its lead to its trail meniscus, built from the lead frame's view
// and the newly shown columns of every later frame, each strip cross-faded
// into the picture, with the flow split line drawn across. Bright-field strips
// are flattened with the illumination profile of the reference frame.
//
// Reads the engine state the earlier steps filled (meniscus frames, pixel
// shift, split row); the caller holds AnalysisEngineLock.

#include "analysis/AnalysisEngineState.h"
#include "analysis/ExperimentDataSet.h"

#include <opencv2/core.hpp>

#include <string>

// The current tiles of the montage (16-bit, as loaded). A tile of a channel
// that is switched off keeps what it held.
struct MontageTiles {
    cv::Mat brightField;
    cv::Mat channel1;
    cv::Mat channel2;
};
extern MontageTiles g_MontageTiles;

// Writes folder/name.png and, a quarter of each side, folder/name.small.png.
// False with "Function Create Montage: " and the reason when an image error
// occurs or a frame cannot be composed. A failed file write is logged.
bool CreateMontageImage(std::string folder, ExperimentDataSet data, ChannelDisplaySettings settings,
                        std::string montageName, std::string* error);
