#pragma once

// The montage pipeline of a recorded experiment folder: load the folder,
// fix the display levels, find the split line, the menisci, the split row
// and the pixel shift, write the montage, and check the sample volume; then
// reset the engine state. Stops at the first step that fails.
//
// Holds AnalysisEngineLock for the whole run, so a script thread and the main
// window never run two pipelines at once.

#include <string>

// Writes folder/montageName.png and folder/montageName.small.png. False with
// the failed step's text; an error inside the pipeline itself (the image
// library's, or a capture-log number that does not parse) gives
// "Create Montage: " and its message. A folder without a capture log fails
// with the text unchanged. `owner` is not read.
bool CreateMontage(void* owner, std::string folder, int includeChannel1, int includeChannel2,
                   std::string montageName, std::string* error);
