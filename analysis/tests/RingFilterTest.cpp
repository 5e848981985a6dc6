#include "analysis/RingFilter.h"
#include "analysis/testsupport/SyntheticCells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kCentre = 20;

// A 40 x 40 background with the 8 ring samples of radius 4 around the centre
// set to `ringValue`; `innerBright` of the inner samples are set to the same.
cv::Mat RingImage(uint16_t background, uint16_t ringValue, int innerBright = 0)
{
    cv::Mat image(40, 40, CV_16UC1, cv::Scalar(background));
    const RingSampleOffsets offsets = MakeRingSampleOffsets(4.0, 8);
    for (const SampleOffset& o : offsets.ring)
        image.at<uint16_t>(kCentre + o.dy, kCentre + o.dx) = ringValue;
    for (int k = 0; k < innerBright; ++k)
        image.at<uint16_t>(kCentre + offsets.inner[k].dy, kCentre + offsets.inner[k].dx) = ringValue;
    return image;
}

// A 40 x 40 image of `background` whose 8 samples of radius 4 around the
// centre hold the given values, ring by ring (entry k of each on ray k).
cv::Mat SampledRings(uint16_t background, const std::vector<uint16_t>& ring, const std::vector<uint16_t>& inner,
                     const std::vector<uint16_t>& outer)
{
    cv::Mat image(40, 40, CV_16UC1, cv::Scalar(background));
    const RingSampleOffsets offsets = MakeRingSampleOffsets(4.0, 8);
    for (size_t k = 0; k < 8; ++k) {
        image.at<uint16_t>(kCentre + offsets.ring[k].dy, kCentre + offsets.ring[k].dx) = ring[k];
        image.at<uint16_t>(kCentre + offsets.inner[k].dy, kCentre + offsets.inner[k].dx) = inner[k];
        image.at<uint16_t>(kCentre + offsets.outer[k].dy, kCentre + offsets.outer[k].dx) = outer[k];
    }
    return image;
}

uint16_t ResponseAtCentre(cv::Mat image, int threshold, bool useInnerRing)
{
    EXPECT_TRUE(MorphologicalRingFilter(image, 0, 39, 0, 39, 4.0, 8, threshold, useInnerRing));
    return image.at<uint16_t>(kCentre, kCentre);
}

}  // namespace

TEST(RingFilter, SampleOffsetsLieOnThreeCirclesAlongTheSameRays)
{
    const RingSampleOffsets offsets = MakeRingSampleOffsets(4.0, 8);
    ASSERT_EQ(offsets.ring.size(), 8u);
    // Radius 4, half radius 2: inner circle 2, outer circle 6; 45 degrees
    // rounds 2.83 to 3, 1.41 to 1 and 4.24 to 4.
    EXPECT_EQ(offsets.ring[0].dx, 4);
    EXPECT_EQ(offsets.ring[0].dy, 0);
    EXPECT_EQ(offsets.ring[1].dx, 3);
    EXPECT_EQ(offsets.ring[1].dy, 3);
    EXPECT_EQ(offsets.inner[1].dx, 1);
    EXPECT_EQ(offsets.outer[1].dx, 4);
    EXPECT_EQ(offsets.ring[4].dx, -4);
    EXPECT_EQ(offsets.outer[6].dy, -6);
    EXPECT_TRUE(MakeRingSampleOffsets(4.0, 0).ring.empty());
}

TEST(RingFilter, InnerAndOuterCirclesAreHalfTheRadiusTruncatedAway)
{
    struct Case {
        double radius;
        int innerDx, outerDx;  // along the first ray
    };
    // Half-widths 2, 3, 2, 4: an untruncated or rounded half-width moves a circle.
    for (const Case& c : {Case{5.0, 3, 7}, Case{7.0, 4, 10}, Case{4.6, 3, 7}, Case{9.8, 6, 14}}) {
        SCOPED_TRACE(c.radius);
        const RingSampleOffsets offsets = MakeRingSampleOffsets(c.radius, 8);
        EXPECT_EQ(offsets.inner[0].dx, c.innerDx);
        EXPECT_EQ(offsets.outer[0].dx, c.outerDx);
        EXPECT_EQ(offsets.inner[0].dy, 0);
    }
}

TEST(RingFilter, ResponseUsesTheLowerRingQuartileAgainstTheUpperQuartilesAround)
{
    // Eight samples: the quartile at 0.25 lies 0.75 of the way from the 2nd
    // to the 3rd smallest value, the one at 0.75 0.25 of the way from the 6th
    // to the 7th.
    const std::vector<uint16_t> spread{700, 100, 500, 300, 800, 200, 600, 400};     // q75 625
    const std::vector<uint16_t> bright{1700, 1000, 1500, 1300, 1600, 1100, 1400, 1200};  // q25 1175
    const std::vector<uint16_t> flat2000(8, 2000), flat1000(8, 1000), flat900(8, 900), flat500(8, 500);
    struct Case {
        const char* what;
        std::vector<uint16_t> ring, inner, outer;
        bool useInnerRing;
        uint16_t expected;
    };
    const Case cases[] = {
        {"outer quartile 625: (2000 - 625) * 1000 / 625", flat2000, flat500, spread, false, 2200},
        {"ring quartile 1175: (1175 - 500) * 1000 / 500", bright, flat500, flat500, false, 1350},
        {"inner quartile 625 below the outer 1000", flat2000, spread, flat1000, true, 2200},
        {"outer quartile 625 below the inner 900", flat2000, flat900, spread, true, 2200},
        {"inner ignored without the inner ring", flat2000, spread, flat1000, false, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ResponseAtCentre(SampledRings(0, c.ring, c.inner, c.outer), 0, c.useInnerRing), c.expected);
    }
}

TEST(RingFilter, QuantileInterpolatesBetweenTheTwoNearestValues)
{
    cv::Mat image(1, 4, CV_16UC1);
    image.at<uint16_t>(0, 0) = 40;
    image.at<uint16_t>(0, 1) = 10;
    image.at<uint16_t>(0, 2) = 30;
    image.at<uint16_t>(0, 3) = 20;
    const SampleOffsets all{{0, 0}, {1, 0}, {2, 0}, {3, 0}};
    EXPECT_FLOAT_EQ(ComputeBlobPercentile(all, 0, 0, image, 0.25), 17.5f);
    EXPECT_FLOAT_EQ(ComputeBlobPercentile(all, 0, 0, image, 0.75), 32.5f);
    EXPECT_FLOAT_EQ(ComputeBlobPercentile(all, 0, 0, image, 1.0), 40.0f);
    // Samples past the edge are left out rather than read.
    EXPECT_FLOAT_EQ(ComputeBlobPercentile({{-1, 0}, {0, 0}}, 0, 0, image, 0.0), 40.0f);
}

TEST(RingFilter, ResponseOfTheCentrePixel)
{
    struct Case {
        const char* what;
        uint16_t background;
        uint16_t ring;
        int innerBright;
        int threshold;
        bool useInnerRing;
        uint16_t expected;
    };
    const Case cases[] = {
        {"ring twice the outer ring", 1000, 2000, 0, 0, false, 1000},
        {"with the inner ring too", 1000, 2000, 0, 0, true, 1000},
        {"threshold equal to the ring quantile passes", 1000, 2000, 0, 2000, false, 1000},
        {"threshold above the ring quantile", 1000, 2000, 0, 2001, false, 0},
        {"outer ring brighter than the ring", 2000, 1000, 0, 0, false, 0},
        {"uniform image: ring equals outer, response 0", 1000, 1000, 0, 0, false, 0},
        {"dark outer ring: base 1, response capped", 0, 2000, 0, 1, false, 65535},
        {"2 of 8 inner samples as bright still pass", 1000, 2000, 2, 0, true, 1000},
        {"3 of 8 inner samples as bright fail", 1000, 2000, 3, 0, true, 0},
        {"inner samples ignored without the inner ring", 1000, 2000, 3, 0, false, 1000},
        {"threshold 0 on a dark image stays 0, not negative", 0, 0, 0, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ResponseAtCentre(RingImage(c.background, c.ring, c.innerBright), c.threshold, c.useInnerRing),
                  c.expected);
    }
}

TEST(RingFilter, WritesOnlyItsWindow)
{
    cv::Mat image(40, 40, CV_16UC1, cv::Scalar(777));
    // Radius 6: margin 6 + 2 = 8, left margin 12 + 2 = 14. Of the region
    // columns 10..38, rows 10..28, rows 18..19 and columns 24..29 are written.
    ASSERT_TRUE(MorphologicalRingFilter(image, 10, 38, 10, 28, 6.0, 8, 0, false));
    EXPECT_EQ(cv::countNonZero(image != 777), 2 * 6);
    EXPECT_EQ(image.at<uint16_t>(18, 24), 0);
    EXPECT_EQ(image.at<uint16_t>(19, 29), 0);
    EXPECT_EQ(image.at<uint16_t>(17, 24), 777);
    EXPECT_EQ(image.at<uint16_t>(18, 23), 777);
    EXPECT_EQ(image.at<uint16_t>(20, 29), 777);
    EXPECT_EQ(image.at<uint16_t>(19, 30), 777);

    // A region narrower than the margins leaves the image as it was.
    cv::Mat narrow(40, 40, CV_16UC1, cv::Scalar(777));
    ASSERT_TRUE(MorphologicalRingFilter(narrow, 0, 20, 0, 39, 6.0, 8, 0, false));
    EXPECT_EQ(cv::countNonZero(narrow != 777), 0);
}

TEST(RingFilter, RingsReachingPastTheImageGiveNoResponse)
{
    // A region far past the image: the filter must stay inside it (the tests
    // run under AddressSanitizer) and still filter the pixels whose rings fit.
    cv::Mat image = RingImage(1000, 2000);
    // A bright ring cut by the top edge would respond if the missing samples
    // were simply left out.
    for (const SampleOffset& o : MakeRingSampleOffsets(4.0, 8).ring)
        if (2 + o.dy >= 0)
            image.at<uint16_t>(2 + o.dy, 30 + o.dx) = 2000;
    ASSERT_TRUE(MorphologicalRingFilter(image, -50, 100, -50, 100, 4.0, 8, 0, false));
    EXPECT_EQ(image.at<uint16_t>(kCentre, kCentre), 1000);
    // Outer ring radius 6: the first and last 6 rows and columns cannot be
    // sampled and get 0.
    EXPECT_EQ(image.at<uint16_t>(2, 30), 0);
    EXPECT_EQ(image.at<uint16_t>(20, 34), 0);
    cv::Mat bytes(4, 4, CV_8UC1, cv::Scalar(1));
    EXPECT_FALSE(MorphologicalRingFilter(bytes, 0, 3, 0, 3, 1.0, 8, 0, false));
}

// Flags made once and reused over several radii give what the filter makes
// from the image itself; flags of another size are refused, target untouched.
TEST(RingFilter, PrecomputedThresholdFlags)
{
    SyntheticCellSpec spec;
    spec.cellCount = 6;
    spec.noise = 400;
    const cv::Mat image = MakeSyntheticCellImage(spec).image;
    for (int threshold : {0, 10000}) {
        cv::Mat flags;
        MakeRingThresholdFlags(image, threshold, flags);
        for (double radius : {8.0, 10.0, 13.0}) {
            SCOPED_TRACE(testing::Message() << "threshold " << threshold << ", radius " << radius);
            cv::Mat expected = image.clone(), actual = image.clone();
            ASSERT_TRUE(MorphologicalRingFilter(image, expected, 0, image.cols - 1, 0, image.rows - 1, radius,
                                                16, threshold, true));
            ASSERT_TRUE(MorphologicalRingFilter(image, actual, 0, image.cols - 1, 0, image.rows - 1, radius,
                                                16, threshold, true, flags));
            EXPECT_EQ(cv::countNonZero(expected != actual), 0);
        }
    }
    const cv::Mat wrongSize(10, 10, CV_8UC1, cv::Scalar(1));
    cv::Mat target = image.clone();
    EXPECT_FALSE(MorphologicalRingFilter(image, target, 0, image.cols - 1, 0, image.rows - 1, 10.0, 16, 0, true,
                                         wrongSize));
    EXPECT_EQ(cv::countNonZero(target != image), 0);
}

namespace {

// The quantile of the image values at the offsets, by sorting them.
float SortedQuantile(const cv::Mat& image, int x, int y, const SampleOffsets& offsets, double fraction)
{
    std::vector<uint16_t> values;
    for (const SampleOffset& o : offsets)
        values.push_back(image.at<uint16_t>(y + o.dy, x + o.dx));
    std::sort(values.begin(), values.end());
    const int n = static_cast<int>(values.size());
    const double e = (n - 1) * fraction;
    const int i = static_cast<int>(e);
    const int j = std::min(i + 1, n - 1);
    return static_cast<float>(values[i] + (static_cast<double>(values[j]) - values[i]) * (e - i));
}

// The response of one pixel straight from its definition.
uint16_t ReferenceResponse(const cv::Mat& image, int x, int y, const RingSampleOffsets& offsets, int threshold,
                           bool useInnerRing)
{
    for (const SampleOffsets* list : {&offsets.ring, &offsets.inner, &offsets.outer})
        for (const SampleOffset& o : *list)
            if (x + o.dx < 0 || y + o.dy < 0 || x + o.dx >= image.cols || y + o.dy >= image.rows)
                return 0;
    const int n = static_cast<int>(offsets.ring.size());
    if (useInnerRing) {
        int atLeast = 0;
        for (int k = 0; k < n; ++k)
            atLeast += image.at<uint16_t>(y + offsets.inner[k].dy, x + offsets.inner[k].dx) >=
                       image.at<uint16_t>(y + offsets.ring[k].dy, x + offsets.ring[k].dx);
        if (atLeast > n / 4)
            return 0;
    }
    const float r = SortedQuantile(image, x, y, offsets.ring, 0.25);
    if (r < static_cast<float>(threshold))
        return 0;
    const float innerQuantile = useInnerRing ? SortedQuantile(image, x, y, offsets.inner, 0.75) : 0.0f;
    const float o = SortedQuantile(image, x, y, offsets.outer, 0.75);
    if (innerQuantile > r || o > r)
        return 0;
    float base = useInnerRing ? std::min(innerQuantile, o) : o;
    if (base == 0.0f)
        base = 1.0f;
    const float response = (r - base) * 1000.0f / base;
    return response > 0.0f ? static_cast<uint16_t>(std::round(std::min(response, 65535.0f))) : 0;
}

}  // namespace

// The responses are found a block of columns at a time (whole blocks of
// quantiles for the common sample counts, counts of sixteen columns for
// rings of up to 255 samples, a row of counters beyond); every way must give,
// pixel for pixel, what the ring quantiles give one pixel at a time, also for
// windows whose width is no multiple of a block, columns by the edges and
// images full of equal values.
TEST(RingFilter, EveryPixelRespondsAsItsQuantilesSay)
{
    SyntheticCellSpec spec;
    spec.size = cv::Size(83, 61);
    spec.cellCount = 3;
    spec.ringRadius = 6.0;
    spec.margin = 12;
    spec.minSpacing = 20;
    spec.noise = 300;
    const cv::Mat small = MakeSyntheticCellImage(spec).image;
    spec.size = cv::Size(211, 97);
    spec.cellCount = 12;
    spec.noise = 600;
    const cv::Mat wide = MakeSyntheticCellImage(spec).image;
    // Few grey levels: ties everywhere, between rings and within them.
    cv::Mat levels(57, 149, CV_16UC1);
    cv::RNG(7).fill(levels, cv::RNG::UNIFORM, 0, 4);
    struct Case {
        const cv::Mat* image;
        int samples, threshold;
        bool useInnerRing;
        int left, right;
    };
    const Case cases[] = {
        {&small, 16, 0, true, 0, 82},    {&small, 16, 9000, true, 3, 80}, {&small, 16, 9000, false, 0, 82},
        {&small, 7, 0, true, 5, 57},     {&small, 255, 8500, true, 0, 82}, {&small, 256, 8500, true, 0, 82},
        {&small, 300, 0, false, 1, 81},  {&small, 1, 0, true, 0, 82},     {&wide, 16, 0, true, 0, 210},
        {&wide, 16, 0, false, 7, 200},   {&wide, 8, 0, true, 0, 210},     {&wide, 12, 8800, true, 2, 209},
        {&wide, 24, 0, true, 0, 210},    {&wide, 32, 0, false, 0, 210},   {&wide, 32, 9000, true, 11, 190},
        {&levels, 16, 0, false, 0, 148}, {&levels, 8, 2, false, 0, 148},  {&levels, 24, 1, true, 3, 140},
    };
    for (const Case& c : cases) {
        const cv::Mat& image = *c.image;
        SCOPED_TRACE(testing::Message() << image.cols << " x " << image.rows << ", " << c.samples
                                        << " samples, threshold " << c.threshold
                                        << (c.useInnerRing ? ", inner ring" : "") << ", columns " << c.left
                                        << ".." << c.right);
        const double radius = 6.0;
        const RingSampleOffsets offsets = MakeRingSampleOffsets(radius, c.samples);
        cv::Mat filtered(image.size(), CV_16UC1, cv::Scalar(4321));
        ASSERT_TRUE(MorphologicalRingFilter(image, filtered, c.left, c.right, 0, image.rows - 1, radius, c.samples,
                                            c.threshold, c.useInnerRing));
        const cv::Rect window = RingFilterWindow(c.left, c.right, 0, image.rows - 1, radius, image.size());
        int responding = 0;
        for (int y = 0; y < image.rows; ++y) {
            for (int x = 0; x < image.cols; ++x) {
                const uint16_t expected = window.contains({x, y})
                                              ? ReferenceResponse(image, x, y, offsets, c.threshold, c.useInnerRing)
                                              : 4321;
                ASSERT_EQ(filtered.at<uint16_t>(y, x), expected) << "at " << x << ", " << y;
                responding += window.contains({x, y}) && expected > 0;
            }
        }
        if (c.samples > 1) {
            EXPECT_GT(responding, 0);  // the case tells something
        }
    }
}
