#pragma once

// One counter per 16-bit intensity: the statistics, the background map and
// the display's automatic contrast all walk such a histogram instead of
// sorting pixels.

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace Tovanix {

constexpr int kIntensityLevels = 65536;

// Adds the pixels of `region` (already inside `image`, a 16-bit single-channel
// image) to `bins`, which holds kIntensityLevels counters.
void CountIntensities(const cv::Mat& image, const cv::Rect& region, uint32_t* bins);

// Adds `count` values to `bins` (kIntensityLevels counters).
void CountValues(const uint16_t* values, size_t count, uint32_t* bins);

// Walks `bins` from intensity 0 upwards and gives each target count the
// first intensity at which the cumulative count reaches it (a target of 0 or
// less: intensity 0), in the order of the targets. Targets never reached
// (beyond the total, or NaN) keep 0. True when every target was reached.
bool FindIntensitiesAtCounts(const uint32_t* bins, const std::vector<double>& targets,
                             std::vector<int>& intensities);

}  // namespace Tovanix
