#include "engine/gps_time.h"

namespace quenrix {

namespace {

constexpr int kDaysInMonth[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int kDaysBeforeMonth[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// Past this year the name builder has no month letter to give; its callers
// treat the all-zero answer as "out of range".
constexpr int kLastYearPlusOne = 2060;

int DaysInYear(int year) {
    return 365 + IsLeapYear(static_cast<std::int16_t>(year));
}

int DaysInMonth(int year, int month) {
    return kDaysInMonth[month] +
           ExtraDayInMonth(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month));
}

}  // namespace

int IsLeapYear(std::int16_t year) {
    if (year % 4 != 0)
        return 0;
    if (year % 100 != 0)
        return 1;
    return year % 400 == 0 ? 1 : 0;
}

int ExtraDayInMonth(std::uint16_t year, std::uint16_t month) {
    return month == 2 && IsLeapYear(static_cast<std::int16_t>(year)) ? 1 : 0;
}

void GpsSecondsToDateTime(std::uint32_t seconds, DateTimeRecord& dateTime) {
    // Day number counted from 1980-01-01, so that second 0 is 6 January.
    std::int64_t n = seconds / kSecondsPerDay + 6;
    int year = 1980;
    while (n > 0 && year <= kLastYearPlusOne) {
        n -= DaysInYear(year);
        ++year;
    }
    if (year >= kLastYearPlusOne) {
        dateTime = DateTimeRecord{};
        return;
    }
    --year;
    n += DaysInYear(year);

    int month = 1;
    while (n > 0) {
        n -= DaysInMonth(year, month);
        ++month;
    }
    --month;
    n += DaysInMonth(year, month);

    dateTime.year = static_cast<std::uint16_t>(year);
    dateTime.month = static_cast<std::uint16_t>(month);
    dateTime.day = static_cast<std::uint16_t>(n);
    dateTime.hour = static_cast<std::uint16_t>(seconds % kSecondsPerDay / 3600);
    dateTime.minute = static_cast<std::uint16_t>(seconds % 3600 / 60);
    dateTime.second = static_cast<std::uint16_t>(seconds % 60);
}

std::uint32_t DateTimeToGpsSeconds(const DateTimeRecord& dt) {
    if (dt.year < 1980 || (dt.year == 1980 && dt.month == 1 && dt.day < 6)) {
        return 0;
    }
    const int month = dt.month >= 1 && dt.month <= 12 ? dt.month : 1;
    // Every fourth year counts as leap here, which holds up to 2100.
    std::uint16_t days = static_cast<std::uint16_t>(
        (dt.year - 1980) * 365 + (dt.year - 1977) / 4 + kDaysBeforeMonth[month] +
        (IsLeapYear(static_cast<std::int16_t>(dt.year)) && month >= 3 ? 1 : 0) + dt.day - 6);
    return static_cast<std::uint32_t>(days) * kSecondsPerDay + dt.hour * 3600u + dt.minute * 60u +
           dt.second;
}

std::optional<std::uint32_t> GpsSecondsOfDate(std::chrono::year_month_day date) {
    if (!date.ok() || date < kFirstGpsDate || date > kLastGpsDate)
        return std::nullopt;
    const auto days = std::chrono::sys_days{date} - std::chrono::sys_days{kFirstGpsDate};
    return static_cast<std::uint32_t>(days.count()) * kSecondsPerDay;
}

}  // namespace quenrix
