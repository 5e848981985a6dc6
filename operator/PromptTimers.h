#pragma once

// The clocks of the two shared operator windows, kept apart from the windows
// so that their rules run on a test's clock: the countdown of the timed wait
// and the seconds-left count of the operator notice.

#include <cstdint>
#include <string>

// "mm:ss" with at least two digits each; minutes may run to three digits.
std::string FormatWaitTime(uint32_t seconds);

class WaitCountdown {
public:
    // The window is shown: the text of its time field ("00:00" counting up,
    // else the whole time).
    std::string Start(int seconds, bool countUp, int64_t nowMs);

    struct Tick {
        std::string text;  // the time field; empty in the last half second
        bool close;        // the time is up: stop the timer and end the window
    };
    // One tick of the window's 950 ms timer.
    Tick OnTimer(int64_t nowMs) const;

private:
    int m_seconds = 0;
    bool m_countUp = false;
    int64_t m_startMs = 0;
};

class OperatorNotice {
public:
    enum class Timer { Keep, Kill, StartAtOnce, StartEverySecond };
    struct Actions {
        bool hideFirst = false;  // hide before the text changes
        Timer timer = Timer::Keep;
    };
    // A new notice with its seconds (0: hide at the first tick; below 0: stay
    // until closed; above 0: hide after that many seconds). The window is
    // shown in every case, after the text and the timer are set.
    Actions Inform(int seconds);
    // A tick of the notice's timer: true when the window hides (the timer
    // stops then).
    bool OnTimer();
    int SecondsLeft() const { return m_secondsLeft; }

private:
    int m_secondsLeft = 0;
};
