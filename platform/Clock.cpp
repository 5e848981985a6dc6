#include "platform/Clock.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace platform {

namespace {

class RealClock : public Clock {
public:
    std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
    std::chrono::system_clock::time_point WallNow() override { return std::chrono::system_clock::now(); }
    void SleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

RealClock g_realClock;
std::atomic<Clock*> g_clock{nullptr};

}  // namespace

bool Clock::TimedWait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                      std::chrono::milliseconds timeout, const std::function<bool()>& ready) {
    return cv.wait_for(lock, timeout, ready);
}

Clock& GetClock() {
    Clock* clock = g_clock.load();
    return clock ? *clock : g_realClock;
}

void SetClock(Clock* clock) { g_clock.store(clock); }

struct ManualClock::State {
    std::mutex mutex;
    // A fixed origin keeps tick counts of a test the same from run to run.
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    std::chrono::system_clock::time_point wall = std::chrono::system_clock::now();
    bool elapseBlockedWaits = false;
};

ManualClock::ManualClock() : m_state(std::make_shared<State>()) {}

std::chrono::steady_clock::time_point ManualClock::Now() {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->now;
}

std::chrono::system_clock::time_point ManualClock::WallNow() {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->wall;
}

void ManualClock::SleepFor(std::chrono::milliseconds duration) {
    Advance(duration);
    // Lets the threads a sleeping poller waits for make progress.
    std::this_thread::yield();
}

void ManualClock::Advance(std::chrono::milliseconds duration) {
    if (duration.count() <= 0) return;  // time never runs backwards
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->now += duration;
    m_state->wall += duration;
}

void ManualClock::SetWallTime(std::chrono::system_clock::time_point time) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->wall = time;
}

void ManualClock::ElapseBlockedWaits(bool on) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->elapseBlockedWaits = on;
}

bool ManualClock::TimedWait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                            std::chrono::milliseconds timeout, const std::function<bool()>& ready) {
    bool elapse = false;
    {
        std::lock_guard<std::mutex> state(m_state->mutex);
        elapse = m_state->elapseBlockedWaits;
    }
    if (!elapse) return Clock::TimedWait(cv, lock, timeout, ready);
    if (ready()) return true;
    Advance(timeout);
    return ready();
}

uint32_t GetTickCount() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(GetClock().Now().time_since_epoch());
    return static_cast<uint32_t>(static_cast<uint64_t>(ms.count()));
}

}  // namespace platform

void Sleep(uint32_t milliseconds) { platform::GetClock().SleepFor(std::chrono::milliseconds(milliseconds)); }
