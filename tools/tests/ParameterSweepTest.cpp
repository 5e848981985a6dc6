// The parameter sweep: the grid of values, the request's checks, and the
// worker over two synthetic images with its log, its stop and its run folder.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <atomic>

#include "analysis/testsupport/SyntheticCells.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "tools/CountingParamSet.h"
#include "tools/ParameterSweep.h"
#include "tools/tests/CountingTestSupport.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// A folder with two synthetic images and a set that finds their cells.
struct SweepFolder {
    explicit SweepFolder(const std::string& name)
    {
        root = MakeDataRoot(name, "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\n");
        folder = root / "images";
        fs::create_directories(folder);
        for (int i = 0; i < 2; ++i) {
            SyntheticCellSpec spec;
            spec.cellCount = 3 + i;
            spec.seed = 10 + i;
            cells[i] = MakeSyntheticCellImage(spec).centres.size();
            cv::imwrite((folder / ("img" + std::to_string(i) + ".png")).string(), MakeSyntheticCellImage(spec).image);
        }
        std::string error;
        EXPECT_TRUE(SaveCountingParamSet("Rings", RingCountingValues(320, 240), &error)) << error;
        request.paramSetName = "Rings";
        request.paramName = "MFilterThreshold1";
        request.startText = "9000";
        request.stopText = "10000";
        request.stepText = "500";
        request.folder = folder.string();
        request.fileNames = {"img0.png", "img1.png"};
    }
    fs::path root;
    fs::path folder;
    size_t cells[2] = {};
    SweepRequest request;
};

}  // namespace

TEST(ParameterSweep, ValuesVisitTheInclusiveGrid)
{
    struct Case {
        double start, stop, step;
        std::vector<double> values;
    };
    const Case cases[] = {
        {5, 10, 1, {5, 6, 7, 8, 9, 10}},
        {10, 12, 1, {10, 11, 12}},
        {10, 20, 5, {10, 15, 20}},
        {0, 0.3, 0.1, {0, 0.1, 0.2, 0.3}},  // 0.3 / 0.1 comes out a hair below 3
        {1, 2.5, 1, {1, 2}},
    };
    for (const Case& c : cases) {
        const std::vector<double> values = SweepValues(c.start, c.stop, c.step);
        ASSERT_EQ(values.size(), c.values.size()) << c.start << ".." << c.stop << " by " << c.step;
        for (size_t j = 0; j < values.size(); ++j) {
            EXPECT_NEAR(values[j], c.values[j], 1e-12);
            EXPECT_LE(values[j], c.stop);
        }
    }
    const std::vector<double> tenths = SweepValues(0, 1, 0.1);
    ASSERT_EQ(tenths.size(), 11u);
    EXPECT_EQ(tenths.back(), 1.0);
}

TEST(ParameterSweep, RequestChecks)
{
    SweepFolder f("sweep-checks");
    struct Case {
        const char* start;
        const char* stop;
        const char* step;
        const char* param;
        bool files;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"5", "10", "1", "ObjectRadius1", true, {}},
        {"0", "1000", "1", "ObjectRadius1", true, {}},
        {"0", "1001", "1", "ObjectRadius1", true, {"Number of steps must be less than or equal to 1000."}},
        {"10", "10", "1", "ObjectRadius1", true, {"StopLevel1 must be greater than StartLevel1"}},
        {"5", "10", "0", "ObjectRadius1", true, {"StepLevel1 must be greater than zero."}},
        {"x", "10", "1", "ObjectRadius1", true, {"StartLevel1 must be a valid floating point number."}},
        {"5", "10", "1", "NoSuchKey", false,
         {"You must select at least one file.", "Params file does not have parameter: NoSuchKey"}},
    };
    for (const Case& c : cases) {
        SweepRequest request = f.request;
        request.startText = c.start;
        request.stopText = c.stop;
        request.stepText = c.step;
        request.paramName = c.param;
        if (!c.files)
            request.fileNames.clear();
        EXPECT_EQ(request.Validate(), c.problems) << c.start << " " << c.stop << " " << c.step << " " << c.param;
    }
}

TEST(ParameterSweep, WorkerCountsEveryImageAtEveryValueAndWritesItsLog)
{
    SweepFolder f("sweep-run");
    f.request.fileNames.push_back("missing.png");
    ASSERT_TRUE(f.request.Validate().empty());
    platform::ManualClock clock;
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 11;
    when.tm_hour = 9;
    when.tm_min = 8;
    when.tm_sec = 7;
    when.tm_isdst = -1;
    clock.SetWallTime(std::chrono::system_clock::from_time_t(std::mktime(&when)));
    std::vector<std::string> statuses;
    ToolWorkerContext context;
    context.clock = &clock;
    context.status = [&](const std::string& text) { statuses.push_back(text); };

    const SweepReport report = RunParameterSweep(f.request, context);
    ASSERT_TRUE(report.error.empty()) << report.error;
    EXPECT_EQ(report.logPath, (f.folder / "AlgoIterTool_20261211_090807" / "AlgoIteratorTool.log").string());
    const std::vector<std::string> log = Lines(ReadFile(report.logPath));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "# ComputerName=" + platform::GetComputerName());
    EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.end()), report.lines);
    // The description lines, then per image its header and three values.
    const auto header = std::find(report.lines.begin(), report.lines.end(), "File\tParam\tValue\tCount1\tCount2");
    ASSERT_NE(header, report.lines.end());
    const std::vector<std::string> table(header, report.lines.end());
    ASSERT_EQ(table.size(), 9u);
    EXPECT_EQ(table[1], "img0.png\tMFilterThreshold1\t9000\t" + std::to_string(f.cells[0]) + "\t0");
    EXPECT_EQ(table[3].substr(0, 33), "img0.png\tMFilterThreshold1\t10000\t");
    EXPECT_EQ(table[4], "File\tParam\tValue\tCount1\tCount2");
    EXPECT_EQ(table[5], "img1.png\tMFilterThreshold1\t9000\t" + std::to_string(f.cells[1]) + "\t0");
    EXPECT_EQ(table[8], "Image does not exist\t" + (f.folder / "missing.png").string());
    EXPECT_EQ(statuses.front(), "file[1:3] step[1:3]");
    EXPECT_EQ(statuses.back(), "");

    // A second run within the same second finds its folder taken.
    const SweepReport again = RunParameterSweep(f.request, context);
    EXPECT_EQ(again.error, "Can't create output directory: " + (f.folder / "AlgoIterTool_20261211_090807").string());
    EXPECT_TRUE(again.logPath.empty());
}

TEST(ParameterSweep, StopDuringTheFirstImageStillWritesWhatWasDone)
{
    SweepFolder f("sweep-stop");
    ASSERT_TRUE(f.request.Validate().empty());
    std::atomic<bool> stop{false};
    int steps = 0;
    ToolWorkerContext context;
    context.stop = &stop;
    context.status = [&](const std::string& text) {
        if (!text.empty() && ++steps == 2)
            stop = true;
    };
    const SweepReport report = RunParameterSweep(f.request, context);
    ASSERT_FALSE(report.logPath.empty()) << report.error;
    const auto header = std::find(report.lines.begin(), report.lines.end(), "File\tParam\tValue\tCount1\tCount2");
    ASSERT_NE(header, report.lines.end());
    EXPECT_EQ(report.lines.end() - header, 3);  // the header and two values
    EXPECT_GT(header - report.lines.begin(), 0);  // after the description
}

TEST(ParameterSweep, UnreadableImagesAndSetsAreReportLines)
{
    SweepFolder f("sweep-bad");
    WriteFile(f.folder / "broken.png", "not an image");
    f.request.fileNames = {"broken.png"};
    ASSERT_TRUE(f.request.Validate().empty());
    SweepReport report = RunParameterSweep(f.request, ToolWorkerContext{});
    ASSERT_FALSE(report.lines.empty());
    EXPECT_EQ(report.lines.back(), "Problem trying to load image: " + (f.folder / "broken.png").string());

    // A set that cannot be loaded leaves only the loader's text.
    WriteFile(f.root / "LIB" / "Rings.counting_params", "[CountingAlgorithmDlg]\r\nMFilterThreshold1=5\r\n");
    platform::ManualClock clock;
    clock.SetWallTime(std::chrono::system_clock::from_time_t(1000000000));  // another run folder
    ToolWorkerContext context;
    context.clock = &clock;
    report = RunParameterSweep(f.request, context);
    ASSERT_TRUE(report.error.empty()) << report.error;
    ASSERT_EQ(report.lines.size(), 1u);
    EXPECT_NE(report.lines[0].find("Rings.counting_params"), std::string::npos) << report.lines[0];
    EXPECT_EQ(ReadFile(report.logPath).find("File\t"), std::string::npos);
}
