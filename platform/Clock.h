#pragma once

// The one clock every timed wait, sleep and time reading of the program goes
// through. Tests install a manual clock so that rules measured in seconds run
// in milliseconds.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time, for intervals and time-outs.
    virtual std::chrono::steady_clock::time_point Now() = 0;
    // Wall-clock time, for dates and log stamps.
    virtual std::chrono::system_clock::time_point WallNow() = 0;
    // Blocks the caller for the given time (a manual clock advances instead).
    virtual void SleepFor(std::chrono::milliseconds duration) = 0;
    // Waits on `cv` (with `lock` held) until `ready()` holds or the time-out
    // passes; the result is ready(). Waits for other threads take real time
    // unless a test's clock says otherwise (see ManualClock).
    virtual bool TimedWait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                           std::chrono::milliseconds timeout, const std::function<bool()>& ready);
};

// The clock in use; the real clock unless a test installed another.
Clock& GetClock();
// Installs a clock (nullptr restores the real one). Not owned.
void SetClock(Clock* clock);

// A clock for tests: time moves only when SleepFor or Advance is called.
class ManualClock : public Clock {
public:
    ManualClock();
    std::chrono::steady_clock::time_point Now() override;
    std::chrono::system_clock::time_point WallNow() override;
    void SleepFor(std::chrono::milliseconds duration) override;
    void Advance(std::chrono::milliseconds duration);
    void SetWallTime(std::chrono::system_clock::time_point time);
    // Off (the default): timed waits for other threads take real time, so a
    // thread that holds a semaphore for a while is still waited for. On: a
    // timed wait that cannot be satisfied at once uses up its whole time-out
    // on this clock and gives up without waiting, for tests in which the test
    // itself holds what the code waits for.
    void ElapseBlockedWaits(bool on);
    bool TimedWait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                   std::chrono::milliseconds timeout, const std::function<bool()>& ready) override;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Milliseconds on the monotonic clock (wraps like a 32-bit tick count).
uint32_t GetTickCount();

// RAII: installs a clock for the lifetime of the guard.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) { SetClock(&clock); }
    ~ScopedClock() { SetClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace platform

// Sleeps through the replaceable clock.
void Sleep(uint32_t milliseconds);
