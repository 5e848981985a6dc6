#pragma once

// A region of interest of an image: four inclusive pixel coordinates.

#include <cstdint>

#include <opencv2/core.hpp>

namespace Tovanix {

struct Roi {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = -1;
    int32_t bottom = -1;
};

// The part of `roi` that holds 16-bit single-channel pixels of `image`, as a
// cv::Rect (empty when none). Every image function reads its region through
// this, so a region that reaches past an edge is clipped, never read out of
// bounds. An image of another type has no such pixels.
cv::Rect ClipRoiToImage(const cv::Mat& image, const Roi& roi);

}  // namespace Tovanix
