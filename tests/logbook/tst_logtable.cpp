#include "logtable.h"

#include <QtTest>

namespace {

// The table's rows as "col0|col1" texts, to compare orders at a glance.
QStringList firstTwoColumns(const LogTable& table)
{
    QStringList rows;
    for (qsizetype row = 0; row < table.rowCount(); ++row)
        rows << QString::fromUtf8(table.cellBytes(row, 0) + "|" + table.cellBytes(row, 1));
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
    void resizeKeepsRowsAndAddsEmptyOnes()
    {
        LogTable table;
        table.resize(2);
        table.setCell(1, 13, "last");
        table.resize(5);
        QCOMPARE(table.rowCount(), 5);
        QCOMPARE(table.cell(1, 13), std::string_view("last"));
        for (int column = 0; column < LogTable::kColumnCount; ++column)
            QVERIFY(table.cell(4, column).empty());
        table.resize(2);
        QCOMPARE(table.cell(1, 13), std::string_view("last"));
        table.resize(0);
        QCOMPARE(table.rowCount(), 0);
    }

    // Each cell keeps its own bytes while its neighbours change, including values read from the table itself.
    void setCellChangesOneCellOnly()
    {
        LogTable table;
        table.resize(2);
        for (int column = 0; column < LogTable::kColumnCount; ++column)
            table.setCell(0, column, std::to_string(column));
        table.setCell(0, 5, "");
        table.setCell(1, 0, table.cell(0, 13));
        table.setCell(0, 3, table.cell(0, 3));
        table.setCell(0, 13, " spaces, \"quotes\"\n ");
        QCOMPARE(table.cell(0, 4), std::string_view("4"));
        QCOMPARE(table.cell(0, 5), std::string_view(""));
        QCOMPARE(table.cell(0, 3), std::string_view("3"));
        QCOMPARE(table.cell(0, 13), std::string_view(" spaces, \"quotes\"\n "));
        QCOMPARE(table.cell(1, 0), std::string_view("13"));
        QCOMPARE(table.cell(1, 1), std::string_view(""));
    }

    void cellTextIsDecodedAndEncoded()
    {
        LogTable table;
        table.resize(1);
        table.setCellText(0, 3, QStringLiteral("Zürich"));
        QCOMPARE(table.cell(0, 3), std::string_view("Z\xc3\xbcrich"));
        QCOMPARE(table.cellText(0, 3), QStringLiteral("Zürich"));
    }

    void insertAndRemoveMoveWholeRows()
    {
        LogTable table;
        fill(table, {"a|1", "b|2"});
        table.insertRow(1);
        table.insertRow(3);
        table.setCell(3, 0, "d");
        QCOMPARE(firstTwoColumns(table), QStringList({"a|1", "|", "b|2", "d|"}));
        table.removeRow(0);
        QCOMPARE(firstTwoColumns(table), QStringList({"|", "b|2", "d|"}));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, table.removeRow(3));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, table.removeRows(2, 2));
        table.removeRows(0, 2);
        QCOMPARE(firstTwoColumns(table), QStringList({"d|"}));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, table.cell(0, 14));
    }

    void sortRows_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("sorted");
        const int date = int(LogTable::SortKey::Date);
        const int bytes = int(LogTable::SortKey::Bytes);
        QTest::newRow("dates chronological, equal dates keep their order")
            << QStringList{"2003-01-02|a", "2002-12-31|b", "2003-01-02|c", "2002-12-31|d"} << 0 << date
            << QStringList{"2002-12-31|b", "2002-12-31|d", "2003-01-02|a", "2003-01-02|c"};
        QTest::newRow("non-dates after dates, in text order")
            << QStringList{"zzz|1", "|2", "2002-07-07|3", "7/7/2002|4", "2002-02-30|5", "0001-01-01|6"} << 0 << date
            << QStringList{"0001-01-01|6", "2002-07-07|3", "|2", "2002-02-30|5", "7/7/2002|4", "zzz|1"};
        QTest::newRow("leap day is a date, 1900-02-29 is not")
            << QStringList{"1900-02-29|a", "2000-02-29|b", "1999-12-31|c"} << 0 << date
            << QStringList{"1999-12-31|c", "2000-02-29|b", "1900-02-29|a"};
        QTest::newRow("types equal only when identical")
            << QStringList{"1|a320", "2|A320", "3|A320 ", "4|a320", "5|A320", "6|A32"} << 1 << bytes
            << QStringList{"6|A32", "2|A320", "5|A320", "3|A320 ", "1|a320", "4|a320"};
        QTest::newRow("long types sharing their first 8 bytes")
            << QStringList{"1|Boeing 737-800", "2|Boeing 737-700", "3|Boeing 737-800", "4|Boeing 73"} << 1 << bytes
            << QStringList{"4|Boeing 73", "2|Boeing 737-700", "1|Boeing 737-800", "3|Boeing 737-800"};
        QTest::newRow("bytes above 0x7f after ASCII")
            << QStringList{"1|Ä", "2|Z", "3|A"} << 1 << bytes << QStringList{"3|A", "2|Z", "1|Ä"};
    }

    void sortRows()
    {
        QFETCH(QStringList, rows);
        QFETCH(int, column);
        QFETCH(int, key);
        QFETCH(QStringList, sorted);
        LogTable table;
        fill(table, rows);
        table.sortRows(0, table.rowCount() - 1, column, LogTable::SortKey(key));
        QCOMPARE(firstTwoColumns(table), sorted);
    }

    void sortTouchesOnlyItsRange()
    {
        LogTable table;
        fill(table, {"c|1", "b|2", "a|3", "0|4"});
        table.sortRows(1, 2, 0, LogTable::SortKey::Bytes);
        QCOMPARE(firstTwoColumns(table), QStringList({"c|1", "a|3", "b|2", "0|4"}));
    }

    // A table large enough for the linear sort: dates in reverse with texts among them.
    void sortLargeTableByDate()
    {
        LogTable table;
        const int count = 6000;
        table.resize(count);
        const QDate day0(1999, 12, 1);
        for (int row = 0; row < count; ++row) {
            const QByteArray date = row % 1000 == 7 ? "x" + QByteArray::number(count - row)
                                                    : day0.addDays(count / 2 - row / 2).toString(Qt::ISODate).toLatin1();
            table.setCell(row, 0, date.toStdString());
            table.setCell(row, 13, std::to_string(row));
        }
        table.sortRows(0, count - 1, 0, LogTable::SortKey::Date);
        QStringList texts;
        for (int row = 1; row < count; ++row) {
            const QString before = table.cellText(row - 1, 0), here = table.cellText(row, 0);
            const bool beforeIsDate = !before.startsWith('x'), hereIsDate = !here.startsWith('x');
            QVERIFY2(beforeIsDate || !hereIsDate, "dates before texts");
            QVERIFY2(beforeIsDate != hereIsDate || before <= here, qPrintable(before + " > " + here));
            if (before == here)   // equal dates keep the order they had
                QVERIFY(table.cellText(row - 1, 13).toInt() < table.cellText(row, 13).toInt());
            if (!hereIsDate)
                texts << here;
        }
        QCOMPARE(texts, QStringList({"x1993", "x2993", "x3993", "x4993", "x5993", "x993"}));
    }
};

QTEST_GUILESS_MAIN(tst_LogTable)
#include "tst_logtable.moc"
