#include "operator/PromptTimers.h"

#include <cstdio>

std::string FormatWaitTime(uint32_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lu:%02lu", static_cast<unsigned long>(seconds / 60),
                  static_cast<unsigned long>(seconds % 60));
    return text;
}

std::string WaitCountdown::Start(int seconds, bool countUp, int64_t nowMs)
{
    m_seconds = seconds;
    m_countUp = countUp;
    m_startMs = nowMs;
    return FormatWaitTime(countUp ? 0u : static_cast<uint32_t>(seconds));
}

WaitCountdown::Tick WaitCountdown::OnTimer(int64_t nowMs) const
{
    const int64_t elapsed = nowMs - m_startMs;
    int64_t remaining = static_cast<int64_t>(m_seconds) * 1000 - elapsed;
    if (remaining < 0)
        remaining = 0;
    Tick tick{std::string(), remaining < 200};
    if (remaining > 500) {
        const int64_t shown = m_countUp ? elapsed : remaining;
        tick.text = FormatWaitTime(static_cast<uint32_t>((shown + 500) / 1000));
    }
    return tick;
}

OperatorNotice::Actions OperatorNotice::Inform(int seconds)
{
    Actions actions;
    m_secondsLeft = seconds;
    if (seconds == 0) {
        actions.hideFirst = true;
        m_secondsLeft = 1;
        actions.timer = Timer::StartAtOnce;
    } else if (seconds < 0) {
        actions.timer = Timer::Kill;
    } else {
        actions.timer = Timer::StartEverySecond;
    }
    return actions;
}

bool OperatorNotice::OnTimer()
{
    if (m_secondsLeft == 0)
        return false;
    --m_secondsLeft;
    return m_secondsLeft == 0;
}
