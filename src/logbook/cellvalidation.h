#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include <optional>

// The checks made before an edited cell of the flight log grid is accepted.

inline constexpr char kInvalidEntryTitle[] = "Quillon Invalid Field Entry";
inline constexpr char kMsgInvalidDate[] = "Please enter a valid date";
inline constexpr char kMsgNotNumeric[] = "Please enter a numeric value";
inline constexpr char kMsgSeparatorInCell[] = "Please enter a value without commas or line breaks";
inline constexpr char kMsgNotStorable[] = "Please enter a value without characters the log file cannot store";

struct CellCheck {
    bool accepted = true;
    QString value;     // what to store when accepted (the Date and Time columns are normalised)
    QString message;   // why the value was refused
};

// Empty is always accepted. Date: stored "yyyy-mm-dd"; Time: numeric, stored
// with one decimal and "."; Fuel Used: numeric, stored as typed. Dates and
// numbers are read in the user's locale (QLocale()). A value that would be
// stored with "," or a line break is refused in every column: the log file
// has no quoting. So is one the log file's encoding cannot hold.
CellCheck validateCell(int column, const QString& text, const QDate& today = QDate::currentDate());

// A date typed by the pilot: ISO "yyyy-mm-dd"; day, month and year as digits
// in the locale's own order, separated by "/", "." or "-" (the same one
// twice), the year with four digits or two; the locale's short and long
// formats. A two-digit year is the latest such year not after the year
// following `today`'s.
std::optional<QDate> parseLogDate(const QString& text, const QLocale& locale, const QDate& today);
