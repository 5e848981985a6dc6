#include "analysis/ImageRoi.h"

#include <algorithm>

namespace Tovanix {

cv::Rect ClipRoiToImage(const cv::Mat& image, const Roi& roi) {
    if (image.empty() || image.type() != CV_16UC1) {
        return {};
    }
    // 64-bit so that extreme coordinates cannot overflow the widths.
    const int64_t left = std::max<int64_t>(roi.left, 0);
    const int64_t top = std::max<int64_t>(roi.top, 0);
    const int64_t right = std::min<int64_t>(roi.right, image.cols - 1);
    const int64_t bottom = std::min<int64_t>(roi.bottom, image.rows - 1);
    if (right < left || bottom < top) {
        return {};
    }
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left + 1),
            static_cast<int>(bottom - top + 1)};
}

}  // namespace Tovanix
