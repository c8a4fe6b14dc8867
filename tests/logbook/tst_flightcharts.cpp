#include "flightcharts.h"

#include <QtTest>

// Date, aircraft type, flight time.
using Flights = QList<std::array<QByteArray, 3>>;

namespace {

const QDate kToday(2026, 3, 15);   // mid-year: the windows are months, not calendar years

LogTable tableOf(const Flights& flights)
{
    LogTable table;
    table.resize(flights.size());
    for (qsizetype row = 0; row < flights.size(); ++row) {
        table.setCell(row, 0, flights[row][0].toStdString());
        table.setCell(row, 1, flights[row][1].toStdString());
        table.setCell(row, 11, flights[row][2].toStdString());
    }
    return table;
}

// The chart as quillon-log prints it, with single spaces and without the
// heading and the empty months (they only restate the window); the sentence
// that stands in for a chart without bars comes first.
QStringList lines(const FlightChartData& data, ChartKind kind)
{
    QStringList lines;
    if (const QString empty = emptyChartLine(data, kind); !empty.isEmpty())
        lines << empty;
    for (const QString& line : flightChartTable(data, kind).split('\n', Qt::SkipEmptyParts).mid(1)) {
        if (kind != ChartKind::Month || !line.simplified().endsWith(" 0 0.0"))
            lines << line.simplified();
    }
    return lines;
}

} // namespace

class tst_FlightCharts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void figures_data()
    {
        QTest::addColumn<Flights>("flights");
        QTest::addColumn<ChartKind>("kind");
        QTest::addColumn<QStringList>("expected");   // the undated line ends the month and year charts

        QTest::newRow("24 months end with today; month edges; a later day is not shown")
            << Flights{{"2024-03-31", "A320", "9.0"}, {"2024-04-01", "A320", "1.5"}, {"2026-02-28", "A320", "1.0"},
                       {"2026-03-01", "A320", "2.0"}, {"2026-03-15", "A320", "0.5"}, {"2026-03-16", "A320", "4.0"}}
            << ChartKind::Month
            << QStringList{"2024-04 1 1.5", "2026-02 1 1.0", "2026-03 2 2.5",
                           "1 flight dated after today or before 1977 is not shown"};
        QTest::newRow("dates not yyyy-mm-dd are undated; a later month is out of the window: a sentence, no bars")
            << Flights{{"2026-02-30", "A320", "1.0"}, {"07/12/2026", "A320", "1.0"}, {"", "A320", "1.0"},
                       {"2026-1-05", "A320", "1.0"}, {"2026-12-0x", "A320", "1.0"}, {"2024-03-31", "A320", "1.0"}}
            << ChartKind::Month
            << QStringList{"No flights in the last 24 months.", "5 flights without a readable date are not shown"};
        QTest::newRow("a time that is not a number counts 0, the flight still counts")
            << Flights{{"2026-03-01", "A320", "abc"}, {"2026-03-02", "A320", ""}, {"2026-03-03", "A320", "1.5"}}
            << ChartKind::Month << QStringList{"2026-03 3 1.5"};
        QTest::newRow("31 December stays in its year; a year without flights is shown; mistyped years are not")
            << Flights{{"2023-12-31", "A320", "1.0"}, {"2024-01-01", "A320", "2.0"}, {"2026-03-01", "A320", "3.0"},
                       {"someday", "A320", "4.0"}, {"0202-07-07", "A320", "5.0"}, {"1976-12-31", "A320", "5.0"},
                       {"2062-03-01", "A320", "5.0"}}
            << ChartKind::Year << QStringList{"2023 1 1.0 1.0", "2024 1 2.0 3.0", "2025 0 0.0 3.0", "2026 1 3.0 6.0",
                                              "1 flight without a readable date is not shown; "
                                              "3 flights dated after today or before 1977 are not shown"};
        QTest::newRow("types by exact text in report order; blank types left out; undated count all time")
            << Flights{{"2026-03-01", "B737", "1.0"}, {"2026-01-01", "a320", "2.0"}, {"2025-03-31", "A320", "4.0"},
                       {"2025-04-01", "A320", "0.5"}, {"bad", "A320", "1.0"}, {"2026-05-05", "  ", "8.0"},
                       {"2026-05-05", "", "8.0"}}
            << ChartKind::Type << QStringList{"A320 3 5.5 1 0.5", "B737 1 1.0 1 1.0", "a320 1 2.0 1 2.0"};
        QTest::newRow("only blank types: a sentence, no bars")
            << Flights{{"2026-05-05", " ", "8.0"}} << ChartKind::Type
            << QStringList{"No flight names its aircraft type."};

        Flights many;
        QStringList kept;
        for (int n = 1; n <= 17; ++n) {
            const QByteArray type = "T" + QByteArray::number(n).rightJustified(2, '0');
            many.append({"2020-01-01", type, QByteArray::number(n)});
            if (n > 2)
                kept << QString("%1 1 %2.0 0 0.0").arg(QString::fromLatin1(type)).arg(n);
        }
        QTest::newRow("more than 15 types: those with most hours, the rest as Other at the end")
            << many << ChartKind::Type << kept + QStringList{"Other 2 3.0 0 0.0"};
        many.last()[1] = "Other";
        kept.removeLast();
        QTest::newRow("a type called Other keeps its bar; the rest is Other types")
            << many << ChartKind::Type << QStringList{"Other 1 17.0 0 0.0"} + kept + QStringList{"Other types 2 3.0 0 0.0"};
    }

    void figures()
    {
        QFETCH(Flights, flights);
        QFETCH(ChartKind, kind);
        QFETCH(QStringList, expected);
        const FlightChartData data = computeFlightCharts(tableOf(flights), kToday);
        QCOMPARE(lines(data, kind), expected);
        QCOMPARE(data.flights, flights.size());
    }
};

QTEST_GUILESS_MAIN(tst_FlightCharts)
#include "tst_flightcharts.moc"
