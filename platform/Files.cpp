#include "platform/Files.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/Folders.h"

namespace platform {

namespace {

std::string WithoutTrailingSeparator(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// When `rest` starts with the Windows folder `prefix` (ignoring case, whole
// components only), replaces that part with `folder`.
bool MapFolder(const std::string& rest, const char* prefix, const std::string& folder, std::string* mapped) {
    const size_t length = std::char_traits<char>::length(prefix);
    if (rest.size() < length || strncasecmp(rest.c_str(), prefix, length) != 0) return false;
    if (rest.size() > length && rest[length] != '/') return false;
    *mapped = WithoutTrailingSeparator(folder) + rest.substr(length);
    return true;
}

std::string AppendComponent(const std::string& path, const std::string& name) {
    if (path.empty()) return name;
    return path.back() == '/' ? path + name : path + "/" + name;
}

bool PathExists(const std::string& path) {
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
}

// Creates a new, empty temporary file beside `path` for a write that is
// renamed over `path` at the end. The file gets the target's permissions when
// the target exists (the umask's otherwise). Returns the descriptor or -1.
int CreateTempBeside(const std::string& path, std::string* tempPath) {
    static std::atomic<unsigned> counter{0};
    struct stat target{};
    const bool targetExists = stat(path.c_str(), &target) == 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempPath = path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        int fd = open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (targetExists) fchmod(fd, target.st_mode & 07777);
            return fd;
        }
        if (errno != EEXIST) break;
    }
    tempPath->clear();
    return -1;
}

// Makes a rename durable; a failure here does not undo the rename.
void SyncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Renames the finished temporary file over the target, or removes it.
bool Replace(const std::string& tempPath, const std::string& path, bool ok) {
    if (ok && rename(tempPath.c_str(), path.c_str()) == 0) {
        SyncFolderOf(path);
        return true;
    }
    unlink(tempPath.c_str());
    return false;
}

}  // namespace

std::string NativePath(const std::string& path) {
    std::string native = path;
    for (char& ch : native) {
        if (ch == '\\') ch = '/';
    }
    if (native.size() < 2 || native[1] != ':' || !std::isalpha(static_cast<unsigned char>(native[0]))) {
        return native;
    }
    std::string rest = native.substr(2);
    std::string mapped;
    if (std::toupper(static_cast<unsigned char>(native[0])) == 'C' &&
        (MapFolder(rest, "/Users/Public/Documents", PublicDocumentsFolder(), &mapped) ||
         MapFolder(rest, "/ProgramData", ProgramDataFolder(), &mapped))) {
        return mapped;
    }
    return rest;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    size_t end = directory.size();
    while (end > 1 && IsPathSeparator(directory[end - 1])) --end;
    size_t start = 0;
    while (start < name.size() && IsPathSeparator(name[start])) ++start;
    if (end == 0) return name.substr(start);
    std::string joined = directory.substr(0, end);
    if (start == name.size()) return joined;
    if (!IsPathSeparator(joined.back())) joined += '/';
    return joined + name.substr(start);
}

std::string FindFileIgnoringCase(const std::string& path) {
    const std::string native = NativePath(path);
    if (native.empty()) return {};
    if (PathExists(native)) return native;

    std::string found = native[0] == '/' ? "/" : "";
    size_t pos = 0;
    while (pos < native.size()) {
        size_t next = native.find('/', pos);
        if (next == std::string::npos) next = native.size();
        const std::string component = native.substr(pos, next - pos);
        pos = next + 1;
        if (component.empty()) continue;

        const std::string exact = AppendComponent(found, component);
        if (component == "." || component == ".." || PathExists(exact)) {
            found = exact;
            continue;
        }
        // Of several names that differ only in case, take the first in byte
        // order, so the answer does not depend on the directory's order.
        std::string match;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(found.empty() ? "." : found, error)) {
            std::string name = entry.path().filename().string();
            if (strcasecmp(name.c_str(), component.c_str()) == 0 && (match.empty() || name < match)) match = name;
        }
        if (match.empty()) return {};
        found = AppendComponent(found, match);
    }
    return found;
}

bool FileExists(const std::string& path) { return !path.empty() && PathExists(path); }

bool DirectoryExists(const std::string& path) {
    struct stat info{};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool GetDiskFreeSpace(const std::string& path, uint64_t* freeBytes, uint64_t* totalBytes) {
    struct statvfs info{};
    if (path.empty() || statvfs(path.c_str(), &info) != 0) return false;
    if (freeBytes) *freeBytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    if (totalBytes) *totalBytes = static_cast<uint64_t>(info.f_blocks) * info.f_frsize;
    return true;
}

CrlfTextWriter::CrlfTextWriter(const std::string& path) : m_path(path) {
    int fd = CreateTempBeside(path, &m_tempPath);
    if (fd < 0) return;
    m_file = fdopen(fd, "wb");
    if (!m_file) {
        close(fd);
        unlink(m_tempPath.c_str());
    }
}

CrlfTextWriter::~CrlfTextWriter() {
    if (m_file) {
        std::fclose(static_cast<FILE*>(m_file));
        unlink(m_tempPath.c_str());
    }
}

bool CrlfTextWriter::IsOpen() const { return m_file != nullptr; }

bool CrlfTextWriter::Write(const std::string& text) {
    if (!m_file) {
        m_failed = true;
        return false;
    }
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    for (char ch : text) {
        if (ch == '\n' && !m_lastWasCr) out += '\r';
        out += ch;
        m_lastWasCr = ch == '\r';
    }
    if (std::fwrite(out.data(), 1, out.size(), static_cast<FILE*>(m_file)) != out.size()) {
        m_failed = true;
        return false;
    }
    return true;
}

bool CrlfTextWriter::WriteLine(const std::string& line) { return Write(line + "\n"); }

bool CrlfTextWriter::Commit() {
    if (!m_file) return false;
    FILE* file = static_cast<FILE*>(m_file);
    m_file = nullptr;
    bool ok = !m_failed && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    ok = std::fclose(file) == 0 && ok;
    return Replace(m_tempPath, m_path, ok);
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size) {
    if (!data && size > 0) return false;
    std::string tempPath;
    int fd = CreateTempBeside(path, &tempPath);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, static_cast<const char*>(data), size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    return Replace(tempPath, path, ok);
}

bool WriteNewFileAtomically(const std::string& path, const void* data, size_t size) {
    if (!data && size > 0) return false;
    std::string tempPath;
    int fd = CreateTempBeside(path, &tempPath);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, static_cast<const char*>(data), size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    // A hard link, unlike a plain rename, refuses to replace an existing
    // target; where the file system has no hard links, a rename that refuses
    // to replace does the same.
    if (ok && link(tempPath.c_str(), path.c_str()) != 0) {
        ok = errno != EEXIST && renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
    }
    unlink(tempPath.c_str());
    if (ok) SyncFolderOf(path);
    return ok;
}

bool CopyFileAtomically(const std::string& source, const std::string& target, bool replaceExisting) {
    std::string content;
    if (!ReadWholeFile(source, &content)) return false;
    return replaceExisting ? WriteFileAtomically(target, content.data(), content.size())
                           : WriteNewFileAtomically(target, content.data(), content.size());
}

bool ReadWholeFile(const std::string& path, std::string* content) {
    if (!content) return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (ok) content->swap(text);
    return ok;
}

}  // namespace platform
