#pragma once

// A coarse grid of local background levels of an empty-channel image, and the
// flat-field correction that divides an image by it.

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "analysis/ImageRoi.h"
#include "support/String.h"

namespace Tovanix {

struct BackgroundMap {
    std::vector<std::vector<uint16_t>> cells;  // cells[row][column]
    Roi roi;                                   // the region the map covers
    int32_t reference = 0;                     // rounded mean of the cells
};

// Fills `map` with `cellRows` x `cellColumns` background levels of `rawBgImage`
// (16-bit single-channel) over `roi`: each cell's level is the lower median of
// a window 140 % of the cell's size around its centre. Windows are clipped to
// the image.
bool ConstructBackgroundMap(cv::Mat rawBgImage, const Roi& roi, BackgroundMap& map, String& errorText,
                            int cellColumns, int cellRows);

// Writes into `imageOut` (same size and type as `imageIn`) the pixels of the
// map's region scaled by reference / cell level. Other pixels are left alone.
bool CreateBGCorrectedImage(const cv::Mat& imageIn, const BackgroundMap& map, cv::Mat& imageOut,
                            String& errorText);

}  // namespace Tovanix
