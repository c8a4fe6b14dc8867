// The checks on an edited cell of the flight log grid, in several locales.

#include "cellvalidation.h"

#include <QtTest>

using namespace Qt::StringLiterals;

struct Cell {
    QLocale locale;
    int column = 0;
    QString typed, stored, message;   // stored: when accepted; message: empty when accepted
};

class tst_CellValidation : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void cells_data();
    void cells();
};

void tst_CellValidation::cells_data()
{
    QTest::addColumn<Cell>("cell");

    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale jp(QLocale::Japanese, QLocale::Japan);

    QTest::newRow("month first") << Cell{us, 0, "7/8/2002", "2002-07-08", ""};
    QTest::newRow("month first, dots") << Cell{us, 0, "12.31.2001", "2001-12-31", ""};
    QTest::newRow("two-digit year is not 1902") << Cell{us, 0, "7/7/02", "2002-07-07", ""};
    QTest::newRow("two-digit year: next year at most") << Cell{us, 0, "1-1-27", "2027-01-01", ""};
    QTest::newRow("two-digit year: two years ahead is past") << Cell{us, 0, "1-1-28", "1928-01-01", ""};
    QTest::newRow("two-digit year: a past flight") << Cell{us, 0, "7/7/75", "1975-07-07", ""};
    QTest::newRow("ISO anywhere") << Cell{de, 0, "2002-7-7", "2002-07-07", ""};
    QTest::newRow("long format, commas and all") << Cell{us, 0, "Sunday, July 7, 2002", "2002-07-07", ""};
    QTest::newRow("day first") << Cell{uk, 0, "7/8/2002", "2002-08-07", ""};
    QTest::newRow("day first, short format") << Cell{de, 0, "31.12.01", "2001-12-31", ""};
    QTest::newRow("year first") << Cell{jp, 0, "02/07/08", "2002-07-08", ""};
    QTest::newRow("a word") << Cell{us, 0, "yesterday", "", kMsgInvalidDate};
    QTest::newRow("29 Feb of a common year") << Cell{us, 0, "2/29/2001", "", kMsgInvalidDate};
    QTest::newRow("mixed separators") << Cell{us, 0, "7/7-2002", "", kMsgInvalidDate};
    QTest::newRow("three-digit year") << Cell{us, 0, "7/7/202", "", kMsgInvalidDate};

    QTest::newRow("time rounded") << Cell{us, 11, "1.26", "1.3", ""};
    QTest::newRow("time with a unit") << Cell{us, 11, "2 h", "", kMsgNotNumeric};
    QTest::newRow("decimal comma stored with a point") << Cell{de, 11, "2,5", "2.5", ""};
    QTest::newRow("fuel used stored as typed") << Cell{us, 13, "-120", "-120", ""};
    QTest::newRow("grouped fuel used would hold a comma") << Cell{us, 13, "1,200", "", kMsgSeparatorInCell};
    QTest::newRow("other columns unchecked, spaces kept") << Cell{us, 12, " abc ", " abc ", ""};
    QTest::newRow("empty time") << Cell{us, 11, "", "", ""};
    QTest::newRow("comma in type") << Cell{us, 1, "A320,neo", "", kMsgSeparatorInCell};
    QTest::newRow("line feed in origin") << Cell{us, 3, "EG\nLL", "", kMsgSeparatorInCell};
    QTest::newRow("carriage return in ID") << Cell{us, 2, "G-AB\rCD", "", kMsgSeparatorInCell};
    QTest::newRow("accented origin stored") << Cell{de, 3, u"Zürich"_s, u"Zürich"_s, ""};
    QTest::newRow("a character the file cannot store") << Cell{us, 3, QString(QChar(0xD800)), "", kMsgNotStorable};
#ifdef Q_OS_WIN
    QTest::newRow("letters the code page lacks") << Cell{jp, 3, u"東京"_s, "", kMsgNotStorable};   // Western, under Wine
#else
    QTest::newRow("any letter in UTF-8") << Cell{jp, 3, u"東京"_s, u"東京"_s, ""};
#endif
}

void tst_CellValidation::cells()
{
    QFETCH(Cell, cell);
    QLocale::setDefault(cell.locale);
    const CellCheck check = validateCell(cell.column, cell.typed, QDate(2026, 12, 6));
    QCOMPARE(check.message, cell.message);
    QCOMPARE(check.accepted, cell.message.isEmpty());
    if (check.accepted)
        QCOMPARE(check.value, cell.stored);
}

QTEST_GUILESS_MAIN(tst_CellValidation)
#include "tst_cellvalidation.moc"
