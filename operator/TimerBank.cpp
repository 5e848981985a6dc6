#include "operator/TimerBank.h"

#include <algorithm>
#include <utility>

void TimerBank::Set(int id, uint32_t periodMs, uint64_t nowMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers[id] = {periodMs, nowMs + periodMs};
}

void TimerBank::Kill(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(id);
}

bool TimerBank::IsArmed(int id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timers.count(id) != 0;
}

uint32_t TimerBank::Period(int id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_timers.find(id);
    return it == m_timers.end() ? 0 : it->second.periodMs;
}

std::vector<int> TimerBank::TakeDue(uint64_t nowMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::pair<uint64_t, int>> due;
    for (auto& [id, entry] : m_timers) {
        if (entry.dueMs <= nowMs) {
            due.emplace_back(entry.dueMs, id);
            entry.dueMs = nowMs + std::max<uint32_t>(entry.periodMs, 1);
        }
    }
    std::sort(due.begin(), due.end());
    std::vector<int> ids;
    for (const auto& [when, id] : due) ids.push_back(id);
    return ids;
}
