#include "cellvalidation.h"

#include "clslogentry.h"
#include "flightstats.h"

#include <QRegularExpression>

namespace {

enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

// The order of day, month and year in the locale's short date format.
DateOrder localeDateOrder(const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype day = format.indexOf(QLatin1Char('d'));
    const qsizetype month = format.indexOf(QLatin1Char('M'));
    const qsizetype year = format.indexOf(QLatin1Char('y'));
    if (year >= 0 && year < month && year < day)
        return DateOrder::YearMonthDay;
    if (month >= 0 && month < day)
        return DateOrder::MonthDayYear;
    return DateOrder::DayMonthYear;
}

// A log holds past flights: the latest year ending in these digits that is not after next year.
int windowedYear(int twoDigitYear, const QDate& today)
{
    const int latest = today.year() + 1;
    return latest - (latest - twoDigitYear) % 100;
}

// A year written with four digits, or two (see windowedYear).
std::optional<int> yearOf(const QString& digits, const QDate& today)
{
    if (digits.size() == 4)
        return digits.toInt();
    if (digits.size() == 2)
        return windowedYear(digits.toInt(), today);
    return std::nullopt;
}

std::optional<QDate> validDate(std::optional<int> year, const QString& month, const QString& day)
{
    if (!year || month.size() > 2 || day.size() > 2)
        return std::nullopt;
    const QDate date(*year, month.toInt(), day.toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QDate> parseIsoDate(const QString& text)
{
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    const QRegularExpressionMatch m = iso.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return validDate(m.captured(1).toInt(), m.captured(2), m.captured(3));
}

std::optional<QDate> parseNumericDate(const QString& text, const QLocale& locale, const QDate& today)
{
    static const QRegularExpression numeric(QStringLiteral("^(\\d{1,4})([/.\\-])(\\d{1,4})\\2(\\d{1,4})$"));
    const QRegularExpressionMatch m = numeric.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString first = m.captured(1);
    const QString second = m.captured(3);
    const QString third = m.captured(4);
    switch (localeDateOrder(locale)) {
    case DateOrder::YearMonthDay:
        return validDate(yearOf(first, today), second, third);
    case DateOrder::MonthDayYear:
        return validDate(yearOf(third, today), first, second);
    case DateOrder::DayMonthYear:
        break;
    }
    return validDate(yearOf(third, today), second, first);
}

// The locale's own formats; Qt reads a two-digit year as 19xx, so it is moved
// into the window like the numeric forms.
std::optional<QDate> parseLocaleFormat(const QString& text, const QLocale& locale, QLocale::FormatType type,
                                       const QDate& today)
{
    const QString format = locale.dateFormat(type);
    QDate date = locale.toDate(text, format);
    if (!date.isValid())
        return std::nullopt;
    if (!format.contains(QLatin1String("yyyy")) && format.contains(QLatin1String("yy")))
        date = QDate(windowedYear(date.year() % 100, today), date.month(), date.day());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

bool holdsSeparator(const QString& text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
            || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return true;
    }
    return false;
}

CellCheck refused(const char* message)
{
    return {false, QString(), QString::fromLatin1(message)};
}

CellCheck checkColumn(int column, const QString& text, const QDate& today)
{
    switch (column) {
    case clsLogEntry::FLIGHT_DATE_FIELD: {
        const std::optional<QDate> date = parseLogDate(text, QLocale(), today);
        if (!date)
            return refused(kMsgInvalidDate);
        return {true, date->toString(QStringLiteral("yyyy-MM-dd")), QString()};
    }
    case clsLogEntry::FLIGHT_TIME_FIELD: {
        const std::optional<double> hours = cellNumber(text);
        if (!hours)
            return refused(kMsgNotNumeric);
        return {true, QString::fromLatin1(formatLogDecimal(*hours)), QString()};
    }
    case clsLogEntry::FUEL_USED_FIELD:
        if (!cellNumber(text))
            return refused(kMsgNotNumeric);
        return {true, text, QString()};
    default:
        return {true, text, QString()};
    }
}

} // namespace

std::optional<QDate> parseLogDate(const QString& text, const QLocale& locale, const QDate& today)
{
    const QString typed = text.trimmed();
    if (auto date = parseIsoDate(typed))
        return date;
    if (auto date = parseNumericDate(typed, locale, today))
        return date;
    if (auto date = parseLocaleFormat(typed, locale, QLocale::ShortFormat, today))
        return date;
    return parseLocaleFormat(typed, locale, QLocale::LongFormat, today);
}

CellCheck validateCell(int column, const QString& text, const QDate& today)
{
    if (text.isEmpty())
        return {true, text, QString()};
    const CellCheck check = checkColumn(column, text, today);
    // Checked on what would be stored: a date typed in a long form may hold a
    // comma, a time typed with a decimal comma is stored with a point.
    if (check.accepted && holdsSeparator(check.value))
        return refused(kMsgSeparatorInCell);
    if (check.accepted && !storableInLog(check.value))
        return refused(kMsgNotStorable);
    return check;
}
