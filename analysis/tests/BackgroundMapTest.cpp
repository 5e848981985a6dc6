#include "analysis/BackgroundMap.h"

#include <gtest/gtest.h>

#include "analysis/tests/ImageTestSupport.h"

namespace {

using Tovanix::BackgroundMap;
using Tovanix::Roi;
using Tovanix::test::ImageFromRows;
using Tovanix::test::Text;

cv::Mat Counting(int rows, int cols) {
    cv::Mat image(rows, cols, CV_16UC1);
    for (int i = 0; i < rows * cols; ++i) {
        image.at<uint16_t>(i / cols, i % cols) = static_cast<uint16_t>(i + 1);
    }
    return image;
}

TEST(BackgroundMap, CellLevelIsTheValueJustBelowTheWindowsMiddle) {
    struct Case {
        const char* name;
        cv::Mat background;
        Roi roi;
        uint16_t level;
    };
    const std::vector<Case> cases = {
        // A 2 x 2 region in one cell: a 3 x 3 window over the whole image.
        {"3 x 3 window of 1..9", Counting(3, 3), {0, 0, 1, 1}, 4},
        // A 2 wide, 3 high region: a 5 x 3 window.
        {"5 x 3 window of 1..15", Counting(5, 3), {0, 0, 1, 2}, 7},
        {"single pixel", Counting(1, 1), {0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BackgroundMap map;
        Tovanix::String error;
        ASSERT_TRUE(Tovanix::ConstructBackgroundMap(c.background, c.roi, map, error, 1, 1));
        ASSERT_EQ(map.cells.size(), 1u);
        ASSERT_EQ(map.cells[0].size(), 1u);
        EXPECT_EQ(map.cells[0][0], c.level);
        EXPECT_EQ(map.reference, c.level);
    }
}

TEST(BackgroundMap, UniformBackgroundLeavesImagesUnchanged) {
    const cv::Mat background(40, 50, CV_16UC1, cv::Scalar(812));
    BackgroundMap map;
    Tovanix::String error;
    // The windows of the edge cells reach past the image: they are clipped.
    ASSERT_TRUE(Tovanix::ConstructBackgroundMap(background, {0, 0, 49, 39}, map, error, 5, 4));
    EXPECT_EQ(map.reference, 812);
    for (const auto& row : map.cells) {
        EXPECT_EQ(row, std::vector<uint16_t>(5, 812));
    }

    cv::Mat image(40, 50, CV_16UC1);
    cv::randu(image, 0, 65536);
    cv::Mat corrected = image.clone();
    ASSERT_TRUE(Tovanix::CreateBGCorrectedImage(image, map, corrected, error));
    EXPECT_EQ(cv::countNonZero(corrected != image), 0);
}

TEST(BackgroundMap, BrighterHalfIsScaledDownAgainstTheReference) {
    cv::Mat background(20, 100, CV_16UC1, cv::Scalar(1000));
    background.colRange(50, 100).setTo(2000);
    BackgroundMap map;
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::ConstructBackgroundMap(background, {0, 0, 99, 19}, map, error, 2, 1));
    EXPECT_EQ(map.cells[0], (std::vector<uint16_t>{1000, 2000}));
    EXPECT_EQ(map.reference, 1500);

    const cv::Mat image(20, 100, CV_16UC1, cv::Scalar(1000));
    cv::Mat corrected = image.clone();
    ASSERT_TRUE(Tovanix::CreateBGCorrectedImage(image, map, corrected, error));
    // A pixel uses the cell boundary nearest to it: from column 25 (the
    // middle of the first cell) on, the second cell.
    EXPECT_EQ(corrected.at<uint16_t>(5, 0), 1500);
    EXPECT_EQ(corrected.at<uint16_t>(5, 24), 1500);
    EXPECT_EQ(corrected.at<uint16_t>(5, 25), 750);
    EXPECT_EQ(corrected.at<uint16_t>(5, 99), 750);
}

TEST(BackgroundMap, CorrectionSaturatesAndKeepsPixelsWithoutBackground) {
    BackgroundMap map;
    map.roi = {0, 0, 3, 0};
    map.cells = {{1000, 1000, 0, 0}};
    map.reference = 4000;
    const cv::Mat image = ImageFromRows({{60000, 100, 60000, 100}});
    cv::Mat corrected = image.clone();
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::CreateBGCorrectedImage(image, map, corrected, error));
    // A quarter of the reference: 60000 x 4 saturates, 100 x 4 = 400. A cell
    // of level 0 gives nothing to divide by: those pixels stay.
    EXPECT_EQ(Tovanix::test::RowsOf(corrected), (std::vector<std::vector<int>>{{65535, 400, 60000, 100}}));
}

TEST(BackgroundMap, RegionPastTheImageIsClipped) {
    // Windows wholly outside the image have no pixels: level 0.
    const cv::Mat background(10, 10, CV_16UC1, cv::Scalar(500));
    BackgroundMap map;
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::ConstructBackgroundMap(background, {-5, -5, 24, 24}, map, error, 3, 3));
    EXPECT_EQ(map.cells[0][0], 500);
    EXPECT_EQ(map.cells[2][2], 0);

    // Three cells of ten pixels across; the image holds the middle cell and
    // half of the last one.
    map.roi = {-10, -10, 19, 19};
    map.cells.assign(3, std::vector<uint16_t>(3, 500));
    map.cells[1][1] = 250;
    map.reference = 500;
    const cv::Mat image(10, 10, CV_16UC1, cv::Scalar(100));
    cv::Mat corrected = image.clone();
    ASSERT_TRUE(Tovanix::CreateBGCorrectedImage(image, map, corrected, error));
    EXPECT_EQ(corrected.at<uint16_t>(0, 0), 200);
    EXPECT_EQ(corrected.at<uint16_t>(4, 4), 200);
    EXPECT_EQ(corrected.at<uint16_t>(0, 9), 100);
    EXPECT_EQ(corrected.at<uint16_t>(9, 9), 100);
}

TEST(BackgroundMap, RefusesWrongImagesAndMapsWithoutCells) {
    Tovanix::String error;
    BackgroundMap map;
    const cv::Mat eightBit(10, 10, CV_8UC1, cv::Scalar(5));
    EXPECT_FALSE(Tovanix::ConstructBackgroundMap(eightBit, {0, 0, 9, 9}, map, error, 1, 1));
    EXPECT_EQ(Text(error), "Tovanix::ConstructBackgroundMap() - raw_bg_image must be type CV16U1.");

    const cv::Mat background(10, 10, CV_16UC1, cv::Scalar(5));
    EXPECT_FALSE(Tovanix::ConstructBackgroundMap(background, {0, 0, 9, 9}, map, error, 0, 3));
    EXPECT_EQ(Text(error), "Tovanix::ConstructBackgroundMap() - the map must have at least 1 column and 1 row of cells.");

    ASSERT_TRUE(Tovanix::ConstructBackgroundMap(background, {0, 0, 9, 9}, map, error, 2, 2));
    const cv::Mat image(10, 10, CV_16UC1, cv::Scalar(5));
    cv::Mat smallerOtherType(5, 10, CV_8UC1);
    EXPECT_FALSE(Tovanix::CreateBGCorrectedImage(image, map, smallerOtherType, error));
    EXPECT_EQ(Text(error), "Tovanix::CreateBGCorrectedImage() - image_out has different size from image_in.");
    cv::Mat otherType(10, 10, CV_32FC1);
    EXPECT_FALSE(Tovanix::CreateBGCorrectedImage(image, map, otherType, error));
    EXPECT_EQ(Text(error), "Tovanix::CreateBGCorrectedImage() - image_out has different type from image_in.");

    BackgroundMap empty;
    empty.roi = {0, 0, 9, 9};
    cv::Mat out = image.clone();
    EXPECT_FALSE(Tovanix::CreateBGCorrectedImage(image, empty, out, error));
    EXPECT_EQ(Text(error), "Tovanix::CreateBGCorrectedImage() - the background map has no cells or rows of unequal length.");

    // A map over an empty region changes nothing and succeeds.
    empty.roi = {0, 5, 9, 4};
    EXPECT_TRUE(Tovanix::CreateBGCorrectedImage(image, empty, out, error));
}

}  // namespace
