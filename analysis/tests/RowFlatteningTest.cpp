#include "analysis/RowFlattening.h"

#include <gtest/gtest.h>

TEST(RowFlattening, PercentileProfileOfEachRow)
{
    const cv::Mat image = (cv::Mat_<uint16_t>(3, 5) << 9, 1, 5, 3, 7,  //
                           10, 20, 30, 40, 50,                         //
                           0, 0, 0, 0, 8);
    struct Case {
        double fraction;
        std::vector<uint16_t> profile;
    };
    const Case cases[] = {
        {0.0, {1, 10, 0}},   // each row's minimum
        {1.0, {9, 50, 8}},   // each row's maximum
        {0.5, {5, 30, 0}},
        {0.9, {8, 46, 5}},   // 7 + 2 x 0.6, 40 + 10 x 0.6, 0 + 8 x 0.6, rounded
        {2.0, {9, 50, 8}},   // held to 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fraction);
        std::vector<uint16_t> profile;
        ASSERT_TRUE(ComputeRowPercentileProfile(image, {0, 0, 4, 2}, c.fraction, profile));
        EXPECT_EQ(profile, c.profile);
    }
    std::vector<uint16_t> profile{7};
    EXPECT_FALSE(ComputeRowPercentileProfile(image, {0, 0, 5, 2}, 0.5, profile));
    EXPECT_FALSE(ComputeRowPercentileProfile(image, {2, 0, 1, 2}, 0.5, profile));
    EXPECT_FALSE(ComputeRowPercentileProfile(image, {-1, 0, 1, 2}, 0.5, profile));
    EXPECT_EQ(profile, std::vector<uint16_t>{7});
}

TEST(RowFlattening, BringsEachRowToTheMedian)
{
    cv::Mat image = (cv::Mat_<uint16_t>(4, 3) << 100, 200, 7,  //
                     50, 100, 7,                               //
                     0, 0, 7,                                  //
                     60000, 30000, 7);
    // Rows 0..3 of columns 0..1; profile median of {200, 100, 0, 60000}: (100 + 200) / 2 = 150.
    const std::vector<uint16_t> profile{200, 100, 0, 60000};
    ASSERT_TRUE(FlattenRows(image, {0, 0, 1, 3}, profile));
    const cv::Mat expected = (cv::Mat_<uint16_t>(4, 3) << 75, 150, 7,  //
                              75, 150, 7,                              //
                              0, 0, 7,                                 // level 0: left as it was
                              150, 75, 7);
    EXPECT_EQ(cv::countNonZero(image != expected), 0);

    // A dim row scaled far up saturates instead of wrapping.
    cv::Mat dim = (cv::Mat_<uint16_t>(2, 1) << 40000, 60000);
    ASSERT_TRUE(FlattenRows(dim, {0, 0, 0, 1}, {1, 60000}));  // median 30001
    EXPECT_EQ(dim.at<uint16_t>(0, 0), 65535);
    EXPECT_EQ(dim.at<uint16_t>(1, 0), 30001);

    // One row: multiplied by m / m.
    cv::Mat one = (cv::Mat_<uint16_t>(1, 3) << 10, 20, 30);
    ASSERT_TRUE(FlattenRows(one, {0, 0, 2, 0}, {25}));
    EXPECT_EQ(one.at<uint16_t>(0, 2), 30);

    EXPECT_FALSE(FlattenRows(one, {0, 0, 2, 0}, {}));
    EXPECT_FALSE(FlattenRows(one, {0, 0, 3, 0}, {25}));
}
