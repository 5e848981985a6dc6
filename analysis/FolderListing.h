#pragma once

// The entries of one folder whose names end with a given suffix, as a
// wildcard search such as "*.log" finds them: the suffix matches without
// regard to letter case, and the entries come in name order (ignoring case),
// the order the instrument computer's file system lists them in.

#include <string>
#include <vector>

struct FolderEntry {
    std::string name;  // as it is on disk
    bool isDirectory = false;
};

// False when the folder cannot be listed (no such folder). The folder may
// be given in either path notation and in any letter case.
bool ListFolderEntriesEndingWith(const std::string& folder, const std::string& suffix,
                                 std::vector<FolderEntry>& entries);

// True when `name` matches a wildcard pattern ('*' any run of characters,
// '?' one character), without regard to letter case.
bool MatchesWildcard(const std::string& name, const std::string& pattern);

// The entries of one folder whose names match a wildcard pattern, in the
// same order as above. False when the folder cannot be listed or nothing
// matches, as a wildcard search of the instrument computer reports it.
bool ListFolderEntriesMatching(const std::string& folder, const std::string& pattern,
                               std::vector<FolderEntry>& entries);
