// The analysis-run commands: argument checks in the check pass, parameter
// files taken from the library folder, handles, status polling to the end,
// result files and the rules for removing a run; and one script that does
// it all on its worker thread.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "analysis/ImageAnalysisRun.h"
#include "support/CachedLog.h"
#include "support/Profile.h"
#include "script/tests/CommandTestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRunImageAnalysis = 75;
constexpr int kGetImageAnalysisRunStatus = 76;
constexpr int kDeleteImageAnalysisRunHandle = 77;
constexpr int kGetImageAnalysisRunFiles = 78;

class AnalysisRunCommandTest : public scripttest::CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        variables = scripttest::Declared({"int h = 0;", "int state = 9;", "STRING status = \"old\";",
                                          "STRING a = \"\";", "STRING hp = \"\";", "STRING vp = \"\";",
                                          "STRING lg = \"\";", "double d = 0.5;"});
        images = root / "images";
        library = root / "LIB";
        fs::create_directories(images);
        fs::create_directories(library);
        // Two 200 x 150 images with dark rings, the epifluorescence cells.
        for (const char* name : {"s_Ex474_0001.png", "s_Ex474_0002.png"}) {
            cv::Mat image(150, 200, CV_16UC1, cv::Scalar(5000));
            cv::circle(image, {60, 60}, 9, cv::Scalar(1000), 2);
            cv::imwrite((images / name).string(), image);
        }
        std::ofstream(library / "cells.epi_counting_params", std::ios::binary)
            << "[EpiCellCountingAlgoDlg]\r\nLeft=10\r\nTop=10\r\nRight=189\r\nBottom=139\r\nMinSize=15\r\n"
               "MaxRatio=0.45\r\n";
        std::ofstream(library / "proj.pa_params", std::ios::binary) << "[x]\r\n";
    }

    // The twelve arguments with the given parameter files and handle.
    std::string Arguments(const std::string& imageFolder, const std::string& cir, const std::string& epi,
                          const std::string& proj = "", const std::string& handle = "h")
    {
        return "(\"" + imageFolder + "\", \"" + library.string() + "\", \"" + cir + "\", \"" + epi + "\", \"\", \"" +
               proj + "\", 1.0, \"\", 0, 150, 0, " + handle + ");";
    }

    fs::path images, library;
};

TEST_F(AnalysisRunCommandTest, InputsAreCheckedBeforeARunStarts)
{
    const std::string lib = library.string();
    const struct {
        std::string arguments;
        std::string result;
    } cases[] = {
        {Arguments((root / "none").string(), "", "cells.epi_counting_params"),
         "image_dir: " + (root / "none").string() + " directory does not exist"},
        {"(\"" + images.string() + "\", \"" + (root / "nolib").string() + "\", \"\", \"\", \"\", \"\", 1, \"\", 0, 150, 0, h);",
         "lib_dir: " + (root / "nolib").string() + " directory does not exist"},
        {Arguments(images.string(), "x.counting_params", "cells.epi_counting_params"),
         "cir_params: " + lib + "/x.counting_params does not exist"},
        // A file named with another folder is the file of that name in the library.
        {Arguments(images.string(), "", (root / "elsewhere" / "cells.epi_counting_params").string()), "ok"},
        {Arguments(images.string(), "", "/elsewhere/missing.epi_counting_params"),
         "epi_params: " + lib + "/missing.epi_counting_params does not exist"},
        {Arguments(images.string(), "", "cells.epi_counting_params", "none.pa_params"),
         "proj_analysis_params: " + lib + "/none.pa_params does not exist"},
        {Arguments(images.string(), "", "cells.epi_counting_params", "proj.pa_params"), "ok"},
        {Arguments(images.string(), "", ""), "RunImageAnalysisTool() - Either cir_params or epi_params must be specified."},
        {Arguments(images.string(), "", "cells.epi_counting_params", "", "nosuch"),
         "Variable \"nosuch\" is not defined, expecting int parameter 12"},
    };
    const int jobs = g_ImageAnalysisJobs.Count();
    for (const auto& c : cases)
        EXPECT_EQ(Run(kRunImageAnalysis, c.arguments, true), c.result) << c.arguments;
    EXPECT_EQ(g_ImageAnalysisJobs.Count(), jobs);
    EXPECT_EQ(Value("h"), "int 0");
    // A failed start at run time leaves the table as it was.
    EXPECT_EQ(Run(kRunImageAnalysis, Arguments(images.string(), "", "")),
              "RunImageAnalysisTool() - Either cir_params or epi_params must be specified.");
    EXPECT_EQ(g_ImageAnalysisJobs.Count(), jobs);
    // The queries read their arguments only.
    EXPECT_EQ(Run(kGetImageAnalysisRunStatus, "(999999, state, status);", true), "ok");
    EXPECT_EQ(Run(kGetImageAnalysisRunFiles, "(999999, a, hp, vp);", true), "Missing leading \" for string parameter 5");
    EXPECT_EQ(Run(kDeleteImageAnalysisRunHandle, "(999999);", true), "ok");
}

TEST_F(AnalysisRunCommandTest, RunsAreReachedByHandleAndRemovedOnlyWhenFinished)
{
    // No such run.
    EXPECT_EQ(Run(kGetImageAnalysisRunStatus, "(999999, state, status);"), "ok");
    EXPECT_EQ(Value("state") + "|" + Value("status"), "int -1|STRING ");
    EXPECT_EQ(Run(kGetImageAnalysisRunFiles, "(999999, a, hp, vp, lg);"), "Invalid handle.");
    EXPECT_EQ(Run(kDeleteImageAnalysisRunHandle, "(999999);"), "No such image analysis handle.");

    // A run that has not finished stays.
    auto running = std::make_shared<ImageAnalysisRun>();
    running->SetStatusText("Processing 1 of 4");
    const int32_t handle = g_ImageAnalysisJobs.Add(running, std::this_thread::get_id());
    const std::string id = std::to_string(handle);
    EXPECT_EQ(Run(kGetImageAnalysisRunStatus, "(" + id + ", state, status);"), "ok");
    EXPECT_EQ(Value("state") + "|" + Value("status"), "int 1|STRING Processing 1 of 4");
    EXPECT_EQ(Run(kDeleteImageAnalysisRunHandle, "(" + id + ");"), "Image analysis is still running for given handle.");
    EXPECT_NE(g_ImageAnalysisJobs.Find(handle), nullptr);
    // A double or a literal in an output place receives nothing.
    EXPECT_EQ(Run(kGetImageAnalysisRunStatus, "(" + id + ", d, \"x\");"), "ok");
    EXPECT_EQ(Value("d"), "double 0.5");

    running->SetResultFiles("/r/a.Analysis.txt", "/r/a.[horz_proj].txt", "/r/a.[vert_proj].txt");
    running->SetImageLogFile("/r/log.log");
    running->MarkFinished();
    EXPECT_EQ(Run(kGetImageAnalysisRunStatus, "(" + id + ", state, status);"), "ok");
    EXPECT_EQ(Value("state") + "|" + Value("status"), "int 0|STRING Finished");
    EXPECT_EQ(Run(kGetImageAnalysisRunFiles, "(" + id + ", a, hp, vp, lg);"), "ok");
    EXPECT_EQ(Value("a") + "|" + Value("hp") + "|" + Value("vp") + "|" + Value("lg"),
              "STRING /r/a.Analysis.txt|STRING /r/a.[horz_proj].txt|STRING /r/a.[vert_proj].txt|STRING /r/log.log");
    EXPECT_EQ(Run(kDeleteImageAnalysisRunHandle, "(" + id + ");"), "ok");
    EXPECT_EQ(Run(kGetImageAnalysisRunStatus, "(" + id + ", state, status);"), "ok");
    EXPECT_EQ(Value("state"), "int -1");
    EXPECT_EQ(Run(kDeleteImageAnalysisRunHandle, "(" + id + ");"), "No such image analysis handle.");
}

// A script starts two runs, polls the first to its end, collects its files
// and removes it, and writes what it saw into a settings file.
TEST_F(AnalysisRunCommandTest, ScriptPollsARunToItsEndAndCollectsItsFiles)
{
    if (!_CachedLog_semaphore) {
        Tovanix::String error;
        ASSERT_TRUE(InitializeCachedLogging(30, &error)) << error.c_str();
    }
    const std::string script =
        "int h = 0;\n"
        "int h2 = 0;\n"
        "int state = 1;\n"
        "int polls = 0;\n"
        "STRING status = \"\";\n"
        "STRING a = \"\";\n"
        "STRING hp = \"\";\n"
        "STRING vp = \"\";\n"
        "STRING lg = \"\";\n"
        "RunImageAnalysis" + Arguments(images.string(), "", "cells.epi_counting_params", "", "h") + "\n"
        "while (state == 1)\n{\n  GetImageAnalysisRunStatus(h, state, status);\n  polls += 1;\n}\n"
        // A second run on the same folder gets the next handle. (Its results
        // are not read: a run started in the same second as the first one
        // finds its time-stamped folder taken and ends with a message.)
        "RunImageAnalysis" + Arguments(images.string(), "", "cells.epi_counting_params", "", "h2") + "\n"
        "h2 -= h;\n"
        "if (h2 == 1)\n{\n  WriteStoredString(\"Run\", \"Consecutive\", \"yes\", \"result.ini\");\n}\n"
        "WriteStoredString(\"Run\", \"Status\", status, \"result.ini\");\n"
        "GetImageAnalysisRunFiles(h, a, hp, vp, lg);\n"
        "WriteStoredString(\"Run\", \"Analysis\", a, \"result.ini\");\n"
        "WriteStoredString(\"Run\", \"Horizontal\", hp, \"result.ini\");\n"
        "WriteStoredString(\"Run\", \"Vertical\", vp, \"result.ini\");\n"
        "DeleteImageAnalysisRunHandle(h);\n"
        "GetImageAnalysisRunStatus(h, state, status);\n"
        "if (state == -1)\n{\n  WriteStoredString(\"Run\", \"Removed\", \"yes\", \"result.ini\");\n}\n";
    const std::string path = Write("Scripts/analysis.scr", script);
    CString error;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.GetString();
    ASSERT_TRUE(observer.WaitForEnds(1));
    EXPECT_EQ(observer.Ends(), std::vector<std::string>{"0 ended"});

    const std::string result = (root / "result.ini").string();
    auto read = [&](const char* key) {
        char buffer[1024] = "";
        Tovanix::E_GetPrivateProfileString("Run", key, "", buffer, sizeof buffer, result.c_str());
        return std::string(buffer);
    };
    EXPECT_EQ(read("Consecutive"), "yes");
    EXPECT_EQ(read("Status"), "Finished");
    EXPECT_EQ(read("Removed"), "yes");
    for (const char* key : {"Analysis", "Horizontal", "Vertical"}) {
        EXPECT_FALSE(read(key).empty()) << key;
        EXPECT_TRUE(fs::exists(read(key))) << key << " " << read(key);
    }
    EXPECT_NE(read("Analysis").find(".Analysis.txt"), std::string::npos);
    // The second run is left in the table, as the script left it; wait for
    // its end so that no run outlives the test's folders.
    for (int32_t handle = 1; handle < 1000; ++handle)
        if (auto run = g_ImageAnalysisJobs.Find(handle))
            EXPECT_TRUE(run->WaitUntilFinished(120000));
}

}  // namespace
