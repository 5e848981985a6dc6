#pragma once

// Maps the program's serial port names (COM1..COM99) onto device paths.
// A COM number that is not in the table does not exist, so opening it fails
// at once. Entries come from the environment variable VELLORA_COM_PORTS
// ("5=/dev/ttyUSB0;7=/dev/pts/4"), from the file "ComPorts.ini" in the
// program-data folder (lines "COM5=/dev/ttyUSB0"), and from registrations at
// run time (the virtual instrument registers its pseudo-terminals). A later
// source overrides an earlier one for the same number: file, environment,
// registration.

#include <string>
#include <vector>

namespace platform {

// The device path of COMn, or the empty text when there is none.
std::string ComPortDevicePath(int comNumber);
void RegisterComPort(int comNumber, const std::string& devicePath);
// Removes a run-time registration (an entry of the file or the environment
// for the same number applies again).
void UnregisterComPort(int comNumber);
// COM numbers known to the table, ascending.
std::vector<int> KnownComPorts();

}  // namespace platform
