#include "flightcharts.h"

#include "distincttexts.h"
#include "flightstats.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <functional>
#include <numeric>
#include <unordered_set>

namespace {

constexpr int kDateColumn = 0;
constexpr int kTypeColumn = 1;
constexpr int kFlightTimeColumn = 11;
const QString kOther = QStringLiteral("Other");
const QString kOtherTypes = QStringLiteral("Other types");   // when a type of the pilot's own is called "Other"

// Months since the start of year 0 of a date key.
int monthNumber(std::uint32_t dateKey)
{
    return static_cast<int>(dateKey / 10000 * 12 + dateKey / 100 % 100) - 1;
}

int monthNumber(QDate date)
{
    return date.year() * 12 + date.month() - 1;
}

std::uint32_t dateKey(QDate date)
{
    return static_cast<std::uint32_t>(date.year() * 10000 + date.month() * 100 + date.day());
}

// The dates the month and year charts place: the kYears years up to today.
struct ChartedDates {
    explicit ChartedDates(QDate today)
        : firstYear(today.year() - FlightChartData::kYears + 1), first(dateKey(QDate(firstYear, 1, 1))),
          last(dateKey(today))
    {
    }
    // The month of a charted "yyyy-mm-dd" date, as monthNumber(); -1 for any other text.
    int monthOf(std::string_view date) const
    {
        const std::uint32_t key = LogTable::dateKey(date);
        return key >= first && key <= last ? monthNumber(key) : -1;
    }
    int firstYear;
    std::uint32_t first;
    std::uint32_t last;
};

QDate firstDayOfMonth(int number)
{
    return QDate(number / 12, number % 12 + 1, 1);
}

bool isBlankType(std::string_view type)
{
    return type.find_first_not_of(' ') == std::string_view::npos;
}

struct TypeSum {
    std::string_view type;
    qsizetype flights = 0;
    double hours = 0;
    qsizetype recentFlights = 0;
    double recentHours = 0;
};

void addTo(TypeTotal& bar, const TypeSum& sum)
{
    bar.types.emplace_back(sum.type.data(), static_cast<qsizetype>(sum.type.size()));
    bar.flights += sum.flights;
    bar.hours += sum.hours;
    bar.recentFlights += sum.recentFlights;
    bar.recentHours += sum.recentHours;
}

// The kMaxTypes types with the most hours keep their bars, in report order;
// the others share one bar at the end, never labelled like a bar before it.
std::vector<TypeTotal> typeBars(const std::vector<TypeSum>& sums)
{
    std::vector<bool> own(sums.size(), true);
    if (sums.size() > FlightChartData::kMaxTypes) {
        std::vector<std::size_t> byHours(sums.size());
        std::iota(byHours.begin(), byHours.end(), 0);
        std::stable_sort(byHours.begin(), byHours.end(),
                         [&](std::size_t a, std::size_t b) { return sums[a].hours > sums[b].hours; });
        for (std::size_t rank = FlightChartData::kMaxTypes; rank < byHours.size(); ++rank)
            own[byHours[rank]] = false;
    }
    std::vector<TypeTotal> bars;
    TypeTotal other;
    other.label = kOther;
    for (std::size_t i = 0; i < sums.size(); ++i) {
        if (!own[i]) {
            addTo(other, sums[i]);
            continue;
        }
        TypeTotal bar;
        addTo(bar, sums[i]);
        bar.label = QString::fromLocal8Bit(bar.types.front());
        bars.push_back(std::move(bar));
    }
    if (!other.types.empty()) {
        if (std::any_of(bars.begin(), bars.end(), [](const TypeTotal& bar) { return bar.label == kOther; }))
            other.label = kOtherTypes;
        bars.push_back(std::move(other));
    }
    return bars;
}

void addRunningTotals(std::vector<PeriodTotal>& periods)
{
    double running = 0;
    for (PeriodTotal& period : periods) {
        running += period.hours;
        period.runningHours = running;
    }
}

} // namespace

QDate chartToday()
{
    const QDate set = QDate::fromString(qEnvironmentVariable("QUILLON_TODAY"), Qt::ISODate);
    return set.isValid() ? set : QDate::currentDate();
}

FlightChartData computeFlightCharts(const LogTable& table, QDate today)
{
    FlightChartData data;
    data.today = today;
    data.flights = table.rowCount();
    const int lastMonth = monthNumber(today);
    const int firstMonth = lastMonth - FlightChartData::kMonths + 1;
    const int firstRecentMonth = lastMonth - FlightChartData::kRecentMonths + 1;
    data.months.resize(FlightChartData::kMonths);
    for (int i = 0; i < FlightChartData::kMonths; ++i)
        data.months[i].first = firstDayOfMonth(firstMonth + i);

    const ChartedDates charted(today);
    std::vector<PeriodTotal> years(FlightChartData::kYears);
    int firstYear = FlightChartData::kYears;
    int lastYear = -1;
    DistinctTexts types(64);
    std::vector<TypeSum> typeSums;   // by the type's id in `types`
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        const double hours = flightHours(table.cell(row, kFlightTimeColumn));
        const std::string_view date = table.cell(row, kDateColumn);
        const int month = charted.monthOf(date);
        const std::uint32_t type = types.idOf(table.cell(row, kTypeColumn));
        if (type == typeSums.size())
            typeSums.push_back({types.texts()[type]});
        TypeSum& sum = typeSums[type];
        ++sum.flights;
        sum.hours += hours;
        if (month >= firstRecentMonth) {
            ++sum.recentFlights;
            sum.recentHours += hours;
        }
        if (month < 0) {
            ++(LogTable::dateKey(date) == 0 ? data.undatedFlights : data.strayFlights);
            continue;
        }
        if (month >= firstMonth) {
            ++data.months[month - firstMonth].flights;
            data.months[month - firstMonth].hours += hours;
        }
        const int year = month / 12 - charted.firstYear;
        ++years[year].flights;
        years[year].hours += hours;
        firstYear = std::min(firstYear, year);
        lastYear = std::max(lastYear, year);
    }
    for (int year = firstYear; year <= lastYear; ++year) {
        data.years.push_back(years[year]);
        data.years.back().first = QDate(charted.firstYear + year, 1, 1);
    }
    addRunningTotals(data.months);
    addRunningTotals(data.years);
    // A blank type is no type; the others in byte order, the report's order.
    std::erase_if(typeSums, [](const TypeSum& sum) { return isBlankType(sum.type); });
    std::sort(typeSums.begin(), typeSums.end(), [](const TypeSum& a, const TypeSum& b) { return a.type < b.type; });
    data.types = typeBars(typeSums);
    return data;
}

std::vector<qsizetype> flightsOfBar(const LogTable& table, const FlightChartData& data, const ChartBar& bar)
{
    const ChartedDates charted(data.today);
    std::function<bool(qsizetype)> matches;
    std::unordered_set<std::string_view> types;
    switch (bar.kind) {
    case ChartKind::Month: {
        const int month = monthNumber(data.months.at(bar.index).first);
        matches = [&, month](qsizetype row) { return charted.monthOf(table.cell(row, kDateColumn)) == month; };
        break;
    }
    case ChartKind::Year: {
        const int year = data.years.at(bar.index).first.year();
        matches = [&, year](qsizetype row) {
            const int month = charted.monthOf(table.cell(row, kDateColumn));
            return month >= 0 && month / 12 == year;
        };
        break;
    }
    case ChartKind::Type: {
        for (const QByteArray& type : data.types.at(bar.index).types)
            types.emplace(type.constData(), static_cast<std::size_t>(type.size()));
        const int firstRecent = monthNumber(data.today) - FlightChartData::kRecentMonths + 1;
        matches = [&, firstRecent](qsizetype row) {
            if (!types.contains(table.cell(row, kTypeColumn)))
                return false;
            return !bar.recentOnly || charted.monthOf(table.cell(row, kDateColumn)) >= firstRecent;
        };
        break;
    }
    }
    std::vector<qsizetype> rows;
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        if (matches(row))
            rows.push_back(row);
    }
    return rows;
}

QString emptyChartLine(const FlightChartData& data, ChartKind kind)
{
    switch (kind) {
    case ChartKind::Month:
        if (std::all_of(data.months.begin(), data.months.end(), [](const PeriodTotal& m) { return m.flights == 0; }))
            return QStringLiteral("No flights in the last %1 months.").arg(FlightChartData::kMonths);
        break;
    case ChartKind::Type:
        if (data.types.empty())
            return QStringLiteral("No flight names its aircraft type.");
        break;
    case ChartKind::Year:
        if (data.years.empty())
            return QStringLiteral("No flight has a readable date.");
        break;
    }
    return {};
}

QString notShownLine(const FlightChartData& data)
{
    QStringList parts;
    if (data.undatedFlights == 1)
        parts << QStringLiteral("1 flight without a readable date is not shown");
    else if (data.undatedFlights > 1)
        parts << QStringLiteral("%1 flights without a readable date are not shown").arg(data.undatedFlights);
    const int firstYear = data.today.year() - FlightChartData::kYears + 1;
    if (data.strayFlights == 1)
        parts << QStringLiteral("1 flight dated after today or before %1 is not shown").arg(firstYear);
    else if (data.strayFlights > 1)
        parts << QStringLiteral("%1 flights dated after today or before %2 are not shown").arg(data.strayFlights).arg(firstYear);
    return parts.join(QStringLiteral("; "));
}

QString monthLabel(const PeriodTotal& month)
{
    return month.first.toString(QStringLiteral("yyyy-MM"));
}

QString yearLabel(const PeriodTotal& year)
{
    return QString::number(year.first.year());
}

QString monthToolTip(const PeriodTotal& month)
{
    const QString flights = month.flights == 1 ? QStringLiteral("1 flight")
                                               : QStringLiteral("%1 flights").arg(month.flights);
    return QStringLiteral("%1: %2, %3 hours")
        .arg(QLocale().standaloneMonthName(month.first.month()) + QLatin1Char(' ') + QString::number(month.first.year()),
             flights, formatFlightTime(month.hours));
}

QString flightChartTable(const FlightChartData& data, ChartKind kind)
{
    QString text;
    const auto line = [&text](const QStringList& fields) {
        text += fields.front().leftJustified(16);
        for (qsizetype i = 1; i < fields.size(); ++i)
            text += QLatin1Char(' ') + fields.at(i).rightJustified(i < 3 ? 9 : 16);
        text += QLatin1Char('\n');
    };
    switch (kind) {
    case ChartKind::Month:
        line({QStringLiteral("Month"), QStringLiteral("Flights"), QStringLiteral("Hours")});
        for (const PeriodTotal& month : data.months)
            line({monthLabel(month), QString::number(month.flights), formatFlightTime(month.hours)});
        break;
    case ChartKind::Type:
        line({QStringLiteral("Type"), QStringLiteral("Flights"), QStringLiteral("Hours"),
              QStringLiteral("Flights 12 mo"), QStringLiteral("Hours 12 mo")});
        for (const TypeTotal& type : data.types)
            line({type.label, QString::number(type.flights), formatFlightTime(type.hours),
                  QString::number(type.recentFlights), formatFlightTime(type.recentHours)});
        break;
    case ChartKind::Year:
        line({QStringLiteral("Year"), QStringLiteral("Flights"), QStringLiteral("Hours"),
              QStringLiteral("Running hours")});
        for (const PeriodTotal& year : data.years)
            line({yearLabel(year), QString::number(year.flights), formatFlightTime(year.hours), formatFlightTime(year.runningHours)});
        break;
    }
    if (const QString notShown = notShownLine(data); kind != ChartKind::Type && !notShown.isEmpty())
        text += notShown + QLatin1Char('\n');
    return text;
}

QByteArray flightKey(const LogTable& table, qsizetype row)
{
    QByteArray key;
    for (int column = 0; column < LogTable::kColumnCount; ++column) {
        if (column > 0)
            key += ',';
        const std::string_view cell = table.cell(row, column);
        key.append(cell.data(), static_cast<qsizetype>(cell.size()));
    }
    return key;
}
