#include "support/ProfileFiles.h"

#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace Tovanix::ProfileFiles {

std::string ResolvePath(const char* file) {
    std::string path = platform::NativePath(file ? file : "");
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
    if (platform::WriteFileAtomically(path, bytes.data(), bytes.size())) return WriteResult::Ok;
    // Tell a file that could not be created from one that could not be
    // written in full.
    const std::string parent = std::filesystem::path(path).parent_path().string();
    const std::string folder = parent.empty() ? std::string(".") : parent;
    bool canCreate = platform::DirectoryExists(folder) && ::access(folder.c_str(), W_OK) == 0;
    return canCreate ? WriteResult::WriteFailed : WriteResult::OpenFailed;
}

}  // namespace Tovanix::ProfileFiles
