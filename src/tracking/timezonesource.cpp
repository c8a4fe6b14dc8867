#include "timezonesource.h"

#ifdef _WIN32

#include <windows.h>

namespace {

TransitionRule ruleFromSystemTime(const SYSTEMTIME& time)
{
    return {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

} // namespace

LocalDateTime systemLocalNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

TimeZoneDescription systemTimeZoneDescription()
{
    // Zeroed first and the status not checked: a failed query reads as UTC.
    TIME_ZONE_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    GetTimeZoneInformation(&info);
    return {info.Bias, ruleFromSystemTime(info.StandardDate), ruleFromSystemTime(info.DaylightDate),
            info.DaylightBias};
}

#else

#include <chrono>
#include <ctime>
#include <optional>

namespace {

struct ZoneOffset {
    long utcOffsetSeconds = 0; // east of Greenwich positive
    bool daylight = false;

    bool operator==(const ZoneOffset&) const = default;
};

ZoneOffset zoneOffsetAt(std::time_t instant)
{
    std::tm local{};
    localtime_r(&instant, &local);
    return {local.tm_gmtoff, local.tm_isdst > 0};
}

std::time_t utcMidnight(int year, unsigned month, unsigned day)
{
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / month / day};
    return static_cast<std::time_t>(duration_cast<seconds>(date.time_since_epoch()).count());
}

// The first second in (before, after] with after's offset.
std::time_t firstSecondWithOffset(std::time_t before, std::time_t after)
{
    const ZoneOffset target = zoneOffsetAt(after);
    while (after - before > 1) {
        const std::time_t middle = before + (after - before) / 2;
        if (zoneOffsetAt(middle) == target)
            after = middle;
        else
            before = middle;
    }
    return after;
}

struct ZoneChange {
    std::time_t instant = 0;
    ZoneOffset from;
    ZoneOffset to;
};

// The rule naming the wall-clock time at which the change happens, read on
// the clock that runs until then (02:00 for both changes in New York).
TransitionRule ruleFromChange(const ZoneChange& change)
{
    const std::time_t wallClock = change.instant + change.from.utcOffsetSeconds;
    std::tm fields{};
    gmtime_r(&wallClock, &fields);
    return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_wday, fields.tm_mday,
            fields.tm_hour, fields.tm_min, fields.tm_sec};
}

} // namespace

LocalDateTime systemLocalNow()
{
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

TimeZoneDescription systemTimeZoneDescription()
{
    return systemZoneDescriptionForYear(systemLocalNow().year);
}

TimeZoneDescription systemZoneDescriptionForYear(int year)
{
    // Sampled every few hours (no zone changes twice that fast), with a day's
    // margin so that changes near New Year in far-off zones are seen.
    constexpr std::time_t kStepSeconds = 6 * 3600;
    const std::time_t first = utcMidnight(year, 1, 1) - 86400;
    const std::time_t last = utcMidnight(year + 1, 1, 1) + 86400;

    std::optional<ZoneOffset> standard;
    std::optional<ZoneOffset> daylight;
    std::optional<TransitionRule> daylightStart;
    std::optional<TransitionRule> standardStart;
    ZoneOffset previous = zoneOffsetAt(first);
    for (std::time_t sample = first; sample <= last; sample += kStepSeconds) {
        const ZoneOffset current = zoneOffsetAt(sample);
        if (current != previous && current.daylight != previous.daylight) {
            const ZoneChange change{firstSecondWithOffset(sample - kStepSeconds, sample), previous, current};
            const TransitionRule rule = ruleFromChange(change);
            std::optional<TransitionRule>& slot = current.daylight ? daylightStart : standardStart;
            if (rule.year == year && !slot)
                slot = rule;
        }
        std::optional<ZoneOffset>& kind = current.daylight ? daylight : standard;
        if (!kind)
            kind = current;
        previous = current;
    }

    TimeZoneDescription zone;
    const ZoneOffset base = standard.value_or(zoneOffsetAt(first));
    zone.biasMinutes = static_cast<std::int32_t>(-base.utcOffsetSeconds / 60);
    if (daylight && (daylightStart || standardStart)) {
        zone.daylightBiasMinutes = static_cast<std::int32_t>(-(daylight->utcOffsetSeconds - base.utcOffsetSeconds) / 60);
        zone.daylightStart = daylightStart.value_or(TransitionRule{});
        zone.standardStart = standardStart.value_or(TransitionRule{});
    }
    return zone;
}

#endif
