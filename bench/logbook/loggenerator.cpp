#include "loggenerator.h"

#include <QDate>

#include <algorithm>
#include <array>
#include <random>

namespace {

constexpr std::array kTypes = {"A320", "A321", "A319", "B737", "B738", "B744", "B772", "B77W", "A332", "A388",
                               "C172", "PA28", "DHC6", "ATR72", "CRJ7", "E190", "MD82", "DC-3", "B752", "Q400"};
constexpr std::array kAirports = {"EGLL", "LFPG", "EDDF", "EHAM", "KJFK", "KLAX", "KSFO", "KORD", "RJTT", "YSSY",
                                  "OMDB", "VHHH", "WSSS", "LEMD", "LIRF", "CYYZ", "SBGR", "FAOR", "EGKK", "KATL"};

QByteArray twoDigits(int value)
{
    return QByteArray::number(value).rightJustified(2, '0');
}

QByteArray utc(int minutesOfDay)
{
    minutesOfDay %= 24 * 60;
    return twoDigits(minutesOfDay / 60) + twoDigits(minutesOfDay % 60) + "Z";
}

constexpr int kYearsFlown = 25;
constexpr double kFlightsPerDay = 3.3;

// A pilot's few flights a day; a log too large for that over kYearsFlown years,
// such as a virtual airline's, flies as many a day as it takes.
double newDayChance(std::int64_t flights)
{
    return std::min(1 / kFlightsPerDay, kYearsFlown * 365.25 / double(std::max<std::int64_t>(flights, 1)));
}

} // namespace

QByteArray generateFlightLog(std::int64_t flights, QDate lastDay, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::mt19937 days(seed + 1);
    std::bernoulli_distribution startsNewDay(newDayChance(flights));
    std::mt19937 counter = days;   // a dry run of the days gives the first one
    std::int64_t dayCount = 0;
    for (std::int64_t i = 0; i < flights; ++i)
        dayCount += startsNewDay(counter);
    std::discrete_distribution<int> typeOf({20, 12, 8, 18, 15, 3, 4, 4, 5, 2, 9, 6, 2, 3, 3, 4, 2, 1, 2, 3});
    std::uniform_int_distribution<int> airport(0, int(kAirports.size()) - 1);
    std::uniform_int_distribution<int> minute(0, 24 * 60 - 1);
    std::uniform_int_distribution<int> blockMinutes(25, 14 * 60);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> registration(10000, 99999);

    QByteArray log;
    log.reserve(flights * 100);
    QDate date = lastDay.addDays(-dayCount);
    for (std::int64_t i = 0; i < flights; ++i) {
        if (startsNewDay(days))
            date = date.addDays(1);
        // One flight in fifty is entered some days late.
        const QDate flightDate = percent(random) < 2 ? date.addDays(-percent(random) % 20) : date;
        const int type = typeOf(random);
        const int out = minute(random);
        const int block = blockMinutes(random);
        const int fuelOut = 2000 + block * (type < 10 ? 90 : 9) + percent(random) * 37;
        const int fuelUsed = block * (type < 10 ? 80 : 8);
        const double hours = block / 60.0;
        log += flightDate.toString(Qt::ISODate).toLatin1() + ',' + kTypes[std::size_t(type)] + ",N"
            + QByteArray::number(registration(random)) + ',' + kAirports[std::size_t(airport(random))] + ','
            + utc(out) + ',' + utc(out + 12) + ',' + QByteArray::number(fuelOut) + " lbs,"
            + kAirports[std::size_t(airport(random))] + ',' + utc(out + block - 8) + ',' + utc(out + block) + ','
            + QByteArray::number(fuelOut - fuelUsed) + " lbs," + QByteArray::number(hours, 'f', 1) + ','
            + QByteArray::number(block / 60) + ':' + twoDigits(block % 60) + ',' + QByteArray::number(fuelUsed)
            + " lbs\r\n";
    }
    return log;
}
