// GPS time: the receivers' clock, its calendar and the leap-year rule.
#pragma once

#include <cstdint>

namespace quenrix {

// GPS time: whole seconds since 1980-01-06 00:00:00, no leap seconds.
inline constexpr std::uint32_t kSecondsPerDay = 86400;
inline constexpr std::uint32_t kSecondsOf1024Weeks = 1024u * 7u * kSecondsPerDay;  // 619315200

struct DateTimeRecord {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
};

// Calendar date and time of a GPS time; all zeros for 2059 and later.
void GpsSecondsToDateTime(std::uint32_t seconds, DateTimeRecord& dateTime);

// GPS seconds of a date and time; 0 for any moment before the GPS epoch.
std::uint32_t DateTimeToGpsSeconds(const DateTimeRecord& dateTime);

// 1 for a Gregorian leap year, else 0.
int IsLeapYear(std::int16_t year);

// 1 for February of a leap year, else 0.
int ExtraDayInMonth(std::uint16_t year, std::uint16_t month);

}  // namespace quenrix
