#pragma once

#include "logtable.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string_view>

// Numbers in the log and the flight time figures shown to the pilot.

// The value of a cell that reads as a number: first with "." as decimal
// separator, else in the user's locale. Infinite and NaN texts are not numbers.
std::optional<double> cellNumber(std::string_view bytes);
std::optional<double> cellNumber(const QString& text);
// The hours a flight time cell counts for: its number, 0 when it is not one.
double flightHours(std::string_view timeCell);

// A decimal as the program writes it into the log: one decimal, "." always.
QByteArray formatLogDecimal(double value);
// A figure as shown to the pilot: "0.0" in the user's locale, rounded half away from zero.
QString formatFlightTime(double hours);

// Sum of the numeric flight time cells (column 11) of every row, whatever the type.
double totalFlightTime(const LogTable& table);
// The flight log grid's caption: "Total Flight Time: " and the figure.
QString flightLogCaption(double hours);

// The report of flight time by aircraft type, CR LF line ends, exactly as
// the statistics panel shows it. Sorts `table` by aircraft type.
QString flightStatsReport(LogTable& table);
// The same, appended to `text` as it is built: on a failure `text` holds the
// report as far as it got.
void appendFlightStatsReport(LogTable& table, QString& text);
