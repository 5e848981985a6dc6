#pragma once

// Small statistics of 16-bit single-channel images over a region of interest:
// local contrast, percentile intensities, focus score, dark islands, mean and
// percentiles of a region. None of them keeps state between calls.
//
// Regions that reach past the image are clipped to it: only pixels inside the
// image are read or counted. Tovanix::FindDarkIslands refuses such a region
// with its message instead.

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "analysis/ImageRoi.h"
#include "support/String.h"

namespace Tovanix {

// One connected dark region found by FindDarkIslands. The box is relative to
// the ROI's top-left corner; the seed and the centroid are image coordinates.
struct DarkIsland {
    int16_t seedX = 0;
    int16_t seedY = 0;
    int32_t minX = 0;
    int32_t minY = 0;
    int32_t maxX = 0;
    int32_t maxY = 0;
    uint32_t pixelCount = 0;
    uint32_t intensitySum = 0;
    int64_t sumXI = 0;
    int64_t sumYI = 0;
    float centroidX = 0.0f;
    float centroidY = 0.0f;
};

// Replaces every pixel of the window by its strongest directional contrast
// (vertical, horizontal, diagonal neighbour difference x 1000 / the pixel).
// A bound outside the image (-1 for instance) selects the image's edge.
// Always true.
bool ComputeLocalContrastImage(cv::Mat& image, int32_t firstColumn, int32_t lastColumn,
                               int32_t firstRow, int32_t lastRow);

// Appends to `intensities` one intensity per fraction of `pct` (ascending,
// each within 0..1): the smallest intensity at which the region's cumulative
// count reaches round(N x fraction).
bool ComputePercentileIntensities(const cv::Mat& image, const Roi& roi, const std::vector<float>& pct,
                                  std::vector<uint16_t>& intensities, String& errorText);

// Finds the islands of pixels not brighter than `growMax` that hold a seed not
// brighter than `seedMax`, appending them to `islands`. When `labelImage` is
// given it receives the low 8 bits of each ROI pixel's island number (it is
// made an 8-bit image of the source's size when it is not one already).
bool FindDarkIslands(const cv::Mat& image, const Roi& roi, uint16_t seedMax, uint16_t growMax,
                     std::vector<DarkIsland>& islands, String& errorText, cv::Mat* labelImage = nullptr);

// The fill behind FindDarkIslands: grows `island` from (x, y) through the
// 4-connected neighbours (right, left, below, above) of `workImage`, marking
// taken pixels with `islandNumber` in `labelImage` (16-bit). At most 2000
// steps per seed, counted in `callCounter`. True when it took (x, y).
bool FillDarkIsland(const cv::Mat& workImage, cv::Mat& labelImage, int x, int y, uint16_t seedMax,
                    uint16_t growMax, DarkIsland& island, uint16_t islandNumber, int& callCounter);

}  // namespace Tovanix

// The three below belong to the analysis tools' side of the library and carry
// no namespace.

// The ratio of the 1 - 10/N percentile to the median of the local-contrast
// image of the region (the whole image when `roi` is null). Overwrites the
// region of `image` with its local contrast.
bool ComputeFocusScore(cv::Mat& image, const Tovanix::Roi* roi, double& score, Tovanix::String& errorText);

// The mean pixel value of the region; NaN for an empty region.
double ComputeMeanIntensityInROI(const cv::Mat& image, const Tovanix::Roi& roi);

// One intensity per fraction, in the order of `fractions` (any order).
// `intensities` is resized to match. True when every fraction got a value.
bool ComputeROIIntensityStatistics(const cv::Mat& image, const Tovanix::Roi& roi,
                                   const std::vector<double>& fractions, std::vector<double>& intensities);
