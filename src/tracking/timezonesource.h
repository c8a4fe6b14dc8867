#pragma once

#include <cstdint>

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

// The system's description of its local zone for the current year. On
// Windows GetTimeZoneInformation; elsewhere built from the local zone
// (TZ, else /etc/localtime) by systemZoneDescriptionForYear.
TimeZoneDescription systemTimeZoneDescription();

#ifndef _WIN32
// The local zone's offsets in the given year, with the year's first change
// to daylight time and first change back as absolute-date rules. Each rule's
// time is the wall-clock time just before the change, as on Windows.
// Reads TZ as last passed to tzset().
TimeZoneDescription systemZoneDescriptionForYear(int year);
#endif
