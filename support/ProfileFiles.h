#pragma once

// Whole-file reads and replacing writes for the profile store and the
// enciphered profile files.

#include <string>

namespace Tovanix::ProfileFiles {

// The native path of a profile file. Paths may use '\' or '/', and a file
// that exists under another letter case is found (settings written on the
// instrument's Windows computer spell names freely).
std::string ResolvePath(const char* file);

enum class ReadResult { Ok, Missing, OpenFailed, ReadFailed };

// Reads the whole file into `bytes`.
ReadResult ReadAll(const std::string& path, std::string& bytes);

enum class WriteResult { Ok, OpenFailed, WriteFailed };

// Replaces the file's content through a temporary file beside it that is
// flushed and renamed over the target, so a failed or interrupted write
// leaves the old file whole and readers never see a torn file.
WriteResult Replace(const std::string& path, const std::string& bytes);

}  // namespace Tovanix::ProfileFiles
