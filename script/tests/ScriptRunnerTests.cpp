// The headless script runner, run as a user runs it: a process with its
// options, its printed result, its exit status and the files it leaves.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/AnalysisEngineState.h"
#include "analysis/ExperimentFolder.h"
#include "analysis/MeniscusSearch.h"
#include "analysis/SplitLineDetection.h"
#include "app/SuppliedFiles.h"
#include "app/VelloraApp.h"
#include "platform/Time.h"
#include "support/Profile.h"
#include "script/tests/ScriptRunTestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using scripttest::ReadText;

struct Result {
    int status = -1;
    std::string output;
};

class ScriptRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* testRoot = std::getenv("VELLORA_TEST_ROOT");
        folder = fs::path(testRoot ? testRoot : fs::temp_directory_path().string()) / "runner";
        fs::create_directories(folder);
        dataRoot = folder / "root";
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    // Runs the runner with the options (no shell: an argument vector).
    Result Run(const std::vector<std::string>& options)
    {
        std::vector<std::string> arguments{VELLORA_SCRIPT_RUNNER, "--data-root", dataRoot.string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        const std::string outputPath = (folder / "stdout.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = 0;
        Result result;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            return result;
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.output = ReadText(outputPath);
        return result;
    }

    std::string TodaysLog(const char* kind)
    {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char name[64];
        std::snprintf(name, sizeof name, "%s_%04u_%02u_%02u.log", kind, now.wYear, now.wMonth, now.wDay);
        return ReadText(dataRoot / "LOG" / name);
    }

    fs::path folder;
    fs::path dataRoot;
};

TEST_F(ScriptRunnerTest, RunsAScriptToItsEndAndLeavesItsLogsAndPumpBytes)
{
    const std::string script = Write("count.scr",
                                     "int i = 0;\n"
                                     "while (i < 3)\n"
                                     "{\n"
                                     "  i += 1;\n"
                                     "}\n"
                                     "SaveTextToImageCaptureLogHeader(\"counted\");\n");
    const std::string pumpBytes = (folder / "pumps.bin").string();
    const Result result = Run({"--script", script, "--pump-bytes", pumpBytes});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "RunScript: true\n");

    // The pumps were asked whether they are idle before the run, and nothing else.
    EXPECT_EQ(ReadText(pumpBytes), "/1?29\r/2?29\r/1?18\r/2?18\r/1?17\r/2?17\r");
    // The script log's lines of the last moments reach the disk at the exit.
    const std::string log = TodaysLog("Script");
    EXPECT_NE(log.find("\t\tSaveTextToImageCaptureLogHeader(\"counted\");\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\tcount.scr\tonEndScript\r\n"), std::string::npos) << log;
    // The run started from a new data root: its settings file was created.
    EXPECT_TRUE(fs::exists(dataRoot / "Vellora.ini"));
}

TEST_F(ScriptRunnerTest, ExitStatusTellsRefusedFailedAndStoppedRunsApart)
{
    const std::string loop = Write("loop.scr", "int i = 0;\nwhile (i < 1)\n{\n  i = 0;\n}\n");
    const std::string divide = Write("divide.scr", "int x = 1;\nx /= 0;\n");
    const std::string missing = (folder / "missing.scr").string();
    const std::string messages = (folder / "messages.txt").string();
    const struct {
        std::vector<std::string> options;
        int status;
        std::string output;
        std::string lastMessage;  // the last line of the message file
    } cases[] = {
        {{"--script", loop, "--stop-after-ms", "200"}, 0, "RunScript: true\n", ""},
        {{"--script", divide}, 1, "RunScript: true\n", "Internal scripting error #4"},
        {{"--script", missing}, 2, "RunScript: false\nScript::RunScript () : Can't open file: " + missing + "\n", ""},
        {{"--script", loop, "--busy-pump", "2"}, 2,
         "RunScript: false\nCan't start a script because at least one pump is busy.\n", ""},
        // Without pumps nothing asks them, and a stopped loop ends normally.
        {{"--script", loop, "--no-pumps", "--stop-after-ms", "100"}, 0, "RunScript: true\n", ""},
        {{"--script", loop, "--input", "Cartridge=2"}, 3, "", ""},
        {{"--bogus"}, 3, "", ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--messages", messages});
        const Result result = Run(options);
        EXPECT_EQ(result.status, c.status) << c.options[0] << " " << c.options[1];
        EXPECT_EQ(result.output, c.output) << c.options[1];
        if (!c.lastMessage.empty()) {
            std::string text = ReadText(messages);
            if (!text.empty() && text.back() == '\n')
                text.pop_back();
            const size_t lastLine = text.find_last_of('\n');
            EXPECT_EQ(text.substr(lastLine == std::string::npos ? 0 : lastLine + 1), c.lastMessage) << c.options[1];
        }
        fs::remove(messages);
    }
}

TEST_F(ScriptRunnerTest, AStopReachesBothPumps)
{
    const std::string loop = Write("loop.scr", "int i = 0;\nwhile (i < 1)\n{\n  i = 0;\n}\n");
    const std::string pumpBytes = (folder / "pumps.bin").string();
    const Result result = Run({"--script", loop, "--stop-after-ms", "100", "--pump-bytes", pumpBytes});
    EXPECT_EQ(result.status, 0);
    const std::string bytes = ReadText(pumpBytes);
    EXPECT_NE(bytes.find("/1T\r"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("/2T\r"), std::string::npos) << bytes;
}

// The message file of a run in a new data root, without the notice that its
// settings file was created.
std::string RunMessages(const std::string& path)
{
    const std::string notice = "Vellora.ini file is created with default values.\n";
    std::string text = ReadText(path);
    if (text.rfind(notice, 0) == 0)
        text.erase(0, notice.size());
    return text;
}

TEST_F(ScriptRunnerTest, PromptsAreAnsweredFromTheAnswerFileAndCancelStopsTheRun)
{
    // Each answer is checked by a condition whose unanswered notice lands in
    // the message file.
    const std::string script = Write("prompts.scr",
                                     "int n = 1;\n"
                                     "int b = 0;\n"
                                     "double v = 1.5;\n"
                                     "STRING name = \"\";\n"
                                     "PromptInfo(\"Load the cartridge\\nthen continue\");\n"
                                     "PromptForValueInt(\"How many?\", n, 1, 10);\n"
                                     "PromptForValue(\"Volume\", v, 0, 100);\n"
                                     "PromptForString(\"Operator\", name);\n"
                                     "PromptCustom(\"Next?\", \"Flush;Prime;Skip\", b);\n"
                                     "if (n == 4)\n{\n  PromptInfo(\"n is 4\");\n}\n"
                                     "if (v == 25.5)\n{\n  PromptInfo(\"v is 25.5\");\n}\n"
                                     "if (name == \"Ada\")\n{\n  PromptInfo(\"name is Ada\");\n}\n"
                                     "if (b == 2)\n{\n  PromptInfo(\"b is 2\");\n}\n"
                                     "PromptContinueCancel(\"Go on?\");\n"
                                     "PromptInfo(\"after the cancel\");\n");
    const std::string answers = Write("answers.txt",
                                      "PromptInfo: Continue\r\n"
                                      "PromptForValueInt: 4\r\n"
                                      "PromptForValue: 25.5\r\n"
                                      "PromptForString: Ada\r\n"
                                      "PromptCustom: Prime\r\n"
                                      "PromptContinueCancel: Cancel\r\n");
    const std::string messages = (folder / "messages.txt").string();
    const Result result = Run({"--script", script, "--answers", answers, "--messages", messages, "--no-pumps"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(RunMessages(messages),
              "No answer for the prompt of PromptInfo: n is 4\n"
              "No answer for the prompt of PromptInfo: v is 25.5\n"
              "No answer for the prompt of PromptInfo: name is Ada\n"
              "No answer for the prompt of PromptInfo: b is 2\n"
              "PromptContinueCancel(\"Go on?\"); : Script Stopped\n");
}

TEST_F(ScriptRunnerTest, AnAnswerOutOfRangeEndsTheRunWithItsMessage)
{
    const std::string script = Write("range.scr", "int n = 1;\nPromptForValueInt(\"How many?\", n, 1, 10);\n");
    const std::string answers = Write("answers.txt", "PromptForValueInt: 11\n");
    const std::string messages = (folder / "messages.txt").string();
    const Result result = Run({"--script", script, "--answers", answers, "--messages", messages, "--no-pumps"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(RunMessages(messages),
              "PromptForValueInt(\"How many?\", n, 1, 10); : Entered value: 11 is greater than maximum value 10\n");
}

TEST_F(ScriptRunnerTest, ATimedWaitEndsAtAStop)
{
    const std::string script = Write("wait.scr", "WaitWithTimer(36000, \"Soaking\");\nPromptInfo(\"after\");\n");
    const std::string messages = (folder / "messages.txt").string();
    const auto begin = std::chrono::steady_clock::now();
    const Result result =
        Run({"--script", script, "--messages", messages, "--no-pumps", "--stop-after-ms", "300"});
    // Ten hours of waiting end with the stop; the stop ends the run before the next line.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(60));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(RunMessages(messages), "");
}

TEST_F(ScriptRunnerTest, AScriptRecordsASampleCrossingTheChannelThatTheAnalysesCanRead)
{
    // The supplied settings with bright field only (named as the analyses
    // know it), ended by its count.
    std::string error;
    ASSERT_TRUE(InstallMissingDataRootFiles(dataRoot.c_str(), &error)) << error;
    const std::string settings = (dataRoot / "Vellora.ini").string();
    fs::copy_file(dataRoot / "Default" / "Vellora.ini", settings, fs::copy_options::overwrite_existing);
    fs::create_directories(dataRoot / "Data");
    const struct {
        const char* key;
        std::string value;
    } keys[] = {{"ImageTypeName1", "Brightfield"},
                {"IsActive2", "FALSE"},
                {"IsActive3", "FALSE"},
                {"IsActive4", "FALSE"},
                {"CreateDailySubDirectory", "FALSE"},
                {"DataDirectory", (dataRoot / "Data").string()},
                {"ImageCaptureCount", "9"}};
    for (const auto& key : keys)
        ASSERT_TRUE(Tovanix::E_WritePrivateProfileString("ExperimentSettings", key.key, key.value.c_str(),
                                                         settings.c_str()));

    const std::string script = Write("record.scr",
                                     "// Prime both pumps.\n"
                                     "InitializeSyringePump(0);\n"
                                     "WaitWhileSyringeIsMoving(0, 60);\n"
                                     "SetPumpValveState(0, \"input\");\n"
                                     "WaitWhileSyringeIsMoving(0, 30);\n"
                                     "SetTopSpeed(0, 6000.0);\n"
                                     "Aspirate(0, 200.0);\n"
                                     "WaitWhileSyringeIsMoving(0, 60);\n"
                                     "SetPumpValveState(0, \"output\");\n"
                                     "WaitWhileSyringeIsMoving(0, 30);\n"
                                     "SaveTextToImageCaptureLogHeader(\"Cartridge barcode 410-000-0001\");\n"
                                     "// Record while the sample crosses the channel.\n"
                                     "SetImageCapturePeriodMS(2000);\n"
                                     "StartRecordingWorkflow(\"EndToEnd\");\n"
                                     "SetTopSpeed(1, 288.0);\n"
                                     "SetTopSpeed(2, 192.0);\n"
                                     "Dispense(1, 48.0);\n"
                                     "Dispense(2, 32.0);\n"
                                     "WaitWhileSyringeIsMoving(0, 60);\n");
    const std::string messages = (folder / "messages.txt").string();
    const Result result = Run({"--script", script, "--messages", messages, "--camera", "--cartridge", "410-000-0001",
                               "--experiment", "EndToEnd", "--sample"});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(RunMessages(messages), "");

    fs::path experiment;
    for (const auto& entry : fs::directory_iterator(dataRoot / "Data"))
        experiment = entry.path();
    ASSERT_NE(experiment.filename().string().find("_EndToEnd"), std::string::npos);
    size_t images = 0;
    for (const auto& entry : fs::directory_iterator(experiment / "Images"))
        images += entry.path().extension() == ".png" ? 1 : 0;
    // Nine steps; on a loaded machine a step handed over while the previous
    // one is still filed replaces it.
    EXPECT_GE(images, 2u);
    EXPECT_LE(images, 9u);

    // Read back as the recorded-experiment analyses read a folder.
    g_IniPath = settings;
    theApp.m_strDataRoot = dataRoot.string();
    ExperimentDataSet data;
    ASSERT_TRUE(OpenExperimentFolder(data, experiment.string()));
    ASSERT_TRUE(ParseCaptureLog(data, data.captureLogPath)) << "no run of frames recorded while the pumps moved:\n" << ReadText(data.captureLogPath);
    ASSERT_TRUE(ReadExperimentSettings(data, data.settingsFilePath, &error)) << error;
    EXPECT_GE(data.frames.size(), 2u);
    EXPECT_EQ(data.cartridgeCodePrefix, "410");
    EXPECT_DOUBLE_EQ(data.pixelsPerMm, 400);
    EXPECT_TRUE(DetectSplitLineFromLogs(data, experiment.string(), data.settingsFilePath, &error)) << error;
    EXPECT_TRUE(LeadMeniscusIndex(experiment.string(), data, &error)) << error;
    EXPECT_TRUE(TrailMeniscusIndex(experiment.string(), data, &error)) << error;
    ResetMeniscusSearches();
    ResetFlowGeometry();
}

}  // namespace
