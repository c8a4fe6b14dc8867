#pragma once

#include "flightcharts.h"

#include <QByteArray>
#include <QDate>

#include <cstdint>

// Flight logs that look like a pilot's: dated flights in mostly chronological
// order (a few entered late), a fleet of common types flown unevenly, real
// airport codes, UTC times, fuel in pounds and the decimal and HH:MM times
// as the tracker writes them. The last flight is flown on `lastDay`, so the
// charts' months and last 12 months hold flights. The same seed and day give
// the same log.
QByteArray generateFlightLog(std::int64_t flights, QDate lastDay = chartToday(), std::uint32_t seed = 2002);
