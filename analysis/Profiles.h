#pragma once

// Integer intensity profiles of 16-bit single-channel images and the
// meniscus finder built on them. The cartridge's channel runs horizontally
// through the image: its walls are dark rows, the meniscus a dark column.

#include "analysis/ImageRoi.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// The mean of each column (entry x - left) or each row (entry y - top) of
// the region, after subtracting the background image when one is given
// (integer means truncated toward zero, so they can be negative). The
// profile is grown to the region's width or height when shorter, never
// shrunk. A region reaching past the image is clipped: the means are taken
// over the pixels inside it, and entries of columns or rows outside the
// image are 0. False, with the profile untouched, when the region holds no
// pixel of a 16-bit single-channel image or the background is not a 16-bit
// image of the image's size.
bool ComputeColumnProfile(const cv::Mat& image, const Tovanix::Roi& roi, std::vector<int32_t>& profile,
                          const cv::Mat* background = nullptr);
bool ComputeRowProfile(const cv::Mat& image, const Tovanix::Roi& roi, std::vector<int32_t>& profile,
                       const cv::Mat* background = nullptr);

// Smooths in place with the mean of a forward and a backward running mean of
// width n. False, with the profile unchanged, when n < 2.
bool SmoothProfile(std::vector<int32_t>& profile, int n);

// The positions, in ascending order, of the (at most) two deepest valleys of
// the profile: points at least as low as everything within window / 2 on both
// sides, not below a twentieth of the profile's maximum, with a positive
// depth (rim - value) / (rim + value). After a valley the scan skips a whole
// window. Always true.
bool FindProfileExtremes(const std::vector<int32_t>& profile, int window, std::vector<int32_t>& positions);

// What FindMeniscus found; callers start it as it is constructed.
struct MeniscusResult {
    bool found = false;
    int32_t meniscus_x = -1;
    float form = 0.0f;  // column shift between an upper and a lower band per channel height, x 1000
    bool form_valid = false;
    int32_t upper_channel_row = -1;
    int32_t lower_channel_row = -1;
};

// Finds the channel's wall rows (when upperRow or lowerRow is -1) and the
// meniscus column with its lean. False when the walls were searched and not
// found, or when the image is not a 16-bit single-channel image or the given
// rows do not lie inside it in order; a missing meniscus is a true result
// with `found` false.
bool FindMeniscus(const cv::Mat& image, MeniscusResult& result, int upperRow, int lowerRow);
