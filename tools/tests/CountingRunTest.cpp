// The counting tool's run: the request's checks, the detection on a
// synthetic image, the report and summary formats, the height histogram and
// the report's name beside the image.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "analysis/testsupport/SyntheticCells.h"
#include "platform/Sync.h"
#include "tools/CountingRun.h"
#include "tools/tests/CountingTestSupport.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

namespace {

CountingRequest Request(const CountingParamValues& values, const char* upper = "100", const char* lower = "1800")
{
    CountingRequest request;
    request.values = values;
    request.upperMagnet = upper;
    request.lowerMagnet = lower;
    request.pixelsPerMm = 1000.0;
    return request;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

TEST(CountingRun, RequestChecks)
{
    struct Case {
        const char* key;  // null: a magnet or the scale
        const char* value;
        const char* problem;  // null: accepted
    };
    const Case cases[] = {
        {"ObjectRadiusSweep1", "21", "Radius sweep must be between 0 and 20"},
        {"ObjectRadiusSweep2", "-1", "Radius sweep must be between 0 and 20"},
        {"ObjectRadiusSweep1", "20", nullptr},
        {"Bottom", "119", "CountingAlgorithmDlg::process_image () Bottom - Top must be greater than or equal to 20 pixel rows"},
        {"Bottom", "120", nullptr},
        {"Bottom", "240", "CountingAlgorithmDlg::process_image () Bottom must be less than image height 240"},
        {"Bottom", "239", nullptr},
        {"Left", "-5", nullptr},  // left and right are the algorithm's business
        {"Right", "5000", nullptr},
        {"ObjectRadius1", "abc", "ObjectRadius1 must be a number."},
        {"Top", "", "Top must be a whole number."},
        {"MFilterSamples2", "x", "MFilterSamples2 must be a whole number."},
        {"CFilterThreshold1", "x", nullptr},  // falls back to 1
        {nullptr, "upper=lower", "The upper and lower magnet heights must differ."},
        {nullptr, "upper=x", "Upper magnet height must be a whole number."},
        {nullptr, "ppmm=0", "image_pixels_per_mm must be greater than zero."},
    };
    for (const Case& c : cases) {
        CountingParamValues values = RingCountingValues(320, 240);
        values.Set("Top", "100");
        CountingRequest request = Request(values);
        if (c.key) {
            request.values.Set(c.key, c.value);
        } else if (std::string(c.value) == "upper=lower") {
            request.upperMagnet = "1800";
        } else if (std::string(c.value) == "upper=x") {
            request.upperMagnet = "x";
        } else {
            request.pixelsPerMm = 0;
        }
        const std::vector<std::string> problems = request.Validate(240);
        if (c.problem) {
            EXPECT_EQ(problems, std::vector<std::string>{c.problem}) << (c.key ? c.key : "") << "=" << c.value;
        } else {
            EXPECT_TRUE(problems.empty()) << (c.key ? c.key : "") << "=" << c.value << ": " << problems.front();
        }
    }
}

TEST(CountingRun, HeightBinsStayInsideTheHistogram)
{
    EXPECT_DOUBLE_EQ(RelativeHeight(100, 1800, 100), 1.0);
    EXPECT_DOUBLE_EQ(RelativeHeight(1800, 1800, 100), 0.0);
    EXPECT_EQ(HeightBin(1.0), 29);           // on the upper magnet line
    EXPECT_EQ(HeightBin(1.5), 29);           // above it
    EXPECT_EQ(HeightBin(28.0 / 29.0 + 1e-9), 28);
    EXPECT_EQ(HeightBin(0.0), 0);
    EXPECT_EQ(HeightBin(RelativeHeight(1900, 1800, 100)), 0);  // below the lower magnet
    EXPECT_EQ(HeightBin(-5.0), 0);
}

TEST(CountingRun, ReportNamesCountUpToAHundred)
{
    const fs::path folder = TestRoot() / "names";
    const std::string image = WriteFile(folder / "img.png", "x");
    EXPECT_EQ(ChooseCountingReportPath(image), (folder / "img.txt").string());
    WriteFile(folder / "img.txt", "");
    EXPECT_EQ(ChooseCountingReportPath(image), (folder / "img[1].txt").string());
    for (int n = 1; n <= 100; ++n)
        WriteFile(folder / ("img[" + std::to_string(n) + "].txt"), "");
    EXPECT_EQ(ChooseCountingReportPath(image), (folder / "img[100].txt").string());
    EXPECT_EQ(CountingSummaryPath((folder / "img[7].txt").string()), (folder / "img[7].sum.txt").string());
}

TEST(CountingRun, RunsOnASyntheticImageAndWritesReportAndSummary)
{
    MakeDataRoot("report");
    SyntheticCellSpec spec;
    spec.cellCount = 6;
    const SyntheticCellImage synthetic = MakeSyntheticCellImage(spec);
    const fs::path folder = TestRoot() / "report" / "images";
    fs::create_directories(folder);
    const std::string image = (folder / "cells.png").string();
    ASSERT_TRUE(cv::imwrite(image, synthetic.image));

    // Magnets at rows 0 and 200: heights run from 1 at the top to below 0
    // under row 200, where the old histogram index went negative.
    CountingRequest request = Request(RingCountingValues(spec.size.width, spec.size.height), "0", "200");
    ASSERT_TRUE(request.Validate(spec.size.height).empty());
    CountingResult result;
    RunCounting(synthetic.image, request, result);
    ASSERT_EQ(result.detections.size(), 2u);
    ASSERT_EQ(result.detections[0].size(), synthetic.centres.size());
    EXPECT_TRUE(result.outputImage.empty());  // "Restore Image" keeps the stored image

    const std::string reportPath = ChooseCountingReportPath(image);
    std::string error;
    ASSERT_TRUE(WriteCountingReports(image, request, result, reportPath, &error)) << error;
    const std::vector<std::string> report = Lines(ReadFile(reportPath));
    ASSERT_GT(report.size(), 31u);
    EXPECT_EQ(report[0], "Vellora\tVersion\t1.0.0.0");
    EXPECT_EQ(report[1], "# ComputerName=" + platform::GetComputerName());
    EXPECT_EQ(report[2], "# image\t" + image);
    EXPECT_EQ(report[3], "# b_edge_processing\tfalse");
    EXPECT_EQ(report[4], "# ROI left\t0");
    EXPECT_EQ(report[7], "# ROI bottom\t239");
    EXPECT_EQ(report[8], "# Upper magnet height\t0");
    EXPECT_EQ(report[12], "# radius1\t10.000\tum");
    EXPECT_EQ(report[14], "# ppmm\t1000.000");
    EXPECT_EQ(report[15], "# radius1\t10.000\tpix");
    EXPECT_EQ(report[29], "# count1\t6");
    EXPECT_EQ(report[30], "# count2\t0");
    EXPECT_EQ(report[31], "sz_idx\tidx\tix\tiy\tconfidence\theight\tradius(um)");
    ASSERT_EQ(report.size(), 32u + 6u);
    const CellDetection& first = result.detections[0][0];
    char expected[128];
    std::snprintf(expected, sizeof expected, "1\t0\t%d\t%d\t%7.4f\t%5.3lf\t%3.1f\t", first.x, first.y,
                  static_cast<double>(first.score), (200.0 - first.y) / 200.0,
                  static_cast<double>(first.radius));
    EXPECT_EQ(report[32], expected);

    const std::vector<std::string> summary = Lines(ReadFile(CountingSummaryPath(reportPath)));
    ASSERT_EQ(summary.size(), 31u + 6u + 30u);  // the type-2 line runs into the blank line
    EXPECT_EQ(summary[31], "itype\tavg_y\tstdev_y");
    EXPECT_EQ(summary[32].rfind("1\t", 0), 0u);
    EXPECT_EQ(summary[33], "\t\t");
    EXPECT_EQ(summary[34], "");
    EXPECT_EQ(summary[35], "**************** Histograms **********************");
    EXPECT_EQ(summary[36], "height\tcount1\tcount2");
    int counted = 0;
    for (int i = 0; i < 30; ++i) {
        int count1 = 0, count2 = 0;
        char label[16];
        std::snprintf(label, sizeof label, "%5.3lf", i / 30.0);
        ASSERT_EQ(summary[37 + i].rfind(std::string(label) + "\t", 0), 0u) << summary[37 + i];
        std::sscanf(summary[37 + i].c_str() + std::strlen(label), "\t%d\t%d", &count1, &count2);
        counted += count1;
        EXPECT_EQ(count2, 0);
    }
    EXPECT_EQ(counted, 6);  // detections under the lower magnet are counted in bin 0
}

TEST(CountingRun, UnwritableReportIsNamed)
{
    CountingRequest request = Request(RingCountingValues(320, 240));
    CountingResult result;
    result.detections.assign(2, {});
    std::string error;
    const std::string path = (TestRoot() / "no" / "such" / "folder" / "x.txt").string();
    EXPECT_FALSE(WriteCountingReports("x.png", request, result, path, &error));
    EXPECT_EQ(error, "Can't create file: " + path);
}
