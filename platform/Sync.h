#pragma once

// Semaphores, events and the single-instance lock.
//
// Timed waits go through the replaceable clock (platform/Clock.h), which waits
// in real time: they guard shared resources, and a test's manual clock must
// not make them give up early unless the test asks for it
// (ManualClock::ElapseBlockedWaits).

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Counting semaphore with a timed wait.
class Semaphore {
public:
    Semaphore(int initialCount, int maximumCount);
    // True when a count was taken within the time-out (kInfinite: no limit).
    bool Wait(uint32_t timeoutMs);
    // Gives back `count`; false (nothing changed) when it would pass the maximum.
    bool Release(int count = 1);
    int Count() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_count;
    int m_maximum;
};

// Takes a semaphore for a scope when the wait succeeds.
class SemaphoreLock {
public:
    SemaphoreLock(Semaphore& semaphore, uint32_t timeoutMs)
        : m_semaphore(semaphore), m_held(semaphore.Wait(timeoutMs)) {}
    ~SemaphoreLock() {
        if (m_held) m_semaphore.Release();
    }
    bool Held() const { return m_held; }
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;

private:
    Semaphore& m_semaphore;
    bool m_held;
};

// Manual- or auto-reset event.
class Event {
public:
    Event(bool manualReset, bool initiallySet);
    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event was set within the time-out. An auto-reset event is
    // cleared by the wait that sees it.
    bool Wait(uint32_t timeoutMs);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_manualReset;
    bool m_set;
};

// One running instance per user: an exclusive lock (flock) on a file named
// after the program's instance name, in the runtime folder. Released when the
// object is destroyed or the process ends.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const std::string& name);
    ~SingleInstanceLock();
    // False when another process holds the lock.
    bool Acquire();
    bool Held() const { return m_fd >= 0; }
    const std::string& LockFilePath() const { return m_path; }
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

private:
    std::string m_path;
    int m_fd = -1;
};

// The program's instance name.
inline constexpr const char* kInstanceMutexName = "2DCE6ADB-94B3-489C-8865-AD26F3223BE8";

// The computer's name, at most 15 characters.
std::string GetComputerName();

}  // namespace platform
