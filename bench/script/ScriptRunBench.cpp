// Cost of a script run's two passes: the check pass of a 5,000-line script
// with an include file, and the execution of simple statements.
// Targets: the check pass at most 50 ms; at least 500,000 executed lines a
// second (assignments, conditions, blocks and a cheap built-in command).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/ImageCaptureLogHeader.h"
#include "app/VelloraApp.h"
#include "script/BuiltInFunctions.h"
#include "script/Script.h"
#include "support/AppLogs.h"
#include "support/CachedLog.h"

namespace {

namespace fs = std::filesystem;

// A data root of its own with the logging a run writes to.
fs::path PrepareDataRoot()
{
    static fs::path root;
    if (!root.empty())
        return root;
    std::string pattern = (fs::temp_directory_path() / "vellora-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
    fs::create_directories(root / "Includes");
    fs::create_directories(root / "LOG");
    theApp.m_strDataRoot = root.string();
    Tovanix::String error;
    InitializeCachedLogging(30, &error);
    CreateImageCaptureLogHeaderSemaphore();
    BuildBuiltInFunctionTable();

    std::ofstream include(root / "Includes" / "lib.inc", std::ios::binary);
    for (int f = 0; f < 10; ++f) {
        include << "void F" << f << "(int n)\n{\n"
                << "    int local = n;\n"
                << "    if (local > 3)\n    {\n        n = local;\n    }\n"
                << "    n += 1;\n}\n";
    }
    return root;
}

// 500 groups of ten lines: declarations, assignments, an if block, a user
// function call and a built-in command.
std::string CheckPassScript()
{
    std::ostringstream text;
    text << "#include \"lib.inc\"\n";
    for (int g = 0; g < 500; ++g) {
        text << "int v" << g << " = 1;\n"
             << "v" << g << " += 2;\n"
             << "if (v" << g << " > 1)\n"
             << "{\n"
             << "    v" << g << " = 5;\n"
             << "}\n"
             << "F" << g % 10 << "(v" << g << ");\n"
             << "SaveTextToImageCaptureLogHeader(\"group\");\n"
             << "STRING s" << g << " = \"text\";\n"
             << "s" << g << " += \"more\";\n";
    }
    return text.str();
}

void BM_CheckPass5000Lines(benchmark::State& state)
{
    PrepareDataRoot();
    const std::string text = CheckPassScript();
    for (auto _ : state) {
        Script script(0);
        std::istringstream file(text);
        CString error;
        if (!script.mainCode.Load(script, file, "bench.scr", 0, error, false)) {
            state.SkipWithError(error.GetString());
            return;
        }
        benchmark::DoNotOptimize(script.mainCode.lines.data());
    }
    state.SetItemsProcessed(state.iterations() * 5001);
}
BENCHMARK(BM_CheckPass5000Lines)->Unit(benchmark::kMillisecond);

// 10,000 passes of a ten-line loop: 100,000 executed lines a run.
void BM_Execute100000Lines(benchmark::State& state)
{
    PrepareDataRoot();
    const std::string text =
        "int i = 0;\n"
        "int s = 0;\n"
        "while (i < 10000)\n"
        "{\n"
        "    i += 1;\n"
        "    s = i;\n"
        "    if (s > 0)\n"
        "    {\n"
        "        s += 1;\n"
        "    }\n"
        "    SaveTextToImageCaptureLogHeader(\"x\");\n"
        "}\n";
    Script script(0);
    std::istringstream file(text);
    CString error;
    if (!script.mainCode.Load(script, file, "bench.scr", 0, error, false)) {
        state.SkipWithError(error.GetString());
        return;
    }
    std::vector<Tovanix::String> taken;
    for (auto _ : state) {
        script.running = true;
        std::vector<Variable> variables;
        if (!script.mainCode.Execute(script, variables, error, "bench.scr")) {
            state.SkipWithError(error.GetString());
            return;
        }
        state.PauseTiming();
        TakeImageCaptureLogHeaderLines(taken);
        taken.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Execute100000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
