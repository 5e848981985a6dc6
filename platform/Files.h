#pragma once

// Paths, files and folders.
//
// Paths are native ('/') on Linux, but every function that splits or joins a
// path accepts both '\' and '/', so paths written on the instrument's Windows
// computer still resolve. A drive prefix such as "C:" is a root that
// NativePath maps onto the machine folders.

#include <cstdint>
#include <string>

namespace platform {

// True for '\' and '/'.
inline bool IsPathSeparator(char ch) { return ch == '\\' || ch == '/'; }

// Turns a path in either notation into a native one: separators become '/',
// and the Windows machine folders (C:\Users\Public\Documents,
// C:\ProgramData, case-insensitively) map onto PublicDocumentsFolder() and
// ProgramDataFolder(). Other drive prefixes are dropped.
std::string NativePath(const std::string& path);

// Joins two path parts with one native separator.
std::string JoinPath(const std::string& directory, const std::string& name);

// Finds an existing file or folder whose path equals `path` ignoring letter
// case in every component. Returns the path as it exists on disk, or the
// empty text when there is none. An exact match is preferred.
std::string FindFileIgnoringCase(const std::string& path);

bool FileExists(const std::string& path);       // file or folder
bool DirectoryExists(const std::string& path);

// Free bytes available to the caller on the disk holding `path`; false when
// the path cannot be examined.
bool GetDiskFreeSpace(const std::string& path, uint64_t* freeBytes, uint64_t* totalBytes = nullptr);

// Writes text with "\r\n" line ends, as the program's text files have them.
// Writes go to a temporary file beside the target that Commit() renames over
// the target, so an interrupted write never leaves a torn file.
class CrlfTextWriter {
public:
    explicit CrlfTextWriter(const std::string& path);
    ~CrlfTextWriter();  // discards an uncommitted temporary file
    bool IsOpen() const;
    // Writes the text; each '\n' (and "\r\n") becomes "\r\n".
    bool Write(const std::string& text);
    bool WriteLine(const std::string& line);  // line + "\r\n"
    // Flushes, syncs and renames over the target. False when any write failed.
    bool Commit();
    CrlfTextWriter(const CrlfTextWriter&) = delete;
    CrlfTextWriter& operator=(const CrlfTextWriter&) = delete;

private:
    std::string m_path;
    std::string m_tempPath;
    void* m_file = nullptr;  // FILE*
    bool m_failed = false;
    bool m_lastWasCr = false;  // a "\r\n" may be split across two writes
};

// Replaces a file's whole content atomically: temporary file beside it,
// flush, fsync, rename. False (old file untouched) on any failure.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);

// Creates a file that does not exist yet, atomically, as WriteFileAtomically
// does. False when the file exists (it is left as it is) or on any failure.
bool WriteNewFileAtomically(const std::string& path, const void* data, size_t size);

// Copies a file's bytes to `target` through a temporary file. With
// replaceExisting false an existing target is refused and left untouched.
bool CopyFileAtomically(const std::string& source, const std::string& target, bool replaceExisting);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* content);

}  // namespace platform
