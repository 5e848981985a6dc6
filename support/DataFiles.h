#pragma once

// File comparisons: a byte-for-byte identity test, and a numeric comparison
// of two tab-delimited data files column by column.

#include <vector>

#include "support/String.h"

namespace Tovanix {

// True when both files exist and hold the same bytes.
bool AreFilesIdentical(const char* pathA, const char* pathB);

// Finds the named columns in each file's header line (within its first 1000
// lines; the two files may order the columns differently), then compares the
// data rows of both files in step. `largestDifferences` gets one entry per
// name: the largest |a - b| seen in that column; `count` is the number of
// value pairs compared. True when no error was found.
bool CompareDataFiles(const char* pathA, const char* pathB, const std::vector<Tovanix::String>& columnNames,
                      int& count, std::vector<double>& largestDifferences, Tovanix::String& error);

}  // namespace Tovanix
