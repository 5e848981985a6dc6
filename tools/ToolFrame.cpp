#include "tools/ToolFrame.h"

#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "analysis/FolderListing.h"
#include "app/VelloraApp.h"
#include "operator/ScriptsConsole.h"
#include "platform/Files.h"
#include "support/AppLogs.h"
#include "support/Profile.h"
#include "support/String.h"

bool FillFileList(const std::string& folder, const std::string& filter, std::vector<std::string>& names) {
    names.clear();
    std::string trimmed = folder.substr(0, folder.find_first_of("\r\n"));
    const size_t first = trimmed.find_first_not_of(" \t");
    trimmed = first == std::string::npos ? std::string() : trimmed.substr(first, trimmed.find_last_not_of(" \t") - first + 1);
    // A filter may carry a folder part of its own ("sub\*.png").
    std::string searchFolder = trimmed.empty() ? std::string(".") : trimmed;
    std::string pattern = filter;
    const size_t separator = pattern.find_last_of("\\/");
    if (separator != std::string::npos) {
        searchFolder = trimmed.empty() ? pattern.substr(0, separator) : JoinToolFolder(trimmed, pattern.substr(0, separator));
        pattern = pattern.substr(separator + 1);
    }
    std::vector<FolderEntry> entries;
    if (!ListFolderEntriesMatching(searchFolder, pattern, entries)) return false;
    for (const FolderEntry& entry : entries) {
        if (!entry.isDirectory && entry.name != "." && entry.name != "..") names.push_back(entry.name);
    }
    return !names.empty();
}

std::string JoinToolFolder(const std::string& folder, const std::string& name) { return ScriptsConsole::JoinFolder(folder, name); }

std::string LibFolder() { return DataRootPath("LIB").str(); }

std::string ParamSetPath(const std::string& name, const std::string& extension) {
    return platform::JoinPath(LibFolder(), name + extension);
}

std::vector<std::string> ListParamSets(const std::string& extension) {
    std::vector<FolderEntry> entries;
    std::vector<std::string> names;
    if (!ListFolderEntriesEndingWith(LibFolder(), extension, entries)) return names;
    for (const FolderEntry& entry : entries) {
        if (entry.isDirectory) continue;
        names.push_back(entry.name.substr(0, entry.name.find('.')));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    return names;
}

bool CheckParamSetName(const std::string& name, std::string* error) {
    if (name.find_first_not_of(" \t") == std::string::npos) {
        *error = "Must have a valid name in the combo box before you may save.";
        return false;
    }
    bool valid = name.size() <= 256;
    for (size_t i = 0; valid && i < name.size(); ++i) valid = Tovanix::IsValidFileNameChar(&name[i]);
    if (!valid) {
        *error = "Name in the combo box must be a valid windows file name.";
        return false;
    }
    return true;
}

std::string JoinMessageLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += "\n";
        text += line;
    }
    return text;
}

ToolSettings::ToolSettings(std::string section, std::vector<Key> keys)
    : m_section(std::move(section)), m_keys(std::move(keys)) {
    for (const Key& key : m_keys) m_values.push_back(key.defaultValue);
}

void ToolSettings::Load() {
    const std::string ini = g_IniPath.str();
    for (size_t i = 0; i < m_keys.size(); ++i) {
        char buffer[1024] = "";
        if (Tovanix::E_GetPrivateProfileString(m_section.c_str(), m_keys[i].name.c_str(), m_keys[i].defaultValue.c_str(),
                                               buffer, sizeof buffer, ini.c_str())) {
            m_values[i] = buffer;
        } else {
            m_values[i] = m_keys[i].defaultValue;
        }
    }
}

bool ToolSettings::Save() const {
    if (m_loading) return false;
    const std::string ini = g_IniPath.str();
    bool written = true;
    for (size_t i = 0; i < m_keys.size(); ++i) {
        written = Tovanix::E_WritePrivateProfileString(m_section.c_str(), m_keys[i].name.c_str(), m_values[i].c_str(),
                                                       ini.c_str()) && written;
    }
    if (!written) {
        LogErrAndInfo(__FILE__, __LINE__, ("Unable to write the settings [" + m_section + "] to " + ini).c_str());
    }
    return true;
}

const std::string& ToolSettings::Get(const std::string& key) const {
    static const std::string empty;
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (strcasecmp(m_keys[i].name.c_str(), key.c_str()) == 0) return m_values[i];
    }
    return empty;
}

void ToolSettings::Set(const std::string& key, const std::string& value) {
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (strcasecmp(m_keys[i].name.c_str(), key.c_str()) == 0) m_values[i] = value;
    }
}

bool ToolSettings::GetFlag(const std::string& key, bool current) const {
    const std::string& value = Get(key);
    if (strcasecmp(value.c_str(), "TRUE") == 0) return true;
    if (strcasecmp(value.c_str(), "FALSE") == 0) return false;
    return current;
}
