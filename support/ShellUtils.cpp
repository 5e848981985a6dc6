#include "support/ShellUtils.h"

#include <map>
#include <mutex>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/Files.h"
#include "support/AppLogs.h"

extern char** environ;

namespace Tovanix {
namespace {

std::mutex g_starterLock;
ProcessStarter g_starter;

struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};
using Section = std::map<std::string, std::string, NoCaseLess>;
using Table = std::map<std::string, Section, NoCaseLess>;

// The association file: sections of key=value lines; names compare without
// regard to case, as file types and extensions do on the instrument computer.
Table ReadAssociations() {
    Table table;
    std::string text;
    if (!platform::ReadWholeFile(DataRootPath("FileAssociations.ini").str(), &text)) {
        return table;
    }
    Section* section = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
            section = &table[line.substr(1, line.size() - 2)];
        } else if (size_t equals = line.find('='); section && equals != std::string::npos && equals > 0) {
            (*section)[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return table;
}

bool RealStarter(const std::vector<std::string>& arguments, const std::string& workingFolder) {
    if (arguments.empty()) {
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    pid_t pid = 0;
    int result = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        return false;
    }
    // The program runs on its own; only its exit status is collected.
    std::thread([pid] {
        int status;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

bool Start(const std::vector<std::string>& arguments) {
    ProcessStarter starter;
    {
        std::lock_guard<std::mutex> lock(g_starterLock);
        starter = g_starter;
    }
    // Programs start in the root folder, so they hold no folder of ours open.
    return starter ? starter(arguments, "/") : RealStarter(arguments, "/");
}

// The desktop's own opener; true when it was started.
bool ShellOpen(const std::string& path) { return Start({"xdg-open", path}); }

std::string ExtensionOf(const std::string& path) {
    size_t dot = path.find_last_of('.');
    size_t separator = path.find_last_of("\\/");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
        return std::string();
    }
    return path.substr(dot);
}

}  // namespace

void SetProcessStarter(ProcessStarter starter) {
    std::lock_guard<std::mutex> lock(g_starterLock);
    g_starter = std::move(starter);
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (char ch : commandLine) {
        if (ch == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((ch == ' ' || ch == '\t') && !quoted) {
            if (inArgument) {
                arguments.push_back(current);
                current.clear();
                inArgument = false;
            }
        } else {
            current += ch;
            inArgument = true;
        }
    }
    if (inArgument) {
        arguments.push_back(current);
    }
    return arguments;
}

bool GetOpenCommandForExtension(const char* extension, Tovanix::String* command, Tovanix::String* error) {
    std::string name = extension ? extension : "";
    if (name.empty() || name[0] != '.') {
        name = "." + name;
    }
    const std::string action = "open";
    const Table table = ReadAssociations();
    const std::string problem =
        "Problem looking up information for extension: " + name + " Windows registry may be corrupt.";

    auto extensions = table.find("Extensions");
    auto fileType = extensions == table.end() ? Section::const_iterator() : extensions->second.find(name);
    if (extensions == table.end() || fileType == extensions->second.end()) {
        *error = ("Extension: " + name + " is not registered.").c_str();
        return false;
    }
    auto actions = table.find(fileType->second);
    if (fileType->second.empty() || actions == table.end()) {
        *error = problem.c_str();
        return false;
    }
    auto found = actions->second.find(action);
    if (found == actions->second.end()) {
        *error = ("Extension: " + name + " is registered.  But does not have action: " + action).c_str();
        return false;
    }
    if (found->second.empty()) {
        *error = problem.c_str();
        return false;
    }
    *command = found->second.c_str();
    return true;
}

namespace {

// True when the registered program was started; `desktopStarted` tells
// whether the desktop's opener took the file in its place.
bool OpenWithRegisteredApp(const char* filePath, const char* substituteExtension, bool* desktopStarted) {
    *desktopStarted = false;
    std::string given = filePath ? filePath : "";
    for (size_t at = given.find("\\\\"); at != std::string::npos; at = given.find("\\\\", at + 1)) {
        given.erase(at, 1);
    }
    const std::string path = platform::NativePath(given);
    const std::string ownExtension = ExtensionOf(path);
    Tovanix::String command;
    Tovanix::String error;
    bool found = GetOpenCommandForExtension(substituteExtension ? substituteExtension : ownExtension.c_str(),
                                            &command, &error);
    if (!found && substituteExtension) {
        found = GetOpenCommandForExtension(ownExtension.c_str(), &command, &error);
    }
    if (!found) {
        LogErrAndInfo(__FILE__, __LINE__, error.c_str());
        *desktopStarted = ShellOpen(path);
        return false;
    }

    std::string commandLine = command.c_str();
    // Commands written for the instrument computer may name the system folder.
    const std::string systemRoot = "%SystemRoot%";
    if (size_t at = commandLine.find(systemRoot); at != std::string::npos) {
        commandLine.replace(at, std::min(systemRoot.size() + 1, commandLine.size() - at), "/usr/");
    }
    // The path is substituted into the split arguments, so blanks or quotes
    // in it can never change how the command is read.
    std::vector<std::string> arguments = SplitCommandLine(commandLine);
    if (commandLine.find("%1") != std::string::npos) {
        for (std::string& argument : arguments) {
            for (size_t at = argument.find("%1"); at != std::string::npos; at = argument.find("%1", at + path.size())) {
                argument.replace(at, 2, path);
            }
        }
    } else {
        arguments.push_back(path);
    }
    if (!arguments.empty()) {
        arguments[0] = platform::NativePath(arguments[0]);
    }
    if (arguments.empty() || !Start(arguments)) {
        *desktopStarted = ShellOpen(path);
        return false;
    }
    return true;
}

}  // namespace

bool OpenUsingDefaultApp(const char* filePath, const char* substituteExtension) {
    bool desktopStarted = false;
    return OpenWithRegisteredApp(filePath, substituteExtension, &desktopStarted);
}

bool OpenUsingDefaultAppOrDesktop(const char* filePath, const char* substituteExtension) {
    bool desktopStarted = false;
    return OpenWithRegisteredApp(filePath, substituteExtension, &desktopStarted) || desktopStarted;
}

}  // namespace Tovanix
