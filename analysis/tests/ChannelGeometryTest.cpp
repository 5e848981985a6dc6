#include "analysis/ChannelGeometry.h"

#include "analysis/tests/ImageTestSupport.h"
#include "analysis/tests/SplitLineFixture.h"
#include "app/tests/AppTestSupport.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;
using Tovanix::test::ImageFromRows;
using Tovanix::test::RowsOf;

namespace {

// A 16-bit image whose pixel (r, c) is 100 * c + r.
cv::Mat Ramp(int rows, int cols)
{
    cv::Mat image(rows, cols, CV_16UC1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(100 * c + r);
    return image;
}

fs::path TestFolder()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
    fs::create_directories(folder);
    return folder;
}

}  // namespace

TEST(RotateImageAboutCentre, ShiftWithoutAngleMovesRightAndRepeatsTheFirstColumn)
{
    cv::Mat image = Ramp(4, 12);
    const cv::Mat original = image.clone();
    RotateImageAboutCentre(image, 0.0, 6.0, 2.0, 5);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 12; ++c)
            EXPECT_EQ(image.at<uint16_t>(r, c), original.at<uint16_t>(r, std::max(c - 5, 0))) << r << "," << c;
    }
}

TEST(RotateImageAboutCentre, QuarterTurnAboutTheCentre)
{
    // A single bright pixel right of the centre goes above it for a positive
    // (counter-clockwise on screen) angle.
    cv::Mat image = cv::Mat::zeros(21, 21, CV_16UC1);
    image.at<uint16_t>(10, 15) = 1000;
    RotateImageAboutCentre(image, std::acos(0.0), 10.0, 10.0, 0);
    cv::Point brightest;
    cv::minMaxLoc(image, nullptr, nullptr, nullptr, &brightest);
    EXPECT_EQ(brightest, cv::Point(10, 5));
}

TEST(ApplyGain, TruncatesAndSaturatesOrRefuses)
{
    struct Case {
        int type;
        double value;
        double gain;
        bool result;
        double expected;
    } cases[] = {
        {CV_8UC1, 255, 0.5, true, 127},
        {CV_8UC1, 100, 3.0, true, 255},
        {CV_8UC1, 7, 1.0, true, 7},
        {CV_16UC1, 40000, 2.0, true, 65535},
        {CV_16UC1, 40001, 0.5, true, 20000},
        {CV_16UC1, 3, 1e300, true, 65535},  // no overflow of the int conversion
        {CV_16UC1, 500, 0.0, false, 500},
        {CV_16UC1, 500, -2.0, false, 500},
        {CV_16UC1, 500, std::numeric_limits<double>::quiet_NaN(), false, 500},
        {CV_32FC1, 500, 2.0, false, 500},
    };
    for (const Case& c : cases) {
        cv::Mat image(2, 3, c.type, cv::Scalar(c.value));
        EXPECT_EQ(ApplyGain(image, c.gain), c.result) << c.value << " x " << c.gain;
        EXPECT_EQ(cv::norm(image, cv::Mat(2, 3, c.type, cv::Scalar(c.expected)), cv::NORM_INF), 0.0)
            << c.value << " x " << c.gain;
    }
}

TEST(LoadAnalysisImage, CropsAndAppliesGainInOneCall)
{
    const cv::Mat ramp = Ramp(10, 8);
    const std::string path = (TestFolder() / "frame.png").string();
    ASSERT_TRUE(cv::imwrite(path, ramp));

    cv::Mat image;
    LoadAnalysisImage(image, path, 0, 8, 0, 10, 3, 0.0, 4, 5, 1.0);
    EXPECT_EQ(RowsOf(image), RowsOf(ramp)) << "whole range, no angle: the shift is not applied";

    LoadAnalysisImage(image, path, 2, 5, 1, 4, 0, 0.0, 0, 0, 1.0);
    EXPECT_EQ(RowsOf(image), RowsOf(ramp(cv::Rect(2, 1, 3, 3))));

    LoadAnalysisImage(image, path, 0, 8, 0, 10, 0, 0.0, 0, 0, 0.0);
    EXPECT_EQ(RowsOf(image), RowsOf(ramp)) << "gain 0 leaves the values";

    const cv::Mat bright(2, 2, CV_16UC1, cv::Scalar(40000));
    const std::string brightPath = (TestFolder() / "bright.png").string();
    ASSERT_TRUE(cv::imwrite(brightPath, bright));
    LoadAnalysisImage(image, brightPath, 0, 2, 0, 2, 0, 0.0, 0, 0, 2.0);
    EXPECT_EQ(RowsOf(image), (std::vector<std::vector<int>>{{65535, 65535}, {65535, 65535}}));

    LoadAnalysisImage(image, (TestFolder() / "missing.png").string(), 0, 8, 0, 10, 0, 0.0, 0, 0, 2.0);
    EXPECT_TRUE(image.empty());
}

TEST(LoadAnalysisImage, RotatesWithTheNegatedShift)
{
    const cv::Mat ramp = Ramp(6, 10);
    const std::string path = (TestFolder() / "frame.png").string();
    ASSERT_TRUE(cv::imwrite(path, ramp));
    cv::Mat loaded;
    LoadAnalysisImage(loaded, path, 0, 10, 0, 6, 2, 0.01, 5, 3, 1.0);
    cv::Mat expected = ramp.clone();
    RotateImageAboutCentre(expected, 0.01, 5, 3, -2);
    EXPECT_EQ(RowsOf(loaded), RowsOf(expected));
}

TEST(ColumnProfile, MeansAndQuadraticFit)
{
    EXPECT_EQ(ComputeColumnMeanProfile(ImageFromRows({{1, 10, 65535}, {2, 20, 65535}})),
              (std::vector<double>{1.5, 15.0, 65535.0}));

    std::vector<double> x, y;
    for (int i = 0; i < 10; ++i) {
        x.push_back(i);
        y.push_back(2.0 * i * i + 3.0 * i + 1.0);
    }
    MontageWork work;
    std::vector<double> fitted;
    const std::vector<double>& returned = FitQuadraticProfile(work, fitted, y, x);
    EXPECT_EQ(&returned, &fitted);
    ASSERT_EQ(fitted.size(), y.size());
    for (size_t i = 0; i < y.size(); ++i)
        EXPECT_NEAR(fitted[i], y[i], 1e-9 * y[i]) << i;
    EXPECT_EQ(work.fitted, fitted);

    EXPECT_EQ(SumQuadraticTerms({1, 2}, {10, 20}, 0.5), (std::vector<double>{11.5, 22.5}));
}

TEST(ColumnProfile, TooFewDistinctPointsGiveFiniteValues)
{
    MontageWork work;
    std::vector<double> fitted;
    FitQuadraticProfile(work, fitted, {4.0, 6.0, 4.0, 6.0}, {1.0, 2.0, 1.0, 2.0});
    ASSERT_EQ(fitted.size(), 4u);
    for (double value : fitted)
        EXPECT_TRUE(std::isfinite(value));
    EXPECT_NEAR(fitted[0], 4.0, 1e-9);
    EXPECT_NEAR(fitted[1], 6.0, 1e-9);
}

TEST(NormaliseColumnsByProfile, ScalesEachColumnByItsLevel)
{
    const cv::Mat source = ImageFromRows({{100, 100, 40000, 100, 100}, {7, 8, 9, 10, 11}});
    cv::Mat result;
    NormaliseColumnsByProfile(200.0, result, {200, 200, 200, 200, 200}, source);
    EXPECT_EQ(RowsOf(result), RowsOf(source));

    // Half the reference doubles (and clamps); a zero or missing level leaves the column.
    NormaliseColumnsByProfile(200.0, result, {200, 100, 100, 0}, source);
    EXPECT_EQ(RowsOf(result), (std::vector<std::vector<int>>{{100, 200, 65535, 100, 100}, {7, 16, 18, 10, 11}}));
    EXPECT_EQ(RowsOf(source)[0][1], 100) << "the source is not changed";

    cv::Mat colour;
    cv::Mat gray = ImageFromRows({{100, 100}});
    cv::cvtColor(gray, colour, cv::COLOR_GRAY2BGR);
    NormaliseColumnsByProfile(2.0, result, {2.0, 1.0}, colour);
    ASSERT_EQ(result.channels(), 3);
    EXPECT_EQ((result.at<cv::Vec<uint16_t, 3>>(0, 1)), (cv::Vec<uint16_t, 3>(200, 200, 200)));
}

TEST(CrossFadeJoin, BlendsTheOverlap)
{
    cv::Mat left(3, 100, CV_8UC3), right(3, 100, CV_8UC3);
    for (int c = 0; c < 100; ++c) {
        left.col(c).setTo(cv::Scalar(c, 2 * c, 200));
        right.col(c).setTo(cv::Scalar(250 - c, 0, 20));
    }
    const cv::Mat originalLeft = left.clone(), originalRight = right.clone();
    MontageWork work;
    work.overlap = 20;
    CrossFadeJoin(work, right, left);

    ASSERT_EQ(left.cols, 180);
    EXPECT_EQ(left.at<cv::Vec3b>(1, 80), originalLeft.at<cv::Vec3b>(1, 80));
    // Last blended column: 1/20 of the left's column 99, 19/20 of the right's column 19.
    const cv::Vec3b last = left.at<cv::Vec3b>(1, 99);
    EXPECT_EQ(last[0], 223);  // (int)(99 x 0.05) + 231 x 0.95, truncated
    EXPECT_NEAR(last[2], 200 * 0.05 + 20 * 0.95, 1.0);
    EXPECT_EQ(left.at<cv::Vec3b>(1, 100), originalRight.at<cv::Vec3b>(1, 20));
    EXPECT_EQ(left.at<cv::Vec3b>(1, 179), originalRight.at<cv::Vec3b>(1, 99));
    EXPECT_EQ(left.at<cv::Vec3b>(1, 79), originalLeft.at<cv::Vec3b>(1, 79));
}

TEST(MatchTemplateNormed, SearchesOnlyTheLeftThird)
{
    cv::RNG rng(7);
    cv::Mat image(40, 90, CV_8UC1);
    rng.fill(image, cv::RNG::UNIFORM, 0, 60);
    cv::Mat mark(8, 8, CV_8UC1);
    rng.fill(mark, cv::RNG::UNIFORM, 100, 255);
    // The searched columns are 0..30 (columns / 3): one copy ends at column 30,
    // another lies far right.
    mark.copyTo(image(cv::Rect(23, 12, 8, 8)));
    mark.copyTo(image(cv::Rect(70, 20, 8, 8)));
    double score = 0;
    int x = -1, y = -1;
    MatchTemplateNormed(image, mark, score, x, y);
    EXPECT_NEAR(score, 1.0, 1e-4);
    EXPECT_EQ(x, 23);
    EXPECT_EQ(y, 12);

    cv::Mat onlyRight(40, 90, CV_8UC1);
    rng.fill(onlyRight, cv::RNG::UNIFORM, 0, 60);
    mark.copyTo(onlyRight(cv::Rect(24, 12, 8, 8)));  // one column past the searched part
    MatchTemplateNormed(onlyRight, mark, score, x, y);
    EXPECT_LE(x, 23);
    EXPECT_LT(score, 0.9);
}

namespace {

class FindSplitLineTest : public apptest::DataRootTest {
protected:
    void WriteTemplates(const std::string& types) { WriteSplitLineTemplates(dataRoot, types); }
    static cv::Mat Channel(bool withMarks) { return SplitLineChannel(withMarks); }
};

}  // namespace

TEST_F(FindSplitLineTest, FindsTheLineAndTheRotation)
{
    WriteTemplates("ABC,DEF");
    cv::Mat image = Channel(true);
    int offset = -1;
    double rotation = -1, centreX = -1, centreY = -1;
    ASSERT_TRUE(FindSplitLine(image, 10.0, 100.0, 201.0, "DEF", offset, rotation, centreX, centreY));
    // Middle row 150; the mark's centre row is 152.
    EXPECT_EQ(offset, 2);
    EXPECT_NEAR(rotation, std::atan(4.0 / 370.0), 1e-12);
    EXPECT_EQ(centreX, 50.0);
    EXPECT_EQ(centreY, 140.0);
}

TEST_F(FindSplitLineTest, CartridgeTypeMustBeAWholeEntry)
{
    WriteTemplates("ABC,DEF");
    const struct {
        const char* type;
        bool found;
    } cases[] = {{"ABC", true}, {"DEF", true}, {"AB", false}, {"ABCD", false}, {"abc", false}, {"", false}};
    for (const auto& c : cases) {
        cv::Mat image = Channel(true);
        int offset = -1;
        double rotation = -1, centreX = -1, centreY = -1;
        EXPECT_EQ(FindSplitLine(image, 10.0, 100.0, 201.0, c.type, offset, rotation, centreX, centreY), c.found)
            << c.type;
        if (!c.found) {
            EXPECT_EQ(offset, 0);
            EXPECT_EQ(rotation, 0.0);
            EXPECT_EQ(centreX, 0.0);
            EXPECT_EQ(centreY, 0.0);
        }
    }
}

TEST_F(FindSplitLineTest, WeakMatchOrNoTemplatesGiveZeros)
{
    int offset = -1;
    double rotation = -1, centreX = -1, centreY = -1;
    cv::Mat image = Channel(true);
    EXPECT_FALSE(FindSplitLine(image, 10.0, 100.0, 201.0, "ABC", offset, rotation, centreX, centreY))
        << "no template folder";

    WriteTemplates("ABC");
    image = Channel(false);
    offset = -1;
    rotation = centreX = centreY = -1;
    EXPECT_TRUE(FindSplitLine(image, 10.0, 100.0, 201.0, "ABC", offset, rotation, centreX, centreY));
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(rotation, 0.0);
    EXPECT_EQ(centreX, 0.0);
    EXPECT_EQ(centreY, 0.0);
}

TEST_F(FindSplitLineTest, UnreadableScaleIsTheCallersError)
{
    const fs::path folder = dataRoot / "Templates" / "splitline-templates";
    fs::create_directories(folder);
    std::ofstream(folder / "t.txt") << "CartridgeType\tImagePixelsPermm\tTemplateImage\nABC\tten\tSplitline.png\n";
    cv::Mat image = Channel(true);
    int offset = 0;
    double rotation = 0, centreX = 0, centreY = 0;
    EXPECT_THROW(FindSplitLine(image, 10.0, 100.0, 201.0, "ABC", offset, rotation, centreX, centreY),
                 std::invalid_argument);
}
