#pragma once

// The script files behind the scripts console: the Scripts folder of the
// data root, its "*.scr" files, a new script file for editing, and the
// administrator's rename, delete and duplicate. The console window only
// reads its controls and calls these.
//
// Errors: false and a message in `error` that starts with the operation's
// name where the console has always named it; the console logs and shows it.

#include <mutex>
#include <string>
#include <vector>

namespace ScriptsConsole {

// <data root>/Scripts.
std::string ScriptsFolder();
// The folder and a file name joined with one separator; blanks and tabs
// around the folder text are ignored, an empty folder gives the name alone.
std::string JoinFolder(const std::string& folder, const std::string& name);
// The file in the Scripts folder.
std::string ScriptPath(const std::string& fileName);
// The customer scripts' folder: "Scripts" in the run screen's folder. The
// customer script chooser keeps its files there with the same operations,
// each given that folder.
std::string CustomerScriptsFolder();

// The names (with extension) of the folder's script files, ".scr" in any
// letter case; an empty list when the folder is missing.
std::vector<std::string> ListScripts();
std::vector<std::string> ListScripts(const std::string& folder);

// The file that Edit opens for the selected name: the selected script, or
// "New.scr" with its two header lines when nothing is selected. An existing
// "New.scr" is opened as it is, never rewritten. The Scripts folder is
// created when missing.
bool PrepareScriptForEdit(const std::string& selectedName, std::string* path, std::string* error);
bool PrepareScriptForEdit(const std::string& folder, const std::string& selectedName, std::string* path,
                          std::string* error);
constexpr const char* kNewScriptName = "New.scr";
constexpr const char* kNewScriptText =
    "// Tessaly Vellora script file.\r\n// Rename this automatically created file.\r\n";

// Renames <old>.scr to <new>.scr in the Scripts folder; refused when the
// target exists (both files are kept).
bool rename_script_file(const std::string& oldName, const std::string& newName, std::string* error);
bool rename_script_file(const std::string& folder, const std::string& oldName, const std::string& newName,
                        std::string* error);
// Deletes the script file.
bool DeleteScriptFile(const std::string& fileName, std::string* error);
bool DeleteScriptFile(const std::string& folder, const std::string& fileName, std::string* error);
// Copies the script to the first free "<name>_<i>.scr", i = 1..99;
// `copyName` receives the new file name.
bool DuplicateScriptFile(const std::string& fileName, std::string* copyName, std::string* error);
bool DuplicateScriptFile(const std::string& folder, const std::string& fileName, std::string* copyName,
                         std::string* error);

// The file name without its extension.
std::string WithoutExtension(const std::string& fileName);

// The line that a run shows in the console: the script thread sets every
// line it runs, the window takes the newest when it gets round to it. Set
// says whether the window must be told (it has taken the previous line).
class CurrentLineFeed {
public:
    bool Set(const std::string& line);
    std::string Take();

private:
    std::mutex m_mutex;
    std::string m_line;
    bool m_pending = false;
};

}  // namespace ScriptsConsole
