#include "analysis/Profiles.h"

#include <gtest/gtest.h>

namespace {

// A 600 x 1200 channel image: background 2000, walls darkening towards rows
// 100 and 500, a dark reference line at column 300 and the meniscus, a dark
// line darkest at column 800 that is shifted 12 columns right in the rows
// above `stepRow`.
cv::Mat ChannelImage(int stepRow = 0)
{
    cv::Mat image(600, 1200, CV_16UC1, cv::Scalar(2000));
    for (int y = 0; y < image.rows; ++y) {
        const int wall = std::min(std::abs(y - 100), std::abs(y - 500));
        if (wall < 40)
            image.row(y).setTo(2000 - 1700 * (40 - wall) / 40);
    }
    for (int y = 140; y <= 460; ++y) {
        uint16_t* row = image.ptr<uint16_t>(y);
        for (int x = 298; x <= 302; ++x)
            row[x] = 600;
        const int x = y < stepRow ? 812 : 800;
        row[x - 2] = row[x + 2] = 900;
        row[x - 1] = row[x + 1] = 700;
        row[x] = 500;
    }
    return image;
}

}  // namespace

TEST(Profiles, ColumnAndRowMeansWithBackground)
{
    cv::Mat image = (cv::Mat_<uint16_t>(2, 3) << 10, 20, 30, 40, 50, 61);
    cv::Mat background = (cv::Mat_<uint16_t>(2, 3) << 15, 0, 0, 50, 0, 0);
    std::vector<int32_t> profile{9, 9, 9, 9};
    ASSERT_TRUE(ComputeColumnProfile(image, {0, 0, 2, 1}, profile));
    EXPECT_EQ(profile, (std::vector<int32_t>{25, 35, 45, 9}));  // grown never shrunk: the 4th stays
    ASSERT_TRUE(ComputeColumnProfile(image, {0, 0, 2, 1}, profile, &background));
    EXPECT_EQ(profile[0], -7);  // (-5 - 10) / 2 truncates toward zero
    profile.clear();
    ASSERT_TRUE(ComputeRowProfile(image, {1, 0, 2, 1}, profile));
    EXPECT_EQ(profile, (std::vector<int32_t>{25, 55}));

    // Clipped to the image: columns past it read nothing and hold 0.
    profile.clear();
    ASSERT_TRUE(ComputeColumnProfile(image, {1, -5, 4, 9}, profile));
    EXPECT_EQ(profile, (std::vector<int32_t>{35, 45, 0, 0}));

    const cv::Mat wrongSize(3, 3, CV_16UC1, cv::Scalar(0));
    profile.assign(1, 7);
    EXPECT_FALSE(ComputeColumnProfile(image, {0, 0, 2, 1}, profile, &wrongSize));
    EXPECT_FALSE(ComputeColumnProfile(image, {5, 0, 9, 1}, profile));
    EXPECT_FALSE(ComputeRowProfile(image, {2, 0, 1, 1}, profile));
    EXPECT_EQ(profile, std::vector<int32_t>{7});
}

TEST(Profiles, Smoothing)
{
    std::vector<int32_t> p{10, 20, 30, 40};
    EXPECT_FALSE(SmoothProfile(p, 1));
    EXPECT_EQ(p, (std::vector<int32_t>{10, 20, 30, 40}));
    // Forward 10 15 25 35, backward 15 25 35 40.
    ASSERT_TRUE(SmoothProfile(p, 2));
    EXPECT_EQ(p, (std::vector<int32_t>{12, 20, 30, 37}));
    // Wider than the profile: the forward and backward prefix means.
    std::vector<int32_t> q{10, 20, 30, 40};
    ASSERT_TRUE(SmoothProfile(q, 10));
    EXPECT_EQ(q, (std::vector<int32_t>{17, 22, 27, 32}));  // (10+25)/2, (15+30)/2, (20+35)/2, (25+40)/2
    // Negative values truncate toward zero.
    std::vector<int32_t> r{-3, 0};
    ASSERT_TRUE(SmoothProfile(r, 2));
    EXPECT_EQ(r, (std::vector<int32_t>{-2, 0}));  // F -3 -1, B -1 0
}

TEST(Profiles, TheTwoDeepestValleysInAscendingOrder)
{
    // Rim 1000; valleys of depth about 0.2 at 20, 0.5 at 50 and 0.3 at 80.
    std::vector<int32_t> p(100, 1000);
    p[20] = 667;
    p[50] = 333;
    p[80] = 538;
    std::vector<int32_t> positions{99};
    ASSERT_TRUE(FindProfileExtremes(p, 10, positions));
    EXPECT_EQ(positions, (std::vector<int32_t>{50, 80}));

    // A flat profile has no valleys; neither has one with its only dip too
    // close to the ends, nor one below a twentieth of the maximum.
    std::vector<int32_t> flat(100, 1000);
    ASSERT_TRUE(FindProfileExtremes(flat, 10, positions));
    EXPECT_TRUE(positions.empty());
    std::vector<int32_t> zeros(100, 0);
    ASSERT_TRUE(FindProfileExtremes(zeros, 10, positions));
    EXPECT_TRUE(positions.empty());
    std::vector<int32_t> edge(100, 1000);
    edge[3] = 10;
    edge[60] = 40;  // below 1000 / 20
    ASSERT_TRUE(FindProfileExtremes(edge, 10, positions));
    EXPECT_TRUE(positions.empty());
    ASSERT_TRUE(FindProfileExtremes({}, 10, positions));
    ASSERT_TRUE(FindProfileExtremes(p, -4, positions));
    EXPECT_TRUE(positions.empty());
}

TEST(Profiles, MeniscusOfASyntheticChannel)
{
    MeniscusResult searched;
    ASSERT_TRUE(FindMeniscus(ChannelImage(), searched, -1, -1));
    EXPECT_NEAR(searched.upper_channel_row, 100, 1);
    EXPECT_NEAR(searched.lower_channel_row, 500, 1);
    EXPECT_TRUE(searched.found);
    EXPECT_EQ(searched.meniscus_x, 800);
    EXPECT_TRUE(searched.form_valid);
    EXPECT_EQ(searched.form, 0.0f);

    // Walls at 100 and 500: band A is rows 166..206, band B rows 206..246.
    // The meniscus 12 columns further right in band A than in band B, in a
    // 400-row channel, leans 12 / 400 x 1000 = 30.
    MeniscusResult leaning;
    ASSERT_TRUE(FindMeniscus(ChannelImage(207), leaning, 100, 500));
    EXPECT_EQ(leaning.upper_channel_row, 100);
    EXPECT_TRUE(leaning.found);
    EXPECT_EQ(leaning.meniscus_x, 800);
    EXPECT_FLOAT_EQ(leaning.form, 30.0f);
}

TEST(Profiles, MeniscusNearTheLeftEdgeMeasuresItsFormInsideTheImage)
{
    // A reference line at column 40 and the meniscus at column 100: the form
    // window runs from column 0 (not 100 - 160) to 260, and a and b count
    // from column 0. Band A (rows 166..206) has the meniscus 12 columns right
    // of band B's.
    cv::Mat image(600, 400, CV_16UC1, cv::Scalar(2000));
    for (int y = 140; y <= 460; ++y) {
        uint16_t* row = image.ptr<uint16_t>(y);
        for (int x = 38; x <= 42; ++x)
            row[x] = 600;
        const int x = y < 207 ? 112 : 100;
        row[x - 2] = row[x + 2] = 900;
        row[x - 1] = row[x + 1] = 700;
        row[x] = 500;
    }
    MeniscusResult result;
    ASSERT_TRUE(FindMeniscus(image, result, 100, 500));
    ASSERT_TRUE(result.found);
    EXPECT_EQ(result.meniscus_x, 100);
    ASSERT_TRUE(result.form_valid);
    EXPECT_FLOAT_EQ(result.form, 30.0f);
}

TEST(Profiles, MeniscusRefusalsAndMisses)
{
    const cv::Mat flat(600, 1200, CV_16UC1, cv::Scalar(2000));
    MeniscusResult result;
    EXPECT_FALSE(FindMeniscus(flat, result, -1, -1));
    EXPECT_EQ(result.upper_channel_row, -1);

    ASSERT_TRUE(FindMeniscus(flat, result, 100, 500));
    EXPECT_FALSE(result.found);
    EXPECT_FALSE(result.form_valid);
    EXPECT_EQ(result.lower_channel_row, 500);

    // Rows that do not lie inside the image in order are refused.
    MeniscusResult untouched;
    EXPECT_FALSE(FindMeniscus(flat, untouched, 500, 100));
    EXPECT_FALSE(FindMeniscus(flat, untouched, 100, 600));
    EXPECT_FALSE(FindMeniscus(flat, untouched, -5, 100));
    EXPECT_FALSE(FindMeniscus(cv::Mat(), untouched, 1, 2));
    EXPECT_EQ(untouched.upper_channel_row, -1);
}
