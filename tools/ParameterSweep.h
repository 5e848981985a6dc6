#pragma once

// The counting parameter sweep: circular cell counting over the chosen
// images of a folder, again and again while one numeric option of a counting
// parameter set steps from a start value to a stop value, with one table of
// the type-1 and type-2 counts per image and value. The run writes
// "AlgoIteratorTool.log" into a new run folder inside the image folder.

#include <string>
#include <vector>

#include "tools/ToolFrame.h"

// The options offered for a sweep, in the order they are listed.
extern const std::vector<std::string> kSweepParamNames;

// [AlgoIteratorTool] of the main settings file: CountingAlgoParams,
// ParamNameLevel1, StartLevel1, StopLevel1, StepLevel1, Directory (default
// [ExperimentSettings] DataDirectory), Filter.
ToolSettings MakeSweepSettings();

// Every grid value start + j x step from start up to stop inclusive. The
// count is found with a small tolerance, so a stop that lies on the grid is
// reached even when the division comes out a hair short, and no value lies
// above stop.
std::vector<double> SweepValues(double start, double stop, double step);

struct SweepRequest {
    std::string paramSetName;  // the set's name in the LIB folder
    std::string paramName;
    std::string startText, stopText, stepText;
    std::string folder;
    std::vector<std::string> fileNames;  // the selected names, in list order

    // Read by Validate.
    double start = 0, stop = 0, step = 0;
    std::string setPath;

    // One line per problem, in the order the tool has always reported them.
    std::vector<std::string> Validate();
};

struct SweepReport {
    std::vector<std::string> lines;  // the table after the computer-name line
    std::string logPath;             // written report, empty when none
    std::string error;               // why no report was written
};

// The worker: runs the sweep and writes its report; ends early when the
// context's stop flag is set (before each image and each value).
SweepReport RunParameterSweep(const SweepRequest& request, const ToolWorkerContext& context);
