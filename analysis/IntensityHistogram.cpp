#include "analysis/IntensityHistogram.h"

namespace Tovanix {

void CountValues(const uint16_t* values, size_t count, uint32_t* bins) {
    for (size_t i = 0; i < count; ++i) {
        ++bins[values[i]];
    }
}

void CountIntensities(const cv::Mat& image, const cv::Rect& region, uint32_t* bins) {
    for (int r = region.y; r < region.y + region.height; ++r) {
        CountValues(image.ptr<uint16_t>(r) + region.x, static_cast<size_t>(region.width), bins);
    }
}

}  // namespace Tovanix
