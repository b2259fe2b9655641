#include "engine/gps_time.h"
#include "engine/byte_order.h"
#include "engine/check_value.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "tests/helpers/records.h"

namespace quenrix::test {
namespace {

using namespace std::chrono;

TEST(CalendarTest, EveryDayFromTheEpochTo2058MatchesAnIndependentDayCount) {
    const sys_days epoch = sys_days{std::chrono::year{1980} / January / 6};
    const sys_days last = sys_days{std::chrono::year{2058} / December / 31};
    for (sys_days day = epoch; day <= last; day += days{1}) {
        const year_month_day ymd{day};
        // A different second of the day each time, so the clock part is covered too.
        const std::uint32_t secondOfDay =
            static_cast<std::uint32_t>((day - epoch).count() * 7919 % 86400);
        const std::uint32_t seconds =
            static_cast<std::uint32_t>((day - epoch).count()) * 86400u + secondOfDay;

        DateTimeRecord dt;
        GpsSecondsToDateTime(seconds, dt);
        ASSERT_EQ(dt.year, static_cast<int>(ymd.year())) << seconds;
        ASSERT_EQ(dt.month, static_cast<unsigned>(ymd.month())) << seconds;
        ASSERT_EQ(dt.day, static_cast<unsigned>(ymd.day())) << seconds;
        ASSERT_EQ(dt.hour, secondOfDay / 3600);
        ASSERT_EQ(dt.minute, secondOfDay % 3600 / 60);
        ASSERT_EQ(dt.second, secondOfDay % 60);
        ASSERT_EQ(DateTimeToGpsSeconds(dt), seconds);
    }
}

TEST(CalendarTest, From2059OnTheDateIsAllZeros) {
    DateTimeRecord dt;
    GpsSecondsToDateTime(2492639999u, dt);
    EXPECT_EQ(dt.year, 2058);
    EXPECT_EQ(dt.month, 12);
    EXPECT_EQ(dt.day, 31);
    EXPECT_EQ(dt.hour, 23);
    EXPECT_EQ(dt.minute, 59);
    EXPECT_EQ(dt.second, 59);
    for (std::uint32_t seconds : {2492640000u, Gps(2060, 1, 1), 0xFFFFFFFFu}) {
        GpsSecondsToDateTime(seconds, dt);
        EXPECT_EQ(dt.year + dt.month + dt.day + dt.hour + dt.minute + dt.second, 0) << seconds;
    }
}

TEST(CalendarTest, DateTimeToGpsSecondsBoundaries) {
    EXPECT_EQ(DateTimeToGpsSeconds({1979, 12, 31, 23, 59, 59}), 0u);
    EXPECT_EQ(DateTimeToGpsSeconds({1980, 1, 5, 23, 59, 59}), 0u);
    EXPECT_EQ(DateTimeToGpsSeconds({1980, 1, 6, 0, 0, 0}), 0u);
    EXPECT_EQ(DateTimeToGpsSeconds({1980, 1, 7, 0, 0, 1}), 86401u);
    // Right up to 2100, whose leap day it counts as every fourth year's.
    EXPECT_EQ(DateTimeToGpsSeconds({2100, 2, 28, 0, 0, 0}), Gps(2100, 2, 28));
    EXPECT_EQ(DateTimeToGpsSeconds({2013, 8, 11, 0, 0, 0}), 1060214400u);
}

TEST(CalendarTest, LeapYears) {
    EXPECT_EQ(IsLeapYear(1980), 1);
    EXPECT_EQ(IsLeapYear(1981), 0);
    EXPECT_EQ(IsLeapYear(1900), 0);
    EXPECT_EQ(IsLeapYear(2000), 1);
    EXPECT_EQ(IsLeapYear(2100), 0);
    EXPECT_EQ(ExtraDayInMonth(2024, 2), 1);
    EXPECT_EQ(ExtraDayInMonth(2024, 3), 0);
    EXPECT_EQ(ExtraDayInMonth(2023, 2), 0);
}

TEST(CheckValueTest, SumsBytesModulo65536) {
    const std::uint8_t abc[] = {0x61, 0x62, 0x63};
    EXPECT_EQ(ComputeCheckValue(abc, 3), 294);
    EXPECT_EQ(ComputeCheckValue(abc, 0), 0);
    EXPECT_EQ(ComputeCheckValue(abc, -5), 0);
    Bytes many(300, 0xFF);  // 76500 wraps to 10964
    EXPECT_EQ(ComputeCheckValue(many.data(), 300), 10964);
    Bytes huge(1 << 24, 0xFF);  // 255 * 2^24 wraps to 0, whatever the sum's width
    EXPECT_EQ(ComputeCheckValue(huge.data(), 1 << 24), 0);
    EXPECT_EQ(ComputeCheckValue(huge.data(), (1 << 24) - 1), 0xFF01);
}

TEST(CheckValueTest, AnyLengthMatchesASimpleSum) {
    Bytes bytes(3000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
    for (std::int32_t length :
         {1, 7, 8, 9, 15, 16, 17, 18, 31, 32, 33, 123, 124, 511, 512, 1025, 3000}) {
        unsigned sum = 0;
        for (std::int32_t i = 0; i < length; ++i) sum += bytes[static_cast<std::size_t>(i)];
        EXPECT_EQ(ComputeCheckValue(bytes.data() + 1, length - 1),
                  static_cast<std::uint16_t>(sum - bytes[0]))
            << length;
    }
}

TEST(GpsTimeTest, ADateIsADayThatExistsAndThatTheTimesCanHold) {
    using namespace std::chrono;
    for (const year_month_day none :
         {2014y / February / 30, 2014y / April / 31, 2013y / February / 29, 2014y / month{13} / 1,
          1980y / January / 5, 2116y / February / 13, 9999y / December / 31})
        EXPECT_FALSE(GpsSecondsOfDate(none)) << static_cast<int>(none.year());
    EXPECT_EQ(GpsSecondsOfDate(1980y / January / 6), 0u);
    EXPECT_EQ(GpsSecondsOfDate(2012y / February / 29), Gps(2012, 2, 29));
    EXPECT_EQ(GpsSecondsOfDate(2116y / February / 12), 49710u * kSecondsPerDay);
}

TEST(ByteOrderTest, SwapsReverseInPlace) {
    const std::uint8_t field[] = {0x01, 0x26, 0x33, 0x44};  // most significant byte first
    EXPECT_EQ(ReadBigEndian32(field), 0x01263344u);
    std::uint32_t value = 0x11223344;
    SwapBytes32(value);
    EXPECT_EQ(value, 0x44332211u);
}

}  // namespace
}  // namespace quenrix::test
