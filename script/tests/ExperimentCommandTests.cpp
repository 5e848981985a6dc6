// The experiment and workflow commands: their refusals in the check pass and
// at run time, the name checks in their answer and error forms, the settings
// they read and write, and a recording started, re-timed and followed by a
// single capture on the virtual camera.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/ExperimentWorkflow.h"
#include "app/FrameHooks.h"
#include "app/ImageTypes.h"
#include "imaging/ExperimentFolders.h"
#include "imaging/ImageCaptureWorkflow.h"
#include "imaging/LiveView.h"
#include "imaging/tests/CaptureTestSupport.h"
#include "platform/Sync.h"
#include "script/BuiltInFunctions.h"
#include "script/ExperimentControl.h"
#include "script/Script.h"
#include "script/tests/ScriptTestSupport.h"
#include "support/Profile.h"

namespace {

namespace fs = std::filesystem;
using scripttest::Declared;
using scripttest::Describe;

std::string RunLine(Script& script, std::vector<Variable>& variables, const std::string& line, bool check_only)
{
    const size_t open = line.find_first_of("( ");
    const int position = FindBuiltInFunction(line.substr(0, open).c_str());
    if (position < 0)
        return "no command " + line.substr(0, open);
    CString error;
    const int index = g_BuiltInFunctions[static_cast<size_t>(position)].index;
    return script.ExecuteBuiltInFunction(index, line.c_str() + open, variables, check_only, error) ? "ok"
                                                                                                    : error.str();
}

// Timer 1000 of a main window, as calls.
class RecordingTimer : public WorkflowTimer {
public:
    void SetTimer(uint32_t periodMs) override { calls.push_back("set " + std::to_string(periodMs)); }
    void KillTimer() override { calls.push_back("kill"); }
    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        taken.swap(calls);
        return taken;
    }
    std::vector<std::string> calls;
};

const char kBrightField[] = "IsActive1=TRUE\r\nImageTypeName1=BF\r\nImageTypeExposure1=2000\r\n"
                            "IsActive2=FALSE\r\nImageTypeName2=GFP\r\nImageTypeExposure2=abc\r\n"
                            "IsActive3=true\r\nImageTypeName3=\r\nIsActive4=FALSE\r\n";

class ExperimentCommandTest : public capturetest::VirtualCaptureTest {
protected:
    void SetUp() override
    {
        VirtualCaptureTest::SetUp();
        BuildBuiltInFunctionTable();
        script.running = true;
        WriteSettings(std::string(kBrightField) + "DataDirectory=" + (root / "Data").string() +
                      "\r\nCreateDailySubDirectory=FALSE\r\nImageCapturePeriod=0\r\nImageCaptureCount=3\r\n");
        fs::create_directories(root / "Data");
    }
    void TearDown() override
    {
        theApp.m_bWorkflowRunning = false;
        SetMainWindowWorkflow(nullptr);
        SetWorkflowHandOverReader(nullptr);
        g_WorkflowEvent.reset();
        SetFrameHooks(FrameHooks{});
        ImageTypeBox::Detach();
        {
            std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
            g_LiveIntervalByImageType.clear();
            g_LiveIntervalChanged = false;
        }
        VirtualCaptureTest::TearDown();
    }

    std::string Run(const std::string& line) { return RunLine(script, variables, line, false); }
    std::string Check(const std::string& line) { return RunLine(script, variables, line, true); }
    std::string Setting(const char* key, const std::string& file = std::string())
    {
        char buffer[1024] = {};
        Tovanix::E_GetPrivateProfileString("ExperimentSettings", key, "<none>", buffer, sizeof buffer,
                                           file.empty() ? g_IniPath.GetString() : file.c_str());
        return buffer;
    }

    Script script{0};
    std::vector<Variable> variables =
        Declared({"int ok = 5;", "STRING why = \"old\";", "int n = 7;", "STRING s = \"x\";", "STRING t = \"y\";",
                  "double d = 0.5;"});
};

TEST_F(ExperimentCommandTest, RefusalsAtLoadTimeAndWhenTheLineRuns)
{
    const std::string name33(33, 'a');
    const struct {
        std::string line;
        const char* check;
        const char* run;  // after a check that passed
    } cases[] = {
        {"StartRecordingWorkflow(\"\");", "ok", "StartRecordingWorkflow() - exp_name may not be empty."},
        {"StartRecordingWorkflow(\" \t \");", "ok", "StartRecordingWorkflow() - exp_name may not be empty."},
        {"StartRecordingWorkflow(\"" + name33 + "\");", "ok",
         "StartRecordingWorkflow() - exp_name may not be longer than 32 characers."},
        {"StartRecordingWorkflow(\"run:1\");", "ok",
         "StartRecordingWorkflow() - exp_name contains invalid characters. Only valid Windows file name characters "
         "are allowed."},
        {"StartRecordingWorkflow(5);", "Missing leading \" for string parameter 1", nullptr},
        {"SingleWorkflowImageCapture(\"" + name33 + "\");", "ok",
         "SingleWorkflowImageCapture() - image type must not be longer than 32 characters"},
        {"SingleWorkflowImageCapture(\"B/F\");", "ok",
         "SingleWorkflowImageCapture() - image type must be a valid Windows file name string"},
        // Type names compare with letter case.
        {"SingleWorkflowImageCapture(\"bf\");", "ok",
         "SingleWorkflowImageCapture() - the given image type not found in ExperimentSettings.ini"},
        {"SetImageCapturePeriodMS(3600001);", "ok",
         "SetImageCapturePeriodMS () : value must be between 0 and 3600000, where zero indicates that only a single "
         "image will be captured"},
        {"SetImageCapturePeriodMS(-1);", "ok",
         "SetImageCapturePeriodMS () : value must be between 0 and 3600000, where zero indicates that only a single "
         "image will be captured"},
        {"SetExperimentName(\"ab\");", "ok", "SetExperimentName() : experiment name must be at least 3 characters."},
        // An optional answer that is written but does not read fails, already when the script loads.
        {"SetExperimentName(\"abc\", ok, reasn);", "Variable \"reasn\" is not defined, expecting STRING parameter 2",
         nullptr},
        {"SetExperimentName(\"abc\", 1.5);", "Expected ',' or ')' after parameter 1", nullptr},
        {"SetExperimentName(\"abc\", s);", "Variable s is not type int, parameter 1 expected int", nullptr},
        {"IsFilenameValid(\"abc\", okay);", "Variable \"okay\" is not defined, expecting int parameter 1", nullptr},
        {"IsFileExist(\"/\", ok, 3);", "Missing leading \" for string parameter 2", nullptr},
        {"SetDataDirectory(\"/no/such/folder\");", "ok",
         "SetExperimentName() : /no/such/folder is not an existing directory."},
        {"GetImageTypeDescription(5, n, s, n);", "ok",
         "GetImageTypeDescription() : itype must be an integer between 1 and 4"},
        {"GetImageTypeDescription(1, n, s);", "Invalid int parameter 4", nullptr},
        {"SetImageTypeDescription(0, 1, \"a\", 100, 0);", "ok",
         "SetImageTypeDescription() : itype must be an integer between 1 and 4"},
        {"SetImageTypeDescription(1, 1, \"" + name33 + "\", 100, 0);", "ok",
         "SetImageTypeDescription() : name may not be more than 32 characters"},
        {"SetImageTypeDescription(1, 1, \"a*b\", 100, 0);", "ok",
         "SetImageTypeDescription() : name may only contain valid Windows file name chacters"},
        {"SetImageTypeDescription(1, 1, \"BF\", 28, 0);", "ok",
         "SetImageTypeDescription() exp_us must be between 29 and 1000000."},
        {"SetImageTypeDescription(1, 1, \"BF\", 1000001, 0);", "ok",
         "SetImageTypeDescription() exp_us must be between 29 and 1000000."},
        {"GetSystemInfo(s);", "Missing leading \" for string parameter 2", nullptr},
        {"CustomerUI_SetWorkflowLiveImageIntervalByImageType(\"BF\", 9);", "ok",
         "CustomerUI_SetWorkflowLiveImageIntervalByImageType () : interval must be between 10ms and 100000ms"},
        {"CustomerUI_SetWorkflowLiveImageIntervalByImageType(\"BF\", 100001);", "ok",
         "CustomerUI_SetWorkflowLiveImageIntervalByImageType () : interval must be between 10ms and 100000ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.check, Check(c.line));
        EXPECT_EQ(c.run ? c.run : c.check, Run(c.line));
    }
    // None of them changed a setting.
    EXPECT_EQ("<none>", Setting("ExperimentName"));
    EXPECT_EQ("0", Setting("ImageCapturePeriod"));
    EXPECT_EQ("BF", Setting("ImageTypeName1"));

    // Without a camera the single capture cannot even load; the recording is refused when it runs.
    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
    EXPECT_EQ("SingleWorkflowImageCapture() - no camera", Check("SingleWorkflowImageCapture(\"\");"));
    EXPECT_EQ("ok", Check("StartRecordingWorkflow(\"Run\");"));
    EXPECT_EQ("StartRecordingWorkflow() - no camera found.", Run("StartRecordingWorkflow(\"Run\");"));
}

TEST_F(ExperimentCommandTest, NameChecksAnswerInVariablesOnlyWithAReasonVariable)
{
    const std::string name33(33, 'n');
    const struct {
        std::string line;
        const char* result;
        const char* ok;
        const char* why;
    } cases[] = {
        {"SetExperimentName(\"ab\", ok, why);", "ok", "int 0", "STRING Experiment name 3 characters min."},
        {"SetExperimentName(\"" + name33 + "\", ok, why);", "ok", "int 0", "STRING Experiment name 32 characters max."},
        {"SetExperimentName(\"a:b?c\", ok, why);", "ok", "int 0",
         "STRING Invalid experiment name. Must be valid Windows file name."},
        // Without a reason variable the problems stop the script; ok is left alone.
        {"SetExperimentName(\"a:b?c\", ok);",
         "SetExperimentName() : a_b_c has invalid characters, only valid Windows file name characters allowed.",
         "int 5", "STRING old"},
        {"SetExperimentName(\"" + name33 + "\");",
         "SetExperimentName() : experiment name may be no longer than 32 characters.", "int 5", "STRING old"},
        // A literal in the reason's place is no variable: the error form.
        {"SetExperimentName(\"ab\", ok, \"r\");", "SetExperimentName() : experiment name must be at least 3 characters.",
         "int 5", "STRING old"},
        {"IsFilenameValid(\"\", ok, why);", "ok", "int 0", "STRING Filename can't be an empty string."},
        {"IsFilenameValid(\"a|b\", ok, why);", "ok", "int 0", "STRING The entered filename has invalid character(s)."},
        // Longer than 256 characters: not examined.
        {"IsFilenameValid(\"" + std::string(300, '|') + "\", ok, why);", "ok", "int 1", "STRING "},
        {"IsFilenameValid(\"run 5 (b).png\", ok, why);", "ok", "int 1", "STRING "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        variables = Declared({"int ok = 5;", "STRING why = \"old\";"});
        EXPECT_EQ(c.result, Run(c.line));
        EXPECT_EQ(c.ok, Describe(variables, "ok"));
        EXPECT_EQ(c.why, Describe(variables, "why"));
    }
    EXPECT_EQ("<none>", Setting("ExperimentName"));

    variables = Declared({"int ok = 5;", "STRING why = \"old\";"});
    EXPECT_EQ("ok", Run("SetExperimentName(\"Run 7\", ok, why);"));
    EXPECT_EQ("int 1", Describe(variables, "ok"));
    EXPECT_EQ("STRING ", Describe(variables, "why"));
    EXPECT_EQ("Run 7", Setting("ExperimentName"));
    EXPECT_EQ("ok", Run("SetExperimentName(\"Run 8\");"));
    EXPECT_EQ("Run 8", Setting("ExperimentName"));
}

TEST_F(ExperimentCommandTest, FilesAndFoldersExistWhateverTheirLetterCase)
{
    fs::create_directories(root / "Data" / "Plates");
    imagingtest::WriteText(root / "Data" / "Plates" / "Map.txt", "x");
    const struct {
        std::string path;
        const char* exists;
    } cases[] = {
        {(root / "Data" / "Plates").string(), "int 1"},
        {(root / "Data" / "plates" / "MAP.TXT").string(), "int 1"},
        {(root / "Data" / "Plates" / "other.txt").string(), "int 0"},
        {"", "int 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        variables = Declared({"int ok = 5;", "STRING why = \"old\";"});
        EXPECT_EQ("ok", Run("IsFileExist(\"" + c.path + "\", ok, why);"));
        EXPECT_EQ(c.exists, Describe(variables, "ok"));
        EXPECT_EQ("STRING ", Describe(variables, "why"));
    }
    // The answer variables may be left out.
    variables = Declared({"int ok = 5;"});
    EXPECT_EQ("ok", Run("IsFileExist(\"" + root.string() + "\", ok);"));
    EXPECT_EQ("int 1", Describe(variables, "ok"));
    EXPECT_EQ("ok", Run("IsFileExist(\"" + root.string() + "\");"));
}

TEST_F(ExperimentCommandTest, SettingsAreReadAndWrittenAsTheCommandsSay)
{
    ASSERT_EQ("ok", Run("SetDataDirectory(\"" + (root / "Data").string() + "\");"));
    ASSERT_EQ("ok", Run("GetDataDirectory(s);"));
    EXPECT_EQ("STRING " + (root / "Data").string(), Describe(variables, "s"));
    ASSERT_EQ("ok", Run("SetExperimentName(\"Plate 3\");"));
    ASSERT_EQ("ok", Run("GetExperimentName(t);"));
    EXPECT_EQ("STRING Plate 3", Describe(variables, "t"));
    // A literal or a variable of another type receives nothing.
    ASSERT_EQ("ok", Run("GetExperimentName(\"lit\");"));

    // Lower-case "true" is active; an exposure that is no number reads 100.
    ASSERT_EQ("ok", Run("GetImageTypeDescription(3, n, s, ok);"));
    EXPECT_EQ("int 1", Describe(variables, "n"));
    EXPECT_EQ("STRING ", Describe(variables, "s"));
    ASSERT_EQ("ok", Run("GetImageTypeDescription(2, n, s, ok);"));
    EXPECT_EQ("int 0", Describe(variables, "n"));
    EXPECT_EQ("STRING GFP", Describe(variables, "s"));
    EXPECT_EQ("int 100", Describe(variables, "ok"));
    ASSERT_EQ("ok", Run("GetImageTypeDescription(1, d, s, ok);"));
    EXPECT_EQ("double 0.5", Describe(variables, "d"));
    EXPECT_EQ("int 2000", Describe(variables, "ok"));

    // Active 2 is "FALSE"; only the activity goes into the experiment's copy.
    CString error;
    ASSERT_TRUE(CreateNewExperiment("Plate", error)) << error.GetString();
    const std::string copy = Setting("ExperimentFile");
    ASSERT_EQ("ok", Run("SetImageTypeDescription(1, 2, \"Bright\", 29, 1);"));
    EXPECT_EQ("FALSE", Setting("IsActive1"));
    EXPECT_EQ("Bright", Setting("ImageTypeName1"));
    EXPECT_EQ("29", Setting("ImageTypeExposure1"));
    EXPECT_EQ("FALSE", Setting("IsActive1", copy));
    EXPECT_EQ("BF", Setting("ImageTypeName1", copy));
    ASSERT_EQ("ok", Run("SetImageTypeDescription(2, 1, \"\", 1000000, 0);"));
    EXPECT_EQ("TRUE", Setting("IsActive2"));
    EXPECT_EQ("", Setting("ImageTypeName2"));
    EXPECT_EQ("FALSE", Setting("IsActive2", copy));

    ASSERT_EQ("ok", Run("SetImageCapturePeriodMS(0);"));
    EXPECT_EQ("0", Setting("ImageCapturePeriod"));
    ASSERT_EQ("ok", Run("SetImageCapturePeriodMS(3600000);"));
    EXPECT_EQ("3600000", Setting("ImageCapturePeriod"));

    // Names that differ only in letter case are two entries.
    ASSERT_EQ("ok", Run("CustomerUI_SetWorkflowLiveImageIntervalByImageType(\"BF\", 10);"));
    ASSERT_EQ("ok", Run("CustomerUI_SetWorkflowLiveImageIntervalByImageType(\"bf\", 100000);"));
    {
        std::lock_guard<std::mutex> lock(g_LiveIntervalLock);
        EXPECT_EQ((std::map<std::string, int>{{"BF", 10}, {"bf", 100000}}), g_LiveIntervalByImageType);
        EXPECT_TRUE(g_LiveIntervalChanged);
    }

    theApp.m_strFileVersion = "1.4.2.17";
    ASSERT_EQ("ok", Run("GetSystemInfo(s, t);"));
    EXPECT_EQ("STRING " + platform::GetComputerName().substr(0, 15), Describe(variables, "s"));
    EXPECT_EQ("STRING 1.4.2.17", Describe(variables, "t"));
}

TEST_F(ExperimentCommandTest, ARecordingStartedByAScriptIsRetimedAndFilesEveryStep)
{
    RecordingTimer timer;
    ExperimentWorkflow workflow(timer);
    SetMainWindowWorkflow(&workflow);
    g_WorkflowEvent = std::make_unique<platform::Event>(true, false);
    SetWorkflowHandOverReader([&workflow] {
        WorkflowHandOver handOver;
        handOver.captureIndex = g_WorkflowCaptureIndex;
        handOver.logPathSink = [&workflow](const CString& path) { workflow.m_strImageCaptureLogPath.SetIfEmpty(path); };
        return handOver;
    });
    std::string boxText;
    ImageTypeBox::Attach([&boxText](const std::string& text) { boxText = text; });
    int radioChecks = 0;
    FrameHooks hooks;
    hooks.customerUiExists = [] { return true; };
    hooks.checkCustomerUiFirstImageType = [&radioChecks] { ++radioChecks; };
    SetFrameHooks(hooks);

    CString error;
    ASSERT_TRUE(CreateNewExperiment("Series", error)) << error.GetString();
    const fs::path experiment = Setting("ExperimentDirectory");
    Tovanix::E_WritePrivateProfileString("ExperimentSettings", "ImageCapturePeriod", "1000", g_IniPath);
    Tovanix::E_WritePrivateProfileString("ExperimentSettings", "IsActive3", "FALSE", g_IniPath);

    const std::string name32 = "Thirty two characters long name.";
    ASSERT_EQ(32u, name32.size());
    ASSERT_EQ("ok", Run("StartRecordingWorkflow(\"" + name32 + "\");"));
    EXPECT_TRUE(theApp.m_bWorkflowRunning);
    EXPECT_EQ(name32, Setting("ExperimentName"));
    EXPECT_EQ((std::vector<std::string>{"kill", "set 1000"}), timer.Take());
    EXPECT_EQ(1, radioChecks);
    EXPECT_EQ("BF", boxText);
    ASSERT_TRUE(ServeWorkflowHandOver());

    EXPECT_EQ("StartRecordingWorkflow() - Experiment recording workflow is already running.",
              Run("StartRecordingWorkflow(\"Again\");"));
    EXPECT_EQ("SingleWorkflowImageCapture() - Can't capture image while image workflow is active.",
              Run("SingleWorkflowImageCapture(\"\");"));

    // A new period: the next step at once, then the timer with the new period.
    ASSERT_EQ("ok", Run("SetImageCapturePeriodMS(2500);"));
    EXPECT_EQ((std::vector<std::string>{"kill", "set 2500"}), timer.Take());
    EXPECT_EQ(1, g_WorkflowCaptureIndex.load());
    ASSERT_TRUE(ServeWorkflowHandOver());
    workflow.OnTimer();  // the last of three
    EXPECT_FALSE(theApp.m_bWorkflowRunning);
    ASSERT_TRUE(ServeWorkflowHandOver());
    workflow.Stop();
    timer.Take();

    std::vector<std::string> images;
    for (const auto& entry : fs::directory_iterator(experiment / "Images"))
        images.push_back(entry.path().filename().string());
    std::sort(images.begin(), images.end());
    const std::string prefix = experiment.filename().string() + "_BF_000";
    EXPECT_EQ((std::vector<std::string>{prefix + "0.png", prefix + "1.png", prefix + "2.png"}), images);
    const auto rows = FlushedLog((experiment / (experiment.filename().string() + ".log")).string());
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(prefix + "2.png", capturetest::Fields(rows.back())[0]);

    // Once the series has ended a single capture is taken on the script's thread.
    const int grabs = Device().counters.grabs;
    EXPECT_EQ("ok", Run("SingleWorkflowImageCapture(\"BF\");"));
    EXPECT_EQ(grabs + 1, Device().counters.grabs);
    // With the period unchanged while nothing runs, the timer is left alone.
    ASSERT_EQ("ok", Run("SetImageCapturePeriodMS(700);"));
    EXPECT_TRUE(timer.Take().empty());
}

}  // namespace
