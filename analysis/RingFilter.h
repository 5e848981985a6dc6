#pragma once

// The ring filter of circular counting: turns a 16-bit image, inside a
// counting window, into a contrast response that is high where a ring of the
// trial radius is brighter than a wider ring around it (and, on request,
// brighter than a narrower ring inside it).

#include <opencv2/core.hpp>

#include <vector>

// One sample position relative to the pixel being filtered.
struct SampleOffset {
    int dx = 0;
    int dy = 0;
};
using SampleOffsets = std::vector<SampleOffset>;

// The sample positions of the three circles of one trial radius; entry k of
// each list lies on the same ray.
struct RingSampleOffsets {
    SampleOffsets ring;   // radius r
    SampleOffsets inner;  // radius r - h, h = half the radius truncated
    SampleOffsets outer;  // radius r + h
};
RingSampleOffsets MakeRingSampleOffsets(double radius, int samples);

// The pixels the ring filter writes for a region and trial radius: rows from
// top + r + r/3 and columns from left + 2r + r/3, each up to but excluding
// bottom - (r + r/3) and right - (r + r/3), clipped to the image. Empty when
// the region is too narrow for the margins.
cv::Rect RingFilterWindow(int left, int right, int top, int bottom, double radius, cv::Size imageSize);

// The fraction-quantile (linear interpolation between the two nearest sorted
// values) of the image values at (x + dx, y + dy). Samples that fall outside
// the image are left out; 0 when no sample remains.
float ComputeBlobPercentile(const SampleOffsets& offsets, int x, int y, const cv::Mat& image,
                            double fraction);

// True when at most n/4 of the n (ring, inner ring) sample pairs have the
// inner value at least as high as the ring value. Pairs with a sample
// outside the image count against the pixel.
bool CountBrighterNeighbours(const SampleOffsets& ringOffsets, const SampleOffsets& innerOffsets,
                             int x, int y, const cv::Mat& image);

// Rewrites every pixel of the filter window (RingFilterWindow) of a 16-bit
// single-channel image with its ring response, computed from a copy of the
// image taken on entry; pixels outside the window keep their values. A
// window pixel whose rings would reach past the image gets response 0. The
// rows are split over the available cores; the result does not depend on
// how. Always returns true for a 16-bit single-channel image, false (image
// untouched) for any other.
bool MorphologicalRingFilter(cv::Mat& image, int left, int right, int top, int bottom, double radius,
                             int samples, int threshold, bool useInnerRing);

// The same filter reading `source` and writing the window's responses into
// `target` (same size and type; other pixels of target are not touched).
bool MorphologicalRingFilter(const cv::Mat& source, cv::Mat& target, int left, int right, int top,
                             int bottom, double radius, int samples, int threshold, bool useInnerRing);

// The per-pixel flags the filter starts from: 1 where the image is at or
// above the ring threshold (everywhere for a threshold of 0 or below), else 0.
// They depend only on the image and the threshold, so a caller running
// several trial radii over one image makes them once.
void MakeRingThresholdFlags(const cv::Mat& source, int threshold, cv::Mat& flags);

// The same filter with the flags made by MakeRingThresholdFlags(source,
// threshold); false (target untouched) when they do not match the image.
bool MorphologicalRingFilter(const cv::Mat& source, cv::Mat& target, int left, int right, int top,
                             int bottom, double radius, int samples, int threshold, bool useInnerRing,
                             const cv::Mat& atThreshold);
