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

bool FindIntensitiesAtCounts(const uint32_t* bins, const std::vector<double>& targets,
                             std::vector<int>& intensities) {
    intensities.assign(targets.size(), 0);
    std::vector<bool> served(targets.size(), false);
    size_t pending = targets.size();
    double cumulative = 0;
    for (int v = 0; v < kIntensityLevels && pending > 0; ++v) {
        cumulative += bins[v];
        for (size_t k = 0; k < targets.size(); ++k) {
            if (!served[k] && cumulative >= targets[k]) {
                served[k] = true;
                intensities[k] = v;
                --pending;
            }
        }
    }
    return pending == 0;
}

}  // namespace Tovanix
