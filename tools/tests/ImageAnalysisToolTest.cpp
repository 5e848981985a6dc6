// The batch image analysis tool without its window: the checks of a run
// (each refusal's message), the parameter-file header lines, and a run of
// the batch engine through the tool's owner on a synthetic folder.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "analysis/testsupport/SyntheticCells.h"
#include "tools/CountingParamSet.h"
#include "tools/ImageAnalysisTool.h"
#include "tools/tests/CountingTestSupport.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

namespace {

const char kCurve[] =
    "[LPCurveParams]\r\nChiGd_factor=3.2E-7\r\nrhobuffer=1.005\r\nmunot=1.2566E-6\r\ng=9.81\r\ncubic=0.5\r\n"
    "square=-2\r\nlinear=3\r\nconstant=0.25\r\nmag_gap=1.5\r\nChiPar=-9E-6\r\n";

struct BatchFolder {
    explicit BatchFolder(const std::string& name)
    {
        root = MakeDataRoot(name, "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\nUpperMagnet=20\r\nLowerMagnet=220\r\n");
        folder = root / "images";
        fs::create_directories(folder);
        SyntheticCellSpec spec;
        spec.cellCount = 4;
        cv::imwrite((folder / "run_BF_1.png").string(), MakeSyntheticCellImage(spec).image);
        spec.seed = 2;
        cv::imwrite((folder / "run_BF_2.png").string(), MakeSyntheticCellImage(spec).image);
        std::string error;
        EXPECT_TRUE(SaveCountingParamSet("Rings", RingCountingValues(320, 240), &error)) << error;
        WriteFile(root / "LIB" / "Curve.LP_curve_params", kCurve);
        WriteFile(root / "LIB" / "Bad.epi_counting_params", "[EpiCellCountingAlgoDlg]\r\nMinPixelCount=1\r\n");
        request.fileNames = {"run_BF_1.png", "run_BF_2.png"};
        request.cirSetName = "Rings";
        request.folder = folder.string();
        request.magnetSettingsFile = (root / "Vellora.ini").string();
    }
    fs::path root;
    fs::path folder;
    ImageAnalysisRequest request;
};

}  // namespace

TEST(ImageAnalysisTool, RunChecks)
{
    BatchFolder f("batch-checks");
    const std::string lib = (f.root / "LIB").string();
    const std::string magnetsMissing = WriteFile(f.root / "acquired" / "ExperimentSettings.ini", "[CalibrationSettings]\r\n");
    const std::string upperLow = WriteFile(f.root / "low" / "ExperimentSettings.ini",
                                           "[CalibrationSettings]\r\nUpperMagnet=-3001\r\nLowerMagnet=0\r\n");
    struct Case {
        const char* what;
        std::function<void(ImageAnalysisRequest&)> change;
        std::string message;  // empty: accepted
        bool warningOnly = false;
    };
    const Case cases[] = {
        {"accepted", [](ImageAnalysisRequest&) {}, ""},
        {"no file", [](ImageAnalysisRequest& r) { r.fileNames.clear(); }, "You must select at least one file to process.", true},
        {"missing circular set", [](ImageAnalysisRequest& r) { r.cirSetName = "Nope"; },
         "Circular algo params file: " + lib + "/Nope.counting_params does not exist"},
        {"missing epi set", [](ImageAnalysisRequest& r) { r.epiSetName = "Nope"; },
         "Epi algo params file: " + lib + "/Nope.epi_counting_params does not exist"},
        {"invalid epi set", [](ImageAnalysisRequest& r) { r.epiSetName = "Bad"; },
         "Min pixel count must be an integer between 10 and 1000\n"},
        {"no set", [](ImageAnalysisRequest& r) { r.cirSetName.clear(); }, "You must specify a circular and/or epi algo params file."},
        {"magnets missing", [&](ImageAnalysisRequest& r) { r.magnetSettingsFile = magnetsMissing; },
         magnetsMissing + " - missing [CalibrationSettings] UpperMagnet=-10000 must be >= -3000" + magnetsMissing +
             " - missing [CalibrationSettings] LowerMagnet=nnn"},
        {"upper too low", [&](ImageAnalysisRequest& r) { r.magnetSettingsFile = upperLow; },
         upperLow + " - missing [CalibrationSettings] UpperMagnet=-3001 must be >= -3000"},
        {"Gd at the lower bound", [](ImageAnalysisRequest& r) { r.lpCurveName = "Curve"; r.gdConcText = "0.001"; },
         "Gd_conc must be between 0.001 and 1000 mM"},
        {"Gd at the upper bound", [](ImageAnalysisRequest& r) { r.lpCurveName = "Curve"; r.gdConcText = "1000"; },
         "Gd_conc must be between 0.001 and 1000 mM"},
        {"Gd inside", [](ImageAnalysisRequest& r) { r.lpCurveName = "Curve"; r.gdConcText = "0.0011"; }, ""},
        {"Gd not tested without a curve", [](ImageAnalysisRequest& r) { r.gdConcText = "abc"; }, ""},
        {"missing curve", [](ImageAnalysisRequest& r) { r.lpCurveName = "Nope"; r.gdConcText = "10"; },
         "Missing file: " + lib + "/Nope.LP_curve_params\n"},
    };
    for (const Case& c : cases) {
        ImageAnalysisRequest request = f.request;
        c.change(request);
        ImageAnalysisRun run;
        std::string error;
        bool warningOnly = false;
        const bool accepted = request.Prepare(run, &error, &warningOnly);
        EXPECT_EQ(accepted, c.message.empty()) << c.what;
        EXPECT_EQ(error, c.message) << c.what;
        EXPECT_EQ(warningOnly, c.warningOnly) << c.what;
        if (accepted) {
            EXPECT_EQ(run.fileNames.GetSize(), 2);
            EXPECT_TRUE(run.cirOptions.enabled);
            EXPECT_EQ(run.upperMagnet, 20);
            EXPECT_EQ(run.lowerMagnet, 220);
            EXPECT_EQ(run.lpCurve.loaded, !request.lpCurveName.empty()) << c.what;
        }
    }
}

TEST(ImageAnalysisTool, HeaderLinesNameTheSetsAndCopyTheirFiles)
{
    BatchFolder f("batch-header");
    const fs::path runFolder = f.folder / "run";
    fs::create_directories(runFolder);
    CStringArray lines;
    AppendParamFileHeaderLines("Rings", "", "Curve", "12.5", runFolder.string(), lines);
    std::vector<std::string> texts;
    for (const CString& line : lines)
        texts.push_back(line.str());
    EXPECT_EQ(texts, (std::vector<std::string>{"#cir_params=Rings", "#epi_params=", "#LP_curve=Curve",
                                               "#Projection Analysis params file=",
                                               "#Background Calibration params file=", "#Gd_conc=12.5"}));
    EXPECT_TRUE(fs::exists(runFolder / "Rings.counting_params"));
    EXPECT_TRUE(fs::exists(runFolder / "Curve.LP_curve_params"));
}

TEST(ImageAnalysisTool, RunThroughTheOwnerWritesTheSummaryAndEndsTheRun)
{
    BatchFolder f("batch-run");
    auto run = std::make_shared<ImageAnalysisRun>();
    std::string error;
    bool warningOnly = false;
    ASSERT_TRUE(f.request.Prepare(*run, &error, &warningOnly)) << error;
    std::vector<std::string> statuses;
    int ended = 0;
    ToolWorkerContext context;
    context.status = [&](const std::string& text) { statuses.push_back(text); };
    ImageAnalysisToolOwner owner(f.request, context, [&] { ++ended; });
    run->ownerDialog = &owner;
    SetImageAnalysisWorkerCount(1);
    ImageAnalysisThread(run);
    SetImageAnalysisWorkerCount(0);
    const ImageAnalysisRun::State state = run->Snapshot();
    ASSERT_TRUE(state.finished);
    ASSERT_FALSE(state.analysisFile.empty());
    const std::string summary = ReadFile(state.analysisFile);
    EXPECT_NE(summary.find("#cir_params=Rings\r\n#epi_params=\r\n#LP_curve=\r\n"), std::string::npos);
    EXPECT_NE(summary.find("#Gd_conc=\r\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(fs::path(state.analysisFile).parent_path() / "Rings.counting_params"));
    EXPECT_EQ(ended, 1);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), "Processing 1 of 2");
    EXPECT_EQ(statuses.back(), "");
}

TEST(ImageAnalysisTool, StopBeforeTheFirstImageEndsTheRun)
{
    BatchFolder f("batch-stop");
    auto run = std::make_shared<ImageAnalysisRun>();
    std::string error;
    bool warningOnly = false;
    ASSERT_TRUE(f.request.Prepare(*run, &error, &warningOnly)) << error;
    std::vector<std::string> statuses;
    int ended = 0;
    ToolWorkerContext context;
    context.status = [&](const std::string& text) { statuses.push_back(text); };
    ImageAnalysisToolOwner owner(f.request, context, [&] { ++ended; });
    owner.RequestStop();
    run->ownerDialog = &owner;
    ImageAnalysisThread(run);
    EXPECT_TRUE(run->Snapshot().finished);
    EXPECT_EQ(ended, 1);
    for (const std::string& status : statuses)
        EXPECT_EQ(status.find("Processing"), std::string::npos) << status;
}
