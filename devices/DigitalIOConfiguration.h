#pragma once

// The digital I/O configuration window's logic: which line box shows which
// physical line, switching one output line by hand, writing one choice of
// the LED and interlock assignment, and the boxes of the interlock inputs.

#include <string>
#include <vector>

#include "platform/CString.h"

namespace DigitalIOConfiguration {

constexpr int kFirstPort0Box = 1053;  // port 0 lines 0 to 7
constexpr int kFirstPort1Box = 1061;  // port 1 lines 0 to 3

// The box of (port, line), 0 for a pair that has none.
int GetLineButtonId(int port, int line);

// Sets or clears one line of a port by reading the port, changing the bit and
// writing the port back.
bool SetLineState(int port, int line, bool on, CString* error);

// Writes one [DIO_Config] choice and reloads the mapping; the value stays
// written when the mapping refuses it, so the error text names what to mend.
bool WriteMappingChoice(const char* key, int index, CString* error);

// The boxes of the cartridge and clamp sensors under the interlock mapping:
// those are inputs and must not be switched by hand. Empty under any other
// mapping. A sensor key that is not a number of 0 or more ends the list
// there with its message in `problem`.
std::vector<int> InterlockInputBoxes(std::string* problem);

}  // namespace DigitalIOConfiguration
