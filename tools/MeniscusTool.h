#pragma once

// The meniscus tool's work: finds the channel walls and the meniscus in
// each chosen image of a folder, the walls of one image guiding the search
// in the next, cleans the series by a consistency rule and writes a
// "<date>_<time>_MeniscusReport.txt" report into the folder at the end.

#include <string>
#include <vector>

#include "analysis/Profiles.h"
#include "tools/ToolFrame.h"

// [FindMeniscus] of the main settings file: Directory, Filter.
ToolSettings MakeMeniscusSettings();

// One image's result with its file name.
struct NamedMeniscus {
    std::string name;
    MeniscusResult result;
};

// The consistency rule, in image order from the second result on: a found
// meniscus more than 200 columns away from a found one in the previous image
// makes both not found; a found meniscus followed by one not found (and not
// the last) becomes not found.
void ApplyMeniscusConsistency(std::vector<NamedMeniscus>& results);

// The report row of one result: "name\t<upper>\t<lower>\tTrue\t<x>[\t<form>]"
// or "name\t<upper>\t<lower>\tFalse\t\t".
std::string MeniscusRow(const NamedMeniscus& named);

struct MeniscusRequest {
    std::string folder;
    std::vector<std::string> fileNames;
};

struct MeniscusReport {
    std::vector<std::string> lines;  // everything the report holds
    std::string path;                // the written report, empty when none
    std::string error;               // shown with the error icon, already logged
};

// The worker: status "i of n" per image; Stop ends the search before the
// next image and the images searched so far are still reported. A file that
// cannot be read (or reads as an empty image) gets a "Can't open image file."
// line after the header.
MeniscusReport RunFindMeniscus(const MeniscusRequest& request, const ToolWorkerContext& context);
