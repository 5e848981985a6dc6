#include "analysis/CountFilter.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

int ClampToRange(int64_t value, int low, int high)
{
    return static_cast<int>(std::clamp<int64_t>(value, low, high));
}

// A pixel of the fill whose neighbours are still being tried.
struct FillFrame {
    int x;
    int y;
    int64_t depth;
    int nextNeighbour;
};

constexpr int kNeighbourDx[4] = {0, 0, 1, -1};
constexpr int kNeighbourDy[4] = {1, -1, 0, 0};

// Drops a detection from a bin-keeping list: every entry at its position.
void RemoveFromList(std::vector<CellDetection>& detections, int x, int y)
{
    std::erase_if(detections, [&](const CellDetection& d) { return d.x == x && d.y == y; });
}

// True when the new detection survives its neighbours (see CountFilter).
bool ThinNeighbours(const CellDetection& candidate, int radius, int left, int right,
                    std::vector<CellDetection>& detections, DetectionColumnBins& bins)
{
    const int64_t first = std::max<int64_t>(static_cast<int64_t>(candidate.x) - radius, left);
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(candidate.x) + radius, right);
    for (int64_t column = first; column <= last; ++column) {
        const int64_t index = column - left;
        if (index < 0 || index >= static_cast<int64_t>(bins.size()))
            continue;
        std::vector<CellDetection>& bin = bins[static_cast<size_t>(index)];
        for (size_t k = 0; k < bin.size();) {
            const CellDetection& kept = bin[k];
            if (std::llabs(static_cast<int64_t>(kept.y) - candidate.y) > radius) {
                ++k;
                continue;
            }
            if (!(candidate.score > kept.score))
                return false;
            RemoveFromList(detections, kept.x, kept.y);
            bin.erase(bin.begin() + static_cast<ptrdiff_t>(k));
        }
    }
    return true;
}

// The first x in [x, end) with row[x] >= threshold, or end. The response
// is zero almost everywhere, so whole blocks are ruled out at once.
int SkipBelow(const uint16_t* row, int x, int end, int threshold)
{
    constexpr int kBlock = 16;
    if (threshold > 0) {
        while (end - x >= kBlock) {
            uint16_t highest = 0;
            for (int k = 0; k < kBlock; ++k)
                highest = std::max(highest, row[x + k]);
            if (highest >= threshold)
                break;
            x += kBlock;
        }
    }
    while (x < end && row[x] < threshold)
        ++x;
    return x;
}

}  // namespace

CountWindow CountFilterWindow(int left, int right, int top, int bottom, int radius, cv::Size imageSize)
{
    const int64_t r = radius;
    const int64_t t = r / 3;
    CountWindow w;
    w.xmin = ClampToRange(left + 2 * r + t, 0, imageSize.width);
    w.xmax = ClampToRange(right - r - t, 0, imageSize.width);
    w.ymin = ClampToRange(top + r + t, 0, imageSize.height);
    w.ymax = ClampToRange(bottom - r - t, 0, imageSize.height);
    return w;
}

void FloodFillMask(const cv::Mat& image, cv::Mat& mask, int x, int y, int threshold, BlobSums& sums,
                   const CountWindow& window, int64_t depth)
{
    auto join = [&](int px, int py, int64_t remaining) {
        if (!window.Contains(px, py) || px >= image.cols || py >= image.rows || remaining == 0)
            return false;
        uint16_t& visited = mask.at<uint16_t>(py, px);
        const uint16_t value = image.at<uint16_t>(py, px);
        if (visited != 0 || value < threshold)
            return false;
        visited = 1;
        ++sums.count;
        sums.sum += value;
        sums.sumX += static_cast<uint64_t>(px);
        sums.sumY += static_cast<uint64_t>(py);
        return true;
    };

    if (!join(x, y, depth))
        return;
    std::vector<FillFrame> stack;
    stack.push_back({x, y, depth, 0});
    while (!stack.empty()) {
        FillFrame& top = stack.back();
        if (top.nextNeighbour == 4) {
            stack.pop_back();
            continue;
        }
        const int k = top.nextNeighbour++;
        const int nx = top.x + kNeighbourDx[k];
        const int ny = top.y + kNeighbourDy[k];
        const int64_t nextDepth = top.depth - 1;
        if (join(nx, ny, nextDepth))
            stack.push_back({nx, ny, nextDepth, 0});
    }
}

bool CountFilter(const cv::Mat& image, int left, int right, int top, int bottom, int radius, int threshold,
                 int minSize, std::vector<CellDetection>& detections, bool withinTypeFiltering,
                 DetectionColumnBins& columnBins, float detectionRadius)
{
    if (image.type() != CV_16UC1)
        return false;
    const CountWindow window = CountFilterWindow(left, right, top, bottom, radius, image.size());
    if (window.IsEmpty())
        return true;
    // 2r^2 passes the int64 range only for the most negative radius, which a
    // nonsensical parameter file can still produce; such a cap means no cap.
    const int64_t squared = static_cast<int64_t>(radius) * radius;
    const int64_t depthCap = squared > INT64_MAX / 2 ? INT64_MAX : 2 * squared;

    // The visit mask is kept per thread between calls: a counting run calls
    // this once per trial radius on images of one size, and only the window
    // is ever marked, so only the window needs clearing.
    thread_local cv::Mat mask;
    const uchar* previous = mask.data;
    mask.create(image.size(), CV_16UC1);
    if (mask.data != previous)
        mask.setTo(0);
    // The response is zero almost everywhere: the rows are searched for
    // seed pixels (at or above the threshold) on all cores first, then the
    // seeds are taken in the order a scan of the window meets them. A fill
    // joins only window pixels at or above the threshold, which are all
    // seeds, so clearing the mask at the seeds clears every mark that can
    // matter; a mark left elsewhere by an earlier call is never looked at.
    const int windowRows = window.ymax - window.ymin;
    thread_local std::vector<std::vector<int>> seeds;
    if (seeds.size() < static_cast<size_t>(windowRows))
        seeds.resize(static_cast<size_t>(windowRows));
    std::vector<std::vector<int>>& rowSeeds = seeds;
    cv::Mat& visits = mask;
    cv::parallel_for_(cv::Range(window.ymin, window.ymax), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            std::vector<int>& found = rowSeeds[static_cast<size_t>(y - window.ymin)];
            found.clear();
            uint16_t* maskRow = visits.ptr<uint16_t>(y);
            const uint16_t* row = image.ptr<uint16_t>(y);
            for (int x = SkipBelow(row, window.xmin, window.xmax, threshold); x < window.xmax;
                 x = SkipBelow(row, x + 1, window.xmax, threshold)) {
                found.push_back(x);
                maskRow[x] = 0;
            }
        }
    }, std::max(1.0, windowRows / 64.0));
    for (int y = window.ymin; y < window.ymax; ++y) {
        const uint16_t* maskRow = mask.ptr<uint16_t>(y);
        for (int x : rowSeeds[static_cast<size_t>(y - window.ymin)]) {
            if (maskRow[x] != 0)
                continue;
            BlobSums sums;
            FloodFillMask(image, mask, x, y, threshold, sums, window, depthCap);
            if (sums.count == 0 || sums.count < static_cast<uint64_t>(std::max(minSize, 0)))
                continue;

            CellDetection detection;
            const float count = static_cast<float>(sums.count);
            detection.x = static_cast<int32_t>(std::lround(static_cast<float>(sums.sumX) / count));
            detection.y = static_cast<int32_t>(std::lround(static_cast<float>(sums.sumY) / count));
            detection.score = static_cast<float>(std::log2(static_cast<double>(sums.sum)));
            detection.height = 0.0f;
            detection.radius = detectionRadius;

            if (withinTypeFiltering &&
                !ThinNeighbours(detection, radius, left, right, detections, columnBins))
                continue;
            detections.push_back(detection);
            const int64_t bin = static_cast<int64_t>(detection.x) - left;
            if (bin >= 0 && bin < static_cast<int64_t>(columnBins.size()))
                columnBins[static_cast<size_t>(bin)].push_back(detection);
        }
    }
    return true;
}
