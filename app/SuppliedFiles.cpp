#include "app/SuppliedFiles.h"

#include <cstring>
#include <strings.h>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"

namespace {

bool EndsWithNoCase(const char* text, const char* tail) {
    const size_t n = std::strlen(text);
    const size_t m = std::strlen(tail);
    return n >= m && strcasecmp(text + n - m, tail) == 0;
}

}  // namespace

const SuppliedFile* FindSuppliedDataRootFile(const char* path) {
    for (size_t i = 0; i < kSuppliedDataRootFilesCount; ++i) {
        if (std::strcmp(kSuppliedDataRootFiles[i].path, path) == 0) return &kSuppliedDataRootFiles[i];
    }
    return nullptr;
}

std::string InstalledContent(const SuppliedFile& file) {
    const std::string bytes(reinterpret_cast<const char*>(file.data), file.size);
    if (!EndsWithNoCase(file.path, ".ini")) return bytes;
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) text += '\r';
        text += bytes[i];
    }
    return text;
}

bool InstallMissingDataRootFiles(const char* dataRoot, std::string* error) {
    const std::string root = platform::NativePath(dataRoot ? dataRoot : "");
    bool allInstalled = true;
    for (size_t i = 0; i < kSuppliedDataRootFilesCount; ++i) {
        const SuppliedFile& file = kSuppliedDataRootFiles[i];
        const std::string target = platform::JoinPath(root, file.path);
        if (!platform::FindFileIgnoringCase(target).empty()) continue;
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ignored);
        const std::string content = InstalledContent(file);
        // A file that appeared meanwhile is as good as one written here.
        if (platform::WriteNewFileAtomically(target, content.data(), content.size()) || platform::FileExists(target)) {
            continue;
        }
        allInstalled = false;
        if (error) {
            if (!error->empty()) *error += "\n";
            *error += "InstallMissingDataRootFiles() : unable to write file: " + target;
        }
    }
    return allInstalled;
}
