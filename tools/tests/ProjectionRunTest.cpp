// The projection batch run on a synthetic folder: the Run button's checks,
// the worker's settings checks, the run folder with its summary and tables,
// the frame index over failing images, stop, and the peak columns.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "platform/Clock.h"
#include "platform/Sync.h"
#include "support/ShellUtils.h"
#include "tools/LogFileData.h"
#include "tools/ProjectionRun.h"
#include "tools/tests/ToolTestSupport.h"

#include <chrono>
#include <ctime>
#include <functional>

using namespace tools_testing;

namespace {

// 100 x 200 images of background 1000 with a bright band of rows.
void WriteImage(const fs::path& path, int from, int to, int width = 100) {
    cv::Mat image(200, width, CV_16UC1, cv::Scalar(1000));
    if (from >= 0) image.rowRange(from, to + 1).setTo(cv::Scalar(5000));
    cv::imwrite(path.string(), image);
}

std::string LogRow(const std::string& name, const std::string& time, const std::string& pumps) {
    return name + "\t2026/12/11\t" + time + "\t100\tOK\t0\t1\t1\t1\t" + pumps + "\r\n";
}

const char kSettings[] = "[CalibrationSettings]\r\nUpperMagnet=0\r\nLowerMagnet=200\r\nimage_pixels_per_mm=1000\r\n";

struct Folder {
    fs::path root, images;
};

Folder MakeFolder(const std::string& name) {
    Folder f;
    f.root = MakeDataRoot(name, "[ROI]\r\nitem0=\"Band\",10,89,20,179\r\n");
    f.images = f.root / "images";
    WriteFile(f.root / "LIB" / "Pa.PA_params",
              "[RightSideProjection]\r\nSmoothingWindowMicrons=5\r\nNumPeaksToFind=1\r\nStdevIntegrationArea=1.0\r\n"
              "IntegrationSamples=11\r\nFindValleys=FALSE\r\nROI_name=Other\r\n");
    WriteFile(f.root / "LIB" / "Lp.LP_curve_params",
              "[LPCurveParams]\r\nChiGd_factor=0.0003\r\nrhobuffer=1.0\r\nmunot=1.0\r\ng=9.81\r\ncubic=0\r\n"
              "square=0\r\nlinear=2\r\nconstant=1\r\nmag_gap=1.5\r\nChiPar=0\r\n");
    WriteFile(f.images / "ExperimentSettings.ini", kSettings);
    WriteImage(f.images / "bg0.png", -1, -1);
    WriteImage(f.images / "bg1.png", -1, -1);
    WriteImage(f.images / "a.png", 90, 100);
    WriteImage(f.images / "b.png", 110, 120);
    WriteImage(f.images / "c.png", 60, 70);
    WriteImage(f.images / "narrow.png", 90, 100, 50);  // narrower than the ROI
    WriteFile(f.images / "broken.png", "not an image");
    WriteFile(f.images / "20261211-1000-00.log", std::string("Vellora capture log\r\n") + kCaptureLogHeader + "\r\n" +
                                                     LogRow("a.png", "10:00:00.000", "10\t20\t1.5\t2.5") +
                                                     LogRow("B.PNG", "10:01:30.000", "11\t21\t3\t4") +
                                                     LogRow("c.png", "10:03:00.000", "12\t22\t4.5\t5.5"));
    return f;
}

ProjectionRunRequest MakeRequest(const Folder& f, std::vector<std::string> files) {
    ProjectionRunRequest request;
    request.folder = f.images.string();
    request.fileNames = std::move(files);
    request.backgroundNames = {"bg0.png", "bg1.png"};
    request.paramSetName = "Pa";
    request.roiName = "Band";
    request.lpCurveName = "Lp";
    request.gdText = "50";
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

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.push_back("");
    return fields;
}

// The summary lines from the column line on.
std::vector<std::string> DataLines(const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("image\tElapsedMin\t", 0) == 0) return {lines.begin() + static_cast<long>(i), lines.end()};
    }
    return {};
}

size_t CountDirectories(const fs::path& folder) {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(folder)) n += entry.is_directory() ? 1 : 0;
    return n;
}

// A run with a fixed wall time, so its folder name is known beforehand.
struct RunWithFixedTime {
    platform::ManualClock clock;
    std::atomic<bool> stop{false};
    std::vector<std::string> status;
    std::function<void(const std::string&)> onStatus;
    ToolWorkerContext context;

    RunWithFixedTime() {
        std::tm t{};
        t.tm_year = 2026 - 1900;
        t.tm_mon = 11;
        t.tm_mday = 11;
        t.tm_hour = 10;
        t.tm_min = 20;
        t.tm_sec = 5;
        t.tm_isdst = -1;
        clock.SetWallTime(std::chrono::system_clock::from_time_t(std::mktime(&t)));
        context.clock = &clock;
        context.stop = &stop;
        context.status = [this](const std::string& s) {
            status.push_back(s);
            if (onStatus) onStatus(s);
        };
    }

    ProjectionRunResult operator()(const ProjectionRunRequest& request) {
        ProjectionAnalysisParams params;
        LPCurveParams lp;
        ProjectionRunMessage refusal;
        EXPECT_TRUE(PrepareProjectionRun(request, params, lp, refusal)) << refusal.text;
        return WORKER_THREAD_AnalyzeProjections(request, params, lp, context);
    }
};

const char kRunFolderName[] = "20261211-1020-05";

}  // namespace

TEST(ProjectionRun, PrepareRefusesInTheRunButtonsOrder)
{
    const Folder f = MakeFolder("proj_prepare");
    struct Case {
        std::function<void(ProjectionRunRequest&)> change;
        std::string message;  // empty: accepted
        bool logged;
    } cases[] = {
        {[](ProjectionRunRequest& r) { r.fileNames.clear(); r.paramSetName.clear(); },
         "You must select at least one image.", false},
        {[](ProjectionRunRequest& r) { r.paramSetName.clear(); r.lpCurveName.clear(); },
         "You must select a projection params file from the drop down.", true},
        {[](ProjectionRunRequest& r) { r.lpCurveName.clear(); r.gdText = "0"; },
         "You must select an lp curve file the drop down.", true},
        {[](ProjectionRunRequest& r) { r.gdText = "0.001"; }, "Gd_conc must be between 0.001 and 1000 mM", true},
        {[](ProjectionRunRequest& r) { r.gdText = "1000"; }, "Gd_conc must be between 0.001 and 1000 mM", true},
        {[](ProjectionRunRequest& r) { r.gdText = "many"; }, "Gd_conc must be between 0.001 and 1000 mM", true},
        {[](ProjectionRunRequest& r) { r.gdText = "0.0011"; }, "", false},
        {[](ProjectionRunRequest& r) { r.gdText = "999.9"; r.roiName.clear(); },
         "You must select a roi from the drop down.", true},
        {[](ProjectionRunRequest& r) { r.lpCurveName = "None"; r.roiName.clear(); },
         "Missing file: " + (f.root / "LIB" / "None.LP_curve_params").string() + "\n", true},
        {[](ProjectionRunRequest& r) { r.roiName = "Nope"; }, "There is not ROI with name: Nope", true},
    };
    for (const Case& c : cases) {
        ProjectionRunRequest request = MakeRequest(f, {"a.png"});
        c.change(request);
        ProjectionAnalysisParams params;
        LPCurveParams lp;
        ProjectionRunMessage refusal;
        const bool accepted = PrepareProjectionRun(request, params, lp, refusal);
        EXPECT_EQ(accepted, c.message.empty()) << c.message;
        if (c.message.empty()) continue;
        EXPECT_EQ(refusal.text, c.message);
        EXPECT_EQ(refusal.logged, c.logged) << c.message;
        EXPECT_EQ(refusal.errorIcon, c.logged) << c.message;
    }

    // Accepted: the set and the curve are loaded and the named ROI replaces
    // the set's own.
    ProjectionAnalysisParams params;
    LPCurveParams lp;
    ProjectionRunMessage refusal;
    ASSERT_TRUE(PrepareProjectionRun(MakeRequest(f, {"a.png"}), params, lp, refusal)) << refusal.text;
    EXPECT_EQ(params.numPeaksToFind, 1);
    EXPECT_DOUBLE_EQ(params.smoothingWindowMicrons, 5.0);
    EXPECT_STREQ(params.roiName.c_str(), "Other");
    EXPECT_EQ(params.left, 10);
    EXPECT_EQ(params.top, 20);
    EXPECT_EQ(params.right, 89);
    EXPECT_EQ(params.bottom, 179);
    EXPECT_TRUE(lp.loaded);
    EXPECT_DOUBLE_EQ(lp.Gd_conc, 50.0);
}

TEST(ProjectionRun, WritesTheRunFolderSummaryAndTables)
{
    const Folder f = MakeFolder("proj_run");
    std::vector<std::vector<std::string>> started;
    Tovanix::SetProcessStarter([&](const std::vector<std::string>& arguments, const std::string&) {
        started.push_back(arguments);
        return true;
    });
    RunWithFixedTime run;
    ProjectionRunRequest request = MakeRequest(f, {"a.png", "b.png", "c.png"});
    request.openSummary = true;
    const ProjectionRunResult result = run(request);
    Tovanix::SetProcessStarter({});

    EXPECT_TRUE(result.messages.empty()) << result.messages.front().text;
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(result.imagesAnalysed, 3);
    const fs::path folder = f.images / kRunFolderName;
    EXPECT_EQ(result.runFolder, folder.string());
    EXPECT_EQ(result.imageLogPath, (f.images / "20261211-1000-00.log").string());
    EXPECT_EQ(result.summaryPath, (folder / "a.Analysis.txt").string());
    EXPECT_EQ(result.vertProjectionPath, (folder / "a.[vert_proj].txt").string());
    EXPECT_EQ(result.horzProjectionPath, (folder / "a.[horz_proj].txt").string());
    EXPECT_TRUE(fs::exists(folder / "Pa.PA_params"));
    EXPECT_TRUE(fs::exists(folder / "Lp.LP_curve_params"));
    EXPECT_TRUE(fs::exists(folder / "b.[smoothed_vert_proj].txt"));
    EXPECT_EQ(run.status,
              (std::vector<std::string>{"Computing baseline.", "1 of 3", "2 of 3", "3 of 3", ""}));
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].back(), result.summaryPath);

    const std::string computer = "# ComputerName=" + platform::GetComputerName();
    const std::string text = ReadFile(result.summaryPath);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    const auto lines = Lines(text);
    const std::vector<std::string> head = {
        computer,
        "#Vellora_Version=1.0",
        computer,
        "#image_directory=" + f.images.string(),
        "#image_log_used=" + result.imageLogPath,
        "# **** Magnet elevations in vertical pixels ****",
        "#lower_magnet=200",
        "#upper_magnet=0",
        "#LP_curve=Lp",
        "#Projection Analysis params file=Pa",
        "#Gd_conc=50",
        "# *******************  ProjectionAnalysisParams ********************************",
        "# ROI left\t10",
    };
    ASSERT_GT(lines.size(), head.size());
    for (size_t i = 0; i < head.size(); ++i) EXPECT_EQ(lines[i], head[i]);
    EXPECT_NE(text.find("# PixelsPerMM\t1000.00\r\n# ROI_name\tOther\r\n"), std::string::npos);
    EXPECT_NE(text.find("#nbg_images=2\r\nImageFile\tAvgIntensity\r\n#bg0.png\t1000\r\n#bg1.png\t1000\r\n"),
              std::string::npos);

    const auto data = DataLines(lines);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0],
              "image\tElapsedMin\tImageModifyTime\tframe_idx\tMeanIntROI\tMedianIntROI\tPct10IntROI\t"
              "Pump1SpeeULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\tPeakAmplitude[1]\tWidth[1]\t"
              "PeakCenterLocation[1]\tPeakCenterLP[1]\tPeakWidthLP[1]\tFitError[1]\tComputationError[1]");
    const auto a = Fields(data[1]);
    ASSERT_EQ(a.size(), 18u) << data[1];
    EXPECT_EQ(a[0], "a.png");
    EXPECT_EQ(a[1], "0.00");
    EXPECT_EQ(a[2].size(), 19u);  // yyyy/mm/dd hh:mm:ss
    EXPECT_EQ(a[3], "1");
    EXPECT_EQ(a[5], "1000.0");  // median
    EXPECT_EQ(a[6], "1000.0");  // 10th percentile
    EXPECT_EQ(std::vector<std::string>(a.begin() + 7, a.begin() + 11),
              (std::vector<std::string>{"10.0", "20.0", "1.50", "2.50"}));
    // The band of rows 90..100 lies 105 rows below the upper magnet (row 0)
    // of a 200-row gap: height (200 - 95) / 200.
    EXPECT_NEAR(std::stod(a[13]), 0.525, 0.02);
    EXPECT_EQ(a[17], "FALSE");
    const auto b = Fields(data[2]);
    ASSERT_GE(b.size(), 11u);
    EXPECT_EQ(b[1], "1.50");
    EXPECT_EQ(b[3], "2");
    EXPECT_EQ(b[7], "11.0");
    const auto c = Fields(data[3]);
    ASSERT_GE(c.size(), 14u);
    EXPECT_EQ(c[1], "3.00");
    EXPECT_NEAR(std::stod(c[13]), (200.0 - 65) / 200, 0.02);

    const auto vert = Lines(ReadFile(result.vertProjectionPath));
    ASSERT_EQ(vert.size(), 3u + 160u);
    EXPECT_EQ(vert[0], "#Vellora_Version=1.0");
    EXPECT_EQ(vert[1], computer);
    EXPECT_EQ(vert[2], "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP\ta.png\tb.png\tc.png");
    // Row 20: height (200 - 20) / 200 = 0.9, 1.35 mm at a gap of 1.5 mm.
    const auto first = Fields(vert[3]);
    ASSERT_EQ(first.size(), 8u);
    EXPECT_EQ(first[0], "20");
    EXPECT_EQ(first[1], "0.9000");
    EXPECT_EQ(first[2], "1.3500");
    EXPECT_EQ(first[3], "0.0000");
    EXPECT_EQ(std::vector<std::string>(first.begin() + 5, first.end()),
              (std::vector<std::string>{"1000", "1000", "1000"}));
    EXPECT_EQ(Fields(vert[3 + 75]), (std::vector<std::string>{"95", "0.5250", "0.7875", "0.4688",
                                                               Fields(vert[3 + 75])[4], "5000", "1000", "1000"}));

    const auto horz = Lines(ReadFile(result.horzProjectionPath));
    ASSERT_EQ(horz.size(), 3u + 80u);
    EXPECT_EQ(horz[2], "ix\ta.png\tb.png\tc.png");
    // Column means over the 160 ROI rows, 11 of them bright.
    EXPECT_EQ(horz[3], "10\t1275\t1275\t1275");
    EXPECT_EQ(Fields(horz.back())[0], "89");
}

TEST(ProjectionRun, FrameIndexCountsOnlyImagesThatWereProjected)
{
    const Folder f = MakeFolder("proj_frames");
    RunWithFixedTime run;
    const ProjectionRunResult result = run(MakeRequest(f, {"a.png", "broken.png", "narrow.png", "c.png"}));
    EXPECT_EQ(result.imagesAnalysed, 2);
    // Each failed image leaves one line in its place, and the run goes on.
    const auto data = DataLines(Lines(ReadFile(result.summaryPath)));
    ASSERT_EQ(data.size(), 5u);
    EXPECT_EQ(Fields(data[1])[0], "a.png");
    EXPECT_EQ(Fields(data[1])[3], "1");
    EXPECT_EQ(data[2], "Problem trying to load image: " + (f.images / "broken.png").string());
    EXPECT_EQ(data[3], "WORKER_THREAD_AnalyzeProjections() - ROI is not inside the image. (" +
                           (f.images / "narrow.png").string() + ")");
    EXPECT_EQ(Fields(data[4])[0], "c.png");
    EXPECT_EQ(Fields(data[4])[3], "2");

    // The failed images keep their names and empty columns, so every value
    // stays under its own image.
    const auto vert = Lines(ReadFile(result.vertProjectionPath));
    EXPECT_EQ(vert[2], "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP\ta.png\tbroken.png\tnarrow.png\tc.png");
    const auto row = Fields(vert[3 + 75]);
    EXPECT_EQ(std::vector<std::string>(row.begin() + 5, row.end()), (std::vector<std::string>{"5000", "", "", "1000"}));
}

TEST(ProjectionRun, AFirstImageThatFailsLeavesTablesWithoutRows)
{
    const Folder f = MakeFolder("proj_first_fails");
    RunWithFixedTime run;
    const ProjectionRunResult result = run(MakeRequest(f, {"broken.png", "a.png"}));
    EXPECT_EQ(result.imagesAnalysed, 1);
    const fs::path folder = f.images / kRunFolderName;
    EXPECT_EQ(result.summaryPath, (folder / "broken.Analysis.txt").string());
    const auto vert = Lines(ReadFile(folder / "broken.[vert_proj].txt"));
    ASSERT_EQ(vert.size(), 3u);
    EXPECT_EQ(vert[2], "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP\tbroken.png\ta.png");
    const auto horz = Lines(ReadFile(folder / "broken.[horz_proj].txt"));
    ASSERT_EQ(horz.size(), 3u);
    EXPECT_EQ(horz[2], "ix\tbroken.png\ta.png");
    const auto data = DataLines(Lines(ReadFile(result.summaryPath)));
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(Fields(data[1])[3], "1");

    // No image at all: the summary without a column line.
    RunWithFixedTime second;
    second.clock.Advance(std::chrono::seconds(1));
    const ProjectionRunResult none = second(MakeRequest(f, {"broken.png"}));
    EXPECT_EQ(none.imagesAnalysed, 0);
    ASSERT_FALSE(none.summaryPath.empty());
    EXPECT_TRUE(DataLines(Lines(ReadFile(none.summaryPath))).empty());
}

TEST(ProjectionRun, SettingsProblemsEndTheRunBeforeAnyOutput)
{
    const Folder f = MakeFolder("proj_settings");
    const std::string ini = (f.images / "ExperimentSettings.ini").string();
    struct Case {
        std::string settings;  // empty: no settings file
        std::function<void(ProjectionRunRequest&)> change;
        std::string message;
    } cases[] = {
        {kSettings, [](ProjectionRunRequest& r) { r.backgroundNames.clear(); },
         "Must select one or more backgroud images."},
        {kSettings, [](ProjectionRunRequest& r) { r.backgroundNames.push_back("gone.png"); },
         "File does not exist: " + (f.images / "gone.png").string()},
        {"", nullptr, "Missing file: " + ini},
        // The scale is checked before the magnets.
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=0\r\n", nullptr,
         "Missing or invalid CalibrationSettings] image_pixels_per_mm in file: " + ini},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=x\r\nUpperMagnet=0\r\nLowerMagnet=200\r\n", nullptr,
         "Missing or invalid CalibrationSettings] image_pixels_per_mm in file: " + ini},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=10\r\n", nullptr,
         "Pixels per mm is invalid, must be between 30 and 5000"},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nLowerMagnet=200\r\n", nullptr,
         "missing [CalibrationSettings] UpperMagnet from file " + ini},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nUpperMagnet=0\r\nLowerMagnet=low\r\n", nullptr,
         "missing [CalibrationSettings] LowerMagnet from file " + ini},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nUpperMagnet=150\r\nLowerMagnet=150\r\n", nullptr,
         "[CalibrationSettings] UpperMagnet and LowerMagnet must not be equal in file " + ini},
    };
    for (const Case& c : cases) {
        fs::remove(ini);
        if (!c.settings.empty()) WriteFile(ini, c.settings);
        ProjectionRunRequest request = MakeRequest(f, {"a.png"});
        if (c.change) c.change(request);
        RunWithFixedTime run;
        const ProjectionRunResult result = run(request);
        ASSERT_EQ(result.messages.size(), 1u) << c.message;
        EXPECT_EQ(result.messages[0].text.rfind(c.message, 0), 0u) << result.messages[0].text;
        EXPECT_TRUE(result.messages[0].logged);
        EXPECT_TRUE(result.messages[0].errorIcon);
        EXPECT_TRUE(result.runFolder.empty());
        EXPECT_TRUE(result.summaryPath.empty());
        EXPECT_EQ(run.status.back(), "");
        EXPECT_EQ(CountDirectories(f.images), 0u) << c.message;
    }
}

TEST(ProjectionRun, ASecondRunInTheSameSecondCannotMakeItsFolder)
{
    const Folder f = MakeFolder("proj_same_second");
    RunWithFixedTime first;
    ASSERT_FALSE(first(MakeRequest(f, {"a.png"})).summaryPath.empty());
    RunWithFixedTime second;
    const ProjectionRunResult result = second(MakeRequest(f, {"b.png"}));
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].text, "Unable to create directory: " + (f.images / kRunFolderName).string());
    EXPECT_FALSE(result.messages[0].logged);
    EXPECT_FALSE(result.messages[0].errorIcon);
    EXPECT_TRUE(result.summaryPath.empty());
    EXPECT_FALSE(fs::exists(f.images / kRunFolderName / "b.Analysis.txt"));
}

TEST(ProjectionRun, StopEndsTheRunBetweenImagesAndKeepsWhatWasDone)
{
    const Folder f = MakeFolder("proj_stop");
    RunWithFixedTime run;
    run.onStatus = [&](const std::string& s) {
        if (s == "2 of 3") run.stop = true;
    };
    const ProjectionRunResult result = run(MakeRequest(f, {"a.png", "b.png", "c.png"}));
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.imagesAnalysed, 2);
    EXPECT_EQ(run.status.back(), "");
    EXPECT_EQ(std::count(run.status.begin(), run.status.end(), "3 of 3"), 0);
    const auto data = DataLines(Lines(ReadFile(result.summaryPath)));
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(Fields(data[2])[0], "b.png");
    const auto vert = Lines(ReadFile(result.vertProjectionPath));
    ASSERT_EQ(vert.size(), 3u + 160u);
    const auto row = Fields(vert[3 + 75]);
    EXPECT_EQ(std::vector<std::string>(row.begin() + 5, row.end()), (std::vector<std::string>{"5000", "1000", ""}));
}

TEST(ProjectionRun, ATableThatCannotBeWrittenIsReportedAndTheSummaryStillWritten)
{
    const Folder f = MakeFolder("proj_table_fails");
    const fs::path vertPath = f.images / kRunFolderName / "a.[vert_proj].txt";
    RunWithFixedTime run;
    // A folder in the table's place, made once the run folder exists.
    run.onStatus = [&](const std::string& s) {
        if (s == "1 of 1") fs::create_directories(vertPath);
    };
    const ProjectionRunResult result = run(MakeRequest(f, {"a.png"}));
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].text, "Can't create ouput file for analysis run: " + vertPath.string());
    EXPECT_TRUE(result.messages[0].logged);
    EXPECT_TRUE(result.vertProjectionPath.empty());
    EXPECT_FALSE(result.horzProjectionPath.empty());
    ASSERT_FALSE(result.summaryPath.empty());
    EXPECT_EQ(DataLines(Lines(ReadFile(result.summaryPath))).size(), 2u);
}

TEST(ProjectionRun, PeakColumns)
{
    ProjectionAnalysisParams params;
    params.top = 100;
    params.bottom = 299;
    LPCurveParams lp;
    lp.mag_gap = 2.0;
    lp.constant = 1.0;
    lp.linear = 1.0;
    lp.munot = 1.0;
    lp.g = 1.0;
    lp.ChiPar = 1.0;
    lp.rohf = 10.0;
    struct Case {
        double centre, stdev, amplitude, fitError;
        bool errorFlag;
        std::string expected;
    } cases[] = {
        // Centre half-way down rows 100..299 is row 200: (500 - 200) / (500 - 100).
        {0.5, 0.1, 0.8, 0.0125, false,
         CString::Formatted("\t0.800\t0.09950000\t0.750\t%4.2lf\t%4.2lf\t0.01250000\tFALSE", lp.LPValue(1.5),
                            std::fabs(lp.LPValue(2.0 * 400 / 400) - lp.LPValue(2.0 * 201 / 400)) * 0.2)
             .str()},
        // A fit error that could not be computed is written as -1.
        {0.0, 0.05, 0.5, 1e200, true,
         CString::Formatted("\t0.500\t0.04975000\t1.000\t%4.2lf\t%4.2lf\t-1.00000000\tTRUE", lp.LPValue(2.0),
                            std::fabs(lp.LPValue(2.0) - lp.LPValue(2.0 * 201 / 400)) * 0.1)
             .str()},
    };
    for (const Case& c : cases) {
        ProjectionPeak peak;
        peak.centre = c.centre;
        peak.stdev = c.stdev;
        peak.amplitude = c.amplitude;
        peak.fitError = c.fitError;
        peak.errorFlag = c.errorFlag;
        EXPECT_EQ(FormatProjectionPeakColumns(peak, params, 100, 500, lp), c.expected);
    }
}
