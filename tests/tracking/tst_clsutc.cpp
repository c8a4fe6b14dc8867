// The UTC clock: the transition rules, the daylight decision, and the result
// against the operating system's own conversion in real zones.
#include "clsutc.h"
#include "timezonesource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

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
        {"DayAfterDaylightStart", kEasternUs, {2026, 3, 9, 12, 0, 0}, "1600Z"},
        {"BeforeTheChangeOnTheStandardStartDay", kEasternUs, {2026, 11, 1, 0, 30, 0}, "0430Z"},
        {"AfterTheChangeOnTheStandardStartDay", kEasternUs, {2026, 11, 1, 2, 0, 0}, "0700Z"},
        {"DayAfterStandardStart", kEasternUs, {2026, 11, 2, 12, 0, 0}, "1700Z"},
        // as Windows describes a zone without daylight time: a daylight bias, no dates
        {"HalfHourZoneOnNewYearsDay", {-330, {}, {}, -60}, {2026, 1, 1, 10, 0, 0}, "0430Z"},
        {"WrapsToThePreviousDay", {-600, {}, {}, 0}, {2026, 6, 1, 1, 0, 0}, "1500Z"},
        {"SecondsAreDropped", {}, {2026, 12, 31, 23, 59, 59}, "2359Z"},
        {"SouthernSummerAfterNewYear", kSydney, {2026, 1, 15, 12, 0, 0}, "0100Z"},
        {"SouthernBeforeStandardStart", kSydney, {2026, 4, 5, 1, 59, 0}, "1459Z"},
        {"SouthernAfterStandardStart", kSydney, {2026, 4, 5, 3, 0, 0}, "1700Z"},
        {"SouthernSummerBeforeNewYear", kSydney, {2026, 12, 25, 12, 0, 0}, "0100Z"},
    };
    // One clock for every row: it must ask for the time and the zone on every call.
    std::size_t current = 0;
    const clsUTC clock([&] { return rows[current].local; }, [&] { return rows[current].zone; });
    for (; current < std::size(rows); ++current)
        EXPECT_EQ(clock.GetUTC(), rows[current].expected) << rows[current].name;
}

#ifndef _WIN32

// The system's zone: each test sets TZ itself; no other test reads it.
const char* const kRealZones[] = {"America/New_York", "Europe/London", "Asia/Kolkata", "Australia/Sydney",
                                  "UTC"};

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

std::string utcTextAt(std::time_t instant)
{
    std::tm utc{};
    char text[8];
    std::strftime(text, sizeof text, "%H%MZ", gmtime_r(&instant, &utc));
    return text;
}

// A local time shown twice (the hour after the clocks go back) cannot tell
// from its fields alone which of the two instants it is.
bool wallClockRepeats(std::time_t instant)
{
    const auto wallClock = [](std::time_t t) { return dateTimeText(localFieldsAt(t)); };
    return wallClock(instant) == wallClock(instant - 3600) || wallClock(instant) == wallClock(instant + 3600);
}

constexpr std::time_t kNewYear2026Utc = 1767225600; // 2026-01-01 00:00Z
constexpr std::time_t kNewYear2027Utc = kNewYear2026Utc + 365 * 24 * 3600;

TEST(RealZoneTest, EveryHourOfTheYearMatchesTheSystemConversion)
{
    for (const char* zoneName : kRealZones) {
        useZone(zoneName);
        const TimeZoneDescription zone = systemZoneDescriptionForYear(2026);
        int checked = 0;
        for (std::time_t t = kNewYear2026Utc; t < kNewYear2027Utc; t += 3600) {
            const LocalDateTime local = localFieldsAt(t);
            if (local.year != 2026 || wallClockRepeats(t))
                continue;
            ASSERT_EQ(clsUTC([&] { return local; }, [&] { return zone; }).GetUTC(), utcTextAt(t))
                << zoneName << " local " << dateTimeText(local);
            ++checked;
        }
        EXPECT_GT(checked, 8700) << zoneName;
    }
}

TEST(RealZoneTest, SystemClockGivesTheSystemsUtc)
{
    for (const char* zoneName : kRealZones) {
        useZone(zoneName);
        std::string before, text;
        do { // again when the minute turned meanwhile
            before = utcTextAt(std::time(nullptr));
            text = clsUTC().GetUTC();
        } while (before != utcTextAt(std::time(nullptr)));
        EXPECT_EQ(text, before) << zoneName;
    }
}

#endif

} // namespace
