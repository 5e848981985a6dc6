#pragma once

// Reading the physical lines of script and include files.

#include <istream>
#include <string>

// The next physical line without its line end ("\n", "\r\n" or "\r" before
// the end of the file). False at the end of the file. tooLong is set when
// the line holds more than kMaxScriptLineLength characters.
bool ReadScriptLine(std::istream& file, std::string& line, bool& tooLong);

// Cuts the line at the first "//" outside double quotes; quotes are counted
// from the start of the line.
void CutScriptComment(std::string& line);
