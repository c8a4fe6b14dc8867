#pragma once

#include "timezonesource.h"

#include <cstdint>
#include <functional>
#include <string>

// The UTC time of day for the status bar, worked out from the local clock
// and the zone description. Both are asked again on every GetUTC(), so the
// text follows a change to or from daylight time while the program runs.
class clsUTC {
public:
    clsUTC(); // the system clock and the system's zone
    clsUTC(std::function<LocalDateTime()> now, std::function<TimeZoneDescription()> zone);

    // "hhmm" + "Z", e.g. "0705Z"; seconds are dropped.
    std::string GetUTC() const;

    // The local date-time at which the rule's change happens in the given year
    // (the rule's own year for an absolute date). A rule naming no day gives the
    // day after the month's last day; an all-zero rule gives 1 January 00:00.
    static LocalDateTime Transition_Date(const TransitionRule& rule, int year);

    // Minutes to add to the local time to get UTC, daylight saving included.
    static std::int32_t Bias_At(const TimeZoneDescription& zone, const LocalDateTime& local);

private:
    std::function<LocalDateTime()> m_fnNow;
    std::function<TimeZoneDescription()> m_fnZone;
};
