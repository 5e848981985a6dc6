#include "support/ProfileFiles.h"

#include "platform/Files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tovanix::ProfileFiles {

std::string ResolvePath(const char* file) {
    std::string path = platform::NativePath(file ? file : "");
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) == 0) return path;
    std::string found = platform::FindFileIgnoringCase(path);
    return found.empty() ? path : found;
}

ReadResult ReadAll(const std::string& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::OpenFailed;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return ReadResult::OpenFailed;
    }
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done < bytes.size()) {
        bytes.clear();
        return ReadResult::ReadFailed;
    }
    return ReadResult::Ok;
}

WriteResult Replace(const std::string& path, const std::string& bytes) {
    // A name of its own per write, so that two writers of one file (under
    // different spellings of its path) never share a temporary file.
    static std::atomic<unsigned> serial{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%d-%u.tmp", static_cast<int>(::getpid()), serial.fetch_add(1));
    const std::string temp = path + suffix;

    mode_t mode = 0666;  // narrowed by the umask for new files
    struct stat info;
    bool existed = ::stat(path.c_str(), &info) == 0;
    if (existed) mode = info.st_mode & 07777;

    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return WriteResult::OpenFailed;
    if (existed) (void)::fchmod(fd, mode);

    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        ::unlink(temp.c_str());
        return WriteResult::WriteFailed;
    }
    return WriteResult::Ok;
}

}  // namespace Tovanix::ProfileFiles
