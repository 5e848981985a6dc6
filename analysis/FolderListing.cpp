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

bool MatchesWildcard(const std::string& name, const std::string& pattern)
{
    auto same = [](char a, char b) {
        return a == b || (a >= 'a' && a <= 'z' && a - 'a' + 'A' == b) || (b >= 'a' && b <= 'z' && b - 'a' + 'A' == a);
    };
    // Greedy match that backtracks only to the last '*': linear in practice,
    // never exponential.
    size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool ListFolderEntriesMatching(const std::string& folder, const std::string& pattern,
                               std::vector<FolderEntry>& entries)
{
    std::vector<FolderEntry> all;
    if (!ListFolderEntriesEndingWith(folder, "", all))
        return false;
    entries.clear();
    for (FolderEntry& entry : all)
        if (MatchesWildcard(entry.name, pattern))
            entries.push_back(std::move(entry));
    return !entries.empty();
}

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
