// GPS time: the receivers' clock, its calendar and the leap-year rule.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

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

// The days a reference date may name: from the GPS epoch to the last day
// whose start in GPS seconds fits the 32 bits of the files' time fields.
// A later day would wrap round to one in the 1980s without a word.
inline constexpr std::chrono::year_month_day kFirstGpsDate{
    std::chrono::year{1980}, std::chrono::January, std::chrono::day{6}};
inline constexpr std::chrono::year_month_day kLastGpsDate{
    std::chrono::sys_days{kFirstGpsDate} + std::chrono::days{UINT32_MAX / kSecondsPerDay}};

// The GPS seconds at the start of a calendar day; none for a date that
// does not exist (2014-02-30) or lies outside kFirstGpsDate to kLastGpsDate.
std::optional<std::uint32_t> GpsSecondsOfDate(std::chrono::year_month_day date);

// 1 for a Gregorian leap year, else 0.
int IsLeapYear(std::int16_t year);

// 1 for February of a leap year, else 0.
int ExtraDayInMonth(std::uint16_t year, std::uint16_t month);

}  // namespace quenrix
