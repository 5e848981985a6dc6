#include "analysis/VideoWriters.h"

#include "platform/UiBridge.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class RecordingProgress : public Tovanix::ProgressWindow {
public:
    void SetText(const std::string& text) override
    {
        texts.push_back(text);
        if (text == stopAt)
            stop = true;
    }
    std::vector<std::string> texts;
    std::string stopAt;
    std::atomic<bool> stop{false};
};

class VideoWritersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
        fs::create_directories(folder);
    }

    // 16-bit images "<prefix>_<i>.png" of 64 x 48 at a level that grows with i.
    std::vector<Tovanix::String> Series(const std::string& prefix, int count, uint16_t level = 0)
    {
        std::vector<Tovanix::String> names;
        for (int i = 0; i < count; ++i) {
            const std::string name = prefix + "_" + std::to_string(i) + ".png";
            cv::imwrite((folder / name).string(), cv::Mat(48, 64, CV_16UC1, cv::Scalar(level ? level : 2000 * i)));
            names.emplace_back(name.c_str());
        }
        return names;
    }

    static int FrameCount(const fs::path& video)
    {
        cv::VideoCapture capture(video.string());
        int frames = 0;
        for (cv::Mat frame; capture.read(frame);)
            ++frames;
        return frames;
    }

    fs::path folder;
    platform::ScriptedUiBridge ui;
    platform::ScopedUiBridge useUi{ui};
};

TEST_F(VideoWritersTest, StretchMapsTheRangeOntoTheFullScale)
{
    cv::Mat image = (cv::Mat_<uint16_t>(1, 5) << 500, 1000, 2000, 3000, 4000);
    ASSERT_TRUE(Tovanix::StretchIntensities(image, 1000, 3000));
    const uint16_t expected[] = {0, 0, 32768, 65535, 65535};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(image.at<uint16_t>(0, x), expected[x]) << x;

    cv::Mat untouched = image.clone();
    EXPECT_FALSE(Tovanix::StretchIntensities(image, 3000, 1000));
    EXPECT_FALSE(Tovanix::StretchIntensities(image, 2000, 2000));
    EXPECT_EQ(cv::countNonZero(image != untouched), 0);
}

TEST_F(VideoWritersTest, CompositeTintsTheBrightFieldGreyWithTheChannels)
{
    const auto bright = Series("bf", 3, 65535);
    const auto red = Series("red", 3, 65535);
    const auto green = Series("green", 1, 65535);  // two images shorter than the bright field
    const std::vector<Tovanix::String> none;
    Tovanix::CompositeRanges ranges;  // 0..65535 each
    Tovanix::String error;
    for (int i = 0; i < 3; ++i) {
        cv::Mat frame(48, 64, CV_8UC3, cv::Scalar::all(0));
        ASSERT_TRUE(Tovanix::assign_composite_intensity(folder.string(), bright, red, green, none, i, frame, &error,
                                                        &ranges))
            << error.c_str();
        const cv::Vec3b pixel = frame.at<cv::Vec3b>(10, 10);
        EXPECT_EQ(pixel[0], 127) << i;                   // blue: bright field only
        EXPECT_EQ(pixel[1], i == 0 ? 254 : 127) << i;    // green: its series has one image
        EXPECT_EQ(pixel[2], 254) << i;                   // red: raised to 254
    }

    // Without ranges a value maps by its high byte; a range without span is a
    // step at its level instead of a division by zero.
    const auto half = Series("half", 1, 0x8000);
    cv::Mat frame(48, 64, CV_8UC3, cv::Scalar::all(0));
    ASSERT_TRUE(Tovanix::assign_composite_intensity(folder.string(), half, none, none, none, 0, frame, &error));
    EXPECT_EQ(frame.at<cv::Vec3b>(0, 0), cv::Vec3b(64, 64, 64));
    Tovanix::CompositeRanges step;
    step[0] = {0x8000, 0x8000};
    ASSERT_TRUE(
        Tovanix::assign_composite_intensity(folder.string(), half, none, none, none, 0, frame, &error, &step));
    EXPECT_EQ(frame.at<cv::Vec3b>(0, 0), cv::Vec3b(127, 127, 127));

    EXPECT_FALSE(Tovanix::assign_composite_intensity(folder.string(), half, none, none, none, 1, frame, &error));
    EXPECT_STREQ(error.c_str(), "Tovanix::assign_composite_intensity(254) : Internal error #1");
    cv::Mat wrongSize(10, 10, CV_8UC3);
    EXPECT_FALSE(Tovanix::assign_composite_intensity(folder.string(), half, none, none, none, 0, wrongSize, &error));
    EXPECT_EQ(std::string(error.c_str()).rfind("Tovanix::assign_composite_intensity(277) : Image has unexpected size: ", 0), 0u);
}

TEST_F(VideoWritersTest, VideoHasAFramePerImageAndStopsWhenAsked)
{
    const auto names = Series("img", 10);
    RecordingProgress progress;
    Tovanix::String error;
    const fs::path video = folder / "all.avi";
    ASSERT_TRUE(Tovanix::CreateVideo(video.string(), folder.string(), names, 5.0, &progress, &progress.stop, &error))
        << error.c_str();
    EXPECT_EQ(FrameCount(video), 10);
    ASSERT_EQ(progress.texts.size(), 10u);
    EXPECT_EQ(progress.texts[0], "1 of 10");
    EXPECT_EQ(progress.texts[8], "9 of 10");
    EXPECT_EQ(progress.texts.back(), "");
    cv::VideoCapture capture(video.string());
    EXPECT_EQ(capture.get(cv::CAP_PROP_FRAME_WIDTH), 64);
    EXPECT_EQ(capture.get(cv::CAP_PROP_FRAME_HEIGHT), 48);

    // The stop flag set while the fifth frame is written ends the video there.
    RecordingProgress stopping;
    stopping.stopAt = "4 of 10";
    const fs::path stopped = folder / "stopped.avi";
    ASSERT_TRUE(
        Tovanix::CreateVideo(stopped.string(), folder.string(), names, 5.0, &stopping, &stopping.stop, &error));
    EXPECT_EQ(FrameCount(stopped), 5);

    // One image: one frame and no count shown.
    RecordingProgress single;
    const fs::path one = folder / "one.avi";
    ASSERT_TRUE(Tovanix::CreateVideo(one.string(), folder.string(), {names[0]}, 5.0, &single, nullptr, &error));
    EXPECT_EQ(FrameCount(one), 1);
    EXPECT_EQ(single.texts, std::vector<std::string>{""});
}

TEST_F(VideoWritersTest, FailuresNameTheirCheckAndKeepTheFramesWritten)
{
    auto names = Series("img", 5);
    fs::remove(folder / "img_3.png");
    Tovanix::String error;
    const fs::path video = folder / "broken.avi";
    EXPECT_FALSE(Tovanix::CreateVideo(video.string(), folder.string(), names, 5.0, nullptr, nullptr, &error));
    EXPECT_EQ(std::string(error.c_str()),
              "Tovanix::CreateVideo(188) : image file does not exist: " + (folder / "img_3.png").string());
    EXPECT_EQ(FrameCount(video), 3);

    EXPECT_FALSE(Tovanix::CreateVideo(video.string(), folder.string(), {}, 5.0, nullptr, nullptr, &error));
    EXPECT_STREQ(error.c_str(), "Tovanix::CreateVideo(128) : image_names must have one or more images.");
    EXPECT_FALSE(fs::exists(video)) << "an old video of that name is gone";

    const std::string unwritable = (folder / "no-such-folder" / "v.avi").string();
    EXPECT_FALSE(Tovanix::CreateVideo(unwritable, folder.string(), names, 5.0, nullptr, nullptr, &error));
    EXPECT_EQ(std::string(error.c_str()), "Tovanix::CreateVideo(119) : unable to create file: " + unwritable);

    EXPECT_FALSE(Tovanix::CreateVideo4Chan(video.string(), folder.string(), {}, {}, {}, {}, 5.0, nullptr, nullptr,
                                           &error));
    EXPECT_STREQ(error.c_str(), "Tovanix::CreateVideo4Chan(433) : brightfield_fnames must have one or more images.");
}

TEST_F(VideoWritersTest, FourChannelVideoHasAFramePerBrightFieldImage)
{
    const auto bright = Series("bf", 4);
    const auto red = Series("red", 4, 40000);
    Tovanix::String error;
    const fs::path video = folder / "composite.avi";
    ASSERT_TRUE(Tovanix::CreateVideo4Chan(video.string(), folder.string(), bright, red, {}, {}, 5.0, nullptr,
                                          nullptr, &error))
        << error.c_str();
    EXPECT_EQ(FrameCount(video), 4);
    cv::VideoCapture capture(video.string());
    cv::Mat last;
    for (cv::Mat frame; capture.read(frame);)
        last = frame.clone();
    ASSERT_FALSE(last.empty());
    const cv::Vec3b pixel = last.at<cv::Vec3b>(24, 32);
    EXPECT_GT(pixel[2], pixel[0] + 60) << "red tints the frame";
}

}  // namespace
