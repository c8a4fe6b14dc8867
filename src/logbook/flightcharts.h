#pragma once

#include "logtable.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <vector>

// The figures behind the charts panel, added up from a log table with the
// statistics report's rules: a type is its exact text (a blank type is no
// type), a flight time that is not a number counts 0. Only dates written
// "yyyy-mm-dd" place a flight in a month or a year; the others are counted
// as undated. A date after today or before the year chart's span is most
// likely mistyped: such a flight is counted apart and charted by type only.

// Flights and hours of one month or one year.
struct PeriodTotal {
    QDate first;                // the period's first day
    qsizetype flights = 0;
    double hours = 0;
    double runningHours = 0;    // this period's hours and every earlier period's
};

// Flights and hours of one aircraft type, all time and in the last 12 months.
struct TypeTotal {
    QString label;                   // the type as the pilot wrote it, or the rest's "Other" ("Other types"
                                     // when a type of its own is called "Other")
    std::vector<QByteArray> types;   // the type texts this bar adds up (several for "Other")
    qsizetype flights = 0;
    double hours = 0;
    qsizetype recentFlights = 0;
    double recentHours = 0;
};

struct FlightChartData {
    static constexpr int kMonths = 24;          // the month chart, ending with today's month
    static constexpr int kRecentMonths = 12;    // "the last 12 months" of the type chart
    static constexpr int kMaxTypes = 15;        // more types than this share one "Other" bar
    static constexpr int kYears = 50;           // the year chart's longest span, ending with this year

    QDate today;
    std::vector<PeriodTotal> months;   // kMonths, oldest first
    std::vector<TypeTotal> types;      // in the report's type order, then "Other"
    std::vector<PeriodTotal> years;    // first to last year flown, years without flights included
    qsizetype flights = 0;             // every row of the log
    qsizetype undatedFlights = 0;
    qsizetype strayFlights = 0;        // dated after today or before the first of the kYears years
};

// Which bars a chart has.
enum class ChartKind { Month, Type, Year };

// One bar of a chart: `index` into the matching list of FlightChartData; for
// a type, `recentOnly` picks the last-12-months bar over the all-time one.
struct ChartBar {
    ChartKind kind = ChartKind::Month;
    int index = 0;
    bool recentOnly = false;
};

// The day the charts end with: today's local date, or the "yyyy-mm-dd" date in
// the environment variable QUILLON_TODAY (set by tests and demonstrations).
QDate chartToday();

FlightChartData computeFlightCharts(const LogTable& table, QDate today);
// The rows of `table` a bar adds up, in table order. `data` must come from the same table.
std::vector<qsizetype> flightsOfBar(const LogTable& table, const FlightChartData& data, const ChartBar& bar);

// Shown in place of a chart that has no bar to draw: no flight in the last 24
// months, no aircraft type, no readable date; empty when the chart has bars.
QString emptyChartLine(const FlightChartData& data, ChartKind kind);
// The line under the month and year charts: "12 flights without a readable
// date are not shown", and the flights dated after today or too long ago;
// empty when every flight is charted.
QString notShownLine(const FlightChartData& data);
// The bar labels: "2026-03", "2026".
QString monthLabel(const PeriodTotal& month);
QString yearLabel(const PeriodTotal& year);
// The month chart's tool tip: "March 2026: 12 flights, 34.5 hours".
QString monthToolTip(const PeriodTotal& month);
// One chart's figures as a plain table: a heading, one line per bar, and the
// undated line when there are undated flights.
QString flightChartTable(const FlightChartData& data, ChartKind kind);

// A row's 14 cells joined by ",": what tells one flight from another when a
// chart hands flights to the flight log panel.
QByteArray flightKey(const LogTable& table, qsizetype row);
