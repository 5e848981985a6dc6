#pragma once

// The window timers of one window, kept apart from the window so that tests
// can step them. Like the window system's timers, an armed timer fires every
// period until it is killed, and setting an armed timer restarts it. Safe to
// arm and kill from any thread; the window (or a test) takes the due timers
// on its user-interface thread.

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

class TimerBank {
public:
    // Arms (or restarts) the timer: first due periodMs after nowMs.
    void Set(int id, uint32_t periodMs, uint64_t nowMs);
    void Kill(int id);
    bool IsArmed(int id) const;
    // The period of an armed timer, 0 when it is not armed.
    uint32_t Period(int id) const;
    // The timers due at nowMs, earliest first (ties by id); each fires once
    // per call and is re-armed one period after nowMs.
    std::vector<int> TakeDue(uint64_t nowMs);

private:
    struct Entry {
        uint32_t periodMs = 0;
        uint64_t dueMs = 0;
    };
    mutable std::mutex m_mutex;
    std::map<int, Entry> m_timers;
};
