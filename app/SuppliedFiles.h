#pragma once

// Files that the installation puts into the data root: the default settings
// file (Default/Vellora.ini), the cartridge definitions (Cartridge/*.ini) and
// the like. They are built into the program from resources/dataroot, so a
// fresh machine needs nothing but the program: every start copies the files
// that are missing into the data root and leaves every file that is there as
// it is.

#include <cstddef>
#include <string>

struct SuppliedFile {
    const char* path;  // relative to the data root, '/' separated
    const unsigned char* data;
    size_t size;
};

// In name order.
extern const SuppliedFile kSuppliedDataRootFiles[];
extern const size_t kSuppliedDataRootFilesCount;

// The supplied file at `path` (as in SuppliedFile::path), or null.
const SuppliedFile* FindSuppliedDataRootFile(const char* path);

// The bytes a supplied file is installed with: ".ini" text gets "\r\n" line
// ends, as the program's own text files have them; other files as they are.
std::string InstalledContent(const SuppliedFile& file);

// Writes every supplied file that is missing (letter case aside) into the
// data root, creating folders as needed. False when one could not be
// written; `error` then names each such file, one per line, and the other
// files are still installed.
bool InstallMissingDataRootFiles(const char* dataRoot, std::string* error);
