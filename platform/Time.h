#pragma once

// Calendar time as the program's interfaces name it, and the 100 ns counts
// since 1601-01-01 that some of its computations use.

#include <cstdint>
#include <string>

struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;      // 1..12
    uint16_t wDayOfWeek;  // 0 = Sunday
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

// The local time now, read through the replaceable clock (platform/Clock.h).
void GetLocalTime(SYSTEMTIME* out);
// The same moment in UTC, for the computations that use the system time.
void GetSystemTime(SYSTEMTIME* out);

namespace platform {

// 100 ns intervals since 1601-01-01 00:00 of the same calendar time (no zone
// conversion). 0 for a time that is not a valid date before 30828.
uint64_t SystemTimeToFileTime100ns(const SYSTEMTIME& time);
// The reverse; false when the count is out of range.
bool FileTime100nsToSystemTime(uint64_t count, SYSTEMTIME* out);

// The last-write time of a file in local time; all fields 0 (and false)
// when the file cannot be examined.
bool GetFileModifiedLocalTime(const std::string& path, SYSTEMTIME* out);

}  // namespace platform
