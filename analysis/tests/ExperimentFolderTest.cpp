#include "analysis/ExperimentFolder.h"

#include "analysis/AnalysisStepGuard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char* kHeader = "ImageFile\tDate\tTime\tExposure(us)\tPump1SpeedULpMin\tPump2SpeedULpMin";

std::string Name(const char* type, int index)
{
    char name[64];
    std::snprintf(name, sizeof name, "Exp1_%s_%04d.png", type, index);
    return name;
}

// A bright-field line (and a green line) for each frame; `speed` gives pump 1's speed.
std::string LogText(int frames, const std::function<double(int)>& speed, bool green = true)
{
    std::ostringstream log;
    log << "Cartridge barcode\tLot 7 QX4A-991\r\n" << kHeader << "\r\n";
    for (int i = 0; i < frames; ++i) {
        log << Name("Brightfield", i) << "\t2026/03/04\t10:00:" << (10 + i / 10) << "." << (i % 10) * 100 << "\t"
            << 1000 + i << "\t" << speed(i) << "\t0\r\n";
        if (green)
            log << Name("Ex474", i) << "\t2026/03/04\t10:00:10.000\t" << 5000 + i << "\r\n";
    }
    return log.str();
}

double PumpsFrom12To40(int i) { return i >= 12 && i <= 40 ? 200.0 : 0.0; }

class ExperimentFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name() / "Exp1";
        fs::create_directories(folder);
    }

    void Write(const std::string& name, const std::string& text) { std::ofstream(folder / name) << text; }

    // The data set after opening the folder and parsing its log.
    bool Parse(ExperimentDataSet& data)
    {
        OpenExperimentFolder(data, folder.string());
        return ParseCaptureLog(data, data.captureLogPath);
    }

    fs::path folder;
};

}  // namespace

TEST_F(ExperimentFolderTest, SelectsThePumpingRunAndItsExposures)
{
    Write("20260304-1000-10.log", LogText(50, PumpsFrom12To40));
    Write("Exp1.ini", "[Cartridge]\r\nCartridgeUpperChannel=400\r\n");
    fs::create_directories(folder / "images");
    std::ofstream(folder / "images" / "b.png") << "x";
    std::ofstream(folder / "images" / "a.png") << "x";

    ExperimentDataSet data;
    ASSERT_TRUE(OpenExperimentFolder(data, folder.string()));
    EXPECT_EQ(data.captureLogPath, (folder / "20260304-1000-10.log").string());
    EXPECT_EQ(data.settingsFilePath, (folder / "Exp1.ini").string());
    EXPECT_EQ(data.imageFiles,
              (std::vector<std::string>{(folder / "images" / "a.png").string(), (folder / "images" / "b.png").string()}));

    ASSERT_TRUE(ParseCaptureLog(data, data.captureLogPath));
    EXPECT_EQ(data.cartridgeCodePrefix, "QX4");
    ASSERT_EQ(data.logRows.size(), 50u);
    EXPECT_EQ(data.referenceFrame.brightFieldFile, Name("Brightfield", 1));
    ASSERT_EQ(data.frames.size(), 29u);
    EXPECT_EQ(data.frames.front().brightFieldIndex, 12);
    EXPECT_EQ(data.frames.back().brightFieldIndex, 40);
    EXPECT_EQ(data.frames.front().channel1File, Name("Ex474", 12));
    EXPECT_EQ(data.frames.front().channel1Exposure, 5012.0);
    EXPECT_TRUE(data.frames.front().channel2File.empty());
    EXPECT_DOUBLE_EQ(data.meanBrightFieldExposure, 1026.0);
    EXPECT_DOUBLE_EQ(data.meanChannel1Exposure, 5026.0);
    EXPECT_EQ(data.meanChannel2Exposure, 0.0);
    // 100 ms between frames, whatever the day's absolute value.
    EXPECT_EQ(data.frames[1].captureTimeMs - data.frames[0].captureTimeMs, 100u);

    bool green = true, red = true;
    EXPECT_EQ(CheckFluorescenceChannels(data, green, red), 28);
    EXPECT_TRUE(green);
    EXPECT_FALSE(red);
}

TEST_F(ExperimentFolderTest, RunSelection)
{
    const struct {
        const char* what;
        std::function<double(int)> speed;
        bool result;
        int first, count;
    } cases[] = {
        {"equal runs: the earlier", [](int i) { return (i >= 3 && i <= 6) || (i >= 10 && i <= 13) ? 5.0 : 0.0; },
         true, 3, 4},
        {"run to the last row", [](int i) { return i >= 15 ? 999.9 : 0.0; }, true, 15, 5},
        {"0 and 1000 are not pumping", [](int i) { return i % 2 ? 1000.0 : 0.0; }, false, 0, 0},
        {"single pumping frames only", [](int i) { return i % 2 ? 10.0 : 0.0; }, false, 0, 0},
    };
    for (const auto& c : cases) {
        Write("a.log", LogText(20, c.speed, false));
        ExperimentDataSet data;
        EXPECT_EQ(Parse(data), c.result) << c.what;
        EXPECT_EQ(data.logRows.size(), 20u) << c.what;
        ASSERT_EQ(data.frames.size(), static_cast<size_t>(c.count)) << c.what;
        if (c.count)
            EXPECT_EQ(data.frames.front().brightFieldIndex, c.first) << c.what;
    }
}

TEST_F(ExperimentFolderTest, MissingFrameSplitsARun)
{
    std::vector<FrameRecord> rows(6);
    const int32_t indexes[] = {1, 2, 3, 5, 6, 9};
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].brightFieldIndex = indexes[i];
    const std::vector<FrameRun> runs = FindConsecutiveFrameRuns(rows);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(std::make_tuple(runs[0].first, runs[0].end, runs[0].length), std::make_tuple(0, 3, 3));
    EXPECT_EQ(std::make_tuple(runs[1].first, runs[1].end, runs[1].length), std::make_tuple(3, 5, 2));
    EXPECT_EQ(std::make_tuple(runs[2].first, runs[2].end, runs[2].length), std::make_tuple(-1, 6, 1));
}

TEST_F(ExperimentFolderTest, MalformedLogsFail)
{
    const std::string good = LogText(20, PumpsFrom12To40, false);
    auto replaceAll = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
            text.replace(at, from.size(), to);
        return text;
    };
    const struct {
        const char* what;
        std::string log;
    } cases[] = {
        {"letter in the capture index", replaceAll(Name("Brightfield", 5), "Exp1_Brightfield_00a5.png")},
        {"misspelt exposure column", replaceAll("Exposure(us)", "Exposure (us)")},
        {"no pump columns",
         std::string("ImageFile\tDate\tTime\tExposure(us)\n") +
             "a_Brightfield_0001.png\t2026/03/04\t10:00:00.000\t100\n" +
             "a_Brightfield_0002.png\t2026/03/04\t10:00:00.100\t100\n"},
        {"upper-case image type", replaceAll("Brightfield", "BRIGHTFIELD")},
        {"one row", LogText(1, PumpsFrom12To40, false)},
    };
    for (const auto& c : cases) {
        Write("a.log", c.log);
        ExperimentDataSet data;
        EXPECT_FALSE(Parse(data)) << c.what;
    }

    ExperimentDataSet data;
    EXPECT_FALSE(ParseCaptureLog(data, (folder / "none.log").string()));
    fs::remove(folder / "a.log");
    EXPECT_FALSE(OpenExperimentFolder(data, folder.string()));
}

TEST_F(ExperimentFolderTest, FrameNumberIsTheFourDigitsBeforeTheExtension)
{
    std::string log = std::string(kHeader) + "\n";
    for (int i = 12344; i < 12348; ++i)
        log += "Run_BrtFld_" + std::to_string(i) + ".png\t2026/03/04\t10:00:00.000\t100\t50\t0\n";
    Write("a.log", log);
    ExperimentDataSet data;
    ASSERT_TRUE(Parse(data));
    EXPECT_EQ(data.frames.front().brightFieldIndex, 2344);
    EXPECT_EQ(data.frames.size(), 4u);
}

TEST_F(ExperimentFolderTest, CellThatIsNotANumberIsReportedByTheStep)
{
    std::string log = LogText(20, PumpsFrom12To40, false);
    log.replace(log.find("\t1005\t"), 6, "\tfast\t");
    Write("a.log", log);
    ExperimentDataSet data;
    EXPECT_THROW(Parse(data), std::invalid_argument);

    std::string error;
    EXPECT_FALSE(RunGuardedStep(kCreateMontagePrefix, &error, [&] {
        ExperimentDataSet fresh;
        return Parse(fresh);
    }));
    EXPECT_EQ(error.rfind("Create Montage: ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("Create Montage: ").size());

    // The split-line prefix has no separator of its own.
    EXPECT_FALSE(RunGuardedStep(kDetectSplitLineFromLogsPrefix, &error, []() -> bool {
        throw cv::Exception(-215, "bad band", "f", "file", 1);
    }));
    EXPECT_EQ(error.rfind("Function detect splitline from logs", 0), 0u);
    EXPECT_NE(error.find("bad band"), std::string::npos);
    EXPECT_NE(error[std::string(kDetectSplitLineFromLogsPrefix).size()], ' ');
}

TEST_F(ExperimentFolderTest, SettingsGiveChannelAndCropRows)
{
    Write("Exp1.ini",
          "[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n"
          "[CalibrationSettings]\r\nimage_pixels_per_mm=312.5\r\n[ExperimentSettings]\r\nExperimentFullName=Lot 7\r\n");
    Write("Bare.ini", "[Cartridge]\r\nCartridgeUpperChannel=wide\r\n");
    ExperimentDataSet data;
    data.directory = folder.string();
    std::string error = "untouched";
    ASSERT_TRUE(ReadExperimentSettings(data, (folder / "Exp1.ini").string(), &error));
    EXPECT_EQ(std::make_tuple(data.upperChannelRow, data.lowerChannelRowEnd, data.cropStartRow, data.cropEndRow),
              std::make_tuple(400, 1501, 300, 1601));
    EXPECT_EQ(data.pixelsPerMm, 312.5);
    EXPECT_EQ(data.experimentName, "Lot 7");
    EXPECT_EQ(error, "untouched");

    ExperimentDataSet bare;
    bare.directory = folder.string();
    ASSERT_TRUE(ReadExperimentSettings(bare, (folder / "Bare.ini").string(), &error));
    EXPECT_EQ(std::make_tuple(bare.upperChannelRow, bare.lowerChannelRowEnd, bare.cropStartRow, bare.cropEndRow),
              std::make_tuple(0, 1, -100, 101));
    EXPECT_EQ(bare.pixelsPerMm, -1.0);
    EXPECT_EQ(bare.experimentName, folder.string());
}

TEST_F(ExperimentFolderTest, ImagePathsAndTheReferenceFrame)
{
    EXPECT_EQ(ResolveExperimentImagePath(folder.string(), "a.png"), (folder / "a.png").string());
    fs::create_directories(folder / "Images");
    EXPECT_EQ(ResolveExperimentImagePath(folder.string() + " ", "a.png"), (folder / "Images" / "a.png").string());

    Write("a.log", LogText(50, PumpsFrom12To40));
    ExperimentDataSet data;
    ASSERT_TRUE(Parse(data));
    std::string brightField, green, red = "old";
    EXPECT_FALSE(GetReferenceFrameImageFiles(data, brightField, green, red)) << "images not written yet";
    EXPECT_EQ(brightField, (folder / "Images" / Name("Brightfield", 22)).string());
    EXPECT_EQ(green, (folder / "Images" / Name("Ex474", 22)).string());
    EXPECT_EQ(red, "");
    std::ofstream(brightField) << "x";
    std::ofstream(green) << "x";
    EXPECT_TRUE(GetReferenceFrameImageFiles(data, brightField, green, red));

    data.frames.resize(10);
    EXPECT_FALSE(GetReferenceFrameImageFiles(data, brightField, green, red));
    EXPECT_EQ(brightField, "");
}

TEST(ParseLogTimestamp, DifferencesSurviveTheThirtyTwoBitWrap)
{
    const uint32_t a = ParseLogTimestamp("2026/03/04", "23:59:59.900");
    const uint32_t b = ParseLogTimestamp("2026/03/05", "00:00:01.150");
    EXPECT_EQ(b - a, 1250u);
    // Some 49.7 days apart the 32-bit values coincide: only near differences count.
    const uint32_t c = ParseLogTimestamp("2026/01/01", "00:00:00.000");
    const uint32_t d = ParseLogTimestamp("2026/01/01", "00:00:00.001");
    EXPECT_EQ(d - c, 1u);
}
