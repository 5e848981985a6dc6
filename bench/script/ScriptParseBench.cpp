// Cost of reading script lines: the check pass reads every line of a script
// and its includes, and a run reads each line again as it executes.
// Targets: at most 2 us per declaration, assignment or condition line, and
// 200 ns per command-name lookup.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "script/BuiltInFunctions.h"
#include "script/LineForms.h"
#include "script/Variable.h"

namespace {

std::vector<Variable> TypicalVariables()
{
    // A script of moderate size: a few dozen variables ahead of the ones used.
    std::vector<Variable> variables;
    CString error;
    for (int i = 0; i < 30; ++i) {
        Tovanix::String line(("int filler" + std::to_string(i) + " = " + std::to_string(i) + ";").c_str());
        int type = 0;
        ParseVariableType(line, type);
        DeclareVariables(line, type, variables, 0, error);
    }
    for (const char* text : {"int count = 0;", "double volume = 12.5;", "STRING name = \"sample\";"}) {
        Tovanix::String line(text);
        int type = 0;
        ParseVariableType(line, type);
        DeclareVariables(line, type, variables, 0, error);
    }
    return variables;
}

// 100,000 lines per iteration: a third each of declarations, assignments and
// conditions, against a list of some thirty variables.
void BM_ParseLines(benchmark::State& state)
{
    std::vector<Variable> variables = TypicalVariables();
    const char* assignments[] = {"count += 1;", "volume = 25.75;", "name = \"next sample\";", "count = 42;"};
    const char* conditions[] = {"while (count < 100)", "if (name == \"sample\")", "if (volume >= 10.5) // x"};
    CString error;
    for (auto _ : state) {
        for (int i = 0; i < 100000 / 3; ++i) {
            Tovanix::String declaration("double flow = 1.5E2;");
            int type = 0;
            ParseVariableType(declaration, type);
            DeclareVariables(declaration, type, variables, 1, error);
            RemoveScopeVariables(variables, 1);
            Tovanix::String assignment(assignments[i % 4]);
            Variable* target = nullptr;
            if (FindLeadingVariable(assignment, variables, target))
                AssignVariable(assignment.c_str(), *target, variables, error, false);
            bool result = false;
            int kind = 0;
            ParseCondition(conditions[i % 3], variables, result, kind);
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetItemsProcessed(state.iterations() * (100000 / 3) * 3);
}
BENCHMARK(BM_ParseLines)->Unit(benchmark::kMillisecond);

// All 210 command names looked up 1,000 times per iteration.
void BM_LookUpCommands(benchmark::State& state)
{
    BuildBuiltInFunctionTable();
    std::vector<std::string> names;
    for (int index = 0; index < kBuiltInFunctionCount; ++index)
        names.emplace_back(BuiltInFunctionName(index));
    for (auto _ : state) {
        for (int round = 0; round < 1000; ++round) {
            for (const std::string& name : names)
                benchmark::DoNotOptimize(FindBuiltInFunction(name.c_str()));
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000 * kBuiltInFunctionCount);
}
BENCHMARK(BM_LookUpCommands)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
