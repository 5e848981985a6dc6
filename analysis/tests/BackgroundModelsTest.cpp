#include "analysis/BackgroundModels.h"

#include "analysis/AnalysisEngineState.h"
#include "analysis/tests/ImageTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using Tovanix::test::ImageFromRows;
using Tovanix::test::RowsOf;

namespace {

class BackgroundModelsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFractionationState(); }
    void TearDown() override { ResetFractionationState(); }

    // One 1 x k strip per value list entry: strip i holds values[j][i] at column j.
    static void LoadStrips(const std::vector<std::vector<int>>& columns)
    {
        for (size_t i = 0; i < columns.front().size(); ++i) {
            std::vector<int> row;
            for (const auto& column : columns)
                row.push_back(column[i]);
            g_FractionationState.frames.push_back(ImageFromRows({row}));
        }
    }
};

}  // namespace

TEST_F(BackgroundModelsTest, MaximumAndMedianPerPixel)
{
    // Per pixel: the values of the strips in order, the maximum over all and
    // the median of the last five.
    const struct {
        std::vector<int> values;
        int maximum, median;
    } cases[] = {
        {{10, 50, 20, 40, 30}, 50, 30},
        {{65535, 1, 2, 3, 4, 5}, 65535, 3},  // the first strip counts for the maximum only
        {{7, 7, 7, 7, 7, 7, 7}, 7, 7},
        {{0, 0, 9, 9, 0}, 9, 0},
        {{5, 4, 3, 2, 1}, 5, 3},
    };
    // Pixels of one strip row with different histories need strips of one
    // count: run each case alone.
    for (const auto& c : cases) {
        ResetFractionationState();
        LoadStrips({c.values});
        ComputeMaximumPixelBackground();
        ComputeMedianPixelBackground(static_cast<int32_t>(c.values.size()));
        EXPECT_EQ(RowsOf(g_FractionationState.maximumBackground)[0][0], c.maximum) << c.values[0];
        EXPECT_EQ(RowsOf(g_FractionationState.medianBackground)[0][0], c.median) << c.values[0];
    }
}

TEST_F(BackgroundModelsTest, NoiseFreeBackground)
{
    // Identical strips: the maximum has no excess over the median, so the
    // background is the strip itself.
    for (int i = 0; i < 5; ++i)
        g_FractionationState.frames.push_back(ImageFromRows({{100, 400}, {0, 65535}}));
    ComputeMaximumPixelBackground();
    ComputeMedianPixelBackground(5);
    ComputeNoiseFreeMaximumPixelBackground();
    const cv::Mat& background = g_FractionationState.noiseFreeBackground;
    ASSERT_EQ(background.type(), CV_32FC1);
    EXPECT_EQ(background.at<float>(0, 0), 100.0f);
    EXPECT_EQ(background.at<float>(0, 1), 400.0f);
    EXPECT_EQ(background.at<float>(1, 1), 65535.0f);
    EXPECT_FLOAT_EQ(g_FractionationState.maximumRoot.at<float>(0, 1), 20.0f);

    // Maximum 100 and 400 (roots 10 and 20), median 90 and 370: the excess
    // 10 + 30 = 40 over the roots' 30 gives k = 4/3.
    ResetFractionationState();
    LoadStrips({{100, 90, 90, 90, 80, 95}, {400, 370, 370, 370, 360, 380}});
    ComputeMaximumPixelBackground();
    ComputeMedianPixelBackground(6);
    ComputeNoiseFreeMaximumPixelBackground();
    EXPECT_NEAR(g_FractionationState.noiseFreeBackground.at<float>(0, 0), 100.0 - 40.0 / 3.0, 1e-4);
    EXPECT_NEAR(g_FractionationState.noiseFreeBackground.at<float>(0, 1), 400.0 - 80.0 / 3.0, 1e-4);
    EXPECT_EQ(RowsOf(g_FractionationState.maximumBackground), (std::vector<std::vector<int>>{{100, 400}}));
}

TEST_F(BackgroundModelsTest, BlackRunGivesABlackBackground)
{
    for (int i = 0; i < 5; ++i)
        g_FractionationState.frames.push_back(cv::Mat::zeros(3, 4, CV_16UC1));
    ComputeMaximumPixelBackground();
    ComputeMedianPixelBackground(5);
    ComputeNoiseFreeMaximumPixelBackground();
    const cv::Mat& background = g_FractionationState.noiseFreeBackground;
    for (int y = 0; y < background.rows; ++y)
        for (int x = 0; x < background.cols; ++x)
            EXPECT_EQ(background.at<float>(y, x), 0.0f);  // not NaN
}

TEST_F(BackgroundModelsTest, TooFewOrMismatchedStripsAreRefused)
{
    for (int i = 0; i < 4; ++i)
        g_FractionationState.frames.push_back(cv::Mat::zeros(3, 4, CV_16UC1));
    EXPECT_THROW(ComputeMedianPixelBackground(4), std::invalid_argument);
    EXPECT_THROW(ComputeMedianPixelBackground(6), std::invalid_argument);  // more than are loaded
    g_FractionationState.frames.push_back(cv::Mat::zeros(3, 5, CV_16UC1));
    EXPECT_THROW(ComputeMedianPixelBackground(5), std::invalid_argument);
    EXPECT_THROW(ComputeMaximumPixelBackground(), cv::Exception);
}
