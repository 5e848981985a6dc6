// vellora_script_runner: runs one script file against the virtual instrument
// without a display, for tests and for engineers without a screen.
//
// It starts the virtual instrument and what a run needs of the program's
// start-up (data root with its settings file, logs, serial discovery,
// digital I/O, and on request the camera with the timed workflow), makes the
// data root the current folder, runs the script in interpreter instance 0,
// waits for the run and any recording it started to end, has the cached logs
// write everything pending and exits.
//
// Exit status: 0 the run ended normally (or was stopped), 1 it ended with an
// error, 2 it was refused, 3 the options or the start-up failed.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/CartridgeTypes.h"
#include "app/SuppliedFiles.h"
#include "imaging/ExperimentFolders.h"
#include "app/VelloraApp.h"
#include "devices/DigitalIO.h"
#include "platform/UiBridge.h"
#include "script/Script.h"
#include "script/ScriptRun.h"
#include "script/runner/RunnerWorkflow.h"
#include "sim/PumpSimulator.h"
#include "sim/SampleFlow.h"
#include "sim/VirtualInstrument.h"
#include "sim/VirtualInstrumentSession.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"

namespace {

constexpr int kEndedNormally = 0;
constexpr int kEndedWithError = 1;
constexpr int kRefused = 2;
constexpr int kStartFailed = 3;

const char kUsage[] =
    "usage: vellora_script_runner --data-root DIR --script FILE [options]\n"
    "  --answers FILE       answers to prompts, one line per prompt in order: <Command>: <answer>\n"
    "                       (the answer is the typed text, a custom button's number or label,\n"
    "                       or Cancel; a prompt without its answer is cancelled)\n"
    "  --messages FILE      receives the text of every message box\n"
    "  --pump-bytes FILE    receives every byte the virtual pumps receive from the start of the run\n"
    "  --stop-after-ms N    asks the run to stop after N ms\n"
    "  --no-pumps           starts the instrument without its pumps\n"
    "  --busy-pump N        pump N (1 or 2) is busy when the run starts\n"
    "  --input NAME=LEVEL   level (0 or 1) of a digital input: Cartridge, Clamp or a logical line 0..12\n"
    "  --camera             opens the camera and runs the timed workflow that scripts start; the\n"
    "                       runner ends when the script and the recording have both ended\n"
    "  --cartridge CODE     the bar code of the cartridge in the instrument, as if scanned\n"
    "  --experiment NAME    names a new experiment before the run, as the operator does\n"
    "  --sample             loads a sample plug at the channel's inlet for the pumps to push\n";

struct Options {
    std::string dataRoot;
    std::string script;
    std::string answers;
    std::string messages;
    std::string pumpBytes;
    long stopAfterMs = -1;
    bool noPumps = false;
    int busyPump = 0;
    std::vector<std::pair<std::string, bool>> inputs;
    bool camera = false;
    std::string cartridge;
    std::string experiment;
    bool sample = false;
};

// Longest wait for a recording to end after its script.
constexpr long kRecordingEndTimeoutMs = 300000;

bool ParseNumber(const char* text, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = option + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        long number = 0;
        if (option == "--data-root") {
            if (!value(options.dataRoot))
                return false;
        } else if (option == "--script") {
            if (!value(options.script))
                return false;
        } else if (option == "--answers") {
            if (!value(options.answers))
                return false;
        } else if (option == "--messages") {
            if (!value(options.messages))
                return false;
        } else if (option == "--pump-bytes") {
            if (!value(options.pumpBytes))
                return false;
        } else if (option == "--stop-after-ms") {
            if (!value(text))
                return false;
            if (!ParseNumber(text.c_str(), number) || number < 0) {
                error = "--stop-after-ms needs a number of milliseconds";
                return false;
            }
            options.stopAfterMs = number;
        } else if (option == "--camera") {
            options.camera = true;
        } else if (option == "--cartridge") {
            if (!value(options.cartridge))
                return false;
        } else if (option == "--experiment") {
            if (!value(options.experiment))
                return false;
        } else if (option == "--sample") {
            options.sample = true;
        } else if (option == "--no-pumps") {
            options.noPumps = true;
        } else if (option == "--busy-pump") {
            if (!value(text))
                return false;
            if (!ParseNumber(text.c_str(), number) || (number != 1 && number != 2)) {
                error = "--busy-pump needs 1 or 2";
                return false;
            }
            options.busyPump = static_cast<int>(number);
        } else if (option == "--input") {
            if (!value(text))
                return false;
            const size_t equals = text.find('=');
            const std::string level = equals == std::string::npos ? std::string() : text.substr(equals + 1);
            if (equals == 0 || (level != "0" && level != "1")) {
                error = "--input needs NAME=0 or NAME=1";
                return false;
            }
            options.inputs.emplace_back(text.substr(0, equals), level == "1");
        } else {
            error = "unknown option " + option;
            return false;
        }
    }
    if (options.dataRoot.empty() || options.script.empty()) {
        error = "--data-root and --script are needed";
        return false;
    }
    return true;
}

// Answers prompts from the answer file, writes every message box to the
// message file, and runs user-interface work on the caller's thread (there is
// no window).
class RunnerUiBridge : public platform::UiBridge {
public:
    bool LoadAnswers(const std::string& path, std::string& error)
    {
        std::ifstream file(path, std::ios::binary);
        if (!file.is_open()) {
            error = "cannot read the answer file " + path;
            return false;
        }
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            const size_t colon = line.find(':');
            if (colon == std::string::npos || colon == 0) {
                error = "answer lines read <Command>: <answer>, not: " + line;
                return false;
            }
            std::string answer = line.substr(colon + 1);
            if (!answer.empty() && answer.front() == ' ')
                answer.erase(0, 1);
            m_answers.emplace_back(line.substr(0, colon), answer);
        }
        return true;
    }
    bool OpenMessages(const std::string& path)
    {
        m_messages = std::fopen(path.c_str(), "wb");
        return m_messages != nullptr;
    }
    ~RunnerUiBridge() override
    {
        if (m_messages)
            std::fclose(m_messages);
    }

    void PostCommand(int, intptr_t) override {}
    void RunOnUiThread(const std::function<void()>& function) override
    {
        runner::RunOnUiThreadSerialised(function);
    }
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override
    {
        Record(text);
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        const unsigned buttons = type & 0x0F;
        return (buttons == platform::MB_YESNO || buttons == platform::MB_YESNOCANCEL) ? platform::IDYES
                                                                                       : platform::IDOK;
    }
    // An unanswered prompt is cancelled, so that the run cannot hang on it.
    bool AnswerPrompt(const std::string& command, const std::string& text, std::string* answer) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_answers.empty() || m_answers.front().first != command) {
            const std::string message = "No answer for the prompt of " + command + ": " + text;
            std::fprintf(stderr, "%s\n", message.c_str());
            RecordLocked(message);
            if (answer)
                *answer = "Cancel";
            return true;
        }
        if (answer)
            *answer = m_answers.front().second;
        m_answers.pop_front();
        return true;
    }

private:
    void Record(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        RecordLocked(text);
    }
    void RecordLocked(const std::string& text)
    {
        if (!m_messages)
            return;
        std::fwrite(text.data(), 1, text.size(), m_messages);
        std::fputc('\n', m_messages);
        std::fflush(m_messages);
    }

    std::mutex m_mutex;
    std::deque<std::pair<std::string, std::string>> m_answers;
    FILE* m_messages = nullptr;
};

// Learns how the run ended.
class EndObserver : public ScriptRunObserver {
public:
    void ShowCurrentLine(int32_t, const std::string&) override {}
    bool IsVariableWatchVisible() override { return false; }
    void SetVariables(const std::vector<Variable>&) override {}
    void OnScriptEnded(int32_t, bool failed) override { m_failed = failed; }
    bool Failed() const { return m_failed; }

private:
    std::atomic<bool> m_failed{false};
};

bool SetInput(const std::string& name, bool level, std::string& error)
{
    auto lock = sim::VirtualInstrument::Instance().Lock();
    sim::InstrumentState& state = sim::VirtualInstrument::Instance().State();
    if (strcasecmp(name.c_str(), "Cartridge") == 0) {
        state.cartridgeInserted = level;
        return true;
    }
    if (strcasecmp(name.c_str(), "Clamp") == 0) {
        state.clampClosed = level;
        return true;
    }
    long line = -1;
    if (ParseNumber(name.c_str(), line) && line >= 0 && line < static_cast<long>(state.digitalLines.size())) {
        state.digitalLines[static_cast<size_t>(line)] = level;
        return true;
    }
    error = "no digital input named " + name;
    return false;
}

// A plug of sample at the inlet: a quarter millimetre of channel per
// microlitre, as the supplied calibration has it.
void LoadSample()
{
    sim::SamplePlug plug;
    plug.seed = 7;
    plug.pixelsPerUl = 100;
    plug.volumeUl = 30;
    plug.cellsPerUl = 3;
    sim::SampleFlow::Instance().Load(plug);
}

// The part of the program's start-up that a run needs.
bool StartProgram(const Options& options, std::string& error)
{
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::absolute(options.dataRoot, ec);
    for (const char* folder : {"LOG", "Tmp", "LIB", "Backup", "Scripts", "Includes"}) {
        std::filesystem::create_directories(root / folder, ec);
        if (ec) {
            error = "Unable to create the folder " + (root / folder).string() + ": " + ec.message();
            return false;
        }
    }
    theApp.m_strDataRoot = root.c_str();
    theApp.m_strIniPath = (root / "Vellora.ini").c_str();
    theApp.m_strFileVersion = "1.0.0.0";
    g_IniPath = theApp.m_strIniPath;
    SetAppLogSources({&theApp.m_strDataRoot, &theApp.m_strFileVersion, &theApp.m_strDisplayName, &g_IniPath});
    if (chdir(root.c_str()) != 0) {
        error = "Unable to make " + root.string() + " the current folder";
        return false;
    }
    if (!InstallMissingDataRootFiles(theApp.m_strDataRoot, &error)) {
        LogErrAndInfo(__FILE__, __LINE__, error.c_str());
        error.clear();
    }
    if (!theApp.CreateIniIfMissing() || !theApp.RestoreIniFromBackupIfInvalid()) {
        error = "The main settings file cannot be used";
        return false;
    }
    Tovanix::String logError;
    if (!InitializeCachedLogging(30, &logError)) {
        error = logError.c_str();
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), kUsage);
        return kStartFailed;
    }
    // The script path as the user gave it, before the current folder changes.
    std::error_code ec;
    const std::string scriptPath = std::filesystem::absolute(options.script, ec).string();

    RunnerUiBridge bridge;
    if (!options.answers.empty() && !bridge.LoadAnswers(options.answers, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kStartFailed;
    }
    if (!options.messages.empty() && !bridge.OpenMessages(std::filesystem::absolute(options.messages, ec).string())) {
        std::fprintf(stderr, "cannot write the message file %s\n", options.messages.c_str());
        return kStartFailed;
    }
    const std::string pumpBytesPath =
        options.pumpBytes.empty() ? std::string() : std::filesystem::absolute(options.pumpBytes, ec).string();
    platform::ScopedUiBridge installedBridge(bridge);
    EndObserver observer;
    SetScriptRunObserver(&observer);

    sim::VirtualInstrumentSession instrument;
    if (!instrument.Start(&error)) {
        std::fprintf(stderr, "The virtual instrument did not start: %s\n", error.c_str());
        return kStartFailed;
    }
    if (options.noPumps)
        instrument.Pumps().Stop();
    if (!StartProgram(options, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        instrument.Stop();
        return kStartFailed;
    }
    for (const auto& input : options.inputs) {
        if (!SetInput(input.first, input.second, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            instrument.Stop();
            return kStartFailed;
        }
    }
    theApp.ReInitializeSerialPortDevices(nullptr);
    CString dioError;
    if (!Initialize_DIO(&dioError, false))
        LogErrAndInfo(__FILE__, __LINE__, dioError.GetString());
    if (options.camera && !runner::StartCaptureChain(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        instrument.Stop();
        return kStartFailed;
    }
    if (!options.cartridge.empty()) {
        CString catalogueError;
        if (!LoadCartridgeTypes(catalogueError))
            LogErrAndInfo(__FILE__, __LINE__, catalogueError.GetString());
        theApp.m_strCartridgeTypeCode = options.cartridge.c_str();
    }
    if (!options.experiment.empty()) {
        CString experimentError;
        if (!CreateNewExperiment(options.experiment.c_str(), experimentError)) {
            std::fprintf(stderr, "%s\n", experimentError.GetString());
            runner::StopCaptureChain();
            instrument.Stop();
            return kStartFailed;
        }
    }
    if (options.sample)
        LoadSample();
    if (options.busyPump != 0 && !options.noPumps)
        instrument.Pumps().HoldBusy(options.busyPump, std::chrono::seconds(60));
    instrument.Pumps().ClearReceived();

    CString runError;
    const bool started = Script::RunScript(0, scriptPath.c_str(), runError);
    std::printf("RunScript: %s\n", started ? "true" : "false");
    if (!started)
        std::printf("%s\n", runError.GetString());
    std::fflush(stdout);

    if (started) {
        const auto begin = std::chrono::steady_clock::now();
        bool stopSent = false;
        while (ScriptInstanceExists(0)) {
            if (!stopSent && options.stopAfterMs >= 0 &&
                std::chrono::steady_clock::now() - begin >= std::chrono::milliseconds(options.stopAfterMs)) {
                Script::StopScript(0);
                stopSent = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    bool recordingEnded = true;
    if (options.camera) {
        recordingEnded = runner::FinishWorkflow(kRecordingEndTimeoutMs);
        if (!recordingEnded)
            std::fprintf(stderr, "The recording did not end\n");
    }

    if (!pumpBytesPath.empty()) {
        const std::string bytes = options.noPumps ? std::string() : instrument.Pumps().ReceivedBytes();
        std::ofstream(pumpBytesPath, std::ios::binary) << bytes;
    }
    theApp.ExitInstance();
    if (options.camera)
        runner::StopCaptureChain();
    sim::SampleFlow::Instance().Unload();
    SetScriptRunObserver(nullptr);
    instrument.Stop();
    if (!started)
        return kRefused;
    return observer.Failed() || !recordingEnded ? kEndedWithError : kEndedNormally;
}
