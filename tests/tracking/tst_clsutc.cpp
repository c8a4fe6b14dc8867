// The UTC clock: the transition rules, the daylight decision, and the result
// against the operating system's own conversion in real zones.
#include "clsutc.h"
#include "timezonesource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

std::string dateTimeText(const LocalDateTime& t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

// ---- Transition_Date ---------------------------------------------------------------------------

struct RuleRow {
    const char* name;
    TransitionRule rule;
    const char* expected; // in 2026
};

class TransitionDateTest : public testing::TestWithParam<RuleRow> {};

TEST_P(TransitionDateTest, GivesTheDayOfTheRule)
{
    EXPECT_EQ(dateTimeText(clsUTC::Transition_Date(GetParam().rule, 2026)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, TransitionDateTest, testing::Values(
    RuleRow{"AbsoluteDateKeepsItsOwnYear", {2025, 10, 0, 26, 3, 0, 0}, "2025-10-26 03:00:00"},
    RuleRow{"SecondSundayOfMarch", {0, 3, 0, 2, 2, 0, 0}, "2026-03-08 02:00:00"},
    RuleRow{"FiveIsTheLastSunday", {0, 10, 0, 5, 1, 30, 15}, "2026-10-25 01:30:15"},
    RuleRow{"FiveIsTheLastOfOnlyFour", {0, 2, 0, 5, 2, 0, 0}, "2026-02-22 02:00:00"},
    RuleRow{"LastWeekdayOnTheMonthsLastDay", {0, 8, 1, 5, 0, 0, 0}, "2026-08-31 00:00:00"},
    RuleRow{"NoDayCountGivesTheDayAfterTheMonth", {0, 3, 0, 0, 4, 0, 0}, "2026-04-01 04:00:00"},
    RuleRow{"AllZeroIsNewYear", {}, "2026-01-01 00:00:00"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- GetUTC with a given zone ------------------------------------------------------------------

// Bias 300, daylight -60 from the second Sunday of March to the first Sunday
// of November, both at 02:00 (2026: 8 March and 1 November).
const TimeZoneDescription kEasternUs{300, {0, 11, 0, 1, 2, 0, 0}, {0, 3, 0, 2, 2, 0, 0}, -60};
// Daylight from the first Sunday of October 02:00 to the first Sunday of April 03:00.
const TimeZoneDescription kSydney{-600, {0, 4, 0, 1, 3, 0, 0}, {0, 10, 0, 1, 2, 0, 0}, -60};
// As Windows describes a zone without daylight time: a daylight bias, no dates.
const TimeZoneDescription kKolkata{-330, {}, {}, -60};
const TimeZoneDescription kBrisbane{-600, {}, {}, 0};
const TimeZoneDescription kUtc{};

struct ClockRow {
    const char* name;
    TimeZoneDescription zone;
    LocalDateTime local;
    const char* expected;
};

class GetUtcTest : public testing::TestWithParam<ClockRow> {};

TEST_P(GetUtcTest, GivesUtcHoursAndMinutes)
{
    const ClockRow& row = GetParam();
    const clsUTC clock([&] { return row.local; }, [&] { return row.zone; });
    EXPECT_EQ(clock.GetUTC(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Zones, GetUtcTest, testing::Values(
    ClockRow{"DaylightStartDayBeforeTheChange", kEasternUs, {2026, 3, 8, 1, 59, 59}, "0659Z"},
    ClockRow{"DaylightStartDayAfterTheChange", kEasternUs, {2026, 3, 8, 3, 0, 0}, "0700Z"},
    ClockRow{"DayAfterDaylightStart", kEasternUs, {2026, 3, 9, 12, 0, 0}, "1600Z"},
    ClockRow{"StandardStartDayBeforeTheChange", kEasternUs, {2026, 11, 1, 0, 30, 0}, "0430Z"},
    ClockRow{"StandardStartDayAfterTheChange", kEasternUs, {2026, 11, 1, 2, 0, 0}, "0700Z"},
    ClockRow{"DayAfterStandardStart", kEasternUs, {2026, 11, 2, 12, 0, 0}, "1700Z"},
    ClockRow{"HalfHourZoneOnNewYearsDay", kKolkata, {2026, 1, 1, 10, 0, 0}, "0430Z"},
    ClockRow{"WrapsToThePreviousDay", kBrisbane, {2026, 6, 1, 1, 0, 0}, "1500Z"},
    ClockRow{"SecondsAreDropped", kUtc, {2026, 12, 31, 23, 59, 59}, "2359Z"},
    ClockRow{"SouthernSummerAfterNewYear", kSydney, {2026, 1, 15, 12, 0, 0}, "0100Z"},
    ClockRow{"SouthernBeforeStandardStart", kSydney, {2026, 4, 5, 1, 59, 0}, "1459Z"},
    ClockRow{"SouthernAfterStandardStart", kSydney, {2026, 4, 5, 3, 0, 0}, "1700Z"},
    ClockRow{"SouthernSummerBeforeNewYear", kSydney, {2026, 12, 25, 12, 0, 0}, "0100Z"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GetUtcTest, AsksTheClockAndTheZoneOnEveryCall)
{
    LocalDateTime local{2026, 3, 8, 1, 30, 0};
    TimeZoneDescription zone = kEasternUs;
    const clsUTC clock([&] { return local; }, [&] { return zone; });
    EXPECT_EQ(clock.GetUTC(), "0630Z");
    local = {2026, 3, 8, 3, 30, 0};
    EXPECT_EQ(clock.GetUTC(), "0730Z");
    zone = kKolkata;
    EXPECT_EQ(clock.GetUTC(), "2200Z");
}

// ---- The system's zone -------------------------------------------------------------------------

#ifndef _WIN32

// Each test that needs the system's zone sets TZ itself; no other test reads it.
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
    gmtime_r(&instant, &utc);
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02dZ", utc.tm_hour, utc.tm_min);
    return text;
}

// A local time shown twice (the hour after the clocks go back) cannot tell
// from its fields alone which of the two instants it is.
bool wallClockRepeats(std::time_t instant)
{
    const auto wallClock = [](std::time_t t) { return dateTimeText(localFieldsAt(t)); };
    return wallClock(instant) == wallClock(instant - 3600) || wallClock(instant) == wallClock(instant + 3600);
}

std::time_t newYearUtc(int year)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mday = 1;
    return timegm(&fields);
}

class RealZoneTest : public testing::TestWithParam<const char*> {};

TEST_P(RealZoneTest, EveryHourOfTheYearMatchesTheSystemConversion)
{
    useZone(GetParam());
    for (int year : {2026, 2027}) {
        const TimeZoneDescription zone = systemZoneDescriptionForYear(year);
        int checked = 0;
        for (std::time_t t = newYearUtc(year); t < newYearUtc(year + 1); t += 3600) {
            const LocalDateTime local = localFieldsAt(t);
            if (local.year != year || wallClockRepeats(t))
                continue;
            const clsUTC clock([&] { return local; }, [&] { return zone; });
            ASSERT_EQ(clock.GetUTC(), utcTextAt(t)) << "local " << dateTimeText(local);
            ++checked;
        }
        EXPECT_GT(checked, 8700);
    }
}

TEST_P(RealZoneTest, SystemClockGivesTheSystemsUtc)
{
    useZone(GetParam());
    const clsUTC clock;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        const std::string text = clock.GetUTC();
        if (utcTextAt(before) == utcTextAt(std::time(nullptr))) { // not across a minute's turn
            EXPECT_EQ(text, utcTextAt(before));
            return;
        }
    }
    FAIL() << "the minute kept turning";
}

INSTANTIATE_TEST_SUITE_P(Zones, RealZoneTest,
    testing::Values("America/New_York", "Europe/London", "Asia/Kolkata", "Australia/Sydney", "UTC"),
    [](const auto& info) {
        std::string name = info.param;
        std::replace(name.begin(), name.end(), '/', '_');
        return name;
    });

#endif

} // namespace
