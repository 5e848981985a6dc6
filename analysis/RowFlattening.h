#pragma once

// Evens out the brightness of the rows of an image inside a region of
// interest: each row is scaled so that its chosen percentile intensity comes
// to the median of those intensities.

#include "analysis/ImageRoi.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// One value per row of the region (index = row - top): the given fraction's
// quantile of that row's pixels, interpolated between the two nearest sorted
// values and rounded. The fraction is held to 0..1. False, with the profile
// untouched, when the image is not 16-bit single-channel or the region does
// not lie inside it (right >= left, bottom >= top).
bool ComputeRowPercentileProfile(const cv::Mat& image, const Tovanix::Roi& roi, double fraction,
                                 std::vector<uint16_t>& profile);

// Multiplies every pixel of the region by m / its row's profile value, m the
// median of the profile. A row whose profile value is 0 is left as it is, and
// results above 65535 are held at 65535. False, with the image untouched, for
// a region or profile that does not fit the image.
bool FlattenRows(cv::Mat& image, const Tovanix::Roi& roi, const std::vector<uint16_t>& profile);
