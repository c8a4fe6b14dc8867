#include "flightstats.h"

#include "modfunctions.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr int kTypeColumn = 1;
constexpr int kFlightTimeColumn = 11;
const QString kCrLf = QStringLiteral("\r\n");

std::optional<double> finiteValue(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

// Digits with at most one point, 15 digits at most: the value from_chars
// reads (an integer below 2^53 over an exact power of ten is rounded once),
// at a fifth of its cost. False for any other text.
bool shortDecimal(std::string_view bytes, double& value)
{
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::uint64_t digits = 0;
    int count = 0;
    int decimals = -1;   // no point yet
    for (char c : bytes) {
        if (c == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9' || ++count > 15)
            return false;
        digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
        if (decimals >= 0)
            ++decimals;
    }
    value = static_cast<double>(digits) / kPowersOfTen[std::max(decimals, 0)];
    return count > 0;
}

// The common case, "1.5" as the tracker writes it, without building a QString.
std::optional<double> plainDecimal(std::string_view bytes)
{
    if (bytes.empty())
        return std::nullopt;
    const char first = bytes.front();
    if (!((first >= '0' && first <= '9') || first == '-' || first == '.'))
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
    if (error != std::errc() || end != bytes.data() + bytes.size())
        return std::nullopt;
    return finiteValue(value);
}

double roundToTenths(double value)
{
    const double rounded = std::round(value * 10.0) / 10.0;
    return rounded == 0.0 ? 0.0 : rounded;   // no "-0.0"
}

bool isBlankType(std::string_view type)
{
    return type.find_first_not_of(' ') == std::string_view::npos;
}

QString typeTotalLine(std::string_view type, double hours)
{
    return QStringLiteral("       Aircraft Type: ")
        + QString::fromLocal8Bit(type.data(), static_cast<qsizetype>(type.size()))
        + QStringLiteral("          Total Time: ") + formatFlightTime(hours) + kCrLf + kCrLf;
}

} // namespace

std::optional<double> cellNumber(std::string_view bytes)
{
    if (double value = 0; shortDecimal(bytes, value))
        return value;
    if (const auto value = plainDecimal(bytes))
        return value;
    return cellNumber(QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// The common case is read without an optional: a million rows' totals and charts feel its copies.
double flightHours(std::string_view timeCell)
{
    if (double value = 0; shortDecimal(timeCell, value))
        return value;
    return cellNumber(timeCell).value_or(0.0);
}

std::optional<double> cellNumber(const QString& text)
{
    QLocale pointFirst = QLocale::c();
    // "1,500" is not 1500 here: a user whose locale writes 1,5 meant 1.5.
    pointFirst.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double value = pointFirst.toDouble(text, &ok);
    if (ok)
        return finiteValue(value);
    value = QLocale().toDouble(text, &ok);
    if (ok)
        return finiteValue(value);
    return std::nullopt;
}

QByteArray formatLogDecimal(double value)
{
    return QByteArray::number(roundToTenths(value), 'f', 1);
}

QString formatFlightTime(double hours)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(roundToTenths(hours), 'f', 1);
}

double totalFlightTime(const LogTable& table)
{
    double total = 0.0;
    for (qsizetype row = 0; row < table.rowCount(); ++row)
        total += flightHours(table.cell(row, kFlightTimeColumn));
    return total;
}

QString flightLogCaption(double hours)
{
    return QStringLiteral("Total Flight Time: ") + formatFlightTime(hours);
}

QString flightStatsReport(LogTable& table)
{
    QString text;
    appendFlightStatsReport(table, text);
    return text;
}

void appendFlightStatsReport(LogTable& table, QString& text)
{
    text += kCrLf + QStringLiteral("  Flight Time by Aircraft Type:") + kCrLf + kCrLf;
    double grandTotal = 0.0;
    if (table.rowCount() == 0) {
        text += QStringLiteral("       No Flight Time Recorded") + kCrLf + kCrLf;
    } else {
        Sort_XArray(table, kTypeColumn);
        std::optional<std::string_view> currentType;
        double typeTotal = 0.0;
        for (qsizetype row = 0; row < table.rowCount(); ++row) {
            const std::string_view type = table.cell(row, kTypeColumn);
            if (isBlankType(type))
                continue;   // counts nowhere, not even in the grand total
            const double hours = flightHours(table.cell(row, kFlightTimeColumn));
            if (currentType && type == *currentType) {
                typeTotal += hours;
                continue;
            }
            if (currentType) {
                grandTotal += typeTotal;
                text += typeTotalLine(*currentType, typeTotal);
            }
            currentType = type;
            typeTotal = hours;
        }
        if (currentType) {
            grandTotal += typeTotal;
            text += typeTotalLine(*currentType, typeTotal);
        }
    }
    text += kCrLf + QStringLiteral("  Total Flight Time : ") + formatFlightTime(grandTotal);
}
