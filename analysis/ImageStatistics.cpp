#include "analysis/ImageStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/IntensityHistogram.h"

namespace Tovanix {

namespace {

// A fraction 0..1; NaN fails the test as well.
bool IsFraction(float p) {
    return p >= 0.0f && p <= 1.0f;
}

void SetError(String& errorText, const char* operation, const char* reason) {
    errorText = operation;
    errorText.Append(reason);
}

// The contrasts of columns [from, to) of a row whose pixels all have the
// four neighbours. The quotient of two integers below 2^27 taken in double
// precision is within far less than 1/divisor of the exact one, so its
// integer part is the integer quotient; written so, the loop runs as vector
// code (in wider vectors where the processor has them).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void InnerContrastRow(const uint16_t* __restrict up, const uint16_t* __restrict cur,
                      const uint16_t* __restrict down, uint16_t* __restrict out, int from, int to) {
    for (int c = from; c < to; ++c) {
        int difference = std::abs(up[c] - down[c]);
        difference = std::max(difference, std::abs(cur[c - 1] - cur[c + 1]));
        difference = std::max(difference, std::abs(up[c - 1] - down[c + 1]));
        const int divisor = cur[c] == 0 ? 1 : cur[c];
        const double quotient = static_cast<double>(difference * 1000) / static_cast<double>(divisor);
        out[c] = static_cast<uint16_t>(static_cast<int>(std::min(quotient, 65535.0)));
    }
}

}  // namespace

bool ComputeLocalContrastImage(cv::Mat& image, int32_t firstColumn, int32_t lastColumn, int32_t firstRow,
                               int32_t lastRow) {
    if (image.empty() || image.type() != CV_16UC1) {
        return true;
    }
    const int rows = image.rows;
    const int cols = image.cols;
    // The last bound falls back to the edge unless it lies beyond the first
    // bound as given (before the first bound itself is clamped).
    const int c0 = (firstColumn >= 0 && firstColumn < cols) ? firstColumn : 0;
    const int c1 = (firstColumn < lastColumn && lastColumn < cols) ? lastColumn : cols - 1;
    const int r0 = (firstRow >= 0 && firstRow < rows) ? firstRow : 0;
    const int r1 = (firstRow < lastRow && lastRow < rows) ? lastRow : rows - 1;
    if (c0 > c1 || r0 > r1) {
        return true;
    }

    // The contrasts read the unchanged input: keep the window's rows and one
    // row either side.
    const int copyTop = std::max(r0 - 1, 0);
    const int copyBottom = std::min(r1 + 1, rows - 1);
    const cv::Mat source = image.rowRange(copyTop, copyBottom + 1).clone();
    auto sourceRow = [&](int r) { return source.ptr<uint16_t>(r - copyTop); };

    // Any pixel, including those on the image's edges, where a contrast
    // lacks its neighbours.
    auto contrastAt = [&](const uint16_t* up, const uint16_t* cur, const uint16_t* down, int c) {
        const bool vertical = up != nullptr;
        const bool horizontal = c > 0 && c < cols - 1;
        int difference = 0;
        if (vertical) {
            difference = std::abs(up[c] - down[c]);
            if (horizontal) {
                difference = std::max(difference, std::abs(cur[c - 1] - cur[c + 1]));
                difference = std::max(difference, std::abs(up[c - 1] - down[c + 1]));
            }
        } else if (horizontal) {
            difference = std::abs(cur[c - 1] - cur[c + 1]);
        }
        // Truncating division by one positive divisor keeps the order of
        // the three contrasts, so the largest difference gives max(V, H, D).
        const int divisor = cur[c] == 0 ? 1 : cur[c];
        return static_cast<uint16_t>(std::min(difference * 1000 / divisor, 65535));
    };
    // Inner columns of inner rows have all three contrasts.
    const int inner0 = std::max(c0, 1);
    const int inner1 = std::min(c1, cols - 2);
    for (int r = r0; r <= r1; ++r) {
        const uint16_t* cur = sourceRow(r);
        const bool vertical = r > 0 && r < rows - 1;
        const uint16_t* up = vertical ? sourceRow(r - 1) : nullptr;
        const uint16_t* down = vertical ? sourceRow(r + 1) : nullptr;
        uint16_t* out = image.ptr<uint16_t>(r);
        if (!vertical || inner0 > inner1) {
            for (int c = c0; c <= c1; ++c) {
                out[c] = contrastAt(up, cur, down, c);
            }
            continue;
        }
        for (int c = c0; c < inner0; ++c) {
            out[c] = contrastAt(up, cur, down, c);
        }
        InnerContrastRow(up, cur, down, out, inner0, inner1 + 1);
        for (int c = inner1 + 1; c <= c1; ++c) {
            out[c] = contrastAt(up, cur, down, c);
        }
    }
    return true;
}

bool ComputePercentileIntensities(const cv::Mat& image, const Roi& roi, const std::vector<float>& pct,
                                  std::vector<uint16_t>& intensities, String& errorText) {
    static const char* const kName = "Tovanix::ComputePercentileIntensities";
    if (pct.empty()) {
        SetError(errorText, kName, "() - pct must have size of at least 1");
        return false;
    }
    const cv::Rect region = ClipRoiToImage(image, roi);
    std::vector<uint32_t> bins(kIntensityLevels, 0);
    CountIntensities(image, region, bins.data());
    const float n = static_cast<float>(region.area());

    auto rangeError = [&](size_t index) {
        SetError(errorText, kName, "() - pct[");
        errorText.AppendNumber(static_cast<uint32_t>(index));
        errorText.Append("] is invalid, 0 <= pct <= 1");
        return false;
    };
    if (!IsFraction(pct[0])) {
        return rangeError(0);
    }
    size_t k = 0;
    int64_t target = static_cast<int64_t>(std::roundf(n * pct[0]));
    int64_t cumulative = 0;
    for (int v = 0; v < kIntensityLevels; ++v) {
        cumulative += bins[v];
        while (cumulative >= target) {
            intensities.push_back(static_cast<uint16_t>(v));
            if (k + 1 == pct.size()) {
                return true;
            }
            ++k;
            if (pct[k] < pct[k - 1]) {
                SetError(errorText, kName, "() - pct must be sorted from smallest to largest");
                return false;
            }
            if (!IsFraction(pct[k])) {
                return rangeError(k);
            }
            target = static_cast<int64_t>(std::roundf(n * pct[k]));
        }
    }
    SetError(errorText, kName, "() - not all values assigned");
    return false;
}

namespace {

// One pending pixel of the fill: where it is and which neighbour comes next.
struct FillStep {
    int x;
    int y;
    int nextNeighbour;  // 0..3: right, left, below, above; 4: all tried
};

// The checks and bookkeeping of one step of the fill; true when it took the pixel.
bool TakeIslandPixel(const cv::Mat& work, cv::Mat& labels, int x, int y, uint16_t seedMax, uint16_t growMax,
                     DarkIsland& island, uint16_t islandNumber, int& callCounter) {
    if (callCounter >= 2000) {
        return false;
    }
    ++callCounter;
    if (x < 0 || y < 0 || x >= work.cols || y >= work.rows) {
        return false;
    }
    const uint16_t value = work.at<uint16_t>(y, x);
    if (island.pixelCount == 0 && value > seedMax) {
        return false;
    }
    uint16_t& label = labels.at<uint16_t>(y, x);
    if (label != 0 || value > growMax) {
        return false;
    }
    label = islandNumber;
    if (island.pixelCount == 0) {
        island.seedX = static_cast<int16_t>(x);
        island.seedY = static_cast<int16_t>(y);
        island.minX = island.maxX = x;
        island.minY = island.maxY = y;
    }
    island.minX = std::min(island.minX, x);
    island.maxX = std::max(island.maxX, x);
    island.minY = std::min(island.minY, y);
    island.maxY = std::max(island.maxY, y);
    ++island.pixelCount;
    island.intensitySum += value;
    island.sumXI += static_cast<int64_t>(x) * value;
    island.sumYI += static_cast<int64_t>(y) * value;
    return true;
}

}  // namespace

bool FillDarkIsland(const cv::Mat& workImage, cv::Mat& labelImage, int x, int y, uint16_t seedMax,
                    uint16_t growMax, DarkIsland& island, uint16_t islandNumber, int& callCounter) {
    // A depth-first fill in the order right, left, below, above, run on an
    // explicit stack: the same pixels in the same order as a recursive fill,
    // without the deep call chain.
    if (!TakeIslandPixel(workImage, labelImage, x, y, seedMax, growMax, island, islandNumber, callCounter)) {
        return false;
    }
    static constexpr int kDx[4] = {1, -1, 0, 0};
    static constexpr int kDy[4] = {0, 0, 1, -1};
    std::vector<FillStep> stack;
    stack.push_back({x, y, 0});
    while (!stack.empty()) {
        FillStep& step = stack.back();
        if (step.nextNeighbour == 4) {
            stack.pop_back();
            continue;
        }
        const int nx = step.x + kDx[step.nextNeighbour];
        const int ny = step.y + kDy[step.nextNeighbour];
        ++step.nextNeighbour;
        if (TakeIslandPixel(workImage, labelImage, nx, ny, seedMax, growMax, island, islandNumber,
                            callCounter)) {
            stack.push_back({nx, ny, 0});
        }
    }
    return true;
}

bool FindDarkIslands(const cv::Mat& image, const Roi& roi, uint16_t seedMax, uint16_t growMax,
                     std::vector<DarkIsland>& islands, String& errorText, cv::Mat* labelImage) {
    static const char* const kName = "Tovanix::FindDarkIslands";
    const int64_t height = static_cast<int64_t>(roi.bottom) - roi.top + 1;
    const int64_t width = static_cast<int64_t>(roi.right) - roi.left + 1;
    if (height < 10 || width < 10) {
        SetError(errorText, kName, "() - roi height and width must be at least 10x10 pixels");
        return false;
    }
    const cv::Rect region = ClipRoiToImage(image, roi);
    if (region.width != width || region.height != height) {
        SetError(errorText, kName, "() - given roi is not inside of the given image");
        return false;
    }

    const cv::Mat work = image(region).clone();
    cv::Mat labels = cv::Mat::zeros(work.size(), CV_16UC1);
    bool ok = true;
    uint16_t number = 1;
    for (int y = 0; y < work.rows && ok; ++y) {
        for (int x = 0; x < work.cols; ++x) {
            DarkIsland island;
            int calls = 0;
            if (!FillDarkIsland(work, labels, x, y, seedMax, growMax, island, number, calls) ||
                island.intensitySum == 0) {
                // An all-zero island keeps its labels; its number is used again.
                continue;
            }
            island.seedX = static_cast<int16_t>(island.seedX + roi.left);
            island.seedY = static_cast<int16_t>(island.seedY + roi.top);
            island.centroidX = static_cast<float>(roi.left) +
                               static_cast<float>(static_cast<double>(island.sumXI) / island.intensitySum);
            island.centroidY = static_cast<float>(roi.top) +
                               static_cast<float>(static_cast<double>(island.sumYI) / island.intensitySum);
            islands.push_back(island);
            if (number == 0xFFFF) {
                SetError(errorText, kName, "() - found maximum number of islands 0xFFFF");
                ok = false;
                break;
            }
            ++number;
        }
    }
    if (!ok) {
        return false;
    }

    if (labelImage) {
        if (labelImage->type() != CV_8UC1 || labelImage->size() != image.size()) {
            *labelImage = cv::Mat::zeros(image.size(), CV_8UC1);
        }
        for (int y = 0; y < labels.rows; ++y) {
            const uint16_t* in = labels.ptr<uint16_t>(y);
            uint8_t* out = labelImage->ptr<uint8_t>(y + region.y) + region.x;
            for (int x = 0; x < labels.cols; ++x) {
                out[x] = static_cast<uint8_t>(in[x] & 0xFF);
            }
        }
    }
    return true;
}

}  // namespace Tovanix

bool ComputeFocusScore(cv::Mat& image, const Tovanix::Roi* roi, double& score, Tovanix::String& errorText) {
    const Tovanix::Roi whole{0, 0, image.cols - 1, image.rows - 1};
    const cv::Rect region = Tovanix::ClipRoiToImage(image, roi ? *roi : whole);
    const int64_t n = static_cast<int64_t>(region.width) * region.height;
    if (n < 2000) {
        errorText = "ComputeFocusScore() Region of interest must include at least 2000 pixels";
        return false;
    }
    cv::Mat contrast = image(region);
    Tovanix::ComputeLocalContrastImage(contrast, -1, -1, -1, -1);

    const Tovanix::Roi inner{1, 1, region.width - 2, region.height - 2};
    const std::vector<float> fractions{0.5f, static_cast<float>(1.0 - 10.0 / static_cast<double>(n))};
    std::vector<uint16_t> values;
    if (!Tovanix::ComputePercentileIntensities(contrast, inner, fractions, values, errorText)) {
        return false;
    }
    score = static_cast<double>(values[1]) / static_cast<double>(values[0]);
    return true;
}

double ComputeMeanIntensityInROI(const cv::Mat& image, const Tovanix::Roi& roi) {
    const cv::Rect region = Tovanix::ClipRoiToImage(image, roi);
    uint64_t sum = 0;
    for (int r = region.y; r < region.y + region.height; ++r) {
        const uint16_t* row = image.ptr<uint16_t>(r) + region.x;
        for (int c = 0; c < region.width; ++c) {
            sum += row[c];
        }
    }
    const uint64_t count = static_cast<uint64_t>(region.area());
    return static_cast<double>(sum) / static_cast<double>(count);
}

bool ComputeROIIntensityStatistics(const cv::Mat& image, const Tovanix::Roi& roi,
                                   const std::vector<double>& fractions, std::vector<double>& intensities) {
    const cv::Rect region = Tovanix::ClipRoiToImage(image, roi);
    std::vector<uint32_t> bins(Tovanix::kIntensityLevels, 0);
    Tovanix::CountIntensities(image, region, bins.data());
    const double n = static_cast<double>(region.area());

    // Targets stay doubles: a fraction out of range or NaN never converts to
    // an out-of-range integer; NaN is simply never served.
    std::vector<double> targets(fractions.size());
    for (size_t k = 0; k < fractions.size(); ++k) {
        targets[k] = std::round(n * fractions[k]);
    }
    std::vector<int> found;
    const bool complete = Tovanix::FindIntensitiesAtCounts(bins.data(), targets, found);
    intensities.assign(found.begin(), found.end());
    return complete;
}
