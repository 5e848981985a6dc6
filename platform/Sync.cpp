#include "platform/Sync.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Waits on `cv` until `ready()` holds or the time-out passes (kInfinite: no limit).
template <typename Ready>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t timeoutMs, Ready ready) {
    if (timeoutMs == kInfinite) {
        cv.wait(lock, ready);
        return true;
    }
    return GetClock().TimedWait(cv, lock, std::chrono::milliseconds(timeoutMs), ready);
}

std::string RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info{};
    if (runtime && *runtime && stat(runtime, &info) == 0 && S_ISDIR(info.st_mode)) return runtime;
    return "/tmp";
}

}  // namespace

Semaphore::Semaphore(int initialCount, int maximumCount)
    : m_count(0), m_maximum(std::max(maximumCount, 1)) {
    m_count = std::clamp(initialCount, 0, m_maximum);
}

bool Semaphore::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!WaitFor(m_cv, lock, timeoutMs, [this] { return m_count > 0; })) return false;
    --m_count;
    return true;
}

bool Semaphore::Release(int count) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (count <= 0 || count > m_maximum - m_count) return false;
        m_count += count;
    }
    if (count == 1) {
        m_cv.notify_one();
    } else {
        m_cv.notify_all();
    }
    return true;
}

int Semaphore::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

Event::Event(bool manualReset, bool initiallySet) : m_manualReset(manualReset), m_set(initiallySet) {}

void Event::Set() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    // Every waiter re-checks; an auto-reset event lets only the first through.
    m_cv.notify_all();
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool Event::IsSet() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

bool Event::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!WaitFor(m_cv, lock, timeoutMs, [this] { return m_set; })) return false;
    if (!m_manualReset) m_set = false;
    return true;
}

SingleInstanceLock::SingleInstanceLock(const std::string& name) {
    // The name becomes one file name; separators in it must not lead elsewhere.
    std::string fileName = name.empty() ? "Vellora" : name;
    std::replace_if(fileName.begin(), fileName.end(), [](char ch) { return ch == '/' || ch == '\\'; }, '_');
    m_path = RuntimeFolder() + "/" + fileName + "." + std::to_string(getuid()) + ".lock";
}

SingleInstanceLock::~SingleInstanceLock() {
    // The file stays: removing it would let a later process lock a new file
    // while an earlier one still holds the old one.
    if (m_fd >= 0) {
        flock(m_fd, LOCK_UN);
        close(m_fd);
    }
}

bool SingleInstanceLock::Acquire() {
    if (m_fd >= 0) return true;
    int fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

std::string GetComputerName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) return {};
    std::string name(host);
    // The network name is the host's first label, upper-cased, 15 characters at most.
    name = name.substr(0, name.find('.')).substr(0, 15);
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return name;
}

}  // namespace platform
