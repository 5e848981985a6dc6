#include "platform/Time.h"

#include <chrono>
#include <ctime>

#include <sys/stat.h>

#include "platform/Clock.h"

namespace {

constexpr uint64_t kTicksPerMs = 10'000;
constexpr uint64_t kTicksPerDay = 864'000'000'000ULL;
// Counts with the top bit set are not valid times.
constexpr uint64_t kMaxCount = 0x7FFFFFFFFFFFFFFFULL;

// Days from 1601-01-01 in the proleptic Gregorian calendar (1601 starts a
// 400-year cycle, which keeps the arithmetic free of negative numbers).
int64_t DaysSince1601(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year - 1600) / 400;
    const int64_t yearOfEra = year - 1600 - era * 400;
    const unsigned shiftedMonth = month > 2 ? month - 3 : month + 9;  // March = 0
    const int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 1600-03-01 is day 0 of the count above; 1601-01-01 is 306 days later.
    return era * 146097 + dayOfEra - 306;
}

void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 306;
    const int64_t era = days / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    *month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    *year = 1600 + era * 400 + yearOfEra + (*month <= 2);
}

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

void FillFromTm(const std::tm& tm, unsigned milliseconds, SYSTEMTIME* out) {
    out->wYear = static_cast<uint16_t>(tm.tm_year + 1900);
    out->wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
    out->wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    out->wDay = static_cast<uint16_t>(tm.tm_mday);
    out->wHour = static_cast<uint16_t>(tm.tm_hour);
    out->wMinute = static_cast<uint16_t>(tm.tm_min);
    out->wSecond = static_cast<uint16_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);  // no leap seconds
    out->wMilliseconds = static_cast<uint16_t>(milliseconds);
}

template <typename Convert>
void ReadWallTime(SYSTEMTIME* out, Convert convert) {
    if (!out) return;
    auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
        platform::GetClock().WallNow().time_since_epoch());
    auto ms = sinceEpoch.count();
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    int64_t rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    std::tm tm{};
    convert(&seconds, &tm);
    FillFromTm(tm, static_cast<unsigned>(rest), out);
}

}  // namespace

void GetLocalTime(SYSTEMTIME* out) { ReadWallTime(out, localtime_r); }

void GetSystemTime(SYSTEMTIME* out) { ReadWallTime(out, gmtime_r); }

namespace platform {

uint64_t SystemTimeToFileTime100ns(const SYSTEMTIME& time) {
    if (time.wYear < 1601 || time.wYear > 30828 || time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1 ||
        time.wDay > DaysInMonth(time.wYear, time.wMonth) || time.wHour > 23 || time.wMinute > 59 ||
        time.wSecond > 59 || time.wMilliseconds > 999) {
        return 0;
    }
    const uint64_t days = static_cast<uint64_t>(DaysSince1601(time.wYear, time.wMonth, time.wDay));
    const uint64_t ms = ((time.wHour * 60ULL + time.wMinute) * 60ULL + time.wSecond) * 1000ULL + time.wMilliseconds;
    const uint64_t count = days * kTicksPerDay + ms * kTicksPerMs;
    return count > kMaxCount ? 0 : count;
}

bool FileTime100nsToSystemTime(uint64_t count, SYSTEMTIME* out) {
    if (!out || count > kMaxCount) return false;
    const int64_t days = static_cast<int64_t>(count / kTicksPerDay);
    uint64_t ms = (count % kTicksPerDay) / kTicksPerMs;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    out->wYear = static_cast<uint16_t>(year);
    out->wMonth = static_cast<uint16_t>(month);
    out->wDay = static_cast<uint16_t>(day);
    out->wDayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
    out->wMilliseconds = static_cast<uint16_t>(ms % 1000);
    ms /= 1000;
    out->wSecond = static_cast<uint16_t>(ms % 60);
    ms /= 60;
    out->wMinute = static_cast<uint16_t>(ms % 60);
    out->wHour = static_cast<uint16_t>(ms / 60);
    return true;
}

bool GetFileModifiedLocalTime(const std::string& path, SYSTEMTIME* out) {
    *out = SYSTEMTIME{};
    struct stat info{};
    std::tm local{};
    if (::stat(path.c_str(), &info) != 0 || !::localtime_r(&info.st_mtime, &local)) return false;
    FillFromTm(local, 0, out);
    return true;
}

}  // namespace platform
