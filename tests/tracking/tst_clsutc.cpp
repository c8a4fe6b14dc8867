// The UTC clock: the transition rules, the daylight decision, and the result
// against the operating system's own conversion in real zones.
#include "clsutc.h"
#include "timezonesource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <tuple>

namespace {

std::string dateTimeText(const LocalDateTime& t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

TEST(TransitionDateTest, GivesTheDayOfTheRule)
{
    const struct {
        const char* name;
        TransitionRule rule;
        const char* expected; // in 2026
    } rows[] = {
        {"AbsoluteDateKeepsItsOwnYear", {2025, 10, 0, 26, 3, 0, 0}, "2025-10-26 03:00:00"},
        {"SecondSundayOfMarch", {0, 3, 0, 2, 2, 0, 0}, "2026-03-08 02:00:00"},
        {"FiveIsTheLastSunday", {0, 10, 0, 5, 1, 30, 15}, "2026-10-25 01:30:15"},
        {"FiveIsTheLastOfOnlyFour", {0, 2, 0, 5, 2, 0, 0}, "2026-02-22 02:00:00"},
        {"LastWeekdayOnTheMonthsLastDay", {0, 8, 1, 5, 0, 0, 0}, "2026-08-31 00:00:00"},
        {"NoDayCountGivesTheDayAfterTheMonth", {0, 3, 0, 0, 4, 0, 0}, "2026-04-01 04:00:00"},
        {"AllZeroIsNewYear", {}, "2026-01-01 00:00:00"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(dateTimeText(clsUTC::Transition_Date(row.rule, 2026)), row.expected) << row.name;
}

// Bias 300, daylight -60 from the second Sunday of March to the first Sunday
// of November, both at 02:00 (2026: 8 March and 1 November).
const TimeZoneDescription kEasternUs{300, {0, 11, 0, 1, 2, 0, 0}, {0, 3, 0, 2, 2, 0, 0}, -60};
// Daylight from the first Sunday of October 02:00 to the first Sunday of April 03:00.
const TimeZoneDescription kSydney{-600, {0, 4, 0, 1, 3, 0, 0}, {0, 10, 0, 1, 2, 0, 0}, -60};

TEST(GetUtcTest, GivesUtcHoursAndMinutes)
{
    const struct {
        const char* name;
        TimeZoneDescription zone;
        LocalDateTime local;
        const char* expected;
    } rows[] = {
        {"BeforeTheChangeOnTheDaylightStartDay", kEasternUs, {2026, 3, 8, 1, 59, 59}, "0659Z"},
        {"AfterTheChangeOnTheDaylightStartDay", kEasternUs, {2026, 3, 8, 3, 0, 0}, "0700Z"},
        {"BeforeTheChangeOnTheStandardStartDay", kEasternUs, {2026, 11, 1, 0, 30, 0}, "0430Z"},
        {"AfterTheChangeOnTheStandardStartDay", kEasternUs, {2026, 11, 1, 2, 0, 0}, "0700Z"},
        // as Windows describes a zone without daylight time: a daylight bias, no dates
        {"HalfHourZoneOnNewYearsDay", {-330, {}, {}, -60}, {2026, 1, 1, 10, 0, 0}, "0430Z"},
        {"WrapsToThePreviousDay", {-600, {}, {}, 0}, {2026, 6, 1, 1, 0, 0}, "1500Z"},
        {"SecondsAreDropped", {}, {2026, 12, 31, 23, 59, 59}, "2359Z"},
        {"SouthernSummerAfterNewYear", kSydney, {2026, 1, 15, 12, 0, 0}, "0100Z"},
        {"SouthernBeforeStandardStart", kSydney, {2026, 4, 5, 1, 59, 0}, "1459Z"},
        {"SouthernAfterStandardStart", kSydney, {2026, 4, 5, 3, 0, 0}, "1700Z"},
    };
    // One clock for every row: it must ask for the time and the zone on every call.
    std::size_t current = 0;
    const clsUTC clock([&] { return rows[current].local; }, [&] { return rows[current].zone; });
    for (; current < std::size(rows); ++current)
        EXPECT_EQ(clock.GetUTC(), rows[current].expected) << rows[current].name;
}

#ifndef _WIN32

void useZone(const char* name)
{
    setenv("TZ", name, 1);
    tzset();
}

LocalDateTime localFieldsAt(std::time_t instant)
{
    std::tm local{};
    localtime_r(&instant, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

bool sameWallClock(const LocalDateTime& a, const LocalDateTime& b)
{
    return std::tie(a.year, a.month, a.day, a.hour, a.minute) == std::tie(b.year, b.month, b.day, b.hour, b.minute);
}

std::string utcTextAt(std::time_t instant)
{
    const long long minutes = instant / 60 % (24 * 60);
    char text[8];
    std::snprintf(text, sizeof text, "%02lld%02lldZ", minutes / 60, minutes % 60);
    return text;
}

std::time_t newYearUtc(int year)
{
    return std::chrono::system_clock::to_time_t(std::chrono::sys_days{std::chrono::year{year} / 1 / 1});
}

// Zones with and without daylight time, and zones that changed their standard
// offset in some year, checked from that year on.
const struct {
    const char* name;
    int firstYear;
} kRealZones[] = {
    {"America/New_York", 2026}, {"Europe/London", 2026}, {"Asia/Kolkata", 2026}, {"Australia/Sydney", 2026},
    {"UTC", 2026}, {"America/Nuuk", 2023}, {"Europe/Moscow", 2014}, {"Asia/Pyongyang", 2018},
    {"America/Caracas", 2016},
};
constexpr int kLastYear = 2027;

// Every hour through the last year, against the system's own conversion. A
// wall-clock time shown twice (the hour after the clocks go back) cannot tell
// from its fields alone which instant it is, and is passed over.
TEST(RealZoneTest, EveryHourMatchesTheSystemConversion)
{
    constexpr std::time_t kHour = 3600, kMargin = 400 * 86400;
    for (const auto& zoneRow : kRealZones) {
        useZone(zoneRow.name);
        const std::time_t first = newYearUtc(zoneRow.firstYear), end = newYearUtc(kLastYear + 1);
        int year = zoneRow.firstYear;
        std::optional<ZoneChanges> changes;
        LocalDateTime local;
        TimeZoneDescription zone;
        const clsUTC clock([&] { return local; }, [&] { return zone; });
        LocalDateTime before = localFieldsAt(first - kHour), now = localFieldsAt(first);
        long long checked = 0;
        for (std::time_t t = first; t < end; t += kHour) {
            const LocalDateTime after = localFieldsAt(t + kHour);
            if (t == newYearUtc(year)) { // as the program looks: 400 days around each instant of the year
                changes.emplace(t - kMargin, newYearUtc(year + 1) + kMargin);
                ++year;
            }
            if (!sameWallClock(now, before) && !sameWallClock(now, after)) {
                local = now;
                zone = changes->descriptionAt(t);
                ASSERT_EQ(clock.GetUTC(), utcTextAt(t)) << zoneRow.name << " local " << dateTimeText(local);
                ++checked;
            }
            before = now;
            now = after;
        }
        EXPECT_GT(checked, (end - first) / kHour - 10) << zoneRow.name;
    }
}

TEST(RealZoneTest, SystemClockGivesTheSystemsUtc)
{
    for (const auto& zoneRow : kRealZones) {
        useZone(zoneRow.name);
        std::string before, text;
        do { // again when the minute turned meanwhile
            before = utcTextAt(std::time(nullptr));
            text = clsUTC().GetUTC();
        } while (before != utcTextAt(std::time(nullptr)));
        EXPECT_EQ(text, before) << zoneRow.name;
    }
}

#endif

} // namespace
