#include "flightstats.h"

#include <QtTest>

using Rows = QList<std::pair<QByteArray, QByteArray>>;

namespace {

// Rows of aircraft type and flight time; every other cell empty.
LogTable typesAndTimes(const Rows& rows)
{
    LogTable table;
    table.resize(rows.size());
    for (qsizetype row = 0; row < rows.size(); ++row) {
        table.setCell(row, 1, rows[row].first.toStdString());
        table.setCell(row, 11, rows[row].second.toStdString());
    }
    return table;
}

QStringList reportLines(const Rows& rows)
{
    LogTable table = typesAndTimes(rows);
    // Every line ends in CR LF (but the last): a CR or LF alone shows inside a line.
    return flightStatsReport(table).split("\r\n");
}

} // namespace

class tst_FlightStats : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void report_data()
    {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("caption");   // the flight log's: every numeric time, blank types too
        const QString head = "  Flight Time by Aircraft Type:";
        auto type = [](const char* name, const char* time) {
            return QString("       Aircraft Type: %1          Total Time: %2").arg(name, time);
        };
        QTest::newRow("example of three rows")
            << Rows{{"A320", "2.5"}, {"B737", "1.2"}, {"A320", "1.0"}}
            << QStringList{"", head, "", type("A320", "3.5"), "", type("B737", "1.2"), "", "",
                           "  Total Flight Time : 4.7"} << "4.7";
        QTest::newRow("empty log") << Rows{}
                                   << QStringList{"", head, "", "       No Flight Time Recorded", "", "",
                                                  "  Total Flight Time : 0.0"} << "0.0";
        QTest::newRow("A320 and a320 are two types")
            << Rows{{"a320", "1.0"}, {"A320", "2.0"}, {"a320", "1.5"}}
            << QStringList{"", head, "", type("A320", "2.0"), "", type("a320", "2.5"), "", "",
                           "  Total Flight Time : 4.5"} << "4.5";
        QTest::newRow("blank types count nowhere")
            << Rows{{"", "5.0"}, {"   ", "4.0"}, {"B737", "1.0"}, {" ", "3.0"}}
            << QStringList{"", head, "", type("B737", "1.0"), "", "", "  Total Flight Time : 1.0"} << "13.0";
        QTest::newRow("only blank types") << Rows{{"", "5.0"}, {"  ", "1.0"}}
                                          << QStringList{"", head, "", "", "  Total Flight Time : 0.0"} << "6.0";
        QTest::newRow("non-numeric times add nothing, also first of a type; no -0.0")
            << Rows{{"A320", "n/a"}, {"A320", "1.5"}, {"A320", "1:30"}, {"A320", "1.5 h"}, {"B737", ""},
                    {"B737", "nan"}, {"B737", "-inf"}, {"B737", "2.0"}, {"C172", "-0.04"}}
            << QStringList{"", head, "", type("A320", "1.5"), "", type("B737", "2.0"), "", type("C172", "0.0"), "",
                           "", "  Total Flight Time : 3.5"} << "3.5";
        QTest::newRow("tracker and grid decimals, half a tenth rounds away from zero, grouped thousands")
            << Rows{{"A320", "1.500"}, {"A320", " 2 "}, {"A320", "-0.25"}, {"B737", "1,500"}}
            << QStringList{"", head, "", type("A320", "3.3"), "", type("B737", "1500.0"), "", "",
                           "  Total Flight Time : 1503.3"} << "1503.3";
    }

    void report()
    {
        QFETCH(Rows, rows);
        QFETCH(QStringList, lines);
        QFETCH(QString, caption);
        QCOMPARE(reportLines(rows), lines);
        QCOMPARE(flightLogCaption(totalFlightTime(typesAndTimes(rows))), "Total Flight Time: " + caption);
    }

    // A German pilot's "1,25" and the tracker's "1.5" both count; "1.500" is not fifteen hundred;
    // the log keeps ".", the pilot sees "," and no group separator.
    void pointFirstThenUsersLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(reportLines({{"A320", "1.5"}, {"A320", "1,25"}, {"A320", "1.500"}, {"B737", "1234.5"}}).last(),
                 "  Total Flight Time : 1238,8");
        QCOMPARE(formatLogDecimal(1.25), QByteArray("1.3"));
    }
};

QTEST_GUILESS_MAIN(tst_FlightStats)
#include "tst_flightstats.moc"
