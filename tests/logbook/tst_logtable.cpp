#include "logtable.h"

#include <QtTest>

namespace {

// Each row's first cells joined by "|", to compare contents and orders at a glance.
QStringList rowsOf(const LogTable& table, int columns = 2)
{
    QStringList rows;
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < columns; ++column)
            cells << table.cellText(row, column);
        rows << cells.join('|');
    }
    return rows;
}

void fill(LogTable& table, const QStringList& rows)
{
    table.resize(rows.size());
    for (qsizetype row = 0; row < rows.size(); ++row) {
        const QStringList cells = rows.at(row).split('|');
        for (int column = 0; column < cells.size(); ++column)
            table.setCellText(row, column, cells.at(column));
    }
}

} // namespace

class tst_LogTable : public QObject {
    Q_OBJECT

private slots:
    // Each cell keeps its own bytes while its neighbours change, including values read from the table
    // itself, and while rows go and the table shrinks and grows again.
    void cellsKeepTheirBytes()
    {
        LogTable table;
        table.resize(2);
        for (int column = 0; column < LogTable::kColumnCount; ++column)
            table.setCell(0, column, std::to_string(column));
        table.setCell(0, 5, "");
        table.setCell(1, 0, table.cell(0, 13));
        table.setCell(0, 3, table.cell(0, 3));
        table.setCell(0, 13, " spaces, \"quotes\"\n ");
        table.setCellText(1, 3, QStringLiteral("Zürich"));
#ifdef Q_OS_WIN
        QCOMPARE(table.cell(1, 3), std::string_view("Z\xfcrich"));   // the ANSI code page (Western, under Wine)
#else
        QCOMPARE(table.cell(1, 3), std::string_view("Z\xc3\xbcrich")); // UTF-8
#endif
        const QString first = "0|1|2|3|4||6|7|8|9|10|11|12| spaces, \"quotes\"\n ", empty(13, '|');
        QCOMPARE(rowsOf(table, 14), QStringList({first, QStringLiteral("13|||Zürich||||||||||")}));
        table.resize(1);
        table.resize(3);
        QCOMPARE(rowsOf(table, 14), QStringList({first, empty, empty}));
        table.setCell(2, 0, "last");
        table.removeRows(0, 2);   // the Delete key's rows
        QCOMPARE(rowsOf(table, 1), QStringList{"last"});
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, table.removeRows(0, 2));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, table.cell(0, 14));
    }

    void sortRows_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<LogTable::SortKey>("key");   // dates in column 0, types in column 1
        QTest::addColumn<QStringList>("sorted");
        const auto date = LogTable::SortKey::Date, bytes = LogTable::SortKey::Bytes;
        QTest::newRow("dates chronological, equal dates keep their order")
            << QStringList{"2003-01-02|a", "2002-12-31|b", "2003-01-02|c", "2002-12-31|d"} << date
            << QStringList{"2002-12-31|b", "2002-12-31|d", "2003-01-02|a", "2003-01-02|c"};
        QTest::newRow("non-dates after dates, in text order")
            << QStringList{"zzz|1", "|2", "2002-07-07|3", "7/7/2002|4", "2002-02-30|5", "0001-01-01|6"} << date
            << QStringList{"0001-01-01|6", "2002-07-07|3", "|2", "2002-02-30|5", "7/7/2002|4", "zzz|1"};
        QTest::newRow("leap day is a date, 1900-02-29 is not")
            << QStringList{"1900-02-29|a", "2000-02-29|b", "1999-12-31|c"} << date
            << QStringList{"1999-12-31|c", "2000-02-29|b", "1900-02-29|a"};
        QTest::newRow("types equal only when identical")
            << QStringList{"1|a320", "2|A320", "3|A320 ", "4|a320", "5|A320", "6|A32"} << bytes
            << QStringList{"6|A32", "2|A320", "5|A320", "3|A320 ", "1|a320", "4|a320"};
        QTest::newRow("long types sharing their first 8 bytes")
            << QStringList{"1|Boeing 737-800", "2|Boeing 737-700", "3|Boeing 737-800", "4|Boeing 73"} << bytes
            << QStringList{"4|Boeing 73", "2|Boeing 737-700", "1|Boeing 737-800", "3|Boeing 737-800"};
        QTest::newRow("bytes above 0x7f after ASCII")
            << QStringList{"1|Ä", "2|Z", "3|A"} << bytes << QStringList{"3|A", "2|Z", "1|Ä"};
        // Large enough for the linear sort: dates falling in pairs, a text every 1000 rows. With the row
        // numbers padded, plain text order is the stable date order.
        QStringList rows;
        for (int row = 0; row < 6000; ++row) {
            const QDate date = QDate(1999, 12, 1).addDays(3000 - row / 2);
            rows << (row % 1000 == 7 ? "x" + QString::number(6000 - row) : date.toString(Qt::ISODate))
                        + QString("|%1").arg(row, 4, 10, QChar('0'));
        }
        QStringList sorted = rows;
        sorted.sort();
        QTest::newRow("6000 rows by date") << rows << date << sorted;
    }

    void sortRows()
    {
        QFETCH(QStringList, rows);
        QFETCH(LogTable::SortKey, key);
        QFETCH(QStringList, sorted);
        // Rows above and below the range that would move if they were sorted too.
        const QStringList above{"~|~"}, below{"0001-01-01|!"};
        LogTable table;
        fill(table, above + rows + below);
        table.sortRows(1, table.rowCount() - 2, key == LogTable::SortKey::Date ? 0 : 1, key);
        QCOMPARE(rowsOf(table), above + sorted + below);
    }
};

QTEST_GUILESS_MAIN(tst_LogTable)
#include "tst_logtable.moc"
