#pragma once

#include <cstdint>
#include <ctime>
#include <vector>

// A local calendar date and wall-clock time, as the computer's clock shows it.
struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// When standard or daylight time starts, in the layout of the Windows
// time-zone record: year != 0 is an absolute date; year == 0 names the
// day-th (5 = last) dayOfWeek of month. All zero = no transition.
struct TransitionRule {
    int year = 0;
    int month = 0;
    int dayOfWeek = 0; // 0 = Sunday .. 6 = Saturday
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The four fields of the operating system's zone description that the UTC
// clock uses. Biases are minutes to add to local time to get UTC.
struct TimeZoneDescription {
    std::int32_t biasMinutes = 0;
    TransitionRule standardStart;
    TransitionRule daylightStart;
    std::int32_t daylightBiasMinutes = 0;
};

// The computer's local date and time now.
LocalDateTime systemLocalNow();

// The system's description of its local zone now. On Windows
// GetTimeZoneInformation; elsewhere built from the local zone (TZ, else
// /etc/localtime) by ZoneChanges::descriptionAt.
TimeZoneDescription systemTimeZoneDescription();

#ifndef _WIN32
// The local zone's changes of offset over a span of time, read once, so that
// the description in force at any instant of the span is cheap to give.
// Reads TZ as last passed to tzset().
class ZoneChanges {
public:
    ZoneChanges(std::time_t first, std::time_t last);

    // The zone as it stands at `instant`: the standard offset in force then
    // (a zone may change it in mid-year), and, when daylight time lies on both
    // sides of it, the change into and out of the daylight period around it as
    // absolute-date rules. A rule's time is the wall-clock time just before
    // the change, as on Windows.
    TimeZoneDescription descriptionAt(std::time_t instant) const;

    struct Offset {
        long utcSeconds = 0; // east of Greenwich positive
        bool daylight = false;
        bool operator==(const Offset&) const = default;
    };
    struct Change {
        std::time_t instant = 0; // the first second of the new offset
        Offset from;
        Offset to;
    };

private:
    Offset m_first;
    std::vector<Change> m_changes; // in time order
};
#endif
