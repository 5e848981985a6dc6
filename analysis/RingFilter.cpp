#include "analysis/RingFilter.h"

#include "analysis/RingFilterBlocks.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The quantile between the sorted values vi and vj.
float Interpolate(double vi, double vj, const QuantilePosition& q)
{
    return static_cast<float>(vi + (vj - vi) * q.frac);
}

// Quantile of n values (may reorder them). A ring has a few dozen samples at
// most; for those the two wanted order statistics are found by counting each
// value's rank, which runs without data-dependent branches.
float Quantile(uint16_t* values, int n, const QuantilePosition& q)
{
    if (n <= 0)
        return 0.0f;
    double vi = 0.0, vj = 0.0;
    if (n <= 64) {
        for (int a = 0; a < n; ++a) {
            const uint16_t va = values[a];
            int rank = 0;
            for (int b = 0; b < n; ++b)
                rank += (values[b] < va) | ((values[b] == va) & (b < a));
            if (rank == q.i)
                vi = va;
            if (rank == q.j)
                vj = va;
        }
    } else {
        std::nth_element(values, values + q.i, values + n);
        vi = values[q.i];
        vj = q.j > q.i ? *std::min_element(values + q.i + 1, values + n) : vi;
    }
    return Interpolate(vi, vj, q);
}

double TruncatedClamped(double value, int low, int high)
{
    if (value < low)
        return low;
    if (value > high)
        return high;
    return std::trunc(value);
}

// The row passes of the ring filter. The counters never share memory with
// the rows they read; saying so lets the compiler run them as vector code
// (a byte pointer could otherwise alias anything).
void AddFlags(uint16_t* __restrict counts, const uint8_t* __restrict flags, int width)
{
    for (int i = 0; i < width; ++i)
        counts[i] = static_cast<uint16_t>(counts[i] + flags[i]);
}

void AddAtLeast(uint16_t* __restrict counts, const uint16_t* __restrict a, const uint16_t* __restrict b,
                int width)
{
    for (int i = 0; i < width; ++i)
        counts[i] = static_cast<uint16_t>(counts[i] + (a[i] >= b[i]));
}

// The sample rows of one filtered row, entry k for sample k of the rings:
// column x of each reads that sample of the pixel at column x.
struct RowSamples {
    std::vector<const uint8_t*> flags;   // at-threshold flags of the ring samples
    std::vector<const uint16_t*> ring;   // ring sample values
    std::vector<const uint16_t*> inner;  // inner ring sample values
    std::vector<const uint16_t*> outer;  // outer ring sample values
};

// Calls `visit(x)` for each column x of [x0, x1), left to right, with at
// least `needed` ring samples at the threshold and (with the inner ring) at
// most `pairLimit` inner samples at least as bright as their ring samples.
// For n of at most 255 samples.
template <typename Visit>
void ForEachCandidate(const RowSamples& s, int n, bool useInnerRing, int needed, int pairLimit, int x0, int x1,
                      const Visit& visit)
{
    int x = x0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i neededBytes = _mm_set1_epi8(static_cast<char>(std::clamp(needed, 0, 255)));
    const __m128i pairLimitWords = _mm_set1_epi16(static_cast<short>(std::clamp(pairLimit, -1, 32767)));
    for (; x + 16 <= x1; x += 16) {
        __m128i count = zero;
        for (int k = 0; k < n; ++k)
            count = _mm_add_epi8(count, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.flags[k] + x)));
        // count >= needed: the larger of the two is the count.
        __m128i pass = _mm_cmpeq_epi8(_mm_max_epu8(count, neededBytes), count);
        if (useInnerRing && _mm_movemask_epi8(pass) != 0) {
            __m128i low = zero, high = zero;  // pair counts of the first and last 8 columns
            for (int k = 0; k < n; ++k) {
                const __m128i* inner = reinterpret_cast<const __m128i*>(s.inner[k] + x);
                const __m128i* ring = reinterpret_cast<const __m128i*>(s.ring[k] + x);
                // inner >= ring exactly when ring - inner saturates to 0; a
                // true comparison is all ones, that is -1.
                low = _mm_sub_epi16(low, _mm_cmpeq_epi16(_mm_subs_epu16(_mm_loadu_si128(ring),
                                                                        _mm_loadu_si128(inner)), zero));
                high = _mm_sub_epi16(high, _mm_cmpeq_epi16(_mm_subs_epu16(_mm_loadu_si128(ring + 1),
                                                                          _mm_loadu_si128(inner + 1)), zero));
            }
            const __m128i tooMany = _mm_packs_epi16(_mm_cmpgt_epi16(low, pairLimitWords),
                                                    _mm_cmpgt_epi16(high, pairLimitWords));
            pass = _mm_andnot_si128(tooMany, pass);
        }
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(pass)); mask != 0; mask &= mask - 1)
            visit(x + std::countr_zero(mask));
    }
#endif
    for (; x < x1; ++x) {
        int count = 0, pairs = 0;
        for (int k = 0; k < n; ++k) {
            count += s.flags[k][x];
            if (useInnerRing)
                pairs += s.inner[k][x] >= s.ring[k][x];
        }
        if (count >= needed && pairs <= pairLimit)
            visit(x);
    }
}

// Response of one pixel whose samples all lie inside the image.
struct RingResponder {
    std::vector<ptrdiff_t> ring, inner, outer;  // offsets in pixels from the centre
    QuantilePosition q25, q75;
    int n = 0;
    float threshold = 0.0f;
    bool useInnerRing = false;

    // Whether the fraction-quantile at `q` of the n values is certainly above
    // `level`: it is whenever v[i] already is, that is when at least n - i
    // values are.
    bool QuantileSurelyAbove(const uint16_t* values, const QuantilePosition& q, float level) const
    {
        int above = 0;
        for (int k = 0; k < n; ++k)
            above += values[k] > level;
        return above >= n - q.i;
    }

    uint16_t operator()(const uint16_t* centre, uint16_t* ringValues, uint16_t* innerValues,
                        uint16_t* outerValues) const
    {
        for (int k = 0; k < n; ++k)
            ringValues[k] = centre[ring[k]];
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
        // Most pixels that get this far fail on a ring around them brighter
        // than the ring itself; a count settles that without sorting.
        if (useInnerRing && QuantileSurelyAbove(innerValues, q75, r))
            return 0;
        for (int k = 0; k < n; ++k)
            outerValues[k] = centre[outer[k]];
        if (QuantileSurelyAbove(outerValues, q75, r))
            return 0;
        const float innerQuantile = useInnerRing ? Quantile(innerValues, n, q75) : 0.0f;
        return FromQuantiles(r, innerQuantile, Quantile(outerValues, n, q75));
    }

    // The response from the ring's lower quartile and the inner (with the
    // inner ring) and outer rings' upper quartiles.
    uint16_t FromQuantiles(float r, float innerQuantile, float o) const
    {
        if (r < threshold)
            return 0;
        if (useInnerRing && innerQuantile > r)
            return 0;
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

    // The same from the sorted sample values the quantiles lie between.
    uint16_t FromOrderStatistics(const RingCandidate& c) const
    {
        return FromQuantiles(Interpolate(c.ring[0], c.ring[1], q25),
                             useInnerRing ? Interpolate(c.inner[0], c.inner[1], q75) : 0.0f,
                             Interpolate(c.outer[0], c.outer[1], q75));
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

void MakeRingThresholdFlags(const cv::Mat& source, int threshold, cv::Mat& flags)
{
    flags.create(source.size(), CV_8UC1);
    if (threshold <= 0) {
        flags.setTo(1);
        return;
    }
    if (source.type() != CV_16UC1) {
        cv::compare(source, cv::Scalar(std::min(threshold, 65536)), flags, cv::CMP_GE);
        flags &= 1;
        return;
    }
    // A frame's worth of rows, split over the cores.
    cv::parallel_for_(cv::Range(0, source.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uint16_t* __restrict in = source.ptr<uint16_t>(y);
            uint8_t* __restrict out = flags.ptr<uint8_t>(y);
            for (int x = 0; x < source.cols; ++x)
                out[x] = static_cast<uint8_t>(in[x] >= threshold);
        }
    }, std::max(1.0, source.rows / 64.0));
}

bool MorphologicalRingFilter(const cv::Mat& source, cv::Mat& target, int left, int right, int top,
                             int bottom, double radius, int samples, int threshold, bool useInnerRing)
{
    if (source.type() != CV_16UC1 || target.type() != CV_16UC1 || source.size() != target.size())
        return false;
    // Kept per calling thread (one per trial radius otherwise).
    thread_local cv::Mat callerFlags;
    MakeRingThresholdFlags(source, threshold, callerFlags);
    return MorphologicalRingFilter(source, target, left, right, top, bottom, radius, samples, threshold,
                                   useInnerRing, callerFlags);
}

bool MorphologicalRingFilter(const cv::Mat& source, cv::Mat& target, int left, int right, int top,
                             int bottom, double radius, int samples, int threshold, bool useInnerRing,
                             const cv::Mat& atThreshold)
{
    if (source.type() != CV_16UC1 || target.type() != CV_16UC1 || source.size() != target.size() ||
        atThreshold.type() != CV_8UC1 || atThreshold.size() != source.size())
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

    // The ring quantile never exceeds the ring's (j+1)-th smallest value, so a
    // pixel with fewer than n - j ring samples at or above the threshold
    // cannot pass it. Counting those samples is a few byte additions per
    // pixel, and spares the sorting for most of the image.
    // (16-bit counters: beyond 65535 samples every pixel takes the full path.)
    const bool countable = responder.n < 65536;
    const int needed = countable ? responder.n - responder.q25.j : 0;
    // With the inner ring, a pixel with more than n/4 inner samples at least
    // as bright as their ring samples fails; that count is also taken a row
    // at a time.
    const int pairLimit = countable ? responder.n / 4 : INT_MAX;

    // Up to 255 samples a ring's counts fit in bytes: the counts of a block
    // of columns then build up in vector registers over all samples, instead
    // of a pass through a row of counters per sample.
    const bool blockwise = responder.n <= 255;
    // For the common sample counts wider blocks find the quantiles of all
    // their columns at once (see RingFilterBlocks.h).
    const bool quantileBlocks = blockwise && HasRingBlocks(responder.n) && threshold <= 65535;
    RingBlockSettings blockSettings;
    blockSettings.samples = responder.n;
    blockSettings.useInnerRing = useInnerRing;
    blockSettings.threshold = std::max(threshold, 0);

    // The cores take bands of rows rather than single rows: each band sets up
    // its sample rows and buffers once.
    cv::parallel_for_(cv::Range(window.y, window.y + window.height), [&](const cv::Range& rows) {
        const size_t n = static_cast<size_t>(std::max(responder.n, 1));
        std::vector<uint16_t> scratch(3 * n);
        uint16_t* ringValues = scratch.data();
        uint16_t* innerValues = ringValues + responder.n;
        uint16_t* outerValues = innerValues + responder.n;
        const int x0 = std::max(window.x, safeX0);
        const int x1 = std::min(window.x + window.width, safeX1);
        const int width = std::max(x1 - x0, 0);
        std::vector<uint16_t> counts, pairCounts;
        if (!blockwise)
            counts.resize(static_cast<size_t>(width)), pairCounts.resize(static_cast<size_t>(width));
        RowSamples samples;
        samples.flags.resize(n);
        samples.ring.resize(n);
        samples.inner.resize(n);
        samples.outer.resize(n);
        std::vector<RingCandidate> candidates;
        for (int y = rows.start; y < rows.end; ++y) {
            const uint16_t* in = source.ptr<uint16_t>(y);
            uint16_t* out = target.ptr<uint16_t>(y);
            std::fill(out + window.x, out + window.x + window.width, 0);
            if (y < safeY0 || y >= safeY1 || responder.n == 0 || width == 0)
                continue;
            if (blockwise) {
                // Row pointers shifted so that column x of the row reads
                // the sample of the pixel at column x.
                for (size_t k = 0; k < offsets.ring.size(); ++k) {
                    const SampleOffset& o = offsets.ring[k];
                    samples.flags[k] = atThreshold.ptr<uint8_t>(y + o.dy) + o.dx;
                    samples.ring[k] = source.ptr<uint16_t>(y + o.dy) + o.dx;
                    const SampleOffset& io = offsets.inner[k];
                    samples.inner[k] = source.ptr<uint16_t>(y + io.dy) + io.dx;
                    const SampleOffset& oo = offsets.outer[k];
                    samples.outer[k] = source.ptr<uint16_t>(y + oo.dy) + oo.dx;
                }
                int x = x0;
                if (quantileBlocks) {
                    candidates.clear();
                    const RingSampleRows rowsOfSamples{samples.ring.data(), samples.inner.data(),
                                                       samples.outer.data()};
                    x = FindRingCandidates(rowsOfSamples, blockSettings, x0, x1, candidates);
                    for (const RingCandidate& c : candidates)
                        out[c.x] = responder.FromOrderStatistics(c);
                }
                ForEachCandidate(samples, responder.n, useInnerRing, needed, pairLimit, x, x1,
                                 [&](int x) { out[x] = responder(in + x, ringValues, innerValues, outerValues); });
                continue;
            }
            std::fill(counts.begin(), counts.end(), 0);
            std::fill(pairCounts.begin(), pairCounts.end(), 0);
            for (size_t k = 0; k < offsets.ring.size(); ++k) {
                const SampleOffset& o = offsets.ring[k];
                AddFlags(counts.data(), atThreshold.ptr<uint8_t>(y + o.dy) + x0 + o.dx, width);
                if (useInnerRing) {
                    const SampleOffset& io = offsets.inner[k];
                    AddAtLeast(pairCounts.data(), source.ptr<uint16_t>(y + io.dy) + x0 + io.dx,
                               source.ptr<uint16_t>(y + o.dy) + x0 + o.dx, width);
                }
            }
            for (int x = x0; x < x1; ++x) {
                const size_t i = static_cast<size_t>(x - x0);
                if (counts[i] >= needed && pairCounts[i] <= pairLimit)
                    out[x] = responder(in + x, ringValues, innerValues, outerValues);
            }
        }
    }, std::max(1.0, window.height / 16.0));
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
