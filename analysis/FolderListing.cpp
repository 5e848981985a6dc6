#include "analysis/FolderListing.h"

#include "platform/Files.h"
#include "support/String.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

bool EndsWithIgnoringCase(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() &&
           Tovanix::String::CompareNoCase(name.c_str() + (name.size() - suffix.size()), suffix.c_str()) == 0;
}

}  // namespace

bool ListFolderEntriesEndingWith(const std::string& folder, const std::string& suffix,
                                 std::vector<FolderEntry>& entries)
{
    entries.clear();
    std::string path = folder.empty() ? std::string(".") : platform::NativePath(folder);
    if (!platform::DirectoryExists(path)) {
        path = platform::FindFileIgnoringCase(path);
        if (path.empty() || !platform::DirectoryExists(path))
            return false;
    }
    std::error_code ec;
    std::filesystem::directory_iterator it(path, ec);
    if (ec)
        return false;
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        if (!EndsWithIgnoringCase(name, suffix))
            continue;
        std::error_code typeError;
        entries.push_back({name, entry.is_directory(typeError)});
    }
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        const int byCase = Tovanix::String::CompareNoCase(a.name.c_str(), b.name.c_str());
        return byCase != 0 ? byCase < 0 : a.name < b.name;
    });
    return true;
}
