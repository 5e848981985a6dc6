#include "operator/ScriptsConsole.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <strings.h>
#include <sys/stat.h>
#include <system_error>

#include "app/VelloraApp.h"
#include "platform/Files.h"

namespace ScriptsConsole {

namespace {

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool HasScriptExtension(const std::string& name) {
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".scr") == 0;
}

// rename() that refuses to replace an existing target, as the instrument's
// own file system call always did.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: check first, then rename.
    if (platform::FileExists(to)) return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

std::string JoinFolder(const std::string& folder, const std::string& name) {
    std::string trimmed = TrimBlanks(folder.substr(0, folder.find_first_of("\r\n")));
    if (trimmed.empty()) return name;
    if (platform::IsPathSeparator(trimmed.back())) trimmed.pop_back();
    return platform::JoinPath(trimmed, name);
}

std::string ScriptsFolder() { return JoinFolder(theApp.m_strDataRoot.str(), "Scripts"); }

std::string ScriptPath(const std::string& fileName) { return JoinFolder(ScriptsFolder(), fileName); }

std::string CustomerScriptsFolder() { return JoinFolder(theApp.m_strCustomerUIDir.c_str(), "Scripts"); }

std::vector<std::string> ListScripts() { return ListScripts(ScriptsFolder()); }

std::vector<std::string> ListScripts(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (HasScriptExtension(name) && it->is_regular_file(ec)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    return names;
}

bool PrepareScriptForEdit(const std::string& selectedName, std::string* path, std::string* error) {
    return PrepareScriptForEdit(ScriptsFolder(), selectedName, path, error);
}

bool PrepareScriptForEdit(const std::string& folder, const std::string& selectedName, std::string* path,
                          std::string* error) {
    if (!platform::DirectoryExists(folder) && ::mkdir(folder.c_str(), 0777) != 0) {
        *error = "Unable to create directory: " + folder;
        return false;
    }
    if (!selectedName.empty()) {
        *path = JoinFolder(folder, selectedName);
        return true;
    }
    *path = JoinFolder(folder, kNewScriptName);
    // An existing "New.scr" may hold work: it is opened, not replaced.
    if (platform::FileExists(*path)) return true;
    if (!platform::WriteNewFileAtomically(*path, kNewScriptText, std::strlen(kNewScriptText))) {
        *error = "Unable to create file: " + *path;
        return false;
    }
    return true;
}

std::string WithoutExtension(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

bool rename_script_file(const std::string& oldName, const std::string& newName, std::string* error) {
    return rename_script_file(ScriptsFolder(), oldName, newName, error);
}

bool rename_script_file(const std::string& folder, const std::string& oldName, const std::string& newName,
                        std::string* error) {
    // The list shows ".scr" in any letter case; the file is found the same way.
    std::string oldPath = JoinFolder(folder, oldName + ".scr");
    if (const std::string existing = platform::FindFileIgnoringCase(oldPath); !existing.empty()) oldPath = existing;
    const std::string newPath = JoinFolder(folder, newName + ".scr");
    if (!platform::FileExists(oldPath)) {
        *error = "rename_script_file () : Script file does not exist: " + oldPath;
        return false;
    }
    if (!RenameNoReplace(oldPath, newPath)) {
        *error = "rename_script_file () : unable to rename " + oldPath + " -> " + newPath;
        return false;
    }
    return true;
}

bool DeleteScriptFile(const std::string& fileName, std::string* error) {
    return DeleteScriptFile(ScriptsFolder(), fileName, error);
}

bool DeleteScriptFile(const std::string& folder, const std::string& fileName, std::string* error) {
    const std::string path = JoinFolder(folder, fileName);
    if (std::remove(path.c_str()) != 0) {
        *error = "Unable to delete file:\n" + path;
        return false;
    }
    return true;
}

bool DuplicateScriptFile(const std::string& fileName, std::string* copyName, std::string* error) {
    return DuplicateScriptFile(ScriptsFolder(), fileName, copyName, error);
}

bool DuplicateScriptFile(const std::string& folder, const std::string& fileName, std::string* copyName,
                         std::string* error) {
    const std::string name = WithoutExtension(fileName);
    for (int i = 1; i <= 99; ++i) {
        const std::string candidate = name + "_" + std::to_string(i) + ".scr";
        if (platform::FileExists(JoinFolder(folder, candidate))) continue;
        const std::string source = JoinFolder(folder, fileName);
        const std::string target = JoinFolder(folder, candidate);
        if (!platform::CopyFileAtomically(source, target, false)) {
            *error = "Problem trying to copy file: " + source + " -> " + target;
            return false;
        }
        *copyName = candidate;
        return true;
    }
    *error = "Unable to duplicate script: " + fileName;
    return false;
}

bool CurrentLineFeed::Set(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_line = line;
    const bool tell = !m_pending;
    m_pending = true;
    return tell;
}

std::string CurrentLineFeed::Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pending = false;
    return m_line;
}

}  // namespace ScriptsConsole
