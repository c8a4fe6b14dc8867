#pragma once

#include <QByteArray>

#include <cstdint>

// Flight logs that look like a pilot's: dated flights in mostly chronological
// order (a few entered late), a fleet of common types flown unevenly, real
// airport codes, UTC times, fuel in pounds and the decimal and HH:MM times
// as the tracker writes them. The same seed gives the same log.
QByteArray generateFlightLog(std::int64_t flights, std::uint32_t seed = 2002);
