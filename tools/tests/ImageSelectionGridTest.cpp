// The image selection grid's logic: cells, hit tests, fitting, sampling,
// percentiles and the grey mapping.

#include <gtest/gtest.h>

#include "tools/ImageSelectionGrid.h"

TEST(ImageSelectionGrid, CellsRunRowByRowFromItemZero)
{
    // Client 510 x 540: grid 5..505 x 35..535, cells 100 x 100.
    const auto cells = LayoutSelectionGrid(510, 540, 5, 5);
    ASSERT_EQ(cells.size(), 25u);
    for (int i = 0; i < 25; ++i) EXPECT_EQ(cells[static_cast<size_t>(i)].item, i);
    EXPECT_EQ(cells[0].rect.left, 10);
    EXPECT_EQ(cells[0].rect.top, 40);
    EXPECT_EQ(cells[0].rect.right, 99);
    EXPECT_EQ(cells[0].rect.bottom, 129);
    EXPECT_EQ(cells[7].rect.left, 5 + 2 * 100 + 5);
    EXPECT_EQ(cells[7].rect.top, 35 + 1 * 100 + 5);
    // Edges belong to the cell; the gap between cells to none.
    EXPECT_EQ(HitTestCell(cells, 10, 40), 0);
    EXPECT_EQ(HitTestCell(cells, 99, 129), 0);
    EXPECT_EQ(HitTestCell(cells, 102, 50), -1);
    EXPECT_EQ(HitTestCell(cells, 120, 150), 6);
    // Typed counts below one still give a grid.
    EXPECT_EQ(LayoutSelectionGrid(510, 540, 0, -3).size(), 1u);
}

TEST(ImageSelectionGrid, CountsMarks)
{
    ImageSelectionList list(4);
    EXPECT_EQ(CountSelected(&list), 0);
    list[1].selected = list[3].selected = true;
    EXPECT_EQ(CountSelected(&list), 2);
    EXPECT_EQ(CountSelected(nullptr), 0);
}

TEST(ImageSelectionGrid, PercentilesFollowTheRunningSum)
{
    std::vector<uint16_t> values;
    for (int v = 1; v <= 100; ++v) values.push_back(static_cast<uint16_t>(v * 10));
    std::vector<uint16_t> results;
    ASSERT_TRUE(PercentilesFromHistogram(values.data(), values.size(), {0.05, 0.5, 0.95, 1.0}, results));
    // Targets 5, 50, 95 and 99 (limited to count - 1).
    EXPECT_EQ(results, (std::vector<uint16_t>{50, 500, 950, 990}));
    // A target reached at 0 takes the next intensity.
    std::vector<uint16_t> zeros(10, 0);
    zeros.push_back(7);
    ASSERT_TRUE(PercentilesFromHistogram(zeros.data(), zeros.size(), {0.05}, results));
    EXPECT_EQ(results[0], 1);
}

TEST(ImageSelectionGrid, ThumbnailsFitCentredAndSampleNearest)
{
    const GridRect cell{0, 0, 100, 100};
    const GridRect wide = FitIntoCell(cell, 200, 100);
    EXPECT_EQ(wide.left, 0);
    EXPECT_EQ(wide.right, 100);
    EXPECT_EQ(wide.top, 25);
    EXPECT_EQ(wide.bottom, 75);
    const GridRect tall = FitIntoCell(cell, 50, 100);
    EXPECT_EQ(tall.top, 0);
    EXPECT_EQ(tall.left, 25);
    EXPECT_EQ(tall.right, 75);

    cv::Mat image(4, 4, CV_16UC1);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) image.at<uint16_t>(r, c) = static_cast<uint16_t>(r * 10 + c);
    const cv::Mat thumb = SampleThumbnail(image, 2, 2);
    EXPECT_EQ(thumb.at<uint16_t>(0, 0), 0);
    EXPECT_EQ(thumb.at<uint16_t>(0, 1), 2);
    EXPECT_EQ(thumb.at<uint16_t>(1, 0), 20);
    EXPECT_EQ(thumb.at<uint16_t>(1, 1), 22);
}

TEST(ImageSelectionGrid, GreyMappingClipsAndSurvivesAUniformImage)
{
    cv::Mat thumb(1, 4, CV_16UC1);
    thumb.at<uint16_t>(0, 0) = 100;
    thumb.at<uint16_t>(0, 1) = 150;
    thumb.at<uint16_t>(0, 2) = 200;
    thumb.at<uint16_t>(0, 3) = 60000;
    const cv::Mat grey = MapThumbnailToGrey(thumb, {100, 200});
    EXPECT_EQ(grey.at<uint8_t>(0, 0), 0);
    EXPECT_EQ(grey.at<uint8_t>(0, 1), 127);
    EXPECT_EQ(grey.at<uint8_t>(0, 2), 255);
    EXPECT_EQ(grey.at<uint8_t>(0, 3), 255);

    // A uniform first thumbnail gives low == high: mapped with a span of one.
    const cv::Mat uniform(10, 10, CV_16UC1, cv::Scalar(800));
    const GreyMapping mapping = MappingFromThumbnail(uniform);
    EXPECT_EQ(mapping.low, mapping.high);
    const cv::Mat mapped = MapThumbnailToGrey(uniform, mapping);
    EXPECT_EQ(mapped.at<uint8_t>(1, 1), 0);
    cv::Mat brighter(1, 1, CV_16UC1, cv::Scalar(801));
    EXPECT_EQ(MapThumbnailToGrey(brighter, mapping).at<uint8_t>(0, 0), 255);
}
