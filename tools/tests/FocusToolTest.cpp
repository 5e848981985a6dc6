// The focus worker on a folder of synthetic images: the report's header and
// rows, scores ordered as the blur, Stop between images, failed loads, a
// missing channel and a report that cannot be created.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/Clock.h"
#include "tools/FocusTool.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

namespace {

const char* kChannelIni = "[Cartridge]\r\nCartridgeUpperChannel=0\r\nCartridgeLowerChannel=400\r\n";

// Small bright squares seen through optics blurred by `sigma` (0: sharp),
// with the camera's grain on top.
cv::Mat Texture(double sigma) {
    cv::Mat image(400, 1700, CV_16UC1, cv::Scalar(2000));
    for (int y = 10; y + 8 < image.rows; y += 40)
        for (int x = 10; x + 8 < image.cols; x += 40) image(cv::Rect(x, y, 8, 8)).setTo(30000);
    if (sigma > 0) cv::GaussianBlur(image, image, cv::Size(0, 0), sigma);
    cv::Mat grain(image.size(), CV_16UC1);
    cv::RNG rng(7);
    rng.fill(grain, cv::RNG::UNIFORM, 0, 200);
    return image + grain;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class FocusToolTest : public ::testing::Test {
protected:
    void Prepare(const std::string& name, const std::string& ini = kChannelIni) {
        const fs::path root = MakeDataRoot(name, ini);
        folder = root / "focus";
        fs::create_directories(folder);
        cv::imwrite((folder / "a_sharp.png").string(), Texture(0));
        cv::imwrite((folder / "b_soft.png").string(), Texture(1.5));
        cv::imwrite((folder / "c_blurred.png").string(), Texture(4));
        WriteFile(folder / "d_broken.png", "not an image");
    }
    fs::path folder;
    platform::ManualClock clock;
    std::atomic<bool> stop{false};
    ToolWorkerContext Context(std::vector<std::string>* statuses = nullptr) {
        ToolWorkerContext context;
        context.stop = &stop;
        context.clock = &clock;
        if (statuses) context.status = [statuses](const std::string& text) { statuses->push_back(text); };
        return context;
    }
};

}  // namespace

TEST_F(FocusToolTest, WritesTheHeaderAndScoresInTheOrderOfTheBlur) {
    Prepare("focus-order");
    std::vector<std::string> statuses;
    // The folder with a trailing separator gives the same paths.
    const FocusRequest request{folder.string() + "/", {"c_blurred.png", "d_broken.png", "a_sharp.png", "b_soft.png"}};
    const auto started = clock.Now();
    const FocusReport report = ScoreFocus(request, Context(&statuses));
    ASSERT_TRUE(report.error.empty()) << report.error;
    ASSERT_FALSE(report.path.empty());
    EXPECT_EQ(fs::path(report.path).parent_path(), folder);
    EXPECT_EQ(fs::path(report.path).filename().string().rfind("FocusTool_", 0), 0u);
    EXPECT_EQ(fs::path(report.path).filename().string().size(), std::string("FocusTool_20260101_000000.txt").size());
    // Each image waits half a second, whatever its score costs.
    EXPECT_GE(clock.Now() - started, std::chrono::milliseconds(4 * 500));
    EXPECT_EQ(statuses, (std::vector<std::string>{"Processing 1 of 4", "Processing 2 of 4", "Processing 3 of 4",
                                                  "Processing 4 of 4"}));

    const std::vector<std::string> lines = Lines(ReadFile(report.path));
    ASSERT_EQ(lines.size(), 8u + 3u);  // the broken file has no row
    EXPECT_EQ(lines[0], "Vellora Version = 1.0.0.0");
    EXPECT_EQ(lines[1], "FocusTool");
    EXPECT_EQ(lines[2], "directory=" + folder.string() + "/");
    EXPECT_EQ(lines[3], "ROI_left=824");
    EXPECT_EQ(lines[4], "ROI_right=1624");
    EXPECT_EQ(lines[5], "ROI_top=100");
    EXPECT_EQ(lines[6], "ROI_bottom=300");
    EXPECT_EQ(lines[7], "Image\tscore\tms");
    double scores[3] = {};
    const char* names[3] = {"c_blurred.png", "a_sharp.png", "b_soft.png"};
    for (int i = 0; i < 3; ++i) {
        const std::string& row = lines[8 + static_cast<size_t>(i)];
        ASSERT_EQ(row.rfind(std::string(names[i]) + "\t", 0), 0u) << row;
        scores[i] = std::stod(row.substr(row.find('\t') + 1));
        EXPECT_EQ(row.substr(row.rfind('\t') + 1), "0");  // the clock only moves in the pauses
    }
    EXPECT_GT(scores[1], scores[2]);  // sharp over soft
    EXPECT_GT(scores[2], scores[0]);  // soft over blurred
    EXPECT_NE(ReadFile(g_IniPath.GetString()).size(), 0u);
}

TEST_F(FocusToolTest, WithoutChannelLinesTheFirstImageEndsTheRun) {
    Prepare("focus-no-channel", "");
    const FocusReport report = ScoreFocus({folder.string(), {"a_sharp.png", "b_soft.png"}}, Context());
    EXPECT_EQ(report.error, "ComputeFocusScore() Region of interest must include at least 2000 pixels");
    EXPECT_TRUE(report.rows.empty());
    EXPECT_EQ(Lines(ReadFile(report.path)).size(), 8u);
}

TEST_F(FocusToolTest, StopEndsTheRunAfterTheCurrentImage) {
    Prepare("focus-stop");
    ToolWorkerContext context = Context();
    context.status = [this](const std::string& text) {
        if (text == "Processing 2 of 3") stop = true;
    };
    const FocusReport report = ScoreFocus({folder.string(), {"a_sharp.png", "b_soft.png", "c_blurred.png"}}, context);
    ASSERT_EQ(report.rows.size(), 2u);
    EXPECT_EQ(report.rows[1].substr(0, report.rows[1].find('\t')), "b_soft.png");
    EXPECT_EQ(Lines(ReadFile(report.path)).size(), 10u);
}

TEST_F(FocusToolTest, AReportThatCannotBeCreatedEndsTheRunWithItsMessage) {
    Prepare("focus-no-report");
    const std::string missing = (folder / "missing").string();
    std::vector<std::string> statuses;
    const FocusReport report = ScoreFocus({missing, {"a_sharp.png"}}, Context(&statuses));
    EXPECT_TRUE(report.path.empty());
    EXPECT_EQ(report.error.rfind("Unable to create file: " + missing + "/FocusTool_", 0), 0u) << report.error;
    EXPECT_TRUE(statuses.empty());
}
