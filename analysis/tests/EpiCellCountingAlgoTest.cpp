#include "analysis/EpiCellCountingAlgo.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string WriteParams(const std::string& name, const std::string& lines)
{
    const fs::path path = fs::path(std::getenv("VELLORA_TEST_ROOT")) / name;
    std::ofstream(path, std::ios::binary) << "[EpiCellCountingAlgoDlg]\r\n" << lines;
    return path.string();
}

std::string Hex(const uint8_t* bytes)
{
    std::string text;
    char two[3];
    for (int i = 0; i < 32; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        text += two;
    }
    return text;
}

EpiCellCountingAlgoParams RegionParams()
{
    EpiCellCountingAlgoParams p;
    p.Left = 10;
    p.Top = 10;
    p.Right = 289;
    p.Bottom = 289;
    p.MinSize = 15;
    return p;
}

// A 300 x 300 image at 5000 with a dim 30 x 30 patch at 3000 (it sets the
// second threshold and is never a cell: it holds no seed and is solid) and
// dark objects at 1000 drawn by `draw`.
template <class Draw>
cv::Mat Scene(Draw draw)
{
    cv::Mat image(300, 300, CV_16UC1, cv::Scalar(5000));
    image(cv::Rect(200, 200, 30, 30)).setTo(cv::Scalar(3000));
    draw(image);
    return image;
}

}  // namespace

TEST(EpiCellCountingAlgoParams, LoadsDefaultsAndFlagSpellings)
{
    const struct {
        const char* lines;
        bool useBg;
    } cases[] = {{"MinSize=12\r\n", true},
                 {"MinSize=12\r\nUseBgImageIfAvail=yes\r\n", true},
                 {"MinSize=12\r\nUseBgImageIfAvail=false\r\n", false},
                 {"MinSize=12\r\nUseBgImageIfAvail=FaLsE\r\n", false}};
    for (const auto& c : cases) {
        EpiCellCountingAlgoParams p;
        p.DarkPct0 = 0.3f;
        ASSERT_TRUE(p.LoadFromFile(WriteParams("set.epi_counting_params", c.lines).c_str()));
        EXPECT_EQ(p.UseBgImageIfAvail, c.useBg) << c.lines;
        EXPECT_EQ(p.MinSize, 12);
        EXPECT_EQ(p.DarkPct0, 0.002f);
        EXPECT_EQ(p.DarkPct1, 0.01f);
        EXPECT_EQ(p.MaxRatio, 0.35f);
        EXPECT_EQ(p.MinPixelCount, 60);
        EXPECT_EQ(p.Left, 100);
        EXPECT_EQ(p.Top, 100);
        EXPECT_EQ(p.Right, 1000);
        EXPECT_EQ(p.Bottom, 1000);
    }
}

TEST(EpiCellCountingAlgoParams, DigestOfThePackedValues)
{
    // Expected values from an independent SHA-256 of the 37 packed bytes.
    EpiCellCountingAlgoParams p;
    uint8_t digest[32];
    p.ComputeDigest(digest);
    EXPECT_EQ(Hex(digest), "4c54702afc39957c3458156c7d0088f596a8c3f022d2080722c38fbfeb4f714d");

    p.UseBgImageIfAvail = false;
    p.DarkPct0 = 0.005f;
    p.DarkPct1 = 0.02f;
    p.MinPixelCount = 40;
    p.MinSize = 12;
    p.MaxRatio = 0.3f;
    p.Left = 10;
    p.Top = 20;
    p.Right = 300;
    p.Bottom = 400;
    p.enabled = true;                // not part of the digest
    p.showFoundObjectPixels = true;  // nor this
    p.ComputeDigest(digest);
    EXPECT_EQ(Hex(digest), "eacbd641d611d570a8202c7b748ae82c215125ec83b45296a892a8ae67574415");

    // Saving and loading round-trips the values, and both store the digest.
    const std::string path = WriteParams("saved.epi_counting_params", "");
    ASSERT_TRUE(p.SaveToFile(path.c_str()));
    EXPECT_EQ(Hex(p.digest.data()), Hex(digest));
    EpiCellCountingAlgoParams loaded;
    loaded.LoadFromFile(path.c_str());
    EXPECT_EQ(Hex(loaded.digest.data()), Hex(digest));
    EXPECT_FALSE(loaded.UseBgImageIfAvail);
    EXPECT_EQ(loaded.Bottom, 400);

    EXPECT_FALSE(p.SaveToFile((fs::path(std::getenv("VELLORA_TEST_ROOT")) / "no" / "x.epi_counting_params").c_str()));
}

TEST(EpiCellCountingAlgoParams, ValidationMessages)
{
    using Change = void (*)(EpiCellCountingAlgoParams&);
    const struct {
        Change change;
        const char* error;
    } cases[] = {
        {[](EpiCellCountingAlgoParams&) {}, ""},
        {[](EpiCellCountingAlgoParams& p) { p.DarkPct0 = p.DarkPct1 = 0.01f; },
         "Dark percentile threshold 0 must be less than dark percentile threshold 1\n"},
        {[](EpiCellCountingAlgoParams& p) { p.DarkPct0 = 0.6f; },
         "Dark percentile threshold 0 must be a floating point number between 0.0001 and 0.5\n"
         "Dark percentile threshold 0 must be less than dark percentile threshold 1\n"},
        {[](EpiCellCountingAlgoParams& p) { p.DarkPct1 = 0.0004f; },
         "Dark percentile threshold 1 must be a floating point number between 0.0005 and 0.5\n"
         "Dark percentile threshold 0 must be less than dark percentile threshold 1\n"},
        {[](EpiCellCountingAlgoParams& p) { p.MinPixelCount = 1001; },
         "Min pixel count must be an integer between 10 and 1000\n"},
        {[](EpiCellCountingAlgoParams& p) { p.MinSize = 4; }, "Min pixel size must be an integer between 5 and 150\n"},
        {[](EpiCellCountingAlgoParams& p) { p.MaxRatio = 0.51f; }, "Max ratio between 0.05 and 0.5\n"},
        {[](EpiCellCountingAlgoParams& p) { p.Right = 148, p.Bottom = 500; },
         "Region of interest must be at lest 50 pixels wide\n"},
        {[](EpiCellCountingAlgoParams& p) { p.Right = 149, p.Bottom = 500; }, ""},
        {[](EpiCellCountingAlgoParams& p) { p.Bottom = 148; }, "Region of interest must be at least 50 pixels high\n"},
        {[](EpiCellCountingAlgoParams& p) { p.Right = 10001; }, "Invalid region of interest\n"},
        {[](EpiCellCountingAlgoParams& p) { p.Left = -1; }, "Invalid region of interest\n"},
    };
    for (const auto& c : cases) {
        EpiCellCountingAlgoParams p;
        c.change(p);
        Tovanix::String error = "old";
        EXPECT_EQ(p.Validate(error), *c.error == '\0');
        EXPECT_STREQ(error.c_str(), c.error);
    }
}

TEST(EpiCellCountingAlgoParams, DescriptionBlock)
{
    EpiCellCountingAlgoParams p;
    CStringArray lines;
    p.AppendDescription(lines);
    p.enabled = true;
    p.UseBgImageIfAvail = false;
    p.AppendDescription(lines);
    const std::vector<std::string> expected{"# ******** EpiCellCountingAlgo is not enabled ********",
                                            "# ******** EpiCellCountingAlgo params ********",
                                            "#roi.left=100",
                                            "#roi.right=1000",
                                            "#roi.top=100",
                                            "#roi.bottom=1000",
                                            "#UseBgImageIfAvail=false",
                                            "DarkPct0=0.002000",
                                            "DarkPct1=0.010000",
                                            "MinPixelCount=60",
                                            "MinSize=20",
                                            "MaxRatio=0.350000"};
    ASSERT_EQ(lines.GetSize(), static_cast<int>(expected.size()));
    for (int i = 0; i < lines.GetSize(); ++i)
        EXPECT_EQ(lines[i].str(), expected[static_cast<size_t>(i)]);
}

TEST(EpiCellCountingAlgo, FindsExactlyTheDarkRings)
{
    const std::vector<cv::Point> rings{{60, 60}, {150, 80}, {90, 220}};
    const cv::Mat image = Scene([&](cv::Mat& m) {
        for (const cv::Point& c : rings)
            cv::circle(m, c, 9, cv::Scalar(1000), 2);
        cv::circle(m, {230, 60}, 6, cv::Scalar(1000), cv::FILLED);  // solid: fill ratio too high
        cv::circle(m, {150, 150}, 3, cv::Scalar(1000), 1);          // too few pixels
    });
    // The side of one ring's enclosing square, from the drawing itself.
    cv::Mat one = cv::Mat::zeros(40, 40, CV_8UC1);
    cv::circle(one, {20, 20}, 9, cv::Scalar(255), 2);
    const int side = std::max(cv::boundingRect(one).width, cv::boundingRect(one).height);

    EpiCellCountingAlgoParams p = RegionParams();
    p.MaxRatio = 0.45f;  // a ring fills 168 / 21^2 = 0.38 of its square, the disc 0.67
    std::vector<CellDetection> detections(1);  // appended to
    Tovanix::String error;
    ASSERT_TRUE(EpiCellCountingAlgo(image, p, detections, error)) << error.c_str();
    ASSERT_EQ(detections.size(), 1 + rings.size());
    for (size_t i = 0; i < rings.size(); ++i) {
        const CellDetection& d = detections[i + 1];
        const bool match = std::any_of(rings.begin(), rings.end(), [&](const cv::Point& c) {
            return c.x == d.x && c.y == d.y;
        });
        EXPECT_TRUE(match) << d.x << "," << d.y;
        EXPECT_FLOAT_EQ(d.radius, side / 3.0f);
        EXPECT_EQ(d.score, 0.0f);
        EXPECT_EQ(d.height, 0.0f);
    }

    // A flat background image changes nothing.
    const cv::Mat background(300, 300, CV_16UC1, cv::Scalar(2000));
    std::vector<CellDetection> withBackground;
    ASSERT_TRUE(EpiCellCountingAlgo(image, p, withBackground, error, nullptr, &background)) << error.c_str();
    EXPECT_EQ(withBackground.size(), rings.size());
}

TEST(EpiCellCountingAlgo, SizeAndRatioRulesOnOneIsland)
{
    // 80 pixels in a 15 x 18 box: the outline (62), a full middle row (13)
    // and five more of the row below it.
    const cv::Mat image = Scene([](cv::Mat& m) {
        cv::rectangle(m, cv::Rect(100, 100, 15, 18), cv::Scalar(1000), 1);
        m(cv::Rect(101, 108, 13, 1)).setTo(cv::Scalar(1000));
        m(cv::Rect(101, 109, 5, 1)).setTo(cv::Scalar(1000));
    });
    ASSERT_EQ(cv::countNonZero(image == 1000), 80);
    const struct {
        int minSize;
        float maxRatio;
        size_t found;
    } cases[] = {{20, 0.35f, 0}, {18, 0.35f, 1}, {18, 0.24f, 0}};
    for (const auto& c : cases) {
        EpiCellCountingAlgoParams p = RegionParams();
        p.MinSize = c.minSize;
        p.MaxRatio = c.maxRatio;
        std::vector<CellDetection> detections;
        Tovanix::String error;
        ASSERT_TRUE(EpiCellCountingAlgo(image, p, detections, error)) << error.c_str();
        ASSERT_EQ(detections.size(), c.found) << c.minSize << " " << c.maxRatio;
        if (c.found) {
            EXPECT_FLOAT_EQ(detections[0].radius, 6.0f);
        }
    }
}

TEST(EpiCellCountingAlgo, OverlayCodes)
{
    const cv::Mat image = Scene([](cv::Mat& m) { cv::circle(m, {60, 60}, 9, cv::Scalar(1000), 2); });
    EpiCellCountingAlgoParams p = RegionParams();
    p.showThreshold0Pixels = true;
    cv::Mat overlay;
    std::vector<CellDetection> detections;
    Tovanix::String error;
    ASSERT_TRUE(EpiCellCountingAlgo(image, p, detections, error, &overlay));
    ASSERT_EQ(overlay.size(), image.size());
    EXPECT_EQ(overlay.at<uint8_t>(210, 210), kEpiCodeThreshold0);  // the patch is below threshold 1
    EXPECT_EQ(overlay.at<uint8_t>(60, 51), kEpiCodeThreshold0);    // on the ring
    EXPECT_EQ(overlay.at<uint8_t>(5, 5), 0);                       // outside the region

    p.showThreshold1Pixels = true;
    p.showFoundObjectPixels = true;
    overlay = cv::Mat(300, 300, CV_8UC1, cv::Scalar(9));  // unmarked pixels keep their value
    ASSERT_TRUE(EpiCellCountingAlgo(image, p, detections, error, &overlay));
    EXPECT_EQ(overlay.at<uint8_t>(210, 210), kEpiCodeThreshold1);  // between the thresholds
    EXPECT_EQ(overlay.at<uint8_t>(60, 51), kEpiCodeFoundObject);
    EXPECT_EQ(overlay.at<uint8_t>(30, 30), 9);
}

TEST(EpiCellCountingAlgo, RefusesImagesAndRegions)
{
    const cv::Mat image(300, 300, CV_16UC1, cv::Scalar(5000));
    const struct {
        cv::Mat image;
        int left, top, right, bottom;
        const char* error;
    } cases[] = {
        {cv::Mat(), 10, 10, 289, 289, "EpiCellCountingAlgo() - image has no data."},
        {cv::Mat(300, 300, CV_8UC1), 10, 10, 289, 289, "EpiCellCountingAlgo() - image must be type CV_16UC1"},
        {cv::Mat(99, 300, CV_16UC1), 10, 10, 89, 89, "EpiCellCountingAlgo() - image size must be at least 100 x 100"},
        {image, 0, 0, 299, 200, "EpiCellCountingAlgo() - invalid region of interest."},  // as wide as the image
        {image, 260, 10, 320, 200, "EpiCellCountingAlgo() - invalid region of interest."},  // past the right edge
        {image, 10, 250, 200, 310, "EpiCellCountingAlgo() - invalid region of interest."},  // past the bottom
        {image, 10, 10, 40, 200,
         "Region of interest must be at lest 50 pixels wide\n"},  // the parameters' own check first
    };
    for (const auto& c : cases) {
        EpiCellCountingAlgoParams p;
        p.Left = c.left;
        p.Top = c.top;
        p.Right = c.right;
        p.Bottom = c.bottom;
        std::vector<CellDetection> detections;
        Tovanix::String error;
        EXPECT_FALSE(EpiCellCountingAlgo(c.image, p, detections, error, nullptr));
        EXPECT_STREQ(error.c_str(), c.error);
        EXPECT_TRUE(detections.empty());
    }
}
