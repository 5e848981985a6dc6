#include "analysis/ImageStatistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>

#include "analysis/tests/ImageTestSupport.h"

namespace {

using Tovanix::DarkIsland;
using Tovanix::Roi;
using Tovanix::test::ImageFromRows;
using Tovanix::test::RowsOf;
using Tovanix::test::Text;

// ---------------------------------------------------------------- local contrast

TEST(LocalContrast, ThreeByThreeGivesEachDirectionsStrongestContrast) {
    cv::Mat image = ImageFromRows({{10, 20, 30}, {40, 50, 60}, {70, 80, 90}});
    EXPECT_TRUE(Tovanix::ComputeLocalContrastImage(image, -1, -1, -1, -1));
    // Centre: V = 60000/50, H = 20000/50, D = 80000/50. Edges lose the
    // directions that would cross them; corners lose all.
    EXPECT_EQ(RowsOf(image), (std::vector<std::vector<int>>{{0, 1000, 0}, {1500, 1600, 1000}, {0, 250, 0}}));
}

TEST(LocalContrast, ZeroPixelDividesByOneAndResultsClampAt65535) {
    cv::Mat zeroCentre = ImageFromRows({{0, 7, 0}, {0, 0, 0}, {0, 2, 0}});
    Tovanix::ComputeLocalContrastImage(zeroCentre, -1, -1, -1, -1);
    EXPECT_EQ(zeroCentre.at<uint16_t>(1, 1), 5000);

    cv::Mat steep = ImageFromRows({{0, 65535, 0}, {0, 1, 0}, {0, 0, 0}});
    Tovanix::ComputeLocalContrastImage(steep, -1, -1, -1, -1);
    EXPECT_EQ(steep.at<uint16_t>(1, 1), 65535);
}

TEST(LocalContrast, UniformImageBecomesZero) {
    cv::Mat image(6, 5, CV_16UC1, cv::Scalar(1234));
    Tovanix::ComputeLocalContrastImage(image, -1, -1, -1, -1);
    EXPECT_EQ(cv::countNonZero(image), 0);
}

TEST(LocalContrast, WindowLeavesOutsidePixelsAndFallsBackToTheEdge) {
    cv::Mat image(4, 4, CV_16UC1);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(100 + 10 * r * r + c * c);
        }
    }
    const cv::Mat before = image.clone();
    cv::Mat whole = image.clone();
    Tovanix::ComputeLocalContrastImage(whole, -1, -1, -1, -1);

    // Last bound not beyond the first: the window runs to the last column/row.
    Tovanix::ComputeLocalContrastImage(image, 1, 1, 2, 2);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const bool inWindow = c >= 1 && r >= 2;
            EXPECT_EQ(image.at<uint16_t>(r, c), (inWindow ? whole : before).at<uint16_t>(r, c))
                << "row " << r << " column " << c;
        }
    }
}

// Inner pixels take a vector path, edge pixels and narrow images another:
// each pixel must get the integer contrast a pixel-by-pixel reading gives,
// also for quotients that are whole numbers or fall just short of one.
TEST(LocalContrast, EveryPixelGetsTheIntegerQuotient) {
    auto reference = [](const cv::Mat& in, int r, int c) {
        auto at = [&](int y, int x) { return static_cast<int>(in.at<uint16_t>(y, x)); };
        const bool vertical = r > 0 && r < in.rows - 1;
        const bool horizontal = c > 0 && c < in.cols - 1;
        int difference = 0;
        if (vertical) difference = std::abs(at(r - 1, c) - at(r + 1, c));
        if (horizontal) difference = std::max(difference, std::abs(at(r, c - 1) - at(r, c + 1)));
        if (vertical && horizontal) difference = std::max(difference, std::abs(at(r - 1, c - 1) - at(r + 1, c + 1)));
        const int divisor = std::max(at(r, c), 1);
        return std::min(difference * 1000 / divisor, 65535);
    };
    std::mt19937 random(7);
    const cv::Size sizes[] = {{1, 1}, {1, 5}, {2, 3}, {3, 3}, {5, 4}, {17, 9}, {33, 7}, {64, 6}};
    for (const cv::Size size : sizes) {
        for (int kind = 0; kind < 3; ++kind) {
            cv::Mat image(size, CV_16UC1);
            for (int r = 0; r < size.height; ++r) {
                for (int c = 0; c < size.width; ++c) {
                    uint16_t v = static_cast<uint16_t>(random());
                    if (kind == 1) v = static_cast<uint16_t>(random() % 8);  // zeros and tiny divisors
                    // Divisors that split 1000 x difference exactly or nearly.
                    if (kind == 2) v = static_cast<uint16_t>((c + r) % 2 ? 1000 : 125 * (1 + random() % 8));
                    image.at<uint16_t>(r, c) = v;
                }
            }
            cv::Mat result = image.clone();
            Tovanix::ComputeLocalContrastImage(result, -1, -1, -1, -1);
            for (int r = 0; r < size.height; ++r) {
                for (int c = 0; c < size.width; ++c) {
                    ASSERT_EQ(result.at<uint16_t>(r, c), reference(image, r, c))
                        << size.width << "x" << size.height << " kind " << kind << " at " << c << ", " << r;
                }
            }
        }
    }
}

// Every divisor with the differences just below, at and above its
// multiples, across a row wide enough for the vector path: the top row holds
// the difference, the middle row the divisor, the bottom row 0.
TEST(LocalContrast, QuotientsAtTheMultiplesOfEveryDivisor) {
    cv::Mat image(3, 40, CV_16UC1);
    for (int divisor = 1; divisor < 65536; divisor += (divisor < 2000 ? 1 : 37)) {
        for (int difference : {divisor - 1, divisor, divisor + 1, 3 * divisor - 1, 65535}) {
            if (difference < 0 || difference > 65535) continue;
            image.row(0).setTo(difference);
            image.row(1).setTo(divisor);
            image.row(2).setTo(0);
            Tovanix::ComputeLocalContrastImage(image, -1, -1, -1, -1);
            const int expected = std::min(difference * 1000 / divisor, 65535);
            for (int c = 1; c < 39; ++c) {
                ASSERT_EQ(image.at<uint16_t>(1, c), expected) << difference << " / " << divisor << " at " << c;
            }
        }
    }
}

// ---------------------------------------------------------------- percentiles

struct PercentileCase {
    const char* name;
    std::vector<float> pct;
    bool ok;
    std::vector<uint16_t> intensities;  // appended, also on failure
    const char* message;
};

TEST(PercentileIntensities, TableOfFractions) {
    // 10 x 10 image holding 1..100: no pixel is 0.
    cv::Mat image(10, 10, CV_16UC1);
    for (int i = 0; i < 100; ++i) {
        image.at<uint16_t>(i / 10, i % 10) = static_cast<uint16_t>(i + 1);
    }
    const Roi roi{0, 0, 9, 9};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<PercentileCase> cases = {
        {"zero fraction gives 0", {0.0f}, true, {0}, ""},
        {"one gives the maximum", {1.0f}, true, {100}, ""},
        {"equal fractions", {0.5f, 0.5f}, true, {50, 50}, ""},
        {"ascending", {0.1f, 0.25f, 0.994f}, true, {10, 25, 99}, ""},
        {"half rounds away from zero", {0.125f}, true, {13}, ""},
        {"unsorted", {0.5f, 0.3f}, false, {50},
         "Tovanix::ComputePercentileIntensities() - pct must be sorted from smallest to largest"},
        {"second out of range", {0.5f, 1.5f}, false, {50},
         "Tovanix::ComputePercentileIntensities() - pct[1] is invalid, 0 <= pct <= 1"},
        {"first out of range", {-0.1f}, false, {},
         "Tovanix::ComputePercentileIntensities() - pct[0] is invalid, 0 <= pct <= 1"},
        {"not a number", {0.2f, nan}, false, {20},
         "Tovanix::ComputePercentileIntensities() - pct[1] is invalid, 0 <= pct <= 1"},
        {"empty", {}, false, {}, "Tovanix::ComputePercentileIntensities() - pct must have size of at least 1"},
    };
    for (const PercentileCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint16_t> out;
        Tovanix::String error;
        EXPECT_EQ(Tovanix::ComputePercentileIntensities(image, roi, c.pct, out, error), c.ok);
        EXPECT_EQ(out, c.intensities);
        if (!c.ok) {
            EXPECT_EQ(Text(error), c.message);
        }
    }
}

TEST(PercentileIntensities, RegionPastTheImageIsClipped) {
    cv::Mat image(10, 10, CV_16UC1);
    for (int i = 0; i < 100; ++i) {
        image.at<uint16_t>(i / 10, i % 10) = static_cast<uint16_t>(i + 1);
    }
    std::vector<uint16_t> out;
    Tovanix::String error;
    // Rows 5..9 and columns 5..9 remain: 25 pixels from 56 to 100.
    ASSERT_TRUE(Tovanix::ComputePercentileIntensities(image, {5, 5, 400, 300}, {0.04f, 1.0f}, out, error));
    EXPECT_EQ(out, (std::vector<uint16_t>{56, 100}));

    out.clear();
    ASSERT_TRUE(Tovanix::ComputePercentileIntensities(image, {-5, -5, 0, 0}, {1.0f}, out, error));
    EXPECT_EQ(out, (std::vector<uint16_t>{1}));
}

// ---------------------------------------------------------------- focus score

TEST(FocusScore, NeedsTwoThousandPixels) {
    cv::Mat image(60, 60, CV_16UC1, cv::Scalar(1000));
    double score = 0;
    Tovanix::String error;
    const Roi small{0, 0, 39, 48};  // 40 x 49 = 1960
    EXPECT_FALSE(ComputeFocusScore(image, &small, score, error));
    EXPECT_EQ(Text(error), "ComputeFocusScore() Region of interest must include at least 2000 pixels");

    // A region that reaches past the image counts only its pixels inside.
    const Roi pastEdge{30, 0, 69, 59};  // 30 x 60 inside
    EXPECT_FALSE(ComputeFocusScore(image, &pastEdge, score, error));

    const Roi enough{0, 0, 39, 49};  // 40 x 50 = 2000
    EXPECT_TRUE(ComputeFocusScore(image, &enough, score, error));
}

TEST(FocusScore, ColumnRampGivesHighPercentileOverMedian) {
    // Each column c has contrast 40000 / (1000 + 20 c) inside the region's
    // frame: the median is 28 and the 99.5 % value 39.
    cv::Mat image(50, 40, CV_16UC1);
    for (int c = 0; c < 40; ++c) {
        image.col(c).setTo(1000 + 20 * c);
    }
    double score = 0;
    Tovanix::String error;
    ASSERT_TRUE(ComputeFocusScore(image, nullptr, score, error));
    EXPECT_DOUBLE_EQ(score, 39.0 / 28.0);
    // The region now holds its contrast image.
    EXPECT_EQ(image.at<uint16_t>(10, 1), 40000 / 1020);
}

TEST(FocusScore, ZeroMedianGivesInfinityOrNotANumber) {
    cv::Mat uniform(50, 50, CV_16UC1, cv::Scalar(500));
    double score = 0;
    Tovanix::String error;
    ASSERT_TRUE(ComputeFocusScore(uniform, nullptr, score, error));
    EXPECT_TRUE(std::isnan(score));

    cv::Mat speckled(50, 50, CV_16UC1, cv::Scalar(500));
    for (int i = 2; i < 48; i += 3) {
        speckled.at<uint16_t>(i, i) = 5000;
    }
    ASSERT_TRUE(ComputeFocusScore(speckled, nullptr, score, error));
    EXPECT_TRUE(std::isinf(score));
}

// ---------------------------------------------------------------- dark islands

TEST(DarkIslands, RefusesSmallOrOutsideRegions) {
    cv::Mat image(30, 40, CV_16UC1, cv::Scalar(1000));
    struct Case {
        Roi roi;
        bool ok;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{0, 0, 49, 8}, false, "Tovanix::FindDarkIslands() - roi height and width must be at least 10x10 pixels"},
        {{0, 0, 8, 20}, false, "Tovanix::FindDarkIslands() - roi height and width must be at least 10x10 pixels"},
        {{0, 0, 40, 29}, false, "Tovanix::FindDarkIslands() - given roi is not inside of the given image"},
        {{0, 0, 39, 30}, false, "Tovanix::FindDarkIslands() - given roi is not inside of the given image"},
        {{-1, 0, 20, 20}, false, "Tovanix::FindDarkIslands() - given roi is not inside of the given image"},
        {{0, 0, 39, 29}, true, ""},
    };
    for (const Case& c : cases) {
        std::vector<DarkIsland> islands;
        Tovanix::String error;
        EXPECT_EQ(Tovanix::FindDarkIslands(image, c.roi, 100, 300, islands, error), c.ok)
            << c.roi.left << "," << c.roi.top << "," << c.roi.right << "," << c.roi.bottom;
        if (!c.ok) {
            EXPECT_EQ(Text(error), c.message);
        }
    }
}

TEST(DarkIslands, SeedAndGrowThresholdsAndIslandRecord) {
    cv::Mat image(20, 20, CV_16UC1, cv::Scalar(1000));
    image.at<uint16_t>(5, 5) = 50;     // a seed
    image.at<uint16_t>(5, 6) = 200;    // grows from it
    image.at<uint16_t>(5, 7) = 200;
    image.at<uint16_t>(15, 15) = 200;  // dark enough to grow into, not to start an island
    cv::Mat labels(20, 20, CV_8UC1, cv::Scalar(77));

    std::vector<DarkIsland> islands;
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::FindDarkIslands(image, {2, 3, 17, 18}, 100, 300, islands, error, &labels));
    ASSERT_EQ(islands.size(), 1u);
    const DarkIsland& island = islands[0];
    EXPECT_EQ(island.seedX, 5);
    EXPECT_EQ(island.seedY, 5);
    EXPECT_EQ(island.minX, 3);  // relative to the region
    EXPECT_EQ(island.maxX, 5);
    EXPECT_EQ(island.minY, 2);
    EXPECT_EQ(island.maxY, 2);
    EXPECT_EQ(island.pixelCount, 3u);
    EXPECT_EQ(island.intensitySum, 450u);
    EXPECT_EQ(island.sumXI, 3 * 50 + 4 * 200 + 5 * 200);
    EXPECT_EQ(island.sumYI, 2 * 450);
    EXPECT_FLOAT_EQ(island.centroidX, 2.0f + static_cast<float>(1950.0 / 450.0));
    EXPECT_FLOAT_EQ(island.centroidY, 5.0f);

    EXPECT_EQ(labels.at<uint8_t>(5, 5), 1);
    EXPECT_EQ(labels.at<uint8_t>(5, 7), 1);
    EXPECT_EQ(labels.at<uint8_t>(15, 15), 0);  // inside the region, in no island
    EXPECT_EQ(labels.at<uint8_t>(0, 0), 77);   // outside the region: not written
    EXPECT_EQ(labels.at<uint8_t>(19, 19), 77);
}

TEST(DarkIslands, AllZeroIslandIsNotReportedAndItsNumberIsUsedAgain) {
    cv::Mat image(12, 12, CV_16UC1, cv::Scalar(1000));
    image(cv::Rect(1, 1, 2, 2)).setTo(0);
    image.at<uint16_t>(8, 8) = 10;
    cv::Mat labels;
    std::vector<DarkIsland> islands;
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::FindDarkIslands(image, {0, 0, 11, 11}, 100, 100, islands, error, &labels));
    ASSERT_EQ(islands.size(), 1u);
    EXPECT_EQ(islands[0].seedX, 8);
    ASSERT_EQ(labels.size(), image.size());  // made for the caller
    EXPECT_EQ(labels.at<uint8_t>(1, 1), 1);
    EXPECT_EQ(labels.at<uint8_t>(8, 8), 1);
}

TEST(DarkIslands, LabelsHoldTheIslandNumberModulo256) {
    // A dark pixel at every even row and column: 400 single-pixel islands in
    // scan order.
    cv::Mat image(40, 40, CV_16UC1, cv::Scalar(1000));
    for (int y = 0; y < 40; y += 2) {
        for (int x = 0; x < 40; x += 2) {
            image.at<uint16_t>(y, x) = 10;
        }
    }
    cv::Mat labels(40, 40, CV_8UC1, cv::Scalar(0));
    std::vector<DarkIsland> islands;
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::FindDarkIslands(image, {0, 0, 39, 39}, 100, 100, islands, error, &labels));
    ASSERT_EQ(islands.size(), 400u);
    // Island 300 is the 20th of the 15th dark row: row 28, column 38.
    EXPECT_EQ(islands[299].seedX, 38);
    EXPECT_EQ(islands[299].seedY, 28);
    EXPECT_EQ(labels.at<uint8_t>(28, 38), 300 % 256);
}

TEST(DarkIslands, StopsAtTheLastIslandNumber) {
    cv::Mat image(512, 512, CV_16UC1, cv::Scalar(1000));
    for (int y = 0; y < 512; y += 2) {
        for (int x = 0; x < 512; x += 2) {
            image.at<uint16_t>(y, x) = 10;
        }
    }
    std::vector<DarkIsland> islands;
    Tovanix::String error;
    EXPECT_FALSE(Tovanix::FindDarkIslands(image, {0, 0, 511, 511}, 100, 100, islands, error));
    EXPECT_EQ(Text(error), "Tovanix::FindDarkIslands() - found maximum number of islands 0xFFFF");
    EXPECT_EQ(islands.size(), 65535u);
}

// A direct recursive fill, written from the rule the fill must keep: one call
// per pixel tried, right, left, below, above, at most 2000 calls per seed.
bool ReferenceFill(const cv::Mat& work, cv::Mat& labels, int x, int y, uint16_t seedMax, uint16_t growMax,
                   DarkIsland& island, uint16_t number, int& calls) {
    if (calls >= 2000) {
        return false;
    }
    ++calls;
    if (x < 0 || y < 0 || x >= work.cols || y >= work.rows) {
        return false;
    }
    const uint16_t v = work.at<uint16_t>(y, x);
    if (island.pixelCount == 0 && v > seedMax) {
        return false;
    }
    if (labels.at<uint16_t>(y, x) != 0 || v > growMax) {
        return false;
    }
    labels.at<uint16_t>(y, x) = number;
    if (island.pixelCount == 0) {
        island.seedX = static_cast<int16_t>(x);
        island.seedY = static_cast<int16_t>(y);
        island.minX = island.maxX = x;
        island.minY = island.maxY = y;
    }
    island.minX = std::min(island.minX, x);
    island.maxX = std::max(island.maxX, x);
    island.minY = std::min(island.minY, y);
    island.maxY = std::max(island.maxY, y);
    ++island.pixelCount;
    island.intensitySum += v;
    island.sumXI += static_cast<int64_t>(x) * v;
    island.sumYI += static_cast<int64_t>(y) * v;
    ReferenceFill(work, labels, x + 1, y, seedMax, growMax, island, number, calls);
    ReferenceFill(work, labels, x - 1, y, seedMax, growMax, island, number, calls);
    ReferenceFill(work, labels, x, y + 1, seedMax, growMax, island, number, calls);
    ReferenceFill(work, labels, x, y - 1, seedMax, growMax, island, number, calls);
    return true;
}

TEST(DarkIslands, FillTakesThePixelsOfARecursiveFillInTheSameOrder) {
    // Random dark blobs and one large dark region that needs several seeds.
    std::mt19937 random(7);
    cv::Mat work(60, 80, CV_16UC1);
    for (int y = 0; y < work.rows; ++y) {
        for (int x = 0; x < work.cols; ++x) {
            work.at<uint16_t>(y, x) = static_cast<uint16_t>(random() % 400);
        }
    }
    work(cv::Rect(10, 10, 40, 30)).setTo(20);

    cv::Mat labels = cv::Mat::zeros(work.size(), CV_16UC1);
    cv::Mat expectedLabels = labels.clone();
    uint16_t number = 1;
    int islands = 0;
    int budgetSpent = 0;
    for (int y = 0; y < work.rows; ++y) {
        for (int x = 0; x < work.cols; ++x) {
            DarkIsland island;
            DarkIsland expected;
            int calls = 0;
            int expectedCalls = 0;
            const bool took = Tovanix::FillDarkIsland(work, labels, x, y, 100, 250, island, number, calls);
            const bool expectedTook =
                ReferenceFill(work, expectedLabels, x, y, 100, 250, expected, number, expectedCalls);
            ASSERT_EQ(took, expectedTook) << x << "," << y;
            ASSERT_EQ(calls, expectedCalls) << x << "," << y;
            ASSERT_EQ(island.pixelCount, expected.pixelCount);
            ASSERT_EQ(island.sumXI, expected.sumXI);
            ASSERT_EQ(island.sumYI, expected.sumYI);
            ASSERT_EQ(island.minX, expected.minX);
            ASSERT_EQ(island.maxY, expected.maxY);
            if (took) {
                ++islands;
                ++number;
            }
            budgetSpent += calls == 2000 ? 1 : 0;
        }
    }
    EXPECT_EQ(cv::countNonZero(labels != expectedLabels), 0);
    EXPECT_GT(islands, 10);
    EXPECT_GT(budgetSpent, 0);
}

TEST(DarkIslands, LargeDarkRegionComesBackAsSeveralIslands) {
    // More pixels than one seed's 2000 steps can take.
    cv::Mat image(70, 70, CV_16UC1, cv::Scalar(1000));
    image(cv::Rect(10, 10, 50, 50)).setTo(20);
    std::vector<DarkIsland> islands;
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::FindDarkIslands(image, {0, 0, 69, 69}, 100, 100, islands, error));
    EXPECT_GE(islands.size(), 2u);
    uint32_t pixels = 0;
    for (const DarkIsland& island : islands) {
        EXPECT_LT(island.pixelCount, 2000u);
        pixels += island.pixelCount;
    }
    EXPECT_EQ(pixels, 2500u);
}

// ---------------------------------------------------------------- ROI mean and statistics

TEST(RoiStatistics, UniformRegionGivesItsValue) {
    cv::Mat image(20, 30, CV_16UC1, cv::Scalar(0));
    image(cv::Rect(5, 5, 10, 10)).setTo(4321);
    const Roi roi{5, 5, 14, 14};
    EXPECT_DOUBLE_EQ(ComputeMeanIntensityInROI(image, roi), 4321.0);
    std::vector<double> values;
    ASSERT_TRUE(ComputeROIIntensityStatistics(image, roi, {0.5, 0.1, 1.0, 0.0}, values));
    EXPECT_EQ(values, (std::vector<double>{4321, 4321, 4321, 0}));
}

TEST(RoiStatistics, FractionsInAnyOrderAndMostlyZeroRegion) {
    cv::Mat image(10, 10, CV_16UC1, cv::Scalar(0));
    image.rowRange(6, 10).setTo(900);  // 60 % zeros
    std::vector<double> values;
    ASSERT_TRUE(ComputeROIIntensityStatistics(image, {0, 0, 9, 9}, {0.5, 0.1}, values));
    EXPECT_EQ(values, (std::vector<double>{0, 0}));

    for (int i = 0; i < 100; ++i) {
        image.at<uint16_t>(i / 10, i % 10) = static_cast<uint16_t>(i + 1);
    }
    ASSERT_TRUE(ComputeROIIntensityStatistics(image, {0, 0, 9, 9}, {0.5, 0.1}, values));
    EXPECT_EQ(values, (std::vector<double>{50, 10}));
    EXPECT_DOUBLE_EQ(ComputeMeanIntensityInROI(image, {0, 0, 9, 9}), 50.5);
}

TEST(RoiStatistics, RegionPastTheImageCountsOnlyItsPixelsInside) {
    cv::Mat image(10, 10, CV_16UC1, cv::Scalar(100));
    image.col(9).setTo(300);
    EXPECT_DOUBLE_EQ(ComputeMeanIntensityInROI(image, {8, -3, 25, 40}), 200.0);
    EXPECT_TRUE(std::isnan(ComputeMeanIntensityInROI(image, {20, 20, 30, 30})));
    std::vector<double> values;
    ASSERT_TRUE(ComputeROIIntensityStatistics(image, {8, -3, 25, 40}, {1.0}, values));
    EXPECT_EQ(values, (std::vector<double>{300}));
}

}  // namespace
