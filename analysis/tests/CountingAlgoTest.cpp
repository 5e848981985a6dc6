#include "analysis/CountingAlgo.h"

#include "analysis/ImageStatistics.h"
#include "analysis/testsupport/SyntheticCells.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Type 1 only, counting rings of 10 pixels at 1000 pixels per mm.
CountingAlgoOptions RingCountingOptions(cv::Size size)
{
    CountingAlgoOptions o;
    o.image_pixels_per_mm = 1000.0;
    o.EdgeProcessing = false;
    o.MFilter1 = o.CFilter1 = true;
    o.ProximityFilteringWithinType1 = true;
    o.ObjectRadius1 = 10.0;
    o.ObjectRadiusSweep1 = 2;
    o.MFilterSamples1 = 16;
    o.MFilterThreshold1 = 10000;
    o.CFilterThreshold1 = 200;
    o.CFilterMinSize1 = 1;
    o.UseInnerRing1 = true;
    o.Left = 0;
    o.Top = 0;
    o.Right = size.width - 1;
    o.Bottom = size.height - 1;
    return o;
}

CellDetection At(int x, int y, float score, float radius)
{
    CellDetection d;
    d.x = x;
    d.y = y;
    d.score = score;
    d.radius = radius;
    return d;
}

}  // namespace

TEST(CountingAlgo, RadiusListsOfTheSweep)
{
    struct Case {
        double nominal;
        int sweep;
        std::vector<double> radii;
    };
    const Case cases[] = {
        {10, 4, {10, 11, 9, 12, 8, 13, 7, 14, 6}},
        {10, 0, {10}},
        {20, 12, {20, 21, 19, 24, 16, 27, 13, 30, 10}},     // step 3
        {20, 11, {20, 21, 19, 23, 17, 25, 15, 27, 13, 29, 11, 31, 9}},  // step 2, six a side
        {3.5, 1, {3.5, 4.5}},                                // 2.5 is below 3 pixels
        {5, 3, {5, 6, 4, 7, 3, 8}},
        {5, -2, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nominal << " +- " << c.sweep);
        EXPECT_EQ(BuildRadiusList(c.nominal, c.sweep), c.radii);
    }
}

TEST(CountingAlgo, ThinningBetweenTypes)
{
    {
        SCOPED_TRACE("equal scores keep type 1");
        std::vector<CellDetection> t1{At(50, 50, 10, 5)}, t2{At(55, 50, 10, 5)};
        ThinDetectionsBetweenTypes(t1, t2);
        EXPECT_EQ(t1.size(), 1u);
        EXPECT_TRUE(t2.empty());
    }
    {
        SCOPED_TRACE("a higher type-2 score keeps type 2");
        std::vector<CellDetection> t1{At(50, 50, 10, 5)}, t2{At(55, 50, 11, 5)};
        ThinDetectionsBetweenTypes(t1, t2);
        EXPECT_TRUE(t1.empty());
        EXPECT_EQ(t2.size(), 1u);
    }
    {
        SCOPED_TRACE("marked twice, removed once; the others keep their order");
        std::vector<CellDetection> t1{At(0, 0, 1, 2), At(50, 50, 10, 5), At(200, 0, 1, 2)};
        std::vector<CellDetection> t2{At(45, 50, 11, 5), At(56, 52, 12, 5)};
        ThinDetectionsBetweenTypes(t1, t2);
        ASSERT_EQ(t1.size(), 2u);
        EXPECT_EQ(t1[0].x, 0);
        EXPECT_EQ(t1[1].x, 200);
        EXPECT_EQ(t2.size(), 2u);
    }
    {
        SCOPED_TRACE("inside the box but farther than the two radii: both stay");
        std::vector<CellDetection> t1{At(50, 50, 10, 5)}, t2{At(57, 58, 1, 5.5f)};
        ThinDetectionsBetweenTypes(t1, t2);
        EXPECT_EQ(t1.size() + t2.size(), 2u);
    }
}

TEST(CountingAlgo, FindsEveryRingOnceAtItsCentreAndNothingElse)
{
    SyntheticCellSpec spec;
    spec.cellCount = 14;
    const SyntheticCellImage synthetic = MakeSyntheticCellImage(spec);
    ASSERT_EQ(synthetic.centres.size(), 14u);

    std::vector<std::vector<CellDetection>> found;
    cv::Mat filtered;
    ASSERT_TRUE(CountingAlgo(synthetic.image, RingCountingOptions(spec.size), found, &filtered));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[1].empty());
    EXPECT_EQ(filtered.size(), spec.size);

    std::vector<int> hits(synthetic.centres.size(), 0);
    for (const CellDetection& d : found[0]) {
        bool matched = false;
        for (size_t i = 0; i < synthetic.centres.size(); ++i) {
            const cv::Point& c = synthetic.centres[i];
            if (std::abs(d.x - c.x) <= 1 && std::abs(d.y - c.y) <= 1) {
                ++hits[i];
                matched = true;
            }
        }
        EXPECT_TRUE(matched) << "detection on the background at " << d.x << "," << d.y;
        EXPECT_GE(d.radius, 8.0f);
        EXPECT_LE(d.radius, 12.0f);
    }
    for (size_t i = 0; i < hits.size(); ++i)
        EXPECT_EQ(hits[i], 1) << "cell at " << synthetic.centres[i].x << "," << synthetic.centres[i].y;
}

TEST(CountingAlgo, TwoTypesAndTheThinningBetweenThem)
{
    // Type 2 set up as type 1 finds the same cells with the same scores.
    SyntheticCellSpec spec;
    spec.cellCount = 8;
    const SyntheticCellImage synthetic = MakeSyntheticCellImage(spec);
    CountingAlgoOptions o = RingCountingOptions(spec.size);
    o.MFilter2 = o.CFilter2 = o.ProximityFilteringWithinType2 = o.UseInnerRing2 = true;
    o.ObjectRadius2 = o.ObjectRadius1;
    o.ObjectRadiusSweep2 = o.ObjectRadiusSweep1;
    o.MFilterSamples2 = o.MFilterSamples1;
    o.MFilterThreshold2 = o.MFilterThreshold1;
    o.CFilterThreshold2 = o.CFilterThreshold1;
    o.CFilterMinSize2 = o.CFilterMinSize1;

    {
        SCOPED_TRACE("without thinning between types both lists hold every cell");
        o.ProximityFilteringBetweenType1_2 = false;
        std::vector<std::vector<CellDetection>> found;
        ASSERT_TRUE(CountingAlgo(synthetic.image, o, found));
        ASSERT_EQ(found[0].size(), synthetic.centres.size());
        ASSERT_EQ(found[1].size(), found[0].size());
        for (size_t i = 0; i < found[0].size(); ++i) {
            EXPECT_EQ(found[1][i].x, found[0][i].x);
            EXPECT_EQ(found[1][i].y, found[0][i].y);
            EXPECT_EQ(found[1][i].score, found[0][i].score);
        }
    }
    {
        SCOPED_TRACE("with it the ties go to type 1; what the caller passed in stays first");
        o.ProximityFilteringBetweenType1_2 = true;
        std::vector<std::vector<CellDetection>> found(2);
        found[0].push_back(At(-100, -100, 1, 1));
        ASSERT_TRUE(CountingAlgo(synthetic.image, o, found));
        ASSERT_EQ(found[0].size(), synthetic.centres.size() + 1);
        EXPECT_EQ(found[0][0].x, -100);
        EXPECT_TRUE(found[1].empty());
    }
    {
        SCOPED_TRACE("a type-2 count threshold above every response counts nothing");
        o.CFilterThreshold2 = 65536;
        std::vector<std::vector<CellDetection>> found;
        ASSERT_TRUE(CountingAlgo(synthetic.image, o, found));
        EXPECT_EQ(found[0].size(), synthetic.centres.size());
        EXPECT_TRUE(found[1].empty());
    }
}

TEST(CountingAlgo, CountsInTheWindowOfTheNominalRadiusRounded)
{
    // One cell of radius 10.6 whose ring response is a 3 x 3 blob at its
    // centre. The count filter gets the nominal radius rounded, 11: its window
    // starts 2 x 11 + 3 columns right of Left and 11 + 3 rows below Top, one
    // pixel inside the ring filter's (24 and 13 for 10.6). With the region's
    // corner 24 and 13 pixels before the centre, only the blob's last pixel
    // lies in the count window; two pixels further out the whole blob does.
    SyntheticCellSpec spec;
    spec.size = cv::Size(160, 120);
    spec.cellCount = 1;
    spec.ringRadius = 10.6;
    spec.margin = 50;
    const SyntheticCellImage synthetic = MakeSyntheticCellImage(spec);
    ASSERT_EQ(synthetic.centres.size(), 1u);
    const cv::Point centre = synthetic.centres[0];

    struct Case {
        int left, top;     // from the centre
        cv::Rect counted;  // the blob's pixels in the count window, from the centre
    };
    for (const Case& c : {Case{-24, -13, cv::Rect(1, 1, 1, 1)}, Case{-26, -15, cv::Rect(-1, -1, 3, 3)}}) {
        SCOPED_TRACE(testing::Message() << "region corner " << c.left << "," << c.top << " from the centre");
        CountingAlgoOptions o = RingCountingOptions(spec.size);
        o.ObjectRadius1 = 10.6;
        o.ObjectRadiusSweep1 = 0;
        o.Left = centre.x + c.left;
        o.Top = centre.y + c.top;
        std::vector<std::vector<CellDetection>> found;
        cv::Mat filtered;
        ASSERT_TRUE(CountingAlgo(synthetic.image, o, found, &filtered));
        ASSERT_EQ(filtered.at<uint16_t>(centre.y + 2, centre.x), 0) << "the blob is 3 x 3";
        ASSERT_EQ(filtered.at<uint16_t>(centre.y, centre.x + 2), 0);
        ASSERT_GT(filtered.at<uint16_t>(centre.y - 1, centre.x - 1), o.CFilterThreshold1);

        ASSERT_EQ(found[0].size(), 1u);
        const cv::Rect blob = c.counted + centre;
        EXPECT_EQ(found[0][0].x, blob.x + blob.width / 2);
        EXPECT_EQ(found[0][0].y, blob.y + blob.height / 2);
        const double sum = cv::sum(filtered(blob))[0];
        EXPECT_FLOAT_EQ(found[0][0].score, static_cast<float>(std::log2(sum)));
    }
}

TEST(CountingAlgo, UnfilteredPixelsAreNeverCounted)
{
    // A featureless image brighter than the count threshold. Trial radii
    // above the nominal one filter a smaller window than the count filter
    // searches; the band between must not be counted as response.
    const cv::Mat flat(120, 160, CV_16UC1, cv::Scalar(1000));
    CountingAlgoOptions o = RingCountingOptions(flat.size());
    o.MFilterThreshold1 = 0;
    o.CFilterThreshold1 = 100;
    o.ObjectRadiusSweep1 = 4;
    std::vector<std::vector<CellDetection>> found(2);
    cv::Mat filtered;
    ASSERT_TRUE(CountingAlgo(flat, o, found, &filtered));
    EXPECT_TRUE(found[0].empty());
    EXPECT_EQ(filtered.at<uint16_t>(60, 25), 0);  // inside the count window, outside radius 14's
}

TEST(CountingAlgo, OptionsThatSelectNothing)
{
    const SyntheticCellImage synthetic = MakeSyntheticCellImage({});
    std::vector<std::vector<CellDetection>> found;
    {
        SCOPED_TRACE("count filter off: the ring filter runs, nothing is counted");
        CountingAlgoOptions o = RingCountingOptions(synthetic.image.size());
        o.CFilter1 = false;
        cv::Mat filtered;
        ASSERT_TRUE(CountingAlgo(synthetic.image, o, found, &filtered));
        EXPECT_TRUE(found[0].empty());
        EXPECT_NE(cv::countNonZero(filtered != synthetic.image), 0);
    }
    {
        SCOPED_TRACE("no scale, a region past the image, no samples: no crash, no cells");
        for (int variant = 0; variant < 3; ++variant) {
            CountingAlgoOptions o = RingCountingOptions(synthetic.image.size());
            if (variant == 0)
                o.image_pixels_per_mm = 0;
            if (variant == 1) {
                o.Left = -500;
                o.Right = 5000;
                o.Bottom = 7000;
            }
            if (variant == 2)
                o.MFilterSamples1 = 0;
            found.assign(2, {});
            ASSERT_TRUE(CountingAlgo(synthetic.image, o, found));
            if (variant != 1) {
                EXPECT_TRUE(found[0].empty());
            }
        }
    }
    cv::Mat bytes(10, 10, CV_8UC1);
    EXPECT_FALSE(CountingAlgo(bytes, RingCountingOptions(bytes.size()), found));
}

TEST(CountingAlgo, SplittingOverCoresChangesNothing)
{
    SyntheticCellSpec spec;
    spec.size = cv::Size(400, 300);
    spec.cellCount = 20;
    spec.noise = 400;  // plenty of marginal pixels
    const SyntheticCellImage synthetic = MakeSyntheticCellImage(spec);
    CountingAlgoOptions o = RingCountingOptions(spec.size);
    o.MFilterThreshold1 = 0;

    auto run = [&](int threads, cv::Mat& filtered) {
        const int previous = cv::getNumThreads();
        cv::setNumThreads(threads);
        std::vector<std::vector<CellDetection>> found;
        CountingAlgo(synthetic.image, o, found, &filtered);
        cv::setNumThreads(previous);
        return found;
    };
    cv::Mat single, several;
    const auto a = run(1, single);
    const auto b = run(4, several);
    ASSERT_EQ(a[0].size(), b[0].size());
    for (size_t i = 0; i < a[0].size(); ++i) {
        EXPECT_EQ(a[0][i].x, b[0][i].x);
        EXPECT_EQ(a[0][i].y, b[0][i].y);
        EXPECT_EQ(a[0][i].score, b[0][i].score);
    }
    EXPECT_EQ(cv::countNonZero(single != several), 0);
}

TEST(CountingAlgo, EdgeProcessingFiltersTheLocalContrastOfTheRegion)
{
    const SyntheticCellImage synthetic = MakeSyntheticCellImage({});
    CountingAlgoOptions o = RingCountingOptions(synthetic.image.size());
    o.EdgeProcessing = true;
    o.Left = 30;
    o.Right = 250;
    o.Top = 20;
    o.Bottom = 200;
    cv::Mat expected = synthetic.image.clone();
    Tovanix::ComputeLocalContrastImage(expected, 30, 250, 20, 200);

    // With no type enabled the filtered image is the edge-processed image.
    o.MFilter1 = false;
    std::vector<std::vector<CellDetection>> found;
    cv::Mat filtered;
    ASSERT_TRUE(CountingAlgo(synthetic.image, o, found, &filtered));
    EXPECT_EQ(cv::countNonZero(filtered != expected), 0);

    // With type 1 the ring filter works on it: the same as filtering it directly.
    o.MFilter1 = true;
    o.ObjectRadiusSweep1 = 0;
    ASSERT_TRUE(CountingAlgo(synthetic.image, o, found, &filtered));
    o.EdgeProcessing = false;
    cv::Mat plain;
    ASSERT_TRUE(CountingAlgo(expected, o, found, &plain));
    EXPECT_EQ(cv::countNonZero(filtered != plain), 0);
}
