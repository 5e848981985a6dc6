#include "analysis/FalseColourFrames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

FalseColourLevels Levels()
{
    FalseColourLevels levels;
    levels.brightFieldLow = 1000;
    levels.brightFieldHigh = 3000;
    levels.brightFieldMax = 180;
    levels.channel1Low = 0;
    levels.channel1High = 1000;
    levels.channel1Max = 150;
    levels.channel2Low = 0;
    levels.channel2High = 1000;
    levels.channel2Max = 150;
    return levels;
}

cv::Mat Row(std::vector<uint16_t> values) { return cv::Mat(values, true).reshape(1, 1); }

TEST(FalseColourFramesTest, LevelsMapLinearlyAndAreLimited)
{
    struct Case {
        uint16_t value;
        uint8_t grey;
    } const cases[] = {{500, 0}, {1000, 0}, {2000, 90}, {3000, 180}, {5000, 255}};
    std::vector<uint16_t> values;
    for (const Case& c : cases)
        values.push_back(c.value);
    cv::Mat picture;
    ASSERT_TRUE(ComposeFalseColourFrame(Levels(), Row(values), cv::Mat(), cv::Mat(), picture));
    ASSERT_EQ(picture.type(), CV_8UC3);
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(picture.at<cv::Vec3b>(0, static_cast<int>(i)), cv::Vec3b::all(cases[i].grey)) << cases[i].value;
}

TEST(FalseColourFramesTest, ChannelsAddIntoGreenAndRed)
{
    FalseColourLevels levels = Levels();
    levels.brightFieldMax = 128;
    levels.useChannel1 = true;
    levels.useChannel2 = true;
    cv::Mat picture;
    ASSERT_TRUE(ComposeFalseColourFrame(levels, Row({3000, 3000}), Row({1000, 0}), Row({0, 500}), picture));
    EXPECT_EQ(picture.at<cv::Vec3b>(0, 0), cv::Vec3b(128, 255, 128)) << "128 + 150 is limited to 255";
    EXPECT_EQ(picture.at<cv::Vec3b>(0, 1), cv::Vec3b(128, 128, 203));

    // An enabled channel without an image cannot be composed.
    EXPECT_FALSE(ComposeFalseColourFrame(levels, Row({3000}), cv::Mat(), Row({0}), picture));
    EXPECT_FALSE(ComposeFalseColourFrame(levels, cv::Mat(), Row({0}), Row({0}), picture));
}

TEST(FalseColourFramesTest, EqualLevelsGiveAStepInsteadOfADivisionByZero)
{
    FalseColourLevels levels = Levels();
    levels.brightFieldLow = levels.brightFieldHigh = 65535;  // no reference image
    cv::Mat picture;
    ASSERT_TRUE(ComposeFalseColourFrame(levels, Row({0, 65534, 65535}), cv::Mat(), cv::Mat(), picture));
    EXPECT_EQ(picture.at<cv::Vec3b>(0, 0), cv::Vec3b::all(0));
    EXPECT_EQ(picture.at<cv::Vec3b>(0, 1), cv::Vec3b::all(0));
    EXPECT_EQ(picture.at<cv::Vec3b>(0, 2), cv::Vec3b::all(180));
}

ExperimentDataSet RowsWithRunAt(int start, int rows)
{
    ExperimentDataSet data;
    data.directory = "/data/exp";
    for (int i = 0; i < rows; ++i) {
        FrameRecord row;
        row.brightFieldFile = "bf_" + std::to_string(i) + ".png";
        row.brightFieldExposure = 100 + i;
        if (i % 2)
            row.channel1File = "g_" + std::to_string(i) + ".png";
        data.logRows.push_back(row);
        if (i >= start)
            data.frames.push_back(row);
    }
    return data;
}

TEST(FalseColourFramesTest, VideoFramesSpreadOverTheRowsBeforeTheRun)
{
    std::vector<FrameChannelImages> frames;
    ASSERT_TRUE(ListVideoFrames(RowsWithRunAt(50, 120), frames));
    ASSERT_EQ(frames.size(), 44u + 70u);
    EXPECT_EQ(frames[0].brightField.file, "/data/exp/bf_3.png");
    EXPECT_EQ(frames[0].brightField.exposure, 103);
    EXPECT_EQ(frames[0].green.file, "/data/exp/g_3.png");
    EXPECT_EQ(frames[1].green.file, "") << "row 4 has no green image";
    EXPECT_EQ(frames[43].brightField.file, "/data/exp/bf_46.png");
    EXPECT_EQ(frames[44].brightField.file, "/data/exp/bf_50.png");
    EXPECT_EQ(frames.back().brightField.file, "/data/exp/bf_119.png");

    // A long wait before the run is thinned out to 97 frames.
    ASSERT_TRUE(ListVideoFrames(RowsWithRunAt(300, 310), frames));
    EXPECT_EQ(frames.size(), 97u + 10u);

    EXPECT_FALSE(ListVideoFrames(RowsWithRunAt(9, 40), frames));
    EXPECT_TRUE(frames.empty());
    EXPECT_FALSE(ListVideoFrames(RowsWithRunAt(39, 40), frames)) << "the run starts at the last row";
    EXPECT_FALSE(ListVideoFrames(ExperimentDataSet(), frames));
}

TEST(FalseColourFramesTest, ReferenceLevelsWithoutImagesStayAtTheTop)
{
    FalseColourLevels levels;
    ASSERT_TRUE(ComputeReferenceContrastLevels(RowsWithRunAt(0, 5), levels));
    EXPECT_EQ(levels.brightFieldLow, 65535);
    EXPECT_EQ(levels.brightFieldHigh, 65535);
    EXPECT_EQ(levels.channel1Max, 150);
    EXPECT_EQ(levels.channel2Max, 150);
}

}  // namespace
