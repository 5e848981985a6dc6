#include "analysis/CountFilter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// A 60 x 60 image, all 0 but for the given blocks of value 5000.
struct Block {
    int x, y, width, height;
    uint16_t value = 5000;
};

cv::Mat ImageWith(std::initializer_list<Block> blocks)
{
    cv::Mat image = cv::Mat::zeros(60, 60, CV_16UC1);
    for (const Block& b : blocks)
        image(cv::Rect(b.x, b.y, b.width, b.height)).setTo(b.value);
    return image;
}

// Counts over the whole image with radius 3 (window columns 7..55, rows 4..55).
struct Counted {
    std::vector<CellDetection> detections;
    DetectionColumnBins bins = DetectionColumnBins(60);

    void Run(const cv::Mat& image, int minSize = 1, bool withinType = false, int radius = 3,
             float detectionRadius = 3.5f)
    {
        ASSERT_TRUE(CountFilter(image, 0, 59, 0, 59, radius, 100, minSize, detections, withinType, bins,
                                detectionRadius));
    }
    size_t BinnedCount() const
    {
        size_t n = 0;
        for (const auto& bin : bins)
            n += bin.size();
        return n;
    }
};

// The fill as a plain recursion, to check that the explicit stack visits the
// same pixels under the depth cap.
void RecursiveFill(const cv::Mat& image, cv::Mat& mask, int x, int y, int threshold, BlobSums& sums,
                   const CountWindow& w, int64_t depth)
{
    if (!w.Contains(x, y) || depth == 0 || mask.at<uint16_t>(y, x) != 0 || image.at<uint16_t>(y, x) < threshold)
        return;
    mask.at<uint16_t>(y, x) = 1;
    ++sums.count;
    sums.sum += image.at<uint16_t>(y, x);
    sums.sumX += x;
    sums.sumY += y;
    RecursiveFill(image, mask, x, y + 1, threshold, sums, w, depth - 1);
    RecursiveFill(image, mask, x, y - 1, threshold, sums, w, depth - 1);
    RecursiveFill(image, mask, x + 1, y, threshold, sums, w, depth - 1);
    RecursiveFill(image, mask, x - 1, y, threshold, sums, w, depth - 1);
}

}  // namespace

TEST(CountFilter, ABlockBecomesOneDetectionAtItsCentre)
{
    const cv::Mat image = ImageWith({{20, 30, 3, 3}});
    Counted c;
    c.Run(image);
    ASSERT_EQ(c.detections.size(), 1u);
    const CellDetection& d = c.detections[0];
    EXPECT_EQ(d.x, 21);
    EXPECT_EQ(d.y, 31);
    EXPECT_FLOAT_EQ(d.score, static_cast<float>(std::log2(45000.0)));
    EXPECT_EQ(d.height, 0.0f);
    EXPECT_EQ(d.radius, 3.5f);
    ASSERT_EQ(c.bins[21].size(), 1u);
    EXPECT_EQ(c.bins[21][0].y, 31);
}

TEST(CountFilter, MinimumSize)
{
    for (int minSize : {9, 10}) {
        SCOPED_TRACE(minSize);
        Counted c;
        c.Run(ImageWith({{20, 30, 3, 3}}), minSize);
        // A blob one pixel short yields nothing, and its pixels, once marked,
        // never seed a smaller blob.
        EXPECT_EQ(c.detections.size(), minSize == 9 ? 1u : 0u);
    }
}

TEST(CountFilter, WindowEdgesAndEmptyWindow)
{
    // Radius 3: columns 7 (xmin) .. 55 (xmax excluded), rows 4 .. 55.
    Counted c;
    c.Run(ImageWith({{7, 4, 1, 1}, {55, 30, 1, 1}, {30, 55, 1, 1}, {6, 30, 1, 1}}));
    ASSERT_EQ(c.detections.size(), 1u);
    EXPECT_EQ(c.detections[0].x, 7);
    EXPECT_EQ(c.detections[0].y, 4);

    // Radius 0: no depth, so not even a seed joins.
    Counted zero;
    zero.Run(ImageWith({{20, 30, 3, 3}}), 0, false, 0);
    EXPECT_TRUE(zero.detections.empty());

    // The most negative radius (a parameter file's nonsense) widens the
    // window to the whole image; its depth cap must not overflow.
    Counted widest;
    widest.Run(ImageWith({{20, 30, 3, 3}}), 1, false, INT32_MIN);
    ASSERT_EQ(widest.detections.size(), 1u);
    EXPECT_EQ(widest.detections[0].x, 21);

    // A region far past the image is clipped, never read outside it.
    std::vector<CellDetection> list;
    DetectionColumnBins bins(10);
    EXPECT_TRUE(CountFilter(ImageWith({{20, 30, 3, 3}}), -1000, 5000, -1000, 5000, 3, 100, 1, list, true, bins, 3));
    EXPECT_EQ(list.size(), 1u);
}

TEST(CountFilter, DepthCapSplitsLongBlobs)
{
    // Radius 1 gives a depth of 2: a row of six pixels fills two at a time.
    std::vector<CellDetection> list;
    DetectionColumnBins bins(60);
    ASSERT_TRUE(CountFilter(ImageWith({{20, 30, 6, 1}}), 0, 59, 0, 59, 1, 100, 1, list, false, bins, 1));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].x, 21);  // (20 + 21) / 2 = 20.5 rounds away from zero
    EXPECT_EQ(list[1].x, 23);
    EXPECT_EQ(list[2].x, 25);
}

TEST(CountFilter, ExplicitStackFillsLikeTheRecursion)
{
    cv::RNG rng(7);
    for (int trial = 0; trial < 40; ++trial) {
        cv::Mat image(24, 24, CV_16UC1);
        rng.fill(image, cv::RNG::UNIFORM, 0, 200);
        const CountWindow window{2, 22, 1, 23};
        const int64_t depth = 1 + trial % 9;
        cv::Mat maskA = cv::Mat::zeros(image.size(), CV_16UC1), maskB = maskA.clone();
        for (int y = 1; y < 23; ++y)
            for (int x = 2; x < 22; ++x) {
                BlobSums a, b;
                FloodFillMask(image, maskA, x, y, 80, a, window, depth);
                RecursiveFill(image, maskB, x, y, 80, b, window, depth);
                ASSERT_EQ(a.count, b.count);
                ASSERT_EQ(a.sum, b.sum);
                ASSERT_EQ(a.sumX, b.sumX);
                ASSERT_EQ(a.sumY, b.sumY);
            }
        ASSERT_EQ(cv::countNonZero(maskA != maskB), 0);
    }
}

TEST(CountFilter, ProximityWithinTypeKeepsTheBestOfNeighbours)
{
    // Two blobs 3 columns and 2 rows apart are neighbours at radius 3.
    {
        SCOPED_TRACE("equal scores: the first in scan order stays");
        Counted c;
        c.Run(ImageWith({{20, 20, 1, 1}, {23, 22, 1, 1}}), 1, true);
        ASSERT_EQ(c.detections.size(), 1u);
        EXPECT_EQ(c.detections[0].x, 20);
        EXPECT_EQ(c.BinnedCount(), 1u);
    }
    {
        SCOPED_TRACE("a strictly better later blob replaces the earlier in list and bins");
        Counted c;
        c.Run(ImageWith({{20, 20, 1, 1}, {23, 22, 1, 1, 6000}}), 1, true);
        ASSERT_EQ(c.detections.size(), 1u);
        EXPECT_EQ(c.detections[0].x, 23);
        EXPECT_TRUE(c.bins[20].empty());
        EXPECT_EQ(c.bins[23].size(), 1u);
    }
    {
        SCOPED_TRACE("four rows apart are not neighbours; without the filter both stay");
        Counted apart, unfiltered;
        apart.Run(ImageWith({{20, 20, 1, 1}, {23, 24, 1, 1}}), 1, true);
        EXPECT_EQ(apart.detections.size(), 2u);
        unfiltered.Run(ImageWith({{20, 20, 1, 1}, {23, 22, 1, 1}}), 1, false);
        EXPECT_EQ(unfiltered.detections.size(), 2u);
    }
    {
        SCOPED_TRACE("across calls: an earlier trial radius's detection competes too");
        Counted c;
        c.Run(ImageWith({{20, 20, 1, 1}}), 1, true, 3, 3.0f);
        c.Run(ImageWith({{21, 21, 2, 1}}), 1, true, 3, 4.0f);
        c.Run(ImageWith({{20, 20, 1, 1}}), 1, true, 3, 5.0f);
        ASSERT_EQ(c.detections.size(), 1u);
        EXPECT_EQ(c.detections[0].radius, 4.0f);
        EXPECT_EQ(c.BinnedCount(), 1u);
    }
}

TEST(CountFilter, NeighbourhoodIsTheSquareOfTheCountRadius)
{
    // Equal blobs: neighbours keep only the first. The square's half-side is
    // the count radius (3), whatever radius the detections were found at.
    struct Case {
        int dx, dy;
        float detectionRadius;
        size_t kept;
    };
    const Case cases[] = {
        {3, 3, 1.0f, 1},  // a corner of the square, 4.2 apart
        {3, -3, 6.0f, 1},
        {4, 0, 6.0f, 2},
        {0, 4, 1.0f, 2},
        {-4, 1, 6.0f, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy << " found at radius " << c.detectionRadius);
        Counted counted;
        counted.Run(ImageWith({{30, 30, 1, 1}, {30 + c.dx, 30 + c.dy, 1, 1}}), 1, true, 3, c.detectionRadius);
        EXPECT_EQ(counted.detections.size(), c.kept);
    }
}

// Lone pixels at every column of the window (one per row, so none touch),
// at, just below and well above the threshold, with more just outside the
// window: each one at or above the threshold inside it is found, wherever it
// falls in a row, and nothing else.
TEST(CountFilter, FindsLonePixelsAtEveryColumnOfTheWindow)
{
    cv::Mat image = cv::Mat::zeros(60, 60, CV_16UC1);
    std::vector<cv::Point> expected;
    for (int x = 7; x < 55; ++x) {  // window columns 7..54, rows 4..54
        const int y = 4 + (x - 7);
        const uint16_t value = x % 3 == 0 ? 99 : (x % 3 == 1 ? 100 : 65535);
        image.at<uint16_t>(y, x) = value;
        if (value >= 100)
            expected.emplace_back(x, y);
    }
    image.at<uint16_t>(54, 6) = 5000;   // left of the window
    image.at<uint16_t>(53, 55) = 5000;  // right of it
    Counted counted;
    counted.Run(image);
    ASSERT_EQ(counted.detections.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(counted.detections[i].x, expected[i].x);
        EXPECT_EQ(counted.detections[i].y, expected[i].y);
    }
}

// The visit mask is kept between calls on one thread and cleared only where
// a fill can go: marks left by earlier calls (other images, thresholds,
// windows, sizes) must change nothing.
TEST(CountFilter, MarksOfEarlierCallsChangeNothing)
{
    cv::Mat blobs(90, 130, CV_16UC1);
    cv::RNG(5).fill(blobs, cv::RNG::UNIFORM, 0, 1000);
    auto count = [&](const cv::Mat& image, int threshold, int right) {
        std::vector<CellDetection> detections;
        DetectionColumnBins bins(static_cast<size_t>(right + 1));
        CountFilter(image, 0, right, 0, image.rows - 1, 3, threshold, 2, detections, false, bins, 3.0f);
        return detections;
    };
    std::vector<CellDetection> fresh;
    std::thread([&] { fresh = count(blobs, 800, 129); }).join();
    ASSERT_GT(fresh.size(), 10u);

    // Everything marked by earlier calls: a bright image, a lower threshold,
    // a narrower window and another size.
    count(cv::Mat(90, 130, CV_16UC1, cv::Scalar(5000)), 1, 129);
    count(blobs, 1, 129);
    count(blobs, 700, 60);
    count(cv::Mat(40, 50, CV_16UC1, cv::Scalar(5000)), 1, 49);
    count(cv::Mat(90, 130, CV_16UC1, cv::Scalar(5000)), 1, 129);
    const std::vector<CellDetection> again = count(blobs, 800, 129);
    ASSERT_EQ(again.size(), fresh.size());
    for (size_t i = 0; i < again.size(); ++i) {
        EXPECT_EQ(again[i].x, fresh[i].x);
        EXPECT_EQ(again[i].y, fresh[i].y);
        EXPECT_EQ(again[i].score, fresh[i].score);
    }
}
