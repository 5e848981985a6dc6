#pragma once

// A test clock for code that runs a loop of sleeps on a thread of its own
// (the cached-log writer): the sleeper waits in SleepFor until the test
// steps it, then its time moves on by the duration slept. So a test walks a
// 1 s loop through minutes of its time in milliseconds, one cycle per step.
//
// One instance lives for the whole test process (the writer thread it holds
// outlives any single test), installed by each test that needs it.

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/Clock.h"

class StepClock : public platform::Clock {
public:
    static StepClock& Instance() {
        static StepClock* clock = new StepClock;
        return *clock;
    }

    std::chrono::steady_clock::time_point Now() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_offset += m_readCost;
        return m_steadyBase + m_offset;
    }
    std::chrono::system_clock::time_point WallNow() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_wallBase + std::chrono::duration_cast<std::chrono::system_clock::duration>(m_offset);
    }
    void SleepFor(std::chrono::milliseconds duration) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_sleepsStarted;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_permits > 0; });
        --m_permits;
        m_offset += duration;
    }

    // Sets the wall time that the clock shows now.
    void SetWallTime(std::chrono::system_clock::time_point time) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wallBase = time - std::chrono::duration_cast<std::chrono::system_clock::duration>(m_offset);
    }
    // Every reading of the monotonic time moves the clock on by `cost`: work
    // between two readings then seems to take that long.
    void SetReadCost(std::chrono::milliseconds cost) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_readCost = cost;
    }
    void Advance(std::chrono::milliseconds duration) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_offset += duration;
    }

    // Waits until the sleeper sleeps and lets it go on, without waiting for
    // its next sleep.
    void Release() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_sleepsStarted > m_sleepsReleased; });
        ++m_sleepsReleased;
        ++m_permits;
        m_changed.notify_all();
    }
    // Lets the sleeper finish its sleep and run one cycle; returns once it
    // sleeps again.
    void Step() {
        Release();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_sleepsStarted > m_sleepsReleased; });
    }

private:
    StepClock() = default;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::chrono::steady_clock::time_point m_steadyBase{std::chrono::hours(1)};
    std::chrono::system_clock::time_point m_wallBase = std::chrono::system_clock::now();
    std::chrono::milliseconds m_offset{0};
    std::chrono::milliseconds m_readCost{0};
    long m_sleepsStarted = 0;
    long m_sleepsReleased = 0;
    int m_permits = 0;
};
