#pragma once

// The frames of a recorded experiment as colour pictures, for the montage and
// the experiment video: the bright-field image in grey, the green
// fluorescence image ("Ex474" / "Em524") added into green and the red one
// ("Ex560" / "Em628") into red. The display levels are fixed once per
// experiment from a reference frame.
//
// Error contract: false without a text; the montage and video steps turn it
// into their own messages.

#include "analysis/AnalysisEngineState.h"
#include "analysis/ExperimentDataSet.h"

#include <opencv2/core.hpp>

#include <vector>

// The display levels of the three channels: channel 1 is green, channel 2 red.
using FalseColourLevels = ChannelDisplaySettings;

// The three images of one frame: full paths (empty when the frame has no image
// of that channel) and their exposures.
struct FrameChannelImages {
    ChannelImage brightField;
    ChannelImage green;
    ChannelImage red;
};

// Levels and maxima from the eleventh selected frame; the enable flags are
// left to the caller. A channel without a reference image keeps the levels
// 65535. Always true.
bool ComputeReferenceContrastLevels(const ExperimentDataSet& data, FalseColourLevels& levels);

// Loads the frame's images (crop rows, the data set's rotation and offset,
// exposure gain) and composes them. False when the bright-field image or an
// enabled channel's image is missing or unreadable.
bool LoadFalseColourFrame(const ExperimentDataSet& data, const FalseColourLevels& levels,
                          const FrameChannelImages& images, cv::Mat& picture);

// 16-bit images of one size into an 8-bit BGR picture. False when the
// bright-field image, or an enabled channel's image, is empty.
bool ComposeFalseColourFrame(const FalseColourLevels& levels, const cv::Mat& brightField, const cv::Mat& green,
                             const cv::Mat& red, cv::Mat& picture);

// The video's frames: up to 97 rows spread over the rows before the pumping
// run, then every row from its start to the end of the log. False when the
// run starts before row 10, at the last row, or cannot be found.
bool ListVideoFrames(const ExperimentDataSet& data, std::vector<FrameChannelImages>& frames);

// mean / exposure, or 1 when the exposure is not known.
double ExposureGain(double meanExposure, double exposure);
