// Tovanix::CreateDirectoryTree: a directory with all its missing parents.
// Kept apart from the text operations because it is the one helper of the
// string family that touches the disk.

#include "support/String.h"

#include "platform/Files.h"

#include <string>
#include <sys/stat.h>

namespace Tovanix {

namespace {

bool IsSeparator(char ch) { return ch == '\\' || ch == '/'; }

bool MakeDirectory(const std::string& path) {
    return ::mkdir(platform::NativePath(path).c_str(), 0777) == 0;
}

}  // namespace

bool CreateDirectoryTree(const char* path) {
    if (!path || !*path) {
        return false;
    }
    std::string directory(path);
    if (IsSeparator(directory.back())) {
        directory.pop_back();
        if (directory.empty()) {
            return platform::FileExists(platform::NativePath(path));  // the root
        }
    }
    if (platform::FileExists(platform::NativePath(directory))) {
        return true;
    }
    if (MakeDirectory(directory)) {
        return true;
    }
    // Make the parent first; the search for its end starts before the last
    // character so that the parent of "a\b" is "a".
    if (directory.size() < 2) {
        return false;
    }
    size_t cut = std::string::npos;
    for (size_t i = directory.size() - 1; i-- > 0;) {
        if (IsSeparator(directory[i])) {
            cut = i;
            break;
        }
    }
    if (cut == std::string::npos) {
        return false;
    }
    const std::string parent = cut == 0 ? directory.substr(0, 1) : directory.substr(0, cut);
    if (!CreateDirectoryTree(parent.c_str())) {
        return false;
    }
    return MakeDirectory(directory);
}

}  // namespace Tovanix
