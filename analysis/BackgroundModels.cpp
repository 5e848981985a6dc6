#include "analysis/BackgroundModels.h"

#include "analysis/AnalysisEngineState.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

constexpr int kMedianStrips = 5;

// The middle of five values with a fixed exchange network (no allocation,
// no branches on the data's order beyond the compares).
inline uint16_t MedianOfFive(uint16_t a, uint16_t b, uint16_t c, uint16_t d, uint16_t e)
{
    auto order = [](uint16_t& x, uint16_t& y) {
        if (y < x)
            std::swap(x, y);
    };
    order(a, b);
    order(d, e);
    order(a, d);  // a is now the smallest of a, b, d, e
    order(b, e);  // e is the largest of a, b, d, e
    // The median of five is the median of c and the two middle ones of
    // {a, b, d, e} once the smallest and largest are dropped.
    order(b, c);
    order(c, d);
    order(b, c);
    return c;
}

}  // namespace

void ComputeMaximumPixelBackground()
{
    FractionationState& state = g_FractionationState;
    if (state.frames.empty())
        throw std::invalid_argument("no strips for the maximum background");
    const cv::Mat& first = state.frames.front();
    state.maximumBackground = cv::Mat::zeros(first.size(), CV_16UC1);
    for (const cv::Mat& strip : state.frames)
        cv::max(state.maximumBackground, strip, state.maximumBackground);
}

void ComputeMedianPixelBackground(int32_t n)
{
    FractionationState& state = g_FractionationState;
    const int32_t first = n - kMedianStrips;
    if (first < 0 || static_cast<size_t>(n) > state.frames.size())
        throw std::invalid_argument("the median background needs " + std::to_string(kMedianStrips) +
                                    " strips, there are " + std::to_string(n));
    const cv::Mat* strips[kMedianStrips];
    for (int i = 0; i < kMedianStrips; ++i) {
        strips[i] = &state.frames[static_cast<size_t>(first + i)];
        if (strips[i]->size() != strips[0]->size() || strips[i]->type() != CV_16UC1)
            throw std::invalid_argument("the strips of the median background differ in size or type");
    }
    cv::Mat median(strips[0]->size(), CV_16UC1);
    cv::parallel_for_(cv::Range(0, median.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uint16_t* s0 = strips[0]->ptr<uint16_t>(y);
            const uint16_t* s1 = strips[1]->ptr<uint16_t>(y);
            const uint16_t* s2 = strips[2]->ptr<uint16_t>(y);
            const uint16_t* s3 = strips[3]->ptr<uint16_t>(y);
            const uint16_t* s4 = strips[4]->ptr<uint16_t>(y);
            uint16_t* out = median.ptr<uint16_t>(y);
            for (int x = 0; x < median.cols; ++x)
                out[x] = MedianOfFive(s0[x], s1[x], s2[x], s3[x], s4[x]);
        }
    });
    state.medianBackground = median;
}

void ComputeNoiseFreeMaximumPixelBackground()
{
    FractionationState& state = g_FractionationState;
    cv::Mat excess;
    cv::subtract(state.maximumBackground, state.medianBackground, excess);  // saturates at 0
    cv::Mat maximum;
    state.maximumBackground.convertTo(maximum, CV_32F);
    cv::sqrt(maximum, state.maximumRoot);
    const double rootSum = cv::sum(state.maximumRoot)[0];
    // An all-black maximum has no roots to scale: leave it unchanged.
    const double k = rootSum > 0.0 ? cv::sum(excess)[0] / rootSum : 0.0;
    cv::Mat background;
    cv::scaleAdd(state.maximumRoot, -k, maximum, background);
    state.noiseFreeBackground = background;
}
