#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Clock.h"
#include "platform/Time.h"

namespace {

using namespace std::chrono;

SYSTEMTIME Make(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    SYSTEMTIME t{};
    t.wYear = static_cast<uint16_t>(year);
    t.wMonth = static_cast<uint16_t>(month);
    t.wDay = static_cast<uint16_t>(day);
    t.wHour = static_cast<uint16_t>(hour);
    t.wMinute = static_cast<uint16_t>(minute);
    t.wSecond = static_cast<uint16_t>(second);
    t.wMilliseconds = static_cast<uint16_t>(ms);
    return t;
}

TEST(Time, CountsSince1601RoundTrip) {
    struct Case {
        SYSTEMTIME time;
        uint64_t count;
        int dayOfWeek;
    } cases[] = {
        {Make(1601, 1, 1), 0ULL, 1},
        {Make(1601, 1, 2), 864000000000ULL, 2},
        {Make(1970, 1, 1), 116444736000000000ULL, 4},
        {Make(2000, 2, 29, 12, 34, 56, 789), 125963012967890000ULL, 2},
        {Make(2024, 12, 31, 23, 59, 59, 999), 133801631999990000ULL, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::SystemTimeToFileTime100ns(c.time), c.count) << c.time.wYear;
        SYSTEMTIME back{};
        ASSERT_TRUE(platform::FileTime100nsToSystemTime(c.count, &back));
        EXPECT_EQ(back.wYear, c.time.wYear);
        EXPECT_EQ(back.wMonth, c.time.wMonth);
        EXPECT_EQ(back.wDay, c.time.wDay);
        EXPECT_EQ(back.wHour, c.time.wHour);
        EXPECT_EQ(back.wMinute, c.time.wMinute);
        EXPECT_EQ(back.wSecond, c.time.wSecond);
        EXPECT_EQ(back.wMilliseconds, c.time.wMilliseconds);
        EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek) << c.time.wYear;
    }
    // Sub-millisecond parts are dropped.
    SYSTEMTIME t{};
    ASSERT_TRUE(platform::FileTime100nsToSystemTime(116444736000000000ULL + 9999, &t));
    EXPECT_EQ(t.wMilliseconds, 0);
}

TEST(Time, InvalidDatesAndCountsAreRefused) {
    const SYSTEMTIME invalid[] = {
        SYSTEMTIME{},           Make(1600, 12, 31),         Make(2023, 0, 1),
        Make(2023, 13, 1),      Make(1900, 2, 29),          Make(2023, 4, 31),
        Make(2023, 1, 1, 24),   Make(2023, 1, 1, 0, 60),    Make(2023, 1, 1, 0, 0, 0, 1000),
        Make(60000, 1, 1),
    };
    for (const auto& time : invalid) {
        EXPECT_EQ(platform::SystemTimeToFileTime100ns(time), 0u) << time.wYear << "-" << time.wMonth;
    }
    SYSTEMTIME t{};
    EXPECT_FALSE(platform::FileTime100nsToSystemTime(0x8000000000000000ULL, &t));
    EXPECT_FALSE(platform::FileTime100nsToSystemTime(0, nullptr));
    ASSERT_TRUE(platform::FileTime100nsToSystemTime(0x7FFFFFFFFFFFFFFFULL, &t));
    EXPECT_EQ(t.wYear, 30828);
}

TEST(Time, LocalAndSystemTimeFollowTheInstalledClock) {
    platform::ManualClock clock;
    platform::ScopedClock installed(clock);
    const system_clock::time_point moment = sys_days(2024y / March / 5) + 13h + 7min + 9s + 250ms;
    clock.SetWallTime(moment);

    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    EXPECT_EQ(platform::SystemTimeToFileTime100ns(utc),
              platform::SystemTimeToFileTime100ns(Make(2024, 3, 5, 13, 7, 9, 250)));
    EXPECT_EQ(utc.wDayOfWeek, 2);

    std::time_t seconds = system_clock::to_time_t(moment);
    std::tm expected{};
    localtime_r(&seconds, &expected);
    SYSTEMTIME local{};
    GetLocalTime(&local);
    EXPECT_EQ(local.wYear, expected.tm_year + 1900);
    EXPECT_EQ(local.wMonth, expected.tm_mon + 1);
    EXPECT_EQ(local.wDay, expected.tm_mday);
    EXPECT_EQ(local.wHour, expected.tm_hour);
    EXPECT_EQ(local.wMinute, expected.tm_min);
    EXPECT_EQ(local.wMilliseconds, 250);

    Sleep(1500);
    GetSystemTime(&utc);
    EXPECT_EQ(utc.wSecond, 10);
    EXPECT_EQ(utc.wMilliseconds, 750);
}

TEST(Time, FileModifiedTimeIsLocalAndZeroForAMissingFile) {
    const std::filesystem::path file = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / "stamped.txt";
    std::ofstream(file) << "x";
    const system_clock::time_point moment = sys_days(2023y / July / 14) + 8h + 30min + 45s;
    std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::from_sys(moment));

    std::time_t seconds = system_clock::to_time_t(moment);
    std::tm expected{};
    localtime_r(&seconds, &expected);
    SYSTEMTIME modified{};
    ASSERT_TRUE(platform::GetFileModifiedLocalTime(file.string(), &modified));
    EXPECT_EQ(modified.wYear, expected.tm_year + 1900);
    EXPECT_EQ(modified.wMonth, expected.tm_mon + 1);
    EXPECT_EQ(modified.wDay, expected.tm_mday);
    EXPECT_EQ(modified.wHour, expected.tm_hour);
    EXPECT_EQ(modified.wMinute, 30);
    EXPECT_EQ(modified.wSecond, 45);

    EXPECT_FALSE(platform::GetFileModifiedLocalTime((file.parent_path() / "absent.txt").string(), &modified));
    EXPECT_EQ(modified.wYear, 0);
    EXPECT_EQ(modified.wSecond, 0);
}

TEST(Clock, ManualClockMovesOnlyThroughSleepAndAdvance) {
    platform::ManualClock clock;
    {
        platform::ScopedClock installed(clock);
        EXPECT_EQ(&platform::GetClock(), &clock);
        const auto start = platform::GetClock().Now();
        const uint32_t startTicks = platform::GetTickCount();
        EXPECT_EQ(platform::GetClock().Now(), start);

        Sleep(30000);
        EXPECT_EQ(platform::GetClock().Now() - start, seconds(30));
        EXPECT_EQ(platform::GetTickCount() - startTicks, 30000u);

        clock.Advance(milliseconds(-5));  // time never runs backwards
        EXPECT_EQ(platform::GetClock().Now() - start, seconds(30));

        // The tick count wraps like a 32-bit counter.
        clock.Advance(milliseconds(1LL << 32));
        EXPECT_EQ(platform::GetTickCount() - startTicks, 30000u);
    }
    EXPECT_NE(&platform::GetClock(), &clock);
}

TEST(Clock, PollingWorkerRunsItsTimeOutAtOnceUnderTheManualClock) {
    platform::ManualClock clock;
    platform::ScopedClock installed(clock);
    auto pollFor30s = [] {
        int polls = 0;
        const uint32_t start = platform::GetTickCount();
        while (platform::GetTickCount() - start < 30000) {
            Sleep(100);
            ++polls;
        }
        return polls;
    };
    int polls = 0;
    std::thread poller([&] { polls = pollFor30s(); });
    poller.join();
    EXPECT_EQ(polls, 300);

    // Another thread moving the same clock meanwhile only shortens the wait.
    std::atomic<bool> stop{false};
    std::thread mover([&] {
        while (!stop) clock.Advance(milliseconds(1));
    });
    std::thread second([&] { polls = pollFor30s(); });
    second.join();
    stop = true;
    mover.join();
    EXPECT_LE(polls, 300);
}

}  // namespace
