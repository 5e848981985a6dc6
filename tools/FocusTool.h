#pragma once

// The focus tool's work: scores how sharp each chosen image of a folder is
// inside the cartridge channel's region and writes one row per image into a
// "FocusTool_<date>_<time>.txt" report in the image folder.

#include <string>
#include <vector>

#include "tools/ToolFrame.h"

// [FocusTool] of the main settings file: Directory, Filter.
ToolSettings MakeFocusSettings();

struct FocusRequest {
    std::string folder;                  // the folder edit's text when Run was pressed
    std::vector<std::string> fileNames;  // the selected names, in list order
};

struct FocusReport {
    std::string path;                // the report file, empty when it could not be made
    std::vector<std::string> rows;   // "name\tscore\tms", one per scored image
    std::string error;               // shown with the error icon at the end, already logged
};

// The worker: the report header, then per name (while Stop is not pressed)
// "Processing i of n", a 500 ms pause, the score and its row. A file that
// does not load, or loads as an empty image, is logged and gets no row; a
// scoring failure ends the run. A report that cannot be created ends the run
// at once with its message.
FocusReport ScoreFocus(const FocusRequest& request, const ToolWorkerContext& context);
