#pragma once

// Opening a file with the program associated with its extension.
//
// The associations are kept in the file "FileAssociations.ini" in the data
// root, laid out as the system's own file-type table:
//   [Extensions]      .txt=textfile          (extension -> file type)
//   [textfile]        open=gedit "%1"        (file type -> command per action)
// A command is split into its arguments (double quotes group) and started
// directly, never through a shell. Without an association the file is handed
// to the desktop's own opener (xdg-open).

#include <functional>
#include <string>
#include <vector>

#include "support/String.h"

namespace Tovanix {

// The command line registered for the "open" action of the extension ("txt"
// and ".txt" alike).
bool GetOpenCommandForExtension(const char* extension, Tovanix::String* command, Tovanix::String* error);

// Starts the registered program on the file; true only when its process was
// started. `substituteExtension` (e.g. ".txt") is tried before the file's own.
bool OpenUsingDefaultApp(const char* filePath, const char* substituteExtension = nullptr);

// The same, but true also when the file went to the desktop's opener in place
// of a registered program; false only when no program could be started.
bool OpenUsingDefaultAppOrDesktop(const char* filePath, const char* substituteExtension = nullptr);

// Starts a program from an argument vector in the given working folder,
// without waiting for it. True when the process was created.
using ProcessStarter = std::function<bool(const std::vector<std::string>& arguments, const std::string& workingFolder)>;
// Replaces the process starter (tests record instead of starting); an empty
// function restores the real one.
void SetProcessStarter(ProcessStarter starter);

// The arguments of a command line: blanks separate, double quotes group.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace Tovanix
