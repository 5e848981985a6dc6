#pragma once

// Masks for the menisci of the first and last strip of a fractionation run.
// The lead strip shows the curved front of the liquid, the trail strip its
// back; before these strips are summed, the region around each meniscus is
// split into pixels that keep the strip's own values and pixels that take the
// background's. The lead region is the strip's first (lead template width +
// 200) columns and is split by texture; the trail region is the strip's last
// pixel-shift columns and is split by brightness.
//
// The operations work on the strips and the noise-free background of
// g_FractionationState and keep their working images in its leadFrame and
// trailFrame; the caller holds AnalysisEngineLock. Regions wider than the
// strip are clipped to it. Errors of the image library are raised for the
// calling step's guard.

#include <opencv2/core.hpp>

#include <vector>

using Contours = std::vector<std::vector<cv::Point>>;

// 0/255 mask of the bright-texture region of the strip's lead region.
cv::Mat CreateLeadMeniscusMask(int strip);

// 0/255 mask of the bright region of the strip's trail region (the caller
// inverts it to look for the dark meniscus).
cv::Mat CreateTrailMeniscusMask(int strip);

// The outer contours of the 8-bit image, and in `index` the first contour of
// the largest area. When no contour has an area above 0, `index` is left as
// it was.
void FindLargestContour(const cv::Mat& image, Contours& contours, std::vector<cv::Vec4i>& hierarchy, int& index);

// The strip as 32-bit float: inside the contour its own pixels, elsewhere in
// the lead region the background's, beyond the region its own.
cv::Mat MaskLeadMeniscus(int strip, const Contours& contours, int index);

// The strip as 32-bit float: inside the contour the background's pixels,
// everywhere else its own.
cv::Mat MaskTrailMeniscus(int strip, const Contours& contours, int index);
