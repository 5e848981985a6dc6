#include "analysis/RingFilter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr double kTwoPi = 6.2831853072;

// Offsets farther out than this cannot fit any image; keeping the radius
// inside it keeps the rounded offsets inside int.
constexpr double kLargestUsefulRadius = 1.0e6;

// Where to read the quantile of n sorted values: v[i] + (v[j] - v[i]) * frac.
struct QuantilePosition {
    int i = 0;
    int j = 0;
    double frac = 0.0;
};

QuantilePosition MakeQuantilePosition(int n, double fraction)
{
    QuantilePosition q;
    const double e = (n - 1) * fraction;
    q.i = static_cast<int>(e);
    q.i = std::clamp(q.i, 0, std::max(n - 1, 0));
    q.j = std::min(q.i + 1, n - 1);
    q.frac = e - q.i;
    return q;
}

// Quantile of n values; reorders the values. Only v[i] and the next larger
// value are needed, so a selection does instead of a full sort.
float Quantile(uint16_t* values, int n, const QuantilePosition& q)
{
    if (n <= 0)
        return 0.0f;
    std::nth_element(values, values + q.i, values + n);
    const double vi = values[q.i];
    double vj = vi;
    if (q.j > q.i)
        vj = *std::min_element(values + q.i + 1, values + n);
    return static_cast<float>(vi + (vj - vi) * q.frac);
}

double TruncatedClamped(double value, int low, int high)
{
    if (value < low)
        return low;
    if (value > high)
        return high;
    return std::trunc(value);
}

// Response of one pixel whose samples all lie inside the image.
struct RingResponder {
    std::vector<ptrdiff_t> ring, inner, outer;  // offsets in pixels from the centre
    QuantilePosition q25, q75;
    int n = 0;
    float threshold = 0.0f;
    bool useInnerRing = false;

    uint16_t operator()(const uint16_t* centre, uint16_t* ringValues, uint16_t* innerValues,
                        uint16_t* outerValues) const
    {
        for (int k = 0; k < n; ++k)
            ringValues[k] = centre[ring[k]];
        float innerQuantile = 0.0f;
        if (useInnerRing) {
            int innerAtLeastRing = 0;
            for (int k = 0; k < n; ++k) {
                innerValues[k] = centre[inner[k]];
                innerAtLeastRing += innerValues[k] >= ringValues[k];
            }
            if (innerAtLeastRing > n / 4)
                return 0;
        }
        const float r = Quantile(ringValues, n, q25);
        if (r < threshold)
            return 0;
        if (useInnerRing) {
            innerQuantile = Quantile(innerValues, n, q75);
            if (innerQuantile > r)
                return 0;
        }
        for (int k = 0; k < n; ++k)
            outerValues[k] = centre[outer[k]];
        const float o = Quantile(outerValues, n, q75);
        if (o > r)
            return 0;
        float base = useInnerRing ? std::min(innerQuantile, o) : o;
        if (base == 0.0f)
            base = 1.0f;
        const float response = (r - base) * 1000.0f / base;
        // A ring darker than the base (only possible with a threshold of 0 or
        // below and an all-dark neighbourhood) has no response.
        if (!(response > 0.0f))
            return 0;
        return static_cast<uint16_t>(std::round(std::min(response, 65535.0f)));
    }
};

}  // namespace

RingSampleOffsets MakeRingSampleOffsets(double radius, int samples)
{
    RingSampleOffsets offsets;
    if (!std::isfinite(radius) || samples < 1)
        return offsets;
    const double r = std::clamp(radius, -kLargestUsefulRadius, kLargestUsefulRadius);
    const double h = std::trunc(r * 0.5);
    auto at = [](double length, double angle) {
        return SampleOffset{static_cast<int>(std::lround(length * std::cos(angle))),
                            static_cast<int>(std::lround(length * std::sin(angle)))};
    };
    for (int k = 0; k < samples; ++k) {
        const double angle = kTwoPi * k / samples;
        offsets.ring.push_back(at(r, angle));
        offsets.inner.push_back(at(r - h, angle));
        offsets.outer.push_back(at(r + h, angle));
    }
    return offsets;
}

cv::Rect RingFilterWindow(int left, int right, int top, int bottom, double radius, cv::Size imageSize)
{
    if (!std::isfinite(radius))
        return {};
    const double t = std::trunc(radius / 3.0);
    const double x0 = TruncatedClamped(left + 2.0 * radius + t, 0, imageSize.width);
    const double x1 = TruncatedClamped(right - (radius + t), 0, imageSize.width);
    const double y0 = TruncatedClamped(top + radius + t, 0, imageSize.height);
    const double y1 = TruncatedClamped(bottom - (radius + t), 0, imageSize.height);
    if (x1 <= x0 || y1 <= y0)
        return {};
    return cv::Rect(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                    static_cast<int>(y1 - y0));
}

float ComputeBlobPercentile(const SampleOffsets& offsets, int x, int y, const cv::Mat& image,
                            double fraction)
{
    std::vector<uint16_t> values;
    values.reserve(offsets.size());
    for (const SampleOffset& o : offsets) {
        const int sx = x + o.dx, sy = y + o.dy;
        if (sx >= 0 && sy >= 0 && sx < image.cols && sy < image.rows)
            values.push_back(image.at<uint16_t>(sy, sx));
    }
    const int n = static_cast<int>(values.size());
    return Quantile(values.data(), n, MakeQuantilePosition(n, fraction));
}

bool CountBrighterNeighbours(const SampleOffsets& ringOffsets, const SampleOffsets& innerOffsets,
                             int x, int y, const cv::Mat& image)
{
    auto inside = [&](int sx, int sy) {
        return sx >= 0 && sy >= 0 && sx < image.cols && sy < image.rows;
    };
    const int n = static_cast<int>(ringOffsets.size());
    int innerAtLeastRing = 0;
    for (int k = 0; k < n; ++k) {
        const int rx = x + ringOffsets[k].dx, ry = y + ringOffsets[k].dy;
        if (k >= static_cast<int>(innerOffsets.size())) {
            ++innerAtLeastRing;
            continue;
        }
        const int ix = x + innerOffsets[k].dx, iy = y + innerOffsets[k].dy;
        if (!inside(rx, ry) || !inside(ix, iy) ||
            image.at<uint16_t>(iy, ix) >= image.at<uint16_t>(ry, rx))
            ++innerAtLeastRing;
    }
    return innerAtLeastRing <= n / 4;
}

bool MorphologicalRingFilter(const cv::Mat& source, cv::Mat& target, int left, int right, int top,
                             int bottom, double radius, int samples, int threshold, bool useInnerRing)
{
    if (source.type() != CV_16UC1 || target.type() != CV_16UC1 || source.size() != target.size())
        return false;
    const cv::Rect window = RingFilterWindow(left, right, top, bottom, radius, source.size());
    if (window.empty())
        return true;

    const RingSampleOffsets offsets = MakeRingSampleOffsets(radius, samples);
    RingResponder responder;
    responder.n = static_cast<int>(offsets.ring.size());
    responder.q25 = MakeQuantilePosition(responder.n, 0.25);
    responder.q75 = MakeQuantilePosition(responder.n, 0.75);
    responder.threshold = static_cast<float>(threshold);
    responder.useInnerRing = useInnerRing;

    // The pixels whose three rings lie wholly inside the image.
    int minDx = 0, maxDx = 0, minDy = 0, maxDy = 0;
    const ptrdiff_t step = static_cast<ptrdiff_t>(source.step1());
    auto addAll = [&](const SampleOffsets& list, std::vector<ptrdiff_t>& linear) {
        for (const SampleOffset& o : list) {
            minDx = std::min(minDx, o.dx);
            maxDx = std::max(maxDx, o.dx);
            minDy = std::min(minDy, o.dy);
            maxDy = std::max(maxDy, o.dy);
            linear.push_back(static_cast<ptrdiff_t>(o.dy) * step + o.dx);
        }
    };
    addAll(offsets.ring, responder.ring);
    addAll(offsets.inner, responder.inner);
    addAll(offsets.outer, responder.outer);
    const int safeX0 = -minDx, safeX1 = source.cols - maxDx;
    const int safeY0 = -minDy, safeY1 = source.rows - maxDy;

    cv::parallel_for_(cv::Range(window.y, window.y + window.height), [&](const cv::Range& rows) {
        std::vector<uint16_t> scratch(3 * static_cast<size_t>(std::max(responder.n, 1)));
        uint16_t* ringValues = scratch.data();
        uint16_t* innerValues = ringValues + responder.n;
        uint16_t* outerValues = innerValues + responder.n;
        for (int y = rows.start; y < rows.end; ++y) {
            const uint16_t* in = source.ptr<uint16_t>(y);
            uint16_t* out = target.ptr<uint16_t>(y);
            const bool rowSafe = y >= safeY0 && y < safeY1 && responder.n > 0;
            for (int x = window.x; x < window.x + window.width; ++x) {
                if (!rowSafe || x < safeX0 || x >= safeX1)
                    out[x] = 0;
                else
                    out[x] = responder(in + x, ringValues, innerValues, outerValues);
            }
        }
    });
    return true;
}

bool MorphologicalRingFilter(cv::Mat& image, int left, int right, int top, int bottom, double radius,
                             int samples, int threshold, bool useInnerRing)
{
    if (image.type() != CV_16UC1)
        return false;
    const cv::Mat source = image.clone();
    return MorphologicalRingFilter(source, image, left, right, top, bottom, radius, samples, threshold,
                                   useInnerRing);
}
