#pragma once

// Small helpers for the image tests: images written as rows of numbers, and
// error texts as std::string.

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "support/String.h"

namespace Tovanix::test {

// A 16-bit single-channel image from rows of values.
inline cv::Mat ImageFromRows(const std::vector<std::vector<int>>& rows) {
    cv::Mat image(static_cast<int>(rows.size()), static_cast<int>(rows.front().size()), CV_16UC1);
    for (int r = 0; r < image.rows; ++r) {
        for (int c = 0; c < image.cols; ++c) {
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(rows[r][c]);
        }
    }
    return image;
}

// The values of a 16-bit single-channel image as rows.
inline std::vector<std::vector<int>> RowsOf(const cv::Mat& image) {
    std::vector<std::vector<int>> rows(static_cast<size_t>(image.rows));
    for (int r = 0; r < image.rows; ++r) {
        for (int c = 0; c < image.cols; ++c) {
            rows[r].push_back(image.at<uint16_t>(r, c));
        }
    }
    return rows;
}

inline std::string Text(const Tovanix::String& text) {
    return text.c_str();
}

}  // namespace Tovanix::test
