#include "analysis/FractionationPipeline.h"

#include "analysis/AnalysisEngineState.h"
#include "app/tests/AppTestSupport.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 2448;
constexpr int kLogRows = 12;  // the pumps run from row 2: ten frames

// A recorded experiment of 12 frames of 130 x 2448: channel rows 10 to 109,
// noise around 1000, bright cells in the channel's lower part (below the
// split of pumps at 60 and 20 microlitres a minute, row 77). 400 pixels per
// millimetre and 1.5 s between frames give a shift of 200 columns a frame.
// No meniscus templates: the analysis runs from the first to the last frame.
class FractionationPipelineTest : public apptest::DataRootTest {
protected:
    void SetUp() override
    {
        apptest::DataRootTest::SetUp();
        experiment = folder / "Exp1";
        fs::create_directories(experiment);
        std::ostringstream log;
        log << "ImageFile\tDate\tTime\tExposure(us)\tPump1SpeedULpMin\tPump2SpeedULpMin\r\n";
        cv::RNG rng(21);
        for (int i = 0; i < kLogRows; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "Exp1_Brightfield_%04d.png", i);
            const int ms = 1500 * i;
            char time[32];
            std::snprintf(time, sizeof time, "10:00:%02d.%03d", ms / 1000, ms % 1000);
            const bool pumping = i >= 2;
            log << name << "\t2026/03/04\t" << time << "\t1000\t" << (pumping ? 60 : 0) << "\t"
                << (pumping ? 20 : 0) << "\r\n";
            cv::Mat frame(130, kWidth, CV_16UC1);
            rng.fill(frame, cv::RNG::NORMAL, 1000, 30);
            for (int cell = 0; cell < 300; ++cell)
                frame(cv::Rect(rng.uniform(0, kWidth - 4), rng.uniform(80, 105), 4, 4)).setTo(4000);
            ASSERT_TRUE(cv::imwrite((experiment / name).string(), frame));
        }
        apptest::Put(experiment / "20260304-1000-10.log", log.str());
        apptest::Put(experiment / "Exp1.ini",
                     "[ExperimentSettings]\r\nExperimentFullName=Exp 1 (full)\r\n"
                     "[Cartridge]\r\nCartridgeUpperChannel=10\r\nCartridgeLowerChannel=109\r\n"
                     "CartridgeChannelDetectedOffset=0\r\nCartridgeChannelDetectedRotation=0\r\n"
                     "CartridgeChannelDetectedRotationCenterX=0\r\nCartridgeChannelDetectedRotationCenterY=0\r\n"
                     "[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n");
        DirtyEngine();
    }
    void TearDown() override
    {
        ResetMeniscusSearches();
        ResetFlowGeometry();
        ResetFractionationState();
        apptest::DataRootTest::TearDown();
    }

    // State a previous run could have left, which the reset must clear.
    static void DirtyEngine()
    {
        g_LeadMeniscusSearch.templateFiles = {"a.png"};
        g_TrailMeniscusSearch.templateFiles = {"b.png"};
        g_FlowGeometry.splitRow = 5;
        g_FractionationState.frames = {cv::Mat::zeros(2, 2, CV_16UC1)};
        g_FractionationState.topFraction = 3;
    }

    static void ExpectEngineReset()
    {
        EXPECT_TRUE(g_LeadMeniscusSearch.templateFiles.empty());
        EXPECT_TRUE(g_TrailMeniscusSearch.templateFiles.empty());
        EXPECT_EQ(g_LeadMeniscusSearch.scaleDivisor, 2);
        EXPECT_EQ(g_FlowGeometry.splitRow, 0.0);
        EXPECT_EQ(g_FlowGeometry.pixelShiftPerFrame, 0.0);
        EXPECT_TRUE(g_FractionationState.frames.empty());
        EXPECT_TRUE(g_FractionationState.intensityProfile.empty());
        EXPECT_TRUE(g_FractionationState.noiseFreeBackground.empty());
        EXPECT_EQ(g_FractionationState.topFraction, 0.0);
        EXPECT_EQ(g_FractionationState.bottomFraction, 0.0);
    }

    std::string ReportLine(const std::string& name, const std::string& key) const
    {
        const std::string text = apptest::Bytes(experiment / (name + ".txt"));
        const size_t at = text.find(key + "\t");
        if (at == std::string::npos)
            return std::string();
        const size_t value = at + key.size() + 1;
        return text.substr(value, text.find("\r\n", value) - value);
    }

    fs::path experiment;
};

}  // namespace

TEST_F(FractionationPipelineTest, CompletesAndResetsTheEngine)
{
    double top = -1, bottom = -1;
    std::string error;
    ASSERT_TRUE(FractionationAnalysis(nullptr, experiment.c_str(), "Fractions", top, bottom, &error)) << error;
    EXPECT_TRUE(error.empty()) << error;
    ExpectEngineReset();

    EXPECT_EQ(ReportLine("Fractions", "Experiment Name"), "Exp 1 (full)");
    EXPECT_EQ(ReportLine("Fractions", "Upper Channel Position"), "10");
    EXPECT_EQ(ReportLine("Fractions", "Lower Channel Position"), "109");
    EXPECT_EQ(ReportLine("Fractions", "Split-line Position"), "77");  // 167.36 + 10 - 100
    EXPECT_EQ(ReportLine("Fractions", "Split-line Value"), "-17");
    // The fractions handed out are the report's.
    std::ostringstream fractions;
    fractions << top << " " << bottom;
    EXPECT_EQ(ReportLine("Fractions", "Top Fraction") + " " + ReportLine("Fractions", "Bottom Fraction"),
              fractions.str());
    EXPECT_GT(top, 0.0);
    EXPECT_GT(bottom, 0.0);
    EXPECT_NEAR(top + bottom, 1.0, 1e-12);
}

TEST_F(FractionationPipelineTest, FolderWithoutACaptureLogStopsAtTheLogStep)
{
    fs::remove(experiment / "20260304-1000-10.log");
    double top = -1, bottom = -1;
    std::string error = "untouched";
    EXPECT_FALSE(FractionationAnalysis(nullptr, experiment.c_str(), "Fractions", top, bottom, &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(top, -1.0);
    EXPECT_EQ(bottom, -1.0);
    ExpectEngineReset();
    EXPECT_FALSE(fs::exists(experiment / "Fractions.txt"));
}

TEST_F(FractionationPipelineTest, StepFailuresAreReportedAndReset)
{
    // A capture-log cell that is not a number: the pipeline reports it.
    const std::string log = apptest::Bytes(experiment / "20260304-1000-10.log");
    std::string broken = log;
    broken.replace(broken.find("\t1000\t60\t"), 9, "\tfast\t60\t");
    apptest::Put(experiment / "20260304-1000-10.log", broken);
    double top = -1, bottom = -1;
    std::string error;
    EXPECT_FALSE(FractionationAnalysis(nullptr, experiment.c_str(), "Fractions", top, bottom, &error));
    EXPECT_EQ(error.rfind("Fractionation Analysis: ", 0), 0u) << error;
    EXPECT_EQ(top, -1.0);
    ExpectEngineReset();

    // No calibration: the pixel-shift step refuses.
    apptest::Put(experiment / "20260304-1000-10.log", log);
    std::string ini = apptest::Bytes(experiment / "Exp1.ini");
    apptest::Put(experiment / "Exp1.ini", ini.substr(0, ini.find("[CalibrationSettings]")));
    DirtyEngine();
    EXPECT_FALSE(FractionationAnalysis(nullptr, experiment.c_str(), "Fractions", top, bottom, &error));
    EXPECT_EQ(error.rfind("Function Calculate PixelShiftperFrame: ", 0), 0u) << error;
    EXPECT_EQ(top, -1.0);
    ExpectEngineReset();

    // The analysis step ran but could not write its report: the fractions
    // are still handed out.
    apptest::Put(experiment / "Exp1.ini", ini);
    DirtyEngine();
    EXPECT_FALSE(FractionationAnalysis(nullptr, experiment.c_str(), "missing/Fractions", top, bottom, &error));
    EXPECT_EQ(error.rfind("Function conduct Fractionation Analysis: Cell fractionation report: could not write", 0),
              0u)
        << error;
    EXPECT_NEAR(top + bottom, 1.0, 1e-12);
    ExpectEngineReset();
}
