// The video tool's logic: frame-rate limits, image-type names, channel
// files, the video's path and ranges, and real videos read back.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "tools/ContrastTool.h"
#include "tools/VideoTool.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

TEST(VideoTool, FramesPerSecondLimits) {
    const std::pair<const char*, bool> cases[] = {{"1.0", true}, {"30.0", true}, {"3", true},    {"12.5", true},
                                                  {"0.5", false}, {"30.5", false}, {"abc", false}, {"", false}};
    for (const auto& [text, accepted] : cases) {
        double fps = -1;
        EXPECT_EQ(ParseFramesPerSecond(text, &fps), accepted) << text;
        if (accepted) {
            EXPECT_DOUBLE_EQ(fps, std::stod(text));
        }
    }
}

TEST(VideoTool, ImageTypeNamesOfCaptureNames) {
    EXPECT_EQ(CollectImageTypeNames({"Exp_Red_0001.png", "Exp_Green_0001.PNG", "Exp_Red_0002.png", "single_1.png",
                                     "noise.png", "Exp_Blue_0001.tif", "Exp_BF_Pos1_2_3_0001.png"}),
              (std::vector<std::string>{"BF", "Green", "Red"}));
    // The fifth type is never listed.
    EXPECT_EQ(CollectImageTypeNames({"a_E_1.png", "a_D_1.png", "a_C_1.png", "a_B_1.png", "a_A_1.png"}),
              (std::vector<std::string>{"B", "C", "D", "E"}));
    // The contrast tool takes the field between the last two "_" only.
    EXPECT_EQ(ContrastImageTypeNames({"Exp_Red_0001.png", "Exp_Green_0002.png", "Exp_Red_0002.png", "one_1.png", "x.png"}),
              (std::vector<std::string>{"Green", "Red"}));
}

TEST(VideoTool, ChannelFilesFollowTheSelectedCaptures) {
    const std::vector<std::string> selected = {"Exp_Red_0001.png", "Exp_Red_0002.png", "Exp_BF_Pos1_2_3_0003.png",
                                               "odd.txt", "Exp_brightfield_0004.png"};
    EXPECT_EQ(CollectChannelFiles("Brightfield", selected),
              (std::vector<std::string>{"Exp_Brightfield_0001.png", "Exp_Brightfield_0002.png",
                                        "Exp_Brightfield_Pos1_2_3_0003.png", "odd.txt", "Exp_brightfield_0004.png"}));
    EXPECT_TRUE(CollectChannelFiles("", selected).empty());
    EXPECT_EQ(CollectChannelFiles("Red", {"Exp_Red_1.png", "Exp_Green_1.png"}), (std::vector<std::string>{"Exp_Red_1.png"}));
}

TEST(VideoTool, VideoPathAndRanges) {
    EXPECT_EQ(ResolveVideoPath("movie.avi", "/data/run"), "/data/run/movie.mp4");
    EXPECT_EQ(ResolveVideoPath("sub\\movie", "/data/run"), "/data/run/movie.mp4");
    EXPECT_EQ(ResolveVideoPath("/videos/movie.avi", "/data/run"), "/videos/movie.mp4");
    EXPECT_EQ(ResolveVideoPath("C:\\videos\\movie.x.avi", "/data/run"), "C:\\videos\\movie.x.mp4");

    const Tovanix::IntensityRange clamped = RangeFromText("-20:70000");
    EXPECT_EQ(clamped.low, 0);
    EXPECT_EQ(clamped.high, 65535);
    const Tovanix::IntensityRange read = RangeFromText("100:4000");
    EXPECT_EQ(read.low, 100);
    EXPECT_EQ(read.high, 4000);
    const Tovanix::IntensityRange unreadable = RangeFromText("abc");
    EXPECT_EQ(unreadable.low, 0);
    EXPECT_EQ(unreadable.high, 65535);
    EXPECT_TRUE(IsValidChannelRange(3, 0, 65535));
    EXPECT_FALSE(IsValidChannelRange(4, 0, 100));
    EXPECT_FALSE(IsValidChannelRange(0, 100, 100));
    EXPECT_FALSE(IsValidChannelRange(0, 0, 65536));
    EXPECT_FALSE(IsValidChannelRange(0, -1, 10));
}

namespace {

// Three captures, each a bright-field and a red image.
fs::path WriteCaptures(const std::string& name) {
    const fs::path folder = MakeDataRoot(name) / "captures";
    fs::create_directories(folder);
    for (int i = 1; i <= 3; ++i) {
        cv::Mat image(120, 160, CV_16UC1, cv::Scalar(1000 * i));
        image(cv::Rect(10 * i, 20, 30, 30)).setTo(40000);
        const std::string counter = "000" + std::to_string(i);
        cv::imwrite((folder / ("Exp_BF_" + counter + ".png")).string(), image);
        cv::imwrite((folder / ("Exp_Red_" + counter + ".png")).string(), image * 0.5);
    }
    return folder;
}

void ExpectVideo(const std::string& path, int frames) {
    cv::VideoCapture video(path);
    ASSERT_TRUE(video.isOpened()) << path;
    int read = 0;
    cv::Mat frame;
    while (video.read(frame)) {
        ++read;
        EXPECT_EQ(frame.cols, 160);
        EXPECT_EQ(frame.rows, 120);
    }
    EXPECT_EQ(read, frames);
}

}  // namespace

TEST(VideoTool, WritesAGreyAndAColourVideo) {
    const fs::path folder = WriteCaptures("video-write");
    std::vector<std::string> statuses;
    ToolWorkerContext context;
    context.status = [&](const std::string& text) { statuses.push_back(text); };

    VideoRequest grey;
    grey.folder = folder.string();
    grey.path = ResolveVideoPath("grey", grey.folder);
    grey.channels[0] = {"Exp_BF_0001.png", "Exp_BF_0002.png", "Exp_BF_0003.png"};
    grey.rangeTexts[0] = "0:50000";
    EXPECT_EQ(RunCreateVideo(grey, context), "");
    ExpectVideo(grey.path, 3);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "2 of 3"), statuses.end());

    VideoRequest colour = grey;
    colour.monochrome = false;
    colour.path = ResolveVideoPath("colour", grey.folder);
    const std::vector<std::string> selected = {"Exp_Red_0001.png", "Exp_Red_0002.png"};
    colour.channels[0] = CollectChannelFiles("BF", selected);
    colour.channels[1] = CollectChannelFiles("Red", selected);
    EXPECT_EQ(RunCreateVideo(colour, context), "");
    ExpectVideo(colour.path, 2);

    VideoRequest missing = grey;
    missing.channels[0] = {"Exp_BF_0009.png"};
    missing.path = ResolveVideoPath("missing", grey.folder);
    EXPECT_NE(RunCreateVideo(missing, context).find("Exp_BF_0009.png"), std::string::npos);

    // A run stopped at once ends without an error.
    std::atomic<bool> stop{true};
    context.stop = &stop;
    VideoRequest stopped = grey;
    stopped.path = ResolveVideoPath("stopped", grey.folder);
    EXPECT_EQ(RunCreateVideo(stopped, context), "");
}
