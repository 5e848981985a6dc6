// The run screen's experiment and analysis commands: the check screens and
// their check boxes, the report labels, the settings backup, new
// experiments, and a recorded experiment analysed end to end by a customer
// script in instance 1 that then shows the report screen.

#include <cstdio>
#include <filesystem>
#include <sstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "analysis/AnalysisEngineState.h"
#include "app/SuppliedFiles.h"
#include "operator/tests/CustomerUICommandsTestSupport.h"
#include "script/ScriptRun.h"

namespace {

using namespace customer_ui;
using customer_ui_testing::CustomerUICommandsTest;
using customer_ui_testing::WaitUntil;
namespace fs = std::filesystem;

class CustomerUIExperimentCommandsTest : public CustomerUICommandsTest {
protected:
    std::string Picture(const std::string& name) {
        const std::string path = customerDir + "/" + name;
        cv::imwrite(path, cv::Mat(20, 30, CV_16UC1, cv::Scalar(3000)));
        return path;
    }

    // Runs a waiting command on its own thread; the operator goes on with Next.
    std::string CallAndGoOn(const std::string& line, int32_t state) {
        std::string result;
        g_CustomerUI.OnScriptEnded();  // no screen shown yet
        std::thread script([&] { result = Call(line); });
        EXPECT_TRUE(WaitUntil([&] { return g_CustomerUI.GetState() == state; }));
        g_CustomerUI.OnNextClicked();
        script.join();
        return result;
    }

    // A recorded experiment of 12 frames of 130 x 2448 pixels with cells in
    // the channel's lower part; the pumps run from the third frame.
    fs::path WriteRecordedExperiment() {
        const fs::path experiment = fs::path(dataRoot) / "Exp1";
        fs::create_directories(experiment / "Images");
        std::ostringstream log;
        log << "ImageFile\tDate\tTime\tExposure(us)\tPump1SpeedULpMin\tPump2SpeedULpMin\r\n";
        cv::RNG rng(21);
        for (int i = 0; i < 12; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "Exp1_Brightfield_%04d.png", i);
            const int ms = 1500 * i;
            char time[32];
            std::snprintf(time, sizeof time, "10:00:%02d.%03d", ms / 1000, ms % 1000);
            const bool pumping = i >= 2;
            log << name << "\t2026/03/04\t" << time << "\t1000\t" << (pumping ? 60 : 0) << "\t" << (pumping ? 20 : 0)
                << "\r\n";
            cv::Mat frame(130, 2448, CV_16UC1);
            rng.fill(frame, cv::RNG::NORMAL, 1000, 30);
            for (int cell = 0; cell < 300; ++cell)
                frame(cv::Rect(rng.uniform(0, 2444), rng.uniform(80, 105), 4, 4)).setTo(4000);
            cv::imwrite((experiment / "Images" / name).string(), frame);
        }
        WriteFile((experiment / "20260304-1000-10.log").string(), log.str());
        WriteFile((experiment / "Exp1.ini").string(),
                  "[ExperimentSettings]\r\nExperimentFullName=Exp 1 (full)\r\n"
                  "[Cartridge]\r\nCartridgeUpperChannel=10\r\nCartridgeLowerChannel=109\r\n"
                  "CartridgeChannelDetectedOffset=0\r\nCartridgeChannelDetectedRotation=0\r\n"
                  "CartridgeChannelDetectedRotationCenterX=0\r\nCartridgeChannelDetectedRotationCenterY=0\r\n"
                  "[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n");
        return experiment;
    }
};

TEST_F(CustomerUIExperimentCommandsTest, ChannelChecksByTheImagesGiven) {
    Declare("STRING", "ev");
    Declare("int", "g");
    Declare("int", "r");
    const std::string green = Picture("g.png"), red = Picture("r.png");

    // No image: "Next" at once, nothing shown, the checks unchanged.
    Var("g").iValue = 7;
    EXPECT_EQ(Both("CustomerUI_FluoChannelCheck(\"G\", \"\", \"R\", \"\", ev, g, r);"), "");
    EXPECT_STREQ(Var("ev").sValue.c_str(), "Next");
    EXPECT_EQ(Var("g").iValue, 7);
    EXPECT_EQ(g_CustomerUI.GetState(), 0);

    // Only red: box 1406 stands for it, green reports 0.
    Var("r").iValue = 1;
    EXPECT_EQ(Call("CustomerUI_FluoChannelCheck(\"G\", \"\", \"Red OK\", \"" + red + "\", ev, g, r);", true), "");
    EXPECT_EQ(CallAndGoOn("CustomerUI_FluoChannelCheck(\"G\", \"\", \"Red OK\", \"" + red + "\", ev, g, r);", 12), "");
    CustomerUISnapshot s = g_CustomerUI.Snapshot();
    EXPECT_EQ(s.content.m_vecImages[0], red);
    EXPECT_EQ(s.content.m_vecImageCaptions[0], "red");
    EXPECT_EQ(s.content.m_vecInputLabels[0], "Red OK");
    EXPECT_STREQ(Var("ev").sValue.c_str(), "Next");
    EXPECT_EQ(Var("g").iValue, 0);
    EXPECT_EQ(Var("r").iValue, 1);

    // Both: side by side in slots 4 and 5, one box each.
    Var("g").iValue = 0;
    Var("r").iValue = 1;
    std::string result;
    g_CustomerUI.OnScriptEnded();
    std::thread script([&] {
        result = Call("CustomerUI_FluoChannelCheck(\"Green OK\", \"" + green + "\", \"Red OK\", \"" + red +
                      "\", ev, g, r);");
    });
    ASSERT_TRUE(WaitUntil([] { return g_CustomerUI.GetState() == 12; }));
    g_CustomerUI.SetControlChecked(IDC_CHECK1, true);       // the operator ticks green
    g_CustomerUI.SetControlChecked(IDC_CHECK1 + 1, false);  // and clears red
    g_CustomerUI.OnNextClicked();
    script.join();
    EXPECT_EQ(result, "");
    s = g_CustomerUI.Snapshot();
    EXPECT_EQ(s.content.m_vecImages[3], green);
    EXPECT_EQ(s.content.m_vecImages[4], red);
    EXPECT_EQ(s.content.m_vecImageCaptions[3], "green");
    EXPECT_EQ(s.content.m_vecImageCaptions[4], "red");
    EXPECT_EQ(Var("g").iValue, 1);
    EXPECT_EQ(Var("r").iValue, 0);

    // A fused check with only the grey image returns at once.
    EXPECT_EQ(Both("CustomerUI_FusedImageCheck(\"" + green + "\", \"\", \"\", ev);"), "");
    EXPECT_STREQ(Var("ev").sValue.c_str(), "Next");
    EXPECT_EQ(CallAndGoOn("CustomerUI_FusedImageCheck(\"" + green + "\", \"" + green + "\", \"\", ev);", 13), "");
    EXPECT_EQ(g_CustomerUI.Snapshot().content.m_vecImageCaptions[0], "grey");
}

TEST_F(CustomerUIExperimentCommandsTest, ReportLabelsBackupValidityAndNewExperiments) {
    Declare("STRING", "ev");
    Declare("STRING", "err");
    Declare("int", "ok");
    EXPECT_EQ(CallAndGoOn("CustomerUI_PromptForMontageAndFractionationReport(\"\", \"none\", 2, 0.05, 0.95, ev);", 14),
              "");
    const CustomerUISnapshot s = g_CustomerUI.Snapshot();
    ASSERT_GE(s.content.m_vecInputLabels.size(), 2u);
    EXPECT_EQ(s.content.m_vecInputLabels[0], "Top Fraction:   5%");
    EXPECT_EQ(s.content.m_vecInputLabels[1], "Bottom Fraction:  95%");
    EXPECT_EQ(s.content.m_vecInputMaxLengths[0], 1);

    // The backup copies the main settings file under a dated name.
    EXPECT_EQ(Call("CustomerUI_CreateINIBackup(", true), "missing );");
    EXPECT_EQ(Both("CustomerUI_CreateINIBackup();"), "");
    int backups = 0;
    for (const auto& entry : fs::directory_iterator(dataRoot + "/Backup"))
        backups += entry.path().filename().string().rfind("Vellora.ini.", 0) == 0 ? 1 : 0;
    EXPECT_EQ(backups, 1);

    // No settings copy in the folder or its parent.
    fs::create_directories(dataRoot + "/Empty/Sub");
    EXPECT_EQ(Both("CustomerUI_IsExperimentSettingFileValid(\"" + dataRoot + "/Empty/Sub\", ok);"), "");
    EXPECT_EQ(Var("ok").iValue, 0);

    // A refused name goes back to the script, which goes on.
    EXPECT_EQ(Both("CustomerUI_CreateExperiment(\"bad/name\", err);"), "");
    EXPECT_STRNE(Var("err").sValue.c_str(), "");

    // A folder whose log has too few rows is not a valid experiment.
    Declare("STRING", "f1");
    Declare("STRING", "f2");
    Declare("STRING", "f3");
    EXPECT_EQ(Both("CustomerUI_GetImageFileForContrastAdjustment(\"" + dataRoot + "/Empty\", f1, f2, f3, err);"), "");
    EXPECT_STREQ(Var("err").sValue.c_str(), "Not a valid experiment.");
    EXPECT_STREQ(Var("f1").sValue.c_str(), "");
}

TEST_F(CustomerUIExperimentCommandsTest, AnalysisOfAnotherKindOnlyPauses) {
    Declare("double", "top");
    Declare("double", "bottom");
    Declare("STRING", "ev");
    Var("top").dValue = 0.25;
    clock.SetWallTime(std::chrono::system_clock::now());
    EXPECT_EQ(Both("CustomerUI_PromptForAnalysis(\"\", \"" + dataRoot + "/Analysis3\", 3, 0, 0, \"x\", top, bottom, ev);"),
              "");
    EXPECT_TRUE(fs::is_directory(dataRoot + "/Analysis3"));
    EXPECT_EQ(Var("top").dValue, 0.25);
    EXPECT_STREQ(Var("ev").sValue.c_str(), "Next");
    EXPECT_EQ(g_CustomerUI.GetState(), 8);
}

TEST_F(CustomerUIExperimentCommandsTest, ACustomerScriptAnalysesARecordedExperimentAndShowsTheReport) {
    // The main settings file as installed, with its line mapping.
    std::string installError;
    ASSERT_TRUE(InstallMissingDataRootFiles(dataRoot.c_str(), &installError)) << installError;
    fs::copy_file(dataRoot + "/Default/Vellora.ini", dataRoot + "/Vellora.ini", fs::copy_options::overwrite_existing);
    const fs::path experiment = WriteRecordedExperiment();
    const std::string script = customerDir + "/Scripts/Analyse.scr";
    WriteFile(script,
              "double top;\ndouble bottom;\nSTRING ev;\nSTRING f1;\nSTRING f2;\nSTRING f3;\nSTRING err;\n"
              "CustomerUI_GetImageFileForContrastAdjustment(\"" + experiment.string() + "\", f1, f2, f3, err);\n"
              "CustomerUI_SetTextLine(1, err);\n"
              "CustomerUI_SetTextLine(1, \"Analysing...\");\n"
              "CustomerUI_PromptForAnalysis(\"" + experiment.string() + "\", \"Analysis\", 2, 0, 0, \"Run1\", top, bottom, ev);\n"
              "CustomerUI_SetTextLine(1, \"Fractions of the run\");\n"
              "CustomerUI_PromptForMontageAndFractionationReport(\"" + experiment.string() +
                  "/Analysis\", \"Run1\", 2, top, bottom, ev);\n"
              "CustomerUI_SetTitle(ev);\n");
    PretendCustomerScriptRuns();
    DeleteActiveScriptHandle(1);
    m_pretendedRun = false;
    CString error;
    ASSERT_TRUE(Script::RunScript(1, script.c_str(), error)) << error.GetString();
    ASSERT_TRUE(WaitUntil([] { return g_CustomerUI.GetState() == 14 || !ScriptInstanceExists(1); }));
    ASSERT_EQ(g_CustomerUI.GetState(), 14) << "the run ended before its report";
    const CustomerUISnapshot s = g_CustomerUI.Snapshot();
    ASSERT_GE(s.content.m_vecImages.size(), 6u);
    EXPECT_EQ(s.content.m_vecImages[5], (experiment / "Analysis" / "Run1.small.png").string());
    EXPECT_TRUE(fs::exists(experiment / "Analysis" / "Run1.png"));
    ASSERT_GE(s.content.m_vecInputLabels.size(), 2u);
    EXPECT_EQ(s.content.m_vecInputLabels[0].rfind("Top Fraction:  ", 0), 0u);
    EXPECT_EQ(s.content.m_vecInputLabels[1].rfind("Bottom Fraction:  ", 0), 0u);
    EXPECT_NE(s.content.m_vecInputLabels[1], "Bottom Fraction:    0%");
    g_CustomerUI.OnNextClicked();
    ASSERT_TRUE(WaitUntil([] { return !ScriptInstanceExists(1); }));
    EXPECT_EQ(g_CustomerUI.Snapshot().content.m_strTitle, "Next");
    ResetFractionationState();
    ResetFlowGeometry();
    ResetMeniscusSearches();
}

}  // namespace
