#pragma once

// Frame handling shared by the camera drivers.

#include <opencv2/core.hpp>

// Flips a frame in place: first around the horizontal axis (top row becomes
// bottom row) when flipVertical is set, then around the vertical axis when
// flipHorizontal is set. Both together turn the frame by 180 degrees.
void ApplyFrameFlips(cv::Mat& frame, bool flipVertical, bool flipHorizontal);
