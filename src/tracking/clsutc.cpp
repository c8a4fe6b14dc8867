#include "clsutc.h"

#include <chrono>
#include <cstdio>
#include <utility>

namespace {

using namespace std::chrono;

constexpr long long kMinutesPerDay = 24 * 60;

// The month of a year counted as the calendar does for out-of-range months:
// month 0 is the December before, month 13 the January after.
year_month monthOf(int year, int month)
{
    return std::chrono::year{year} / January + months{month - 1};
}

sys_days dayOfWeekdayRule(const TransitionRule& rule, int year)
{
    const year_month month = monthOf(year, rule.month);
    const sys_days first{month / 1};
    const sys_days last{month / std::chrono::last};
    const weekday wanted{static_cast<unsigned>(rule.dayOfWeek)};
    if (rule.day == 5) {
        for (sys_days day = last; day >= first; day -= days{1})
            if (weekday{day} == wanted)
                return day;
    } else {
        int count = 0;
        for (sys_days day = first; day <= last; day += days{1})
            if (weekday{day} == wanted && ++count == rule.day)
                return day;
    }
    return last + days{1}; // no such day: the day after the month's end
}

sys_days dayOfRule(const TransitionRule& rule, int year)
{
    if (rule.year != 0)
        return sys_days{monthOf(rule.year, rule.month) / 1} + days{rule.day - 1};
    return dayOfWeekdayRule(rule, year);
}

// Local date and time as one count of seconds, for ordering.
long long secondsOf(const LocalDateTime& local)
{
    const sys_days date = sys_days{monthOf(local.year, local.month) / 1} + days{local.day - 1};
    return static_cast<long long>(date.time_since_epoch().count()) * 86400 + local.hour * 3600LL
           + local.minute * 60LL + local.second;
}

} // namespace

clsUTC::clsUTC()
    : clsUTC(systemLocalNow, systemTimeZoneDescription)
{
}

clsUTC::clsUTC(std::function<LocalDateTime()> now, std::function<TimeZoneDescription()> zone)
    : m_fnNow(std::move(now))
    , m_fnZone(std::move(zone))
{
}

LocalDateTime clsUTC::Transition_Date(const TransitionRule& rule, int year)
{
    const year_month_day date{dayOfRule(rule, year)};
    return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())), rule.hour, rule.minute, rule.second};
}

std::int32_t clsUTC::Bias_At(const TimeZoneDescription& zone, const LocalDateTime& local)
{
    if (zone.daylightBiasMinutes == 0)
        return zone.biasMinutes;
    const long long now = secondsOf(local);
    const long long daylightStart = secondsOf(Transition_Date(zone.daylightStart, local.year));
    const long long standardStart = secondsOf(Transition_Date(zone.standardStart, local.year));
    // South of the equator daylight time runs over New Year: from its start
    // to the year's end and from the year's start to standard time.
    const bool daylight = daylightStart <= standardStart
                              ? now >= daylightStart && now < standardStart
                              : now >= daylightStart || now < standardStart;
    return daylight ? zone.biasMinutes + zone.daylightBiasMinutes : zone.biasMinutes;
}

std::string clsUTC::GetUTC() const
{
    const LocalDateTime local = m_fnNow();
    const long long bias = Bias_At(m_fnZone(), local);
    const long long utcMinutes
        = ((local.hour * 60LL + local.minute + bias) % kMinutesPerDay + kMinutesPerDay) % kMinutesPerDay;
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02dZ", static_cast<int>(utcMinutes / 60),
                  static_cast<int>(utcMinutes % 60));
    return text;
}
