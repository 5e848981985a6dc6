#include "tools/ContrastTool.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

bool EndsWithPng(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".png";
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

}  // namespace

ToolSettings MakeContrastSettings() {
    return ToolSettings("ContrastDlg", {{"ImageDirectory", ""},
                                        {"Filter", ""},
                                        {"Brightfield", ""},
                                        {"Red", ""},
                                        {"Green", ""},
                                        {"Blue", ""}});
}

std::vector<std::string> ContrastImageTypeNames(const std::vector<std::string>& fileNames) {
    std::vector<std::string> types;
    for (const std::string& name : fileNames) {
        if (types.size() >= 4) break;
        if (!EndsWithPng(name)) continue;
        const size_t last = name.rfind('_');
        if (last == std::string::npos || last == 0) continue;
        const size_t previous = name.rfind('_', last - 1);
        if (previous == std::string::npos) continue;
        const std::string type = name.substr(previous + 1, last - previous - 1);
        const auto at = std::lower_bound(types.begin(), types.end(), type);
        if (at == types.end() || *at != type) types.insert(at, type);
    }
    return types;
}

std::vector<std::string> ContrastImageTypeNamesOfFolder(const std::string& folder) {
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) return {};
    std::vector<std::string> names;
    FillFileList(folder, "*.png", names);
    return ContrastImageTypeNames(names);
}

bool BuildChannelFileNames(const std::string& folder, const std::string& fileName,
                           const std::array<std::string, 4>& channelTypes, std::array<std::string, 4>& channelFiles) {
    channelFiles = {};
    const size_t last = fileName.rfind('_');
    if (last == std::string::npos || last == 0) return false;
    const size_t previous = fileName.rfind('_', last - 1);
    if (previous == std::string::npos || previous == 0) return false;
    const std::string prefix = fileName.substr(0, previous + 1);
    const std::string suffix = fileName.substr(last);
    for (size_t c = 0; c < 4; ++c) {
        if (IsBlank(channelTypes[c])) continue;
        const std::string path = JoinToolFolder(folder, prefix + channelTypes[c] + suffix);
        std::error_code error;
        if (std::filesystem::exists(path, error)) channelFiles[c] = path;
    }
    return true;
}

bool IsValidChannelRange(int channel, long lower, long upper) {
    return channel >= 0 && channel <= 3 && lower >= 0 && upper <= 65535 && lower < upper;
}
