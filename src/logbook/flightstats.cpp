#include "flightstats.h"

#include "modfunctions.h"

#include <QLocale>

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
    if (const auto value = plainDecimal(bytes))
        return value;
    return cellNumber(QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size())));
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
        total += cellNumber(table.cell(row, kFlightTimeColumn)).value_or(0.0);
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
            const double hours = cellNumber(table.cell(row, kFlightTimeColumn)).value_or(0.0);
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
