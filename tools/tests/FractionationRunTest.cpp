// The fractionation run on a synthetic folder: the divider row, each image's
// top fraction and weight, images without signal, a failing image, and the
// report's lines; then the tool's settings-file rows and ROI choice.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "app/FlowSplit.h"
#include "tools/FractionationRun.h"
#include "tools/tests/ToolTestSupport.h"

#include <cmath>

using namespace tools_testing;

namespace {

// 100 x 200 images; background 4000, a dark band of cells from row `from`.
void WriteImage(const fs::path& path, int from, int to) {
    cv::Mat image(200, 100, CV_16UC1, cv::Scalar(4000));
    if (from >= 0) image.rowRange(from, to + 1).setTo(cv::Scalar(2000));
    cv::imwrite(path.string(), image);
}

std::string LogRow(const std::string& name, const std::string& q1, const std::string& q2) {
    return name + "\td\tt\t100\tOK\t0\t1\t1\t1\t" + q1 + "\t" + q2 + "\t0\t0\r\n";
}

struct Folder {
    fs::path root, images;
};

Folder MakeFolder(const std::string& name) {
    Folder f;
    f.root = MakeDataRoot(name, "[ROI]\r\nitem0=\"Band\",10,89,20,179\r\n");
    f.images = f.root / "images";
    WriteFile(f.root / "LIB" / "Fr.pa_params", "[RightSideProjection]\r\nSmoothingWindowMicrons=0\r\n");
    WriteFile(f.images / "ExperimentSettings.ini",
              "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nUpperChannel=40\r\nLowerChannel=159\r\n");
    for (int i = 0; i < 3; ++i) WriteImage(f.images / ("bg" + std::to_string(i) + ".png"), -1, -1);
    WriteImage(f.images / "a.png", 60, 70);    // wholly above the divider row 100
    WriteImage(f.images / "b.png", 130, 140);  // its mirror below it
    WriteImage(f.images / "z.png", -1, -1);    // no signal at all
    WriteImage(f.images / "m.png", 60, 70);    // not in the capture log
    WriteFile(f.images / "run.log", std::string(kCaptureLogHeader) + "\r\n" + LogRow("a.png", "1", "1") +
                                        LogRow("B.PNG", "2", "2") + LogRow("z.png", "1", "1"));
    return f;
}

FractionationRequest MakeRequest(const Folder& f, std::vector<std::string> images) {
    FractionationRequest request;
    request.folder = f.images.string();
    for (int i = 0; i < 3; ++i) request.backgroundPaths.push_back((f.images / ("bg" + std::to_string(i) + ".png")).string());
    request.roiName = "Band";
    request.paramSetName = "Fr";
    for (const auto& name : images) request.imagePaths.push_back((f.images / name).string());
    request.programVersion = "1.0";
    return request;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST(FractionationRun, DividerRowRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(FractionationDividerRow(400, 1500, 0.5), 951);
    EXPECT_EQ(FractionationDividerRow(40, 159, 0.5), 100);
    EXPECT_EQ(FractionationDividerRow(40, 159, 0.0), 40);
}

TEST(FractionationRun, SplitsTheSignalAtTheDividerAndWritesTheReport)
{
    const Folder f = MakeFolder("fract_run");
    LogFileData log;
    std::string error;
    ASSERT_TRUE(log.Load(f.images.string(), error)) << error;
    std::vector<std::string> status;
    ToolWorkerContext context;
    context.status = [&](const std::string& s) { status.push_back(s); };

    const FractionationResult result =
        WORKER_THREAD_AnalyzeFractionation(MakeRequest(f, {"a.png", "b.png", "z.png", "m.png", "a.png"}), log, context);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0], "Missing log file data for image: " + (f.images / "m.png").string());
    ASSERT_EQ(result.images.size(), 5u);
    EXPECT_FLOAT_EQ(result.images[0].fractTop, 1.0f);
    EXPECT_FLOAT_EQ(result.images[1].fractTop, 0.0f);
    EXPECT_FLOAT_EQ(result.images[0].weight, 0.5f);
    EXPECT_FLOAT_EQ(result.images[1].weight, 0.5f);
    // No signal: 0, never 0/0.
    EXPECT_EQ(result.images[2].fractTop, 0.0f);
    EXPECT_EQ(result.images[2].weight, 0.0f);
    EXPECT_FLOAT_EQ(result.images[2].chanDiv, 0.5f);
    // Nothing after the failing image is processed.
    EXPECT_EQ(result.images[4].weight, 0.0f);
    EXPECT_NEAR(result.totalTop, 0.5, 1e-6);
    EXPECT_EQ(status.front(), "Computing baseline.");
    EXPECT_EQ(status.back(), "Image 4 of 5");

    ASSERT_FALSE(result.reportPath.empty());
    EXPECT_EQ(fs::path(result.reportPath).filename().string().rfind("FractionationAnalysis_", 0), 0u);
    const std::string text = ReadFile(result.reportPath);
    EXPECT_EQ(text.find("nan"), std::string::npos);
    const auto lines = Lines(text);
    ASSERT_GT(lines.size(), 30u);
    EXPECT_EQ(lines[0], "Tessaly Vellora version 1.0");
    EXPECT_EQ(lines[1], "Cell Fractionation Report");
    EXPECT_EQ(lines[2], "upper_channel\t40");
    EXPECT_EQ(lines[3], "lower_channel\t159");
    EXPECT_EQ(lines[4], "roi_name\tBand");
    EXPECT_EQ(lines[5], "roi.left\t10");
    EXPECT_EQ(lines[6], "roi.right\t89");
    EXPECT_EQ(lines[7], "roi.top\t20");
    EXPECT_EQ(lines[8], "roi.bottom\t179");
    EXPECT_EQ(lines[10], "bg_image_count\t3");
    EXPECT_EQ(lines[12], "bg0.png\t4000");
    EXPECT_EQ(lines[15], "total_fraction_cells_to_the_top\t0.500000");
    EXPECT_EQ(lines[16], "total_fraction_cells_to_the_bottom\t0.500000");
    EXPECT_EQ(lines[17], "image_count\t5");
    EXPECT_EQ(lines[19], "a.png\t1.000000\t0.500000\t0.500000");
    EXPECT_EQ(lines[21], "z.png\t0.000000\t0.000000\t0.500000");
    EXPECT_EQ(lines[22], "m.png\t0.000000\t0.000000\t0.000000");
    EXPECT_EQ(lines[24], "*************** Projection data **********************");
    EXPECT_EQ(lines[25], "a.png\tb.png\tz.png\tm.png\ta.png");
    EXPECT_EQ(lines.size(), 26u + 160u);
    // Row 65 (ROI row 45) is inside a's band: signal there, none for b.
    const auto row65 = lines[26 + 45];
    EXPECT_NE(row65.rfind("0\t", 0), 0u) << row65;
    EXPECT_NE(row65.find("\t0\t0\t0\t0"), std::string::npos) << row65;
    EXPECT_NE(text.find("\r\n"), std::string::npos);
}

TEST(FractionationRun, RefusalsEndTheRunWithTheirMessages)
{
    const Folder f = MakeFolder("fract_refusals");
    LogFileData log;
    ToolWorkerContext context;
    struct Case {
        std::function<void(FractionationRequest&)> change;
        std::string error;
    } cases[] = {
        {[](FractionationRequest& r) { r.backgroundPaths.clear(); }, "Must select one or more backgroud images."},
        {[](FractionationRequest& r) { r.roiName = "Nope"; },
         "ROI object \"Nope\" does not exist in file: " + std::string(g_IniPath.GetString())},
        {[](FractionationRequest& r) { r.paramSetName.clear(); }, "You must choose a projection parameters file."},
        {[&](FractionationRequest& r) { r.backgroundPaths.push_back((f.images / "gone.png").string()); },
         "File does not exist: " + (f.images / "gone.png").string()},
    };
    for (const Case& c : cases) {
        FractionationRequest request = MakeRequest(f, {"a.png"});
        c.change(request);
        const FractionationResult result = WORKER_THREAD_AnalyzeFractionation(request, log, context);
        ASSERT_EQ(result.errors.size(), 1u) << c.error;
        EXPECT_EQ(result.errors[0].rfind(c.error, 0), 0u) << result.errors[0];
        EXPECT_TRUE(result.reportPath.empty());
    }
}

TEST(FractionationTool, RowsOfTheFoldersSettingsFile)
{
    const Folder f = MakeFolder("fract_rows");
    WriteFile(f.images / "ExperimentSettings.ini",
              "[CalibrationSettings]\r\nUpperMagnet=30\r\nLowerMagnet=x\r\n[Cartridge]\r\nCartridgeUpperChannel=40\r\n");
    ChannelMagnetRows rows{0, 0, 0, 0};
    std::string error;
    ASSERT_TRUE(LoadFolderCalibration(f.images.string(), rows, error));
    EXPECT_EQ(rows, (ChannelMagnetRows{40, -1, 30, -1}));
    ASSERT_TRUE(StoreFolderCalibrationValue(f.images.string(), "lowerchannel", 170, rows));
    ASSERT_TRUE(StoreFolderCalibrationValue(f.images.string(), "LowerMagnet", 150, rows));
    EXPECT_FALSE(StoreFolderCalibrationValue(f.images.string(), "Middle", 1, rows));
    ChannelMagnetRows reread{};
    ASSERT_TRUE(LoadFolderCalibration(f.images.string(), reread, error));
    EXPECT_EQ(reread, (ChannelMagnetRows{40, 170, 30, 150}));

    const fs::path bare = f.root / "bare";
    fs::create_directories(bare);
    EXPECT_FALSE(LoadFolderCalibration(bare.string(), rows, error));
    EXPECT_EQ(error, "There is no ExperimentSettings.ini file here: " + bare.string());
    EXPECT_FALSE(StoreFolderCalibrationValue(bare.string(), "UpperMagnet", 1, rows));
    error.clear();
    EXPECT_FALSE(LoadFolderCalibration((f.root / "missing").string(), rows, error));
    EXPECT_TRUE(error.empty());

    // The image folder's own ROI, named in any case.
    FractionationRoi roi;
    WriteFile(f.images / "ExperimentSettings.ini", "[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n");
    ASSERT_TRUE(ResolveFractionationRoi(f.images.string(), "[imagedir]\\experimentsettings.INI", roi, error)) << error;
    EXPECT_GT(roi.bottom, roi.top);
    EXPECT_EQ(ListFractionationRois(f.images.string()),
              (std::vector<std::string>{"Band", "[ImageDir]\\ExperimentSettings.ini"}));
}

TEST(FractionationTool, EmptyDividerTextLeavesTheFlowSplit)
{
    UpdateFlowSplit([](FlowSplitValues& v) {
        v.FlowSplitFraction = 0.42;
        v.FlowSplitChanged = false;
        v.FlowSplitLineVisible = false;
    });
    EXPECT_FALSE(ApplyChannelDividerText(""));
    EXPECT_FALSE(ApplyChannelDividerText("abc"));
    EXPECT_EQ(GetFlowSplit().FlowSplitFraction, 0.42);
    EXPECT_TRUE(GetFlowSplit().FlowSplitLineVisible);
    EXPECT_FALSE(GetFlowSplit().FlowSplitChanged);
    EXPECT_TRUE(ApplyChannelDividerText("0.6"));
    EXPECT_EQ(GetFlowSplit().FlowSplitFraction, 0.6);
    EXPECT_TRUE(GetFlowSplit().FlowSplitChanged);
}
