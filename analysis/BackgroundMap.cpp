#include "analysis/BackgroundMap.h"

#include <algorithm>
#include <cmath>

#include "analysis/IntensityHistogram.h"

namespace Tovanix {

namespace {

void SetError(String& errorText, const char* operation, const char* reason) {
    errorText = operation;
    errorText.Append(reason);
}

// The smallest intensity whose cumulative count reaches half the window's
// pixels (integer division): the value just below the middle one. Only the
// occupied range of the histogram is walked and cleared.
uint16_t LowerMedianOfWindow(const cv::Mat& image, const cv::Rect& window, std::vector<uint32_t>& bins) {
    if (window.empty()) {
        return 0;
    }
    uint16_t lowest = 65535;
    uint16_t highest = 0;
    for (int r = window.y; r < window.y + window.height; ++r) {
        const uint16_t* row = image.ptr<uint16_t>(r) + window.x;
        for (int c = 0; c < window.width; ++c) {
            ++bins[row[c]];
            lowest = std::min(lowest, row[c]);
            highest = std::max(highest, row[c]);
        }
    }
    const uint32_t half = static_cast<uint32_t>(window.area()) / 2;
    uint32_t cumulative = 0;
    uint16_t value = 0;
    bool found = half == 0;  // an empty target is reached at intensity 0
    for (int v = lowest; v <= highest; ++v) {
        cumulative += bins[v];
        if (!found && cumulative >= half) {
            value = static_cast<uint16_t>(v);
            found = true;
        }
        bins[v] = 0;
    }
    return value;
}

}  // namespace

bool ConstructBackgroundMap(cv::Mat rawBgImage, const Roi& roi, BackgroundMap& map, String& errorText,
                            int cellColumns, int cellRows) {
    static const char* const kName = "Tovanix::ConstructBackgroundMap";
    if (rawBgImage.type() != CV_16UC1) {
        SetError(errorText, kName, "() - raw_bg_image must be type CV16U1.");
        return false;
    }
    // A map without cells could never correct anything (and the correction
    // would have no cell to look up).
    if (cellColumns < 1 || cellRows < 1) {
        SetError(errorText, kName, "() - the map must have at least 1 column and 1 row of cells.");
        return false;
    }
    map.roi = roi;
    map.cells.assign(static_cast<size_t>(cellRows), std::vector<uint16_t>(static_cast<size_t>(cellColumns), 0));

    const double height = static_cast<double>(roi.bottom) - roi.top + 1;
    const double width = static_cast<double>(roi.right) - roi.left + 1;
    const int64_t windowHeight = std::llround(1.4 * height / cellRows);
    const int64_t windowWidth = std::llround(1.4 * width / cellColumns);
    const cv::Rect imageRect(0, 0, rawBgImage.cols, rawBgImage.rows);

    std::vector<uint32_t> bins(kIntensityLevels, 0);
    uint32_t sum = 0;
    for (int i = 0; i < cellRows; ++i) {
        const int64_t centreRow = roi.top + std::llround(height / cellRows * i + 0.5 * height / cellRows);
        const int64_t top = std::max<int64_t>(centreRow - windowHeight / 2, 0);
        const int64_t bottom = std::min<int64_t>(centreRow + windowHeight / 2, rawBgImage.rows - 1);
        for (int j = 0; j < cellColumns; ++j) {
            const int64_t centreColumn = roi.left + std::llround(width / cellColumns * j + 0.5 * width / cellColumns);
            const int64_t left = std::max<int64_t>(centreColumn - windowWidth / 2, 0);
            const int64_t right = std::min<int64_t>(centreColumn + windowWidth / 2, rawBgImage.cols - 1);
            cv::Rect window;
            if (left <= right && top <= bottom) {
                window = cv::Rect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left + 1),
                                  static_cast<int>(bottom - top + 1)) & imageRect;
            }
            const uint16_t level = LowerMedianOfWindow(rawBgImage, window, bins);
            map.cells[i][j] = level;
            sum += level;
        }
    }
    map.reference = static_cast<int32_t>(
        std::round(static_cast<double>(sum) / (static_cast<double>(cellRows) * cellColumns)));
    return true;
}

bool CreateBGCorrectedImage(const cv::Mat& imageIn, const BackgroundMap& map, cv::Mat& imageOut,
                            String& errorText) {
    static const char* const kName = "Tovanix::CreateBGCorrectedImage";
    if (imageOut.rows != imageIn.rows || imageOut.cols != imageIn.cols) {
        SetError(errorText, kName, "() - image_out has different size from image_in.");
        return false;
    }
    if (imageOut.type() != imageIn.type()) {
        SetError(errorText, kName, "() - image_out has different type from image_in.");
        return false;
    }
    const Roi& roi = map.roi;
    if (roi.bottom < roi.top) {
        return true;
    }
    if (imageIn.type() != CV_16UC1) {
        SetError(errorText, kName, "() - image_in must be type CV16U1.");
        return false;
    }
    const size_t columns = map.cells.empty() ? 0 : map.cells.front().size();
    const bool rectangular = std::all_of(map.cells.begin(), map.cells.end(),
                                         [&](const std::vector<uint16_t>& row) { return row.size() == columns; });
    if (columns == 0 || !rectangular) {
        SetError(errorText, kName, "() - the background map has no cells or rows of unequal length.");
        return false;
    }
    const int cellColumns = static_cast<int>(columns);
    const int cellRows = static_cast<int>(map.cells.size());

    // Only the part of the map's region inside the image is corrected; the
    // cell of a pixel still counts from the region's corner.
    const cv::Rect region = ClipRoiToImage(imageIn, roi);
    const float width = static_cast<float>(static_cast<double>(roi.right) - roi.left + 1);
    const float height = static_cast<float>(static_cast<double>(roi.bottom) - roi.top + 1);
    auto cellIndex = [](int64_t offset, float extent, int cells) {
        const float position = std::roundf(static_cast<float>(offset) / extent * static_cast<float>(cells));
        return static_cast<int>(std::clamp(position, 0.0f, static_cast<float>(cells - 1)));
    };
    std::vector<int> columnCell(static_cast<size_t>(region.width));
    for (int x = 0; x < region.width; ++x) {
        columnCell[x] = cellIndex(static_cast<int64_t>(region.x) + x - roi.left, width, cellColumns);
    }
    const uint16_t referenceBits = static_cast<uint16_t>(map.reference & 0xFFFF);
    const float reference = referenceBits == 0 ? 1.0f : static_cast<float>(referenceBits);

    for (int y = region.y; y < region.y + region.height; ++y) {
        const std::vector<uint16_t>& cellRow = map.cells[cellIndex(static_cast<int64_t>(y) - roi.top, height, cellRows)];
        const uint16_t* in = imageIn.ptr<uint16_t>(y);
        uint16_t* out = imageOut.ptr<uint16_t>(y);
        for (int x = region.x; x < region.x + region.width; ++x) {
            const uint16_t level = cellRow[columnCell[x - region.x]];
            if (level == 0) {
                // No background level to divide by: keep the pixel as it was.
                out[x] = in[x];
                continue;
            }
            const float corrected = std::roundf(static_cast<float>(in[x]) / (static_cast<float>(level) / reference));
            out[x] = static_cast<uint16_t>(std::min(corrected, 65535.0f));
        }
    }
    return true;
}

}  // namespace Tovanix
