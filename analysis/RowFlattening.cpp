#include "analysis/RowFlattening.h"

#include <algorithm>
#include <cmath>

namespace {

bool RegionInside(const cv::Mat& image, const Tovanix::Roi& roi)
{
    return image.type() == CV_16UC1 && roi.left >= 0 && roi.top >= 0 && roi.left <= roi.right &&
           roi.top <= roi.bottom && roi.right < image.cols && roi.bottom < image.rows;
}

// The fraction's quantile of sorted values, rounded half away from zero.
uint16_t RoundedQuantile(const std::vector<uint16_t>& sorted, double fraction)
{
    const size_t n = sorted.size();
    const double e = static_cast<double>(n - 1) * fraction;
    const size_t i = static_cast<size_t>(e);
    const size_t j = std::min(i + 1, n - 1);
    const double value = sorted[i] + (static_cast<double>(sorted[j]) - sorted[i]) * (e - static_cast<double>(i));
    return static_cast<uint16_t>(std::lround(value));
}

}  // namespace

bool ComputeRowPercentileProfile(const cv::Mat& image, const Tovanix::Roi& roi, double fraction,
                                 std::vector<uint16_t>& profile)
{
    if (!RegionInside(image, roi))
        return false;
    fraction = fraction > 0.0 ? std::min(fraction, 1.0) : 0.0;  // also turns NaN into 0
    profile.resize(static_cast<size_t>(roi.bottom - roi.top + 1));
    std::vector<uint16_t> values;
    for (int y = roi.top; y <= roi.bottom; ++y) {
        const uint16_t* row = image.ptr<uint16_t>(y);
        values.assign(row + roi.left, row + roi.right + 1);
        std::sort(values.begin(), values.end());
        profile[static_cast<size_t>(y - roi.top)] = RoundedQuantile(values, fraction);
    }
    return true;
}

bool FlattenRows(cv::Mat& image, const Tovanix::Roi& roi, const std::vector<uint16_t>& profile)
{
    if (!RegionInside(image, roi) || profile.size() != static_cast<size_t>(roi.bottom - roi.top + 1))
        return false;
    std::vector<uint16_t> sorted(profile);
    std::sort(sorted.begin(), sorted.end());
    const uint32_t median = RoundedQuantile(sorted, 0.5);

    for (int y = roi.top; y <= roi.bottom; ++y) {
        const uint32_t level = profile[static_cast<size_t>(y - roi.top)];
        // A row whose level is 0 has nothing to scale by.
        if (level == 0)
            continue;
        uint16_t* row = image.ptr<uint16_t>(y);
        for (int x = roi.left; x <= roi.right; ++x) {
            const uint32_t scaled = median * row[x] / level;
            row[x] = static_cast<uint16_t>(std::min<uint32_t>(scaled, 65535));
        }
    }
    return true;
}
