#include "analysis/ImageAnalysisRun.h"

#include "analysis/FolderListing.h"
#include "app/VelloraApp.h"
#include "platform/Clock.h"
#include "platform/UiBridge.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

fs::path Root()
{
    return fs::path(std::getenv("VELLORA_TEST_ROOT"));
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const fs::path& path)
{
    std::vector<std::string> lines;
    std::istringstream in(ReadText(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t')
        fields.push_back("");
    return fields;
}

// A 200 x 150 image at 5000 with a dim patch and dark rings (epifluorescence
// cells) at the given centres.
cv::Mat CellImage(const std::vector<cv::Point>& cells)
{
    cv::Mat image(150, 200, CV_16UC1, cv::Scalar(5000));
    image(cv::Rect(150, 100, 25, 25)).setTo(cv::Scalar(3000));
    for (const cv::Point& c : cells)
        cv::circle(image, c, 9, cv::Scalar(1000), 2);
    return image;
}

const char kLogHeader[] =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
    "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL";

// A folder of cell images with a capture log (one row per image, a minute
// apart) and an epifluorescence parameter file beside it.
struct Folder {
    fs::path dir;
    std::string epiParams;

    explicit Folder(const std::string& name, const std::vector<std::pair<std::string, std::vector<cv::Point>>>& images,
                    bool withLog = true)
        : dir(Root() / name)
    {
        fs::create_directories(dir);
        std::ofstream log;
        if (withLog) {
            log.open(dir / "20260101-1200-00.log", std::ios::binary);
            log << kLogHeader << "\r\n";
        }
        int minute = 0;
        for (const auto& [file, cells] : images) {
            cv::imwrite((dir / file).string(), CellImage(cells));
            if (withLog)
                log << file << "\t2026/01/01\t12:" << (minute < 10 ? "0" : "") << minute
                    << ":00.000\t100\tOK\t0\t1\t2\t3\t1.5\t2.5\t10\t20\r\n";
            ++minute;
        }
        epiParams = (Root() / (name + ".epi_counting_params")).string();
        std::ofstream(epiParams, std::ios::binary)
            << "[EpiCellCountingAlgoDlg]\r\nLeft=10\r\nTop=10\r\nRight=189\r\nBottom=139\r\nMinSize=15\r\n"
               "MaxRatio=0.45\r\n";
    }

    // A run of the given names, as the tool window builds it.
    std::shared_ptr<ImageAnalysisRun> Run(const std::vector<std::string>& names) const
    {
        auto run = std::make_shared<ImageAnalysisRun>();
        for (const std::string& name : names)
            run->fileNames.Add(name.c_str());
        run->imageDir = dir.c_str();
        run->epiParamsFile = epiParams.c_str();
        run->epiParams.LoadFromFile(epiParams.c_str());
        run->epiParams.enabled = true;
        run->upperMagnet = 0;
        run->lowerMagnet = 150;
        return run;
    }

    // The one run folder made so far.
    fs::path RunFolder() const
    {
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_directory())
                return entry.path();
        return {};
    }
};

// The tool window's side of a run, recorded.
struct RecordingOwner : ImageAnalysisOwner {
    int stopAfter = 1 << 30;  // images allowed before Stop is pressed
    int stopChecks = 0;
    std::vector<std::string> progress;
    bool enabled = false;
    bool StopRequested() override { return stopChecks++ >= stopAfter; }
    void SetProgressText(const char* text) override { progress.push_back(text); }
    void GetParamFileHeaderLines(CStringArray& lines, const char*) override { lines.Add("#epi_params=set"); }
    bool OpenSummaryWhenDone() override { return false; }
    void EnableControls() override { enabled = true; }
};

// Distinct run-folder times for the runs of one test.
struct FixedWallClock {
    platform::ManualClock clock;
    platform::ScopedClock scoped{clock};
    FixedWallClock() { clock.SetWallTime(std::chrono::system_clock::from_time_t(1767268800)); }
    void NextSecond() { clock.SetWallTime(clock.WallNow() + std::chrono::seconds(1)); }
};

}  // namespace

TEST(ImageAnalysisRun, WildcardMatching)
{
    const struct {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {{"img_0001.png", "*.png", true},   {"IMG_0001.PNG", "*.png", true},  {"img.png.txt", "*.png", false},
                 {"img_0001.png", "img_????.png", true}, {"img_01.png", "img_????.png", false},
                 {"a.png", "*", true},              {"abcabd", "*ab?", true},         {"", "*", true},
                 {"x", "", false}};
    for (const auto& c : cases)
        EXPECT_EQ(MatchesWildcard(c.name, c.pattern), c.match) << c.name << " " << c.pattern;
}

TEST(ImageAnalysisRun, RefusesBadInputsWithoutStartingAnything)
{
    Folder folder("imgs", {{"s_Ex474_0001.png", {{60, 60}}}});
    fs::create_directories(Root() / "only_folders" / "a.png");
    const std::string lp = (Root() / "curve.LP_curve_params").string();
    std::ofstream(lp, std::ios::binary) << "[LPCurveParams]\r\nChiGd_factor=1\r\nrhobuffer=1\r\nmunot=1\r\ng=1\r\n"
                                           "cubic=0\r\nsquare=0\r\nlinear=0\r\nconstant=1\r\nmag_gap=2\r\n";
    const std::string badEpi = (Root() / "bad.epi_counting_params").string();
    std::ofstream(badEpi, std::ios::binary) << "[EpiCellCountingAlgoDlg]\r\nMinSize=4\r\n";
    const std::string dir = folder.dir.string(), epi = folder.epiParams;
    const std::string noFolders = (Root() / "only_folders").string();

    const struct {
        std::string dir, cir, epi, lp;
        double gd;
        std::string pattern;
        int upper, lower;
        std::string error;  // empty: accepted
    } cases[] = {
        {dir, "", epi, "", 0, "*.tif", 0, 150, "RunImageAnalysisTool() - invalid image_dir: " + dir},
        {dir + "/none", "", epi, "", 0, "*.png", 0, 150, "RunImageAnalysisTool() - invalid image_dir: " + dir + "/none"},
        {noFolders, "", epi, "", 0, "*.png", 0, 150,
         "RunImageAnalysisTool() - no images found mathing spec: *.png in dir: " + noFolders},
        {dir, "/no/cir.counting_params", epi, "", 0, "*.png", 0, 150,
         "RunImageAnalysisTool() - Circular algo params file: /no/cir.counting_params does not exist"},
        {dir, "", "/no/epi.epi_counting_params", "", 0, "*.png", 0, 150,
         "Epi algo params file: /no/epi.epi_counting_params does not exist"},
        {dir, "", badEpi, "", 0, "*.png", 0, 150, "Min pixel size must be an integer between 5 and 150\n"},
        {dir, "", "", "", 0, "*.png", 0, 150, "RunImageAnalysisTool() - Either cir_params or epi_params must be specified."},
        {dir, "", epi, "", 0, "*.png", -3001, 150, "upper_magnet must be >= -3000"},
        {dir, "", epi, "", 0, "*.png", -3000, 150, ""},
        {dir, "", epi, "", 0, "*.png", 0, -1, "lower_magnet must be >= 0"},
        {dir, "", epi, "", 0, "*.png", 10, 0, ""},
        {dir, "", epi, "", 0, "*.png", 70, 70, "upper_magnet and lower_magnet must not be equal"},
        {dir, "", epi, lp, 0.001, "*.png", 0, 150, "Gd_conc must be between 0.001 and 1000 mM"},
        {dir, "", epi, lp, 1000, "*.png", 0, 150, "Gd_conc must be between 0.001 and 1000 mM"},
        {dir, "", epi, lp, 0.0011, "*.png", 0, 150, ""},
        {dir, "", epi, "", 5000, "*.png", 0, 150, ""},  // Gd_conc only matters with a curve
        {dir, "", epi, "/no/x.LP_curve_params", 1, "*.png", 0, 150, "Missing file: /no/x.LP_curve_params\n"},
    };
    const int jobs = g_ImageAnalysisJobs.Count();
    for (const auto& c : cases) {
        int32_t handle = -7;
        CString error = "earlier";
        const bool ok = RunImageAnalysisTool(c.dir.c_str(), c.cir.c_str(), c.epi.c_str(), c.lp.c_str(), c.gd,
                                             c.pattern.c_str(), c.upper, c.lower, handle, error, true);
        EXPECT_EQ(ok, c.error.empty()) << c.error;
        if (!c.error.empty()) {
            EXPECT_EQ(error.str(), c.error);
        }
        EXPECT_EQ(handle, -7);
    }
    // Check-only made no job and no run folder.
    EXPECT_EQ(g_ImageAnalysisJobs.Count(), jobs);
    EXPECT_TRUE(folder.RunFolder().empty());
}

TEST(ImageAnalysisRun, SummaryWithAMissingImage)
{
    Folder folder("exp", {{"s_Ex474_0001.png", {{60, 60}, {120, 90}}}, {"s_Ex474_0003.png", {{60, 120}}}});
    auto run = folder.Run({"s_Ex474_0001.png", "s_Ex474_0002.png", "s_Ex474_0003.png"});
    ASSERT_EQ(ImageAnalysisThread(run), 0);

    const ImageAnalysisRun::State state = run->Snapshot();
    EXPECT_TRUE(state.finished);
    EXPECT_EQ(state.statusText, "Finished");
    const fs::path runFolder = folder.RunFolder();
    ASSERT_FALSE(runFolder.empty());
    EXPECT_EQ(state.analysisFile, (runFolder / "s_Ex474_0001.Analysis.txt").string());
    EXPECT_EQ(state.vertProjFile, (runFolder / "s_Ex474_0001.[vert_proj].txt").string());
    EXPECT_EQ(state.horzProjFile, (runFolder / "s_Ex474_0001.[horz_proj].txt").string());
    EXPECT_EQ(state.imageLogFile, (folder.dir / "20260101-1200-00.log").string());

    const std::vector<std::string> lines = Lines(state.analysisFile);
    const std::string computer = "# ComputerName=" + platform::GetComputerName();
    const std::vector<std::string> head{computer,
                                        "#" + theApp.m_strDisplayName.str() + "_Version=" + theApp.m_strFileVersion.str(),
                                        computer,
                                        "#image_directory=" + folder.dir.string(),
                                        "#image_log_used=" + state.imageLogFile,
                                        "# **** Magnet elevations in vertical pixels ****",
                                        "#lower_magnet=150",
                                        "#upper_magnet=0",
                                        "# ******** Circular cell detection algo is not enabled. ********",
                                        "# ******** EpiCellCountingAlgo params ********"};
    ASSERT_GT(lines.size(), head.size() + 13);
    for (size_t i = 0; i < head.size(); ++i)
        EXPECT_EQ(lines[i], head[i]) << i;

    // After the parameter block: the column header, image 1, the missing
    // image's line, image 3.
    const size_t at = lines.size() - 4;
    EXPECT_EQ(lines[at].substr(0, 41), "image\tElapsedMin\tImageModifyTime\tframe_id");
    EXPECT_EQ(Fields(lines[at]).size(), 4u + 15u + 7u);
    EXPECT_EQ(lines[at + 2], "Image does not exist\t" + (folder.dir / "s_Ex474_0002.png").string());
    const std::vector<std::string> first = Fields(lines[at + 1]), third = Fields(lines[at + 3]);
    ASSERT_EQ(first.size(), 26u);
    EXPECT_EQ(first[0], "s_Ex474_0001.png");
    EXPECT_EQ(first[1], "0.00");
    EXPECT_EQ(first[3], "1");                   // frame_idx
    EXPECT_EQ(first[4], "0");                   // count[cir_1]
    EXPECT_EQ(first[14], "2");                  // count[epi_1]
    EXPECT_EQ(first[15], "0.5000");             // mean height of rows 60 and 90 between 150 and 0
    EXPECT_EQ(first[16], "0.1414");             // their stdev
    EXPECT_EQ(first[22], "1.5");                // pump 1 speed from the log
    EXPECT_EQ(first[25], "20.00");              // pump 2 volume
    EXPECT_EQ(third[1], "1.00");                // the log's next row, a minute later
    EXPECT_EQ(third[3], "2");
    EXPECT_EQ(third[14], "1");
    EXPECT_EQ(third[15], "0.2000");

    // Low-level files for the analysed images only.
    EXPECT_TRUE(fs::exists(runFolder / "s_Ex474_0001.txt"));
    EXPECT_FALSE(fs::exists(runFolder / "s_Ex474_0002.txt"));
    EXPECT_TRUE(fs::exists(runFolder / "s_Ex474_0003.txt"));

    // Projection tables name all three images; the skipped one's column stays
    // empty so the others keep their places.
    const std::vector<std::string> vert = Lines(state.vertProjFile);
    ASSERT_EQ(vert.size(), 3u + 130u);
    EXPECT_EQ(vert[2], "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP\ts_Ex474_0001.png\ts_Ex474_0002.png\ts_Ex474_0003.png");
    const std::vector<std::string> row10 = Fields(vert[3]);
    ASSERT_EQ(row10.size(), 8u);
    EXPECT_EQ(row10[0], "10");
    EXPECT_EQ(row10[1], "0.9333");  // (150 - 10) / 150
    EXPECT_EQ(row10[3], "0.0000");
    EXPECT_EQ(row10[5], "5000");
    EXPECT_EQ(row10[6], "");
    EXPECT_EQ(row10[7], "5000");
    const std::vector<std::string> horz = Lines(state.horzProjFile);
    ASSERT_EQ(horz.size(), 3u + 180u);
    EXPECT_EQ(horz[2], "ix\ts_Ex474_0001.png\ts_Ex474_0002.png\ts_Ex474_0003.png");
    EXPECT_EQ(Fields(horz[3]).size(), 4u);
    EXPECT_EQ(Fields(horz[3])[0], "10");
}

TEST(ImageAnalysisRun, FirstImageMissingStillNamesTheOutputs)
{
    Folder folder("exp2", {{"b_Ex474_0002.png", {{60, 60}}}}, false);
    auto run = folder.Run({"a_Ex474_0001.png", "b_Ex474_0002.png"});
    ImageAnalysisThread(run);
    const fs::path runFolder = folder.RunFolder();
    EXPECT_EQ(run->Snapshot().analysisFile, (runFolder / "a_Ex474_0001.Analysis.txt").string());
    const std::vector<std::string> lines = Lines(runFolder / "a_Ex474_0001.Analysis.txt");
    EXPECT_EQ(lines[4].rfind("#error_loading_image_log_file_data=", 0), 0u);
    EXPECT_EQ(lines[lines.size() - 3].rfind("Image does not exist\t", 0), 0u);
    EXPECT_EQ(Fields(lines.back())[3], "1");
}

TEST(ImageAnalysisRun, StoppedPartWayKeepsWhatWasDone)
{
    Folder folder("exp3", {{"s_Ex474_0001.png", {{60, 60}}},
                           {"s_Ex474_0002.png", {{60, 60}}},
                           {"s_Ex474_0003.png", {{60, 60}}},
                           {"s_Ex474_0004.png", {{60, 60}}}});
    for (const int workers : {1, 3}) {
        FixedWallClock clock;
        SetImageAnalysisWorkerCount(workers);
        fs::remove_all(folder.RunFolder());
        RecordingOwner owner;
        owner.stopAfter = 2;
        auto run = folder.Run({"s_Ex474_0001.png", "s_Ex474_0002.png", "s_Ex474_0003.png", "s_Ex474_0004.png"});
        run->ownerDialog = &owner;
        ImageAnalysisThread(run);
        SetImageAnalysisWorkerCount(0);

        const ImageAnalysisRun::State state = run->Snapshot();
        EXPECT_TRUE(state.finished);
        const std::vector<std::string> lines = Lines(state.analysisFile);
        EXPECT_EQ(Fields(lines[lines.size() - 1])[0], "s_Ex474_0002.png");
        EXPECT_EQ(Fields(lines[lines.size() - 1])[3], "2");
        EXPECT_EQ(Fields(lines[lines.size() - 2])[0], "s_Ex474_0001.png");
        EXPECT_NE(std::find(lines.begin(), lines.end(), "#epi_params=set"), lines.end());
        // Both tables still have a column for every listed image.
        EXPECT_EQ(Fields(Lines(state.vertProjFile)[3]).size(), 5u + 4u);
        EXPECT_EQ(Fields(Lines(state.vertProjFile)[3])[8], "");
        EXPECT_EQ(owner.progress.front(), "Processing 1 of 4");
        EXPECT_EQ(owner.progress.back(), "");  // cleared at the end
        EXPECT_TRUE(owner.enabled);
    }
}

TEST(ImageAnalysisRun, RunFolderThatCannotBeMadeEndsTheRun)
{
    Folder folder("exp4", {{"s_Ex474_0001.png", {{60, 60}}}});
    FixedWallClock clock;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const fs::path taken = folder.dir / CString::Formatted("%04u%02u%02u-%02u%02u-%02u", now.wYear, now.wMonth,
                                                           now.wDay, now.wHour, now.wMinute, now.wSecond)
                                            .str();
    fs::create_directories(taken);
    platform::ScriptedUiBridge bridge;
    platform::ScopedUiBridge scoped(bridge);
    RecordingOwner owner;
    auto run = folder.Run({"s_Ex474_0001.png"});
    run->ownerDialog = &owner;
    ImageAnalysisThread(run);
    ASSERT_EQ(bridge.ShownBoxes().size(), 1u);
    EXPECT_EQ(bridge.ShownBoxes()[0].text, "Unable to create directory: " + taken.string());
    EXPECT_TRUE(run->Snapshot().finished);
    EXPECT_TRUE(run->Snapshot().analysisFile.empty());
    EXPECT_TRUE(owner.enabled);
    EXPECT_TRUE(fs::is_empty(taken));
}

TEST(ImageAnalysisRun, ParallelWorkersWriteTheSameFiles)
{
    std::vector<std::pair<std::string, std::vector<cv::Point>>> images;
    for (int i = 1; i <= 6; ++i)
        images.push_back({"s_Ex474_000" + std::to_string(i) + ".png", {{40 + 10 * i, 60}, {150, 30 + 5 * i}}});
    Folder folder("exp5", images);
    std::vector<std::string> names;
    for (const auto& image : images)
        names.push_back(image.first);

    FixedWallClock clock;
    std::vector<std::string> outputs[2];
    for (const int workers : {1, 4}) {
        SetImageAnalysisWorkerCount(workers);
        auto run = folder.Run(names);
        ImageAnalysisThread(run);
        const fs::path runFolder = fs::path(run->Snapshot().analysisFile).parent_path();
        std::vector<std::string>& files = outputs[workers == 1 ? 0 : 1];
        for (const char* name : {"s_Ex474_0001.Analysis.txt", "s_Ex474_0001.[vert_proj].txt",
                                 "s_Ex474_0001.[horz_proj].txt", "s_Ex474_0004.txt"})
            files.push_back(ReadText(runFolder / name));
        clock.NextSecond();
    }
    SetImageAnalysisWorkerCount(0);
    ASSERT_EQ(outputs[0].size(), outputs[1].size());
    for (size_t i = 0; i < outputs[0].size(); ++i) {
        EXPECT_FALSE(outputs[0][i].empty());
        EXPECT_EQ(outputs[0][i], outputs[1][i]) << i;
    }
}

TEST(ImageAnalysisRun, CrossTypeRemovalByDistance)
{
    const struct {
        int epiY;
        float epiRadius;
        size_t left;
    } cases[] = {{108, 4, 0}, {110, 4, 1}, {109, 4, 1}, {109, 4.5f, 0}};
    for (const auto& c : cases) {
        std::vector<CellDetection> epi{{100, c.epiY, 0, 0, c.epiRadius}};
        std::vector<CellDetection> cir1{{100, 100, 1, 0, 5}}, cir2{{100, 100, 1, 0, 5}, {300, 300, 1, 0, 5}};
        RemoveCrossTypeOverlaps(epi, cir1, cir2);
        EXPECT_EQ(cir1.size(), c.left) << c.epiY;
        EXPECT_EQ(cir2.size(), c.left + 1) << c.epiY;
    }
}

TEST(ImageAnalysisRun, LowLevelCountingBlocks)
{
    const fs::path runFolder = Root() / "run";
    fs::create_directories(runFolder);
    LPCurveParams lp;
    lp.loaded = true;
    lp.Gd_conc = 10;
    lp.rohf = 3.755;
    lp.g = 9.81;
    lp.constant = 1;
    lp.mag_gap = 2.5;
    CountingAlgoOptions cir;
    cir.image_pixels_per_mm = 500;
    // Rows 150 (lower magnet) and 50 (upper magnet).
    const std::vector<std::vector<CellDetection>> detections{{{10, 150, 1, 0.375f, 6}}, {}, {{20, 50, 0, 0.5f, 3}}};
    const SYSTEMTIME t{2026, 3, 0, 4, 5, 6, 7, 0};
    for (const char* image : {"/data/x.png", "/data/x.tif"})
        ASSERT_TRUE(WriteLowLevelCountingData(runFolder.c_str(), image, t, {0.0, 0.0, 1.0}, {0.0, 0.0, 0.0},
                                              {"cir_1", "cir_2", "epi_1"}, detections, 150, 50, lp, cir));
    ASSERT_TRUE(fs::exists(runFolder / "x[1].txt"));
    const std::vector<std::string> lines = Lines(runFolder / "x.txt");
    EXPECT_EQ(lines[0], "# **** Low level counting data ****");
    EXPECT_EQ(lines[3], "#image_file=/data/x.png");
    EXPECT_EQ(lines[4], "#image_timestamp=20260304-0506-07");
    EXPECT_EQ(lines[5], "# **** LP Curve Params ****");
    EXPECT_EQ(lines[6], "# Gd_conc=10");
    EXPECT_EQ(lines[17], "# mag_gap=2.5");
    EXPECT_EQ(lines[21], "# ****************");
    EXPECT_EQ(lines[22], "#particle_count[cir_1]=1");
    EXPECT_EQ(lines[28], "#particle_count[epi_1]=1");
    EXPECT_EQ(lines[29], "#particle_height_mean[epi_1]=1.000");
    EXPECT_EQ(lines[31], "#particle_count[not_used]=0");
    EXPECT_EQ(lines[22 + 30], "type_name\tidx\tix\tiy\theight\tradius(um)\tLP");
    EXPECT_EQ(lines[53], "cir_1\t0\t10\t150\t0.000\t12.0\t0.4");  // on the lower magnet: h = 0
    EXPECT_EQ(lines[54], "epi_1\t0\t20\t50\t1.000\t6.0\t0.5");    // on the upper magnet: h = 1
    EXPECT_EQ(lines.size(), 55u);

    // Without a curve: no LP block and no LP column.
    ASSERT_TRUE(WriteLowLevelCountingData(runFolder.c_str(), "/data/y.png", t, {}, {}, {"cir_1"}, {{{1, 2, 0, 0, 5}}},
                                          150, 50, LPCurveParams(), cir));
    const std::vector<std::string> plain = Lines(runFolder / "y.txt");
    EXPECT_EQ(plain[5], "#particle_count[cir_1]=1");
    EXPECT_EQ(plain[35], "type_name\tidx\tix\tiy\theight\tradius(um)");
    EXPECT_EQ(plain[36], "cir_1\t0\t1\t2\t1.480\t10.0");
    EXPECT_FALSE(WriteLowLevelCountingData((Root() / "nowhere").c_str(), "/data/z.png", t, {}, {}, {}, {}, 150, 50,
                                           LPCurveParams(), cir));
}

// Runs started by scripts: handles, status and removal, with two runs at
// once and removals racing the runs' ends (run this one under
// ThreadSanitizer too).
TEST(ImageAnalysisRun, ScriptRunsByHandle)
{
    Folder a("ra", {{"s_Ex474_0001.png", {{60, 60}}}, {"s_Ex474_0002.png", {{60, 80}}}});
    Folder b("rb", {{"s_Ex474_0001.png", {{60, 60}}}});
    Folder c("rc", {{"s_Ex474_0001.png", {{60, 60}}}});
    int32_t first = 0, second = 0, third = 0;
    CString error;
    ASSERT_TRUE(RunImageAnalysisTool(a.dir.c_str(), "", a.epiParams.c_str(), "", 0, "*.png", 0, 150, first, error,
                                     false))
        << error.GetString();
    ASSERT_TRUE(RunImageAnalysisTool(b.dir.c_str(), "", b.epiParams.c_str(), "", 0, "*.png", 0, 150, second, error,
                                     false));
    EXPECT_EQ(second, first + 1);

    // Poll and remove while the runs end.
    std::atomic<int> removed{0};
    std::thread remover([&] {
        for (int spin = 0; removed < 2 && spin < 2000000; ++spin)
            for (const int32_t handle : {first, second})
                if (g_ImageAnalysisJobs.RemoveFinished(handle) == ImageAnalysisJobs::RemoveResult::Removed)
                    ++removed;
    });
    std::shared_ptr<ImageAnalysisRun> runA = g_ImageAnalysisJobs.Find(first);
    if (runA) {
        const ImageAnalysisRun::State state = runA->Snapshot();
        EXPECT_TRUE(state.statusText.empty() || state.statusText.rfind("Processing ", 0) == 0 ||
                    state.statusText == "Finished");
        EXPECT_TRUE(runA->WaitUntilFinished(60000));
        EXPECT_EQ(runA->Snapshot().statusText, "Finished");
        EXPECT_FALSE(runA->Snapshot().analysisFile.empty());
    }
    remover.join();
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(g_ImageAnalysisJobs.Find(first), nullptr);
    EXPECT_EQ(g_ImageAnalysisJobs.RemoveFinished(first), ImageAnalysisJobs::RemoveResult::NoSuchHandle);

    // Handles are never reused.
    ASSERT_TRUE(RunImageAnalysisTool(c.dir.c_str(), "", c.epiParams.c_str(), "", 0, "*.png", 0, 150, third, error,
                                     false));
    EXPECT_EQ(third, second + 1);
    bool found = false;
    const int position = g_ImageAnalysisJobs.IndexOf(third, found);
    ASSERT_TRUE(found);
    std::shared_ptr<ImageAnalysisRun> run = g_ImageAnalysisJobs.Find(third);
    ASSERT_TRUE(run);
    if (!run->Snapshot().finished) {
        EXPECT_EQ(g_ImageAnalysisJobs.RemoveFinished(third), ImageAnalysisJobs::RemoveResult::StillRunning);
    }
    // Removing by position while the run may still be going: the run stays
    // alive for its thread.
    EXPECT_EQ(g_ImageAnalysisJobs.RemoveAt(position - 1), 1);
    EXPECT_TRUE(run->WaitUntilFinished(60000));
}

// The folder's background image of the image's type is taken off the
// profiles; an image of another type is left as it is.
TEST(ImageAnalysisRun, ProfilesLessTheBackgroundOfTheImageType)
{
    Folder folder("exp6", {{"s_Ex474_0001.png", {{60, 60}}}, {"s_Em628_0001.png", {{60, 60}}}});
    cv::imwrite((folder.dir / "Ex474.bg.tif").string(), cv::Mat(150, 200, CV_16UC1, cv::Scalar(1000)));
    auto run = folder.Run({"s_Ex474_0001.png", "s_Em628_0001.png"});
    ImageAnalysisThread(run);
    const ImageAnalysisRun::State state = run->Snapshot();
    const std::vector<std::string> row10 = Fields(Lines(state.vertProjFile)[3]);
    ASSERT_EQ(row10.size(), 7u);
    EXPECT_EQ(row10[5], "4000");
    EXPECT_EQ(row10[6], "5000");
    const std::vector<std::string> summary = Lines(state.analysisFile);
    EXPECT_EQ(Fields(summary[summary.size() - 2])[14], "1");  // the cell is found on the flattened image too
    EXPECT_EQ(Fields(summary.back())[14], "1");
}
