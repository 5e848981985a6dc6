#include "analysis/MeniscusMasks.h"

#include "analysis/AnalysisEngineState.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

class MeniscusMasksTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        ResetFractionationState();
        ResetMeniscusSearches();
        ResetFlowGeometry();
    }

    // A 60 x 600 strip of 30000 and a background of 1000.7 (1001 in 16 bits).
    static void OneStrip(int cols = 600)
    {
        g_FractionationState.frames = {cv::Mat(60, cols, CV_16UC1, cv::Scalar(30000))};
        g_FractionationState.noiseFreeBackground = cv::Mat(60, cols, CV_32FC1, cv::Scalar(1000.7));
    }

    // The outer contour of a filled rectangle.
    static Contours RectangleContour(const cv::Rect& rect, cv::Size size)
    {
        cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
        mask(rect).setTo(255);
        Contours contours;
        std::vector<cv::Vec4i> hierarchy;
        int index = -1;
        FindLargestContour(mask, contours, hierarchy, index);
        EXPECT_EQ(index, 0);
        return contours;
    }
};

}  // namespace

TEST_F(MeniscusMasksTest, LargestContour)
{
    cv::Mat image = cv::Mat::zeros(40, 100, CV_8UC1);
    Contours contours;
    std::vector<cv::Vec4i> hierarchy;
    int index = -7;
    FindLargestContour(image, contours, hierarchy, index);
    EXPECT_EQ(index, -7);  // no contour: left as it was
    image.at<uint8_t>(5, 5) = 255;  // a single pixel has no area
    FindLargestContour(image, contours, hierarchy, index);
    EXPECT_EQ(index, -7);

    // Two equal squares: the first listed wins; a larger one beats both.
    image(cv::Rect(10, 10, 10, 10)).setTo(255);
    image(cv::Rect(40, 20, 10, 10)).setTo(255);
    FindLargestContour(image, contours, hierarchy, index);
    ASSERT_GE(index, 0);
    for (int i = 0; i < index; ++i)
        EXPECT_LT(std::fabs(cv::contourArea(contours[static_cast<size_t>(i)])),
                  std::fabs(cv::contourArea(contours[static_cast<size_t>(index)])));
    EXPECT_EQ(cv::boundingRect(contours[static_cast<size_t>(index)]).width, 10);
    image(cv::Rect(70, 5, 20, 20)).setTo(255);
    FindLargestContour(image, contours, hierarchy, index);
    EXPECT_EQ(cv::boundingRect(contours[static_cast<size_t>(index)]), cv::Rect(70, 5, 20, 20));
}

TEST_F(MeniscusMasksTest, LeadStripKeepsItsPixelsInsideTheContour)
{
    OneStrip();
    g_LeadMeniscusSearch.templateWidth = 300;  // a lead region of 500 columns
    const Contours contours = RectangleContour(cv::Rect(100, 10, 50, 20), cv::Size(500, 60));
    const cv::Mat masked = MaskLeadMeniscus(0, contours, 0);
    ASSERT_EQ(masked.type(), CV_32FC1);
    ASSERT_EQ(masked.size(), cv::Size(600, 60));
    EXPECT_EQ(masked.at<float>(20, 120), 30000.0f);  // inside
    EXPECT_EQ(masked.at<float>(10, 100), 30000.0f);  // on the outline
    EXPECT_EQ(masked.at<float>(5, 120), 1001.0f);    // lead region, outside
    EXPECT_EQ(masked.at<float>(40, 499), 1001.0f);
    EXPECT_EQ(masked.at<float>(40, 500), 30000.0f);  // beyond the lead region
    EXPECT_EQ(g_FractionationState.leadFrame.size(), cv::Size(500, 60));

    // A region wider than the strip is clipped to it.
    Reset();
    OneStrip(400);
    g_LeadMeniscusSearch.templateWidth = 300;
    const cv::Mat clipped = MaskLeadMeniscus(0, RectangleContour(cv::Rect(0, 0, 10, 10), cv::Size(400, 60)), 0);
    EXPECT_EQ(clipped.size(), cv::Size(400, 60));
    EXPECT_EQ(clipped.at<float>(30, 399), 1001.0f);
}

TEST_F(MeniscusMasksTest, TrailStripTakesTheBackgroundInsideTheContour)
{
    OneStrip();
    g_FlowGeometry.pixelShiftPerFrame = 100;  // the trail region is columns 500 to 599
    const Contours contours = RectangleContour(cv::Rect(30, 10, 40, 20), cv::Size(100, 60));
    const cv::Mat masked = MaskTrailMeniscus(0, contours, 0);
    ASSERT_EQ(masked.type(), CV_32FC1);
    ASSERT_EQ(masked.size(), cv::Size(600, 60));
    EXPECT_EQ(masked.at<float>(20, 550), 1001.0f);   // inside
    EXPECT_EQ(masked.at<float>(5, 550), 30000.0f);   // trail region, outside
    EXPECT_EQ(masked.at<float>(20, 499), 30000.0f);  // left of the region
    EXPECT_EQ(g_FractionationState.trailFrame.size(), cv::Size(100, 60));
}

TEST_F(MeniscusMasksTest, TrailMaskFindsTheDarkMeniscus)
{
    OneStrip();
    cv::Mat& strip = g_FractionationState.frames.front();
    strip(cv::Rect(540, 20, 40, 25)).setTo(5000);  // the dark meniscus
    strip(cv::Rect(100, 0, 50, 60)).setTo(0);      // dark, but left of the trail region
    g_FlowGeometry.pixelShiftPerFrame = 100;
    const cv::Mat mask = CreateTrailMeniscusMask(0);
    ASSERT_EQ(mask.type(), CV_8UC1);
    ASSERT_EQ(mask.size(), cv::Size(100, 60));
    EXPECT_EQ(mask.at<uint8_t>(32, 60), 0);
    EXPECT_EQ(mask.at<uint8_t>(5, 10), 255);

    Contours contours;
    std::vector<cv::Vec4i> hierarchy;
    int index = -1;
    FindLargestContour(255 - mask, contours, hierarchy, index);
    ASSERT_GE(index, 0);
    // The erosion of the bright part widens the dark one by 7 columns and 1
    // row per pass, three passes, up to the region's right edge.
    EXPECT_EQ(cv::boundingRect(contours[static_cast<size_t>(index)]), cv::Rect(40 - 21, 20 - 3, 100 - 19, 25 + 6));
}

TEST_F(MeniscusMasksTest, LeadMaskIsBinaryAndClippedToTheStrip)
{
    OneStrip(300);
    cv::Mat& strip = g_FractionationState.frames.front();
    cv::RNG rng(5);
    rng.fill(strip, cv::RNG::UNIFORM, 20000, 40000);
    strip(cv::Rect(0, 0, 120, 60)).setTo(3000);
    g_LeadMeniscusSearch.templateWidth = 300;  // 500 columns, wider than the strip
    const cv::Mat mask = CreateLeadMeniscusMask(0);
    ASSERT_EQ(mask.type(), CV_8UC1);
    ASSERT_EQ(mask.size(), cv::Size(300, 60));
    EXPECT_EQ(cv::countNonZero(mask == 0) + cv::countNonZero(mask == 255), 300 * 60);
    EXPECT_EQ(g_FractionationState.leadFrame.size(), cv::Size(300, 60));
}
