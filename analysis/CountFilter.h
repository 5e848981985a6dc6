#pragma once

// The count filter of circular counting: finds 4-connected blobs of high ring
// response, turns each large enough blob into one CellDetection and, on
// request, keeps only the best-scoring of near neighbours of one cell type.

#include "analysis/CellDetection.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// The detections of one cell type by column: bin i holds those whose x is
// left + i. Made once per type and shared by all its trial radii.
using DetectionColumnBins = std::vector<std::vector<CellDetection>>;

// The pixels a blob may occupy: xmin <= x < xmax, ymin <= y < ymax.
struct CountWindow {
    int xmin = 0;
    int xmax = 0;
    int ymin = 0;
    int ymax = 0;
    bool Contains(int x, int y) const { return x >= xmin && x < xmax && y >= ymin && y < ymax; }
    bool IsEmpty() const { return xmax <= xmin || ymax <= ymin; }
};

// The count filter's window for a region and integer radius r: columns from
// left + 2r + r/3, rows from top + r + r/3, each up to but excluding
// right - (r + r/3) and bottom - (r + r/3); clipped to the image.
CountWindow CountFilterWindow(int left, int right, int top, int bottom, int radius, cv::Size imageSize);

// What one blob adds up to.
struct BlobSums {
    uint64_t count = 0;
    uint64_t sum = 0;
    uint64_t sumX = 0;
    uint64_t sumY = 0;
};

// Grows one blob from (x, y) into the visit mask (16-bit, the image's size):
// a pixel joins when it lies in the window, the remaining depth is not 0, its
// mask is 0 and its value is at least threshold; its neighbours are then
// tried depth-first with one less depth, in the order (x, y+1), (x, y-1),
// (x+1, y), (x-1, y). An explicit stack keeps deep blobs off the call stack
// while visiting exactly the pixels a recursive fill would.
void FloodFillMask(const cv::Mat& image, cv::Mat& mask, int x, int y, int threshold, BlobSums& sums,
                   const CountWindow& window, int64_t depth);

// Finds the blobs at or above threshold in the window of the integer radius,
// appends one detection per blob of at least minSize pixels to `detections`
// and to its column bin, with score = log2 of the summed response and the
// given detection radius. With within-type filtering a new detection is
// compared with the kept ones whose column and row lie within the radius:
// one scoring at least as high drops it, lower-scoring ones met before that
// are removed from the list and the bins. Always returns true for a 16-bit
// single-channel image; false for any other.
bool CountFilter(const cv::Mat& image, int left, int right, int top, int bottom, int radius, int threshold,
                 int minSize, std::vector<CellDetection>& detections, bool withinTypeFiltering,
                 DetectionColumnBins& columnBins, float detectionRadius);
