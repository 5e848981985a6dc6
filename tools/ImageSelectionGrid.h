#pragma once

// The logic of the image selection grid: the caller's list of images with
// their marks, the cells of a grid of thumbnails, a thumbnail fitted into its
// cell and mapped to grey with the display range of the first image, and the
// percentiles that range comes from. The window only paints what this gives.

#include "support/String.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

struct ImageSelectionItem {
    Tovanix::String path;  // full path of the image file
    bool selected = false;
};
using ImageSelectionList = std::vector<ImageSelectionItem>;

int CountSelected(const ImageSelectionList* list);

// The intensities at the given fractions (0..1) of `count` 16-bit values:
// each target is count x fraction rounded, limited to 0..count-1, and takes
// the first intensity at which the running histogram sum reaches it. A
// target reached at intensity 0 takes the next intensity, as 0 marks a
// result not yet found.
bool PercentilesFromHistogram(const uint16_t* values, size_t count, const std::vector<double>& fractions,
                              std::vector<uint16_t>& results);

struct GridRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

struct GridCell {
    int32_t item = 0;  // list position the cell shows
    GridRect rect;
};

// The area the grid fills in a client area of the given size.
GridRect SelectionGridArea(int clientWidth, int clientHeight);
// nh x nv cells row by row over the grid area; the grid always starts at
// item 0. Counts below 1 count as 1, so typed text never empties the grid.
std::vector<GridCell> LayoutSelectionGrid(int clientWidth, int clientHeight, int nh, int nv);
// The cell containing the point (edges included); -1 for none.
int HitTestCell(const std::vector<GridCell>& cells, int x, int y);

// The display range of the thumbnails: low and high intensity.
struct GreyMapping {
    uint16_t low = 0;
    uint16_t high = 5000;
};

// Where an image of the given size goes in a cell: fitted keeping its aspect
// ratio and centred.
GridRect FitIntoCell(const GridRect& cell, int imageWidth, int imageHeight);

// The image sampled nearest-neighbour to w x h (16-bit).
cv::Mat SampleThumbnail(const cv::Mat& image16, int w, int h);
// The mapping from the 5th and 95th percentiles of a thumbnail's samples.
GreyMapping MappingFromThumbnail(const cv::Mat& thumbnail16);
// Grey levels (8-bit) of a thumbnail under the mapping. A range of zero
// width maps as if it were one intensity wide.
cv::Mat MapThumbnailToGrey(const cv::Mat& thumbnail16, const GreyMapping& mapping);
