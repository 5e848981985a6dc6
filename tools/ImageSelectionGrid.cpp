#include "tools/ImageSelectionGrid.h"

#include <algorithm>
#include <cmath>

int CountSelected(const ImageSelectionList* list) {
    if (list == nullptr) return 0;
    return static_cast<int>(std::count_if(list->begin(), list->end(), [](const auto& i) { return i.selected; }));
}

bool PercentilesFromHistogram(const uint16_t* values, size_t count, const std::vector<double>& fractions,
                              std::vector<uint16_t>& results) {
    std::vector<uint32_t> histogram(65536, 0);
    for (size_t i = 0; i < count; ++i) ++histogram[values[i]];
    std::vector<double> targets;
    for (double f : fractions) {
        double t = std::round(static_cast<double>(count) * f);
        t = std::clamp(t, 0.0, count > 0 ? static_cast<double>(count - 1) : 0.0);
        targets.push_back(t);
    }
    results.assign(fractions.size(), 0);
    double sum = 0;
    for (int v = 0; v < 65536; ++v) {
        sum += histogram[static_cast<size_t>(v)];
        bool open = false;
        for (size_t k = 0; k < targets.size(); ++k) {
            if (results[k] == 0 && sum >= targets[k]) results[k] = static_cast<uint16_t>(v);
            if (results[k] == 0) open = true;
        }
        if (!open) break;
    }
    return true;
}

GridRect SelectionGridArea(int clientWidth, int clientHeight) {
    return {5, 35, clientWidth - 5, clientHeight - 5};
}

std::vector<GridCell> LayoutSelectionGrid(int clientWidth, int clientHeight, int nh, int nv) {
    nh = std::max(nh, 1);
    nv = std::max(nv, 1);
    const GridRect area = SelectionGridArea(clientWidth, clientHeight);
    const int cw = area.Width() / nh;
    const int ch = area.Height() / nv;
    std::vector<GridCell> cells;
    cells.reserve(static_cast<size_t>(nh * nv));
    for (int m = 0; m < nv; ++m) {
        for (int c = 0; c < nh; ++c) {
            GridCell cell;
            cell.item = m * nh + c;
            cell.rect = {area.left + c * cw + 5, area.top + m * ch + 5, area.left + c * cw + cw - 6,
                         area.top + m * ch + ch - 6};
            cells.push_back(cell);
        }
    }
    return cells;
}

int HitTestCell(const std::vector<GridCell>& cells, int x, int y) {
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].rect.Contains(x, y)) return static_cast<int>(i);
    }
    return -1;
}

GridRect FitIntoCell(const GridRect& cell, int imageWidth, int imageHeight) {
    const int cw = cell.Width();
    const int ch = cell.Height();
    if (imageWidth <= 0 || imageHeight <= 0 || cw <= 0 || ch <= 0) return {cell.left, cell.top, cell.left, cell.top};
    if (static_cast<double>(imageWidth) / imageHeight >= static_cast<double>(cw) / ch) {
        const int h = static_cast<int>(static_cast<double>(cw) * imageHeight / imageWidth);
        const int top = cell.top + (ch - h) / 2;
        return {cell.left, top, cell.left + cw, top + h};
    }
    const int w = static_cast<int>(static_cast<double>(ch) * imageWidth / imageHeight);
    const int left = cell.left + (cw - w) / 2;
    return {left, cell.top, left + w, cell.top + ch};
}

cv::Mat SampleThumbnail(const cv::Mat& image16, int w, int h) {
    if (image16.empty() || w <= 0 || h <= 0) return {};
    cv::Mat out(h, w, CV_16UC1);
    for (int i = 0; i < h; ++i) {
        const int sr = static_cast<int>(static_cast<int64_t>(i) * image16.rows / h);
        const uint16_t* src = image16.ptr<uint16_t>(sr);
        uint16_t* dst = out.ptr<uint16_t>(i);
        for (int j = 0; j < w; ++j) dst[j] = src[static_cast<int64_t>(j) * image16.cols / w];
    }
    return out;
}

GreyMapping MappingFromThumbnail(const cv::Mat& thumbnail16) {
    GreyMapping mapping;
    if (thumbnail16.empty()) return mapping;
    const cv::Mat flat = thumbnail16.isContinuous() ? thumbnail16 : thumbnail16.clone();
    std::vector<uint16_t> results;
    PercentilesFromHistogram(flat.ptr<uint16_t>(0), flat.total(), {0.05, 0.95}, results);
    mapping.low = results[0];
    mapping.high = results[1];
    return mapping;
}

cv::Mat MapThumbnailToGrey(const cv::Mat& thumbnail16, const GreyMapping& mapping) {
    cv::Mat out(thumbnail16.rows, thumbnail16.cols, CV_8UC1);
    // A uniform first image gives low == high; a span of at least one keeps
    // the division defined (and a negative span maps as the design did).
    int span = static_cast<int>(mapping.high) - mapping.low;
    if (span == 0) span = 1;
    for (int i = 0; i < thumbnail16.rows; ++i) {
        const uint16_t* src = thumbnail16.ptr<uint16_t>(i);
        uint8_t* dst = out.ptr<uint8_t>(i);
        for (int j = 0; j < thumbnail16.cols; ++j) {
            const int g = static_cast<int>(
                std::floor((static_cast<double>(src[j]) - mapping.low) * 255.0 / static_cast<double>(span)));
            dst[j] = static_cast<uint8_t>(g <= 0 ? 0 : (g > 254 ? 255 : g));
        }
    }
    return out;
}
