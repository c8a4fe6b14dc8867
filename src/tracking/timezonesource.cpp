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

#include <algorithm>
#include <chrono>

namespace {

using Offset = ZoneChanges::Offset;
using Change = ZoneChanges::Change;

Offset offsetAt(std::time_t instant)
{
    std::tm local{};
    localtime_r(&instant, &local);
    return {local.tm_gmtoff, local.tm_isdst > 0};
}

// The first second in (before, after] with after's offset.
std::time_t firstSecondWithOffset(std::time_t before, std::time_t after)
{
    const Offset target = offsetAt(after);
    while (after - before > 1) {
        const std::time_t middle = before + (after - before) / 2;
        if (offsetAt(middle) == target)
            after = middle;
        else
            before = middle;
    }
    return after;
}

// The rule naming the wall-clock time at which the change happens, read on
// the clock that runs until then (02:00 for both changes in New York).
TransitionRule ruleFromChange(const Change& change)
{
    const std::time_t wallClock = change.instant + change.from.utcSeconds;
    std::tm fields{};
    gmtime_r(&wallClock, &fields);
    return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_wday, fields.tm_mday,
            fields.tm_hour, fields.tm_min, fields.tm_sec};
}

bool changesDaylight(const Change& change) { return change.from.daylight != change.to.daylight; }

std::int32_t minutesWestOf(long utcSeconds) { return static_cast<std::int32_t>(-utcSeconds / 60); }

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
    // Far enough on both sides to find the daylight period around now.
    constexpr std::time_t kMarginSeconds = 400 * 86400;
    tzset();
    const std::time_t now = std::time(nullptr);
    return ZoneChanges(now - kMarginSeconds, now + kMarginSeconds).descriptionAt(now);
}

ZoneChanges::ZoneChanges(std::time_t first, std::time_t last)
    : m_first(offsetAt(first))
{
    // Sampled every few hours: no zone changes twice that fast.
    constexpr std::time_t kStepSeconds = 6 * 3600;
    Offset previous = m_first;
    for (std::time_t sample = first + kStepSeconds; sample <= last; sample += kStepSeconds) {
        const Offset current = offsetAt(sample);
        if (current != previous)
            m_changes.push_back({firstSecondWithOffset(sample - kStepSeconds, sample), previous, current});
        previous = current;
    }
}

TimeZoneDescription ZoneChanges::descriptionAt(std::time_t instant) const
{
    const auto next = std::upper_bound(m_changes.begin(), m_changes.end(), instant,
                                       [](std::time_t t, const Change& change) { return t < change.instant; });
    const Offset current = next == m_changes.begin() ? m_first : std::prev(next)->to;
    const auto before = std::find_if(std::make_reverse_iterator(next), m_changes.rend(), changesDaylight);
    const auto after = std::find_if(next, m_changes.end(), changesDaylight);

    TimeZoneDescription zone;
    zone.biasMinutes = minutesWestOf(current.utcSeconds);
    if (before == m_changes.rend() || after == m_changes.end())
        return zone; // no daylight period around: the offset now holds
    // In daylight time, the standard offset is the one it was added to.
    const Offset standard = current.daylight ? before->from : current;
    const Offset daylight = current.daylight ? current : after->to;
    zone.biasMinutes = minutesWestOf(standard.utcSeconds);
    zone.daylightBiasMinutes = minutesWestOf(daylight.utcSeconds) - zone.biasMinutes;
    zone.daylightStart = ruleFromChange(current.daylight ? *before : *after);
    zone.standardStart = ruleFromChange(current.daylight ? *after : *before);
    return zone;
}

#endif
