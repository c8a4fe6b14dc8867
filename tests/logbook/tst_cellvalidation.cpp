// The checks on an edited cell of the flight log grid, in several locales.

#include "cellvalidation.h"

#include <QtTest>

namespace {
const QDate kToday(2026, 12, 6);
const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);
const QLocale kBritain(QLocale::English, QLocale::UnitedKingdom);
const QLocale kGermany(QLocale::German, QLocale::Germany);
const QLocale kJapan(QLocale::Japanese, QLocale::Japan);
} // namespace

class tst_CellValidation : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void dates_data();
    void dates();
    void checksByColumn_data();
    void checksByColumn();
};

void tst_CellValidation::dates_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");   // empty: refused

    QTest::newRow("month first, slashes") << kUnitedStates << "7/7/2002" << "2002-07-07";
    QTest::newRow("month first, 7/8 is July") << kUnitedStates << "7/8/2002" << "2002-07-08";
    QTest::newRow("month first, dots") << kUnitedStates << "12.31.2001" << "2001-12-31";
    QTest::newRow("month first, dashes") << kUnitedStates << "07-08-2002" << "2002-07-08";
    QTest::newRow("two-digit year is not 1902") << kUnitedStates << "7/7/02" << "2002-07-07";
    QTest::newRow("two-digit year 50 back") << kUnitedStates << "1/1/76" << "1976-01-01";
    QTest::newRow("two-digit year 49 ahead") << kUnitedStates << "1/1/75" << "2075-01-01";
    QTest::newRow("ISO anywhere") << kUnitedStates << "2002-07-07" << "2002-07-07";
    QTest::newRow("ISO single digits") << kGermany << "2002-7-7" << "2002-07-07";
    QTest::newRow("surrounding spaces") << kUnitedStates << " 7/7/2002 " << "2002-07-07";
    QTest::newRow("long format, commas and all") << kUnitedStates << "Sunday, July 7, 2002" << "2002-07-07";
    QTest::newRow("day first, 7/8 is August") << kBritain << "7/8/2002" << "2002-08-07";
    QTest::newRow("day first, dots") << kGermany << "31.12.01" << "2001-12-31";
    QTest::newRow("year first") << kJapan << "2002/07/08" << "2002-07-08";
    QTest::newRow("year first, two digits") << kJapan << "02/07/08" << "2002-07-08";

    QTest::newRow("a word") << kUnitedStates << "yesterday" << "";
    QTest::newRow("month 13") << kUnitedStates << "13/1/2002" << "";
    QTest::newRow("31 June") << kUnitedStates << "6/31/2002" << "";
    QTest::newRow("29 Feb of a common year") << kUnitedStates << "2/29/2001" << "";
    QTest::newRow("mixed separators") << kUnitedStates << "7/7-2002" << "";
    QTest::newRow("three-digit year") << kUnitedStates << "7/7/202" << "";
    QTest::newRow("two numbers") << kUnitedStates << "7/7" << "";
    QTest::newRow("day first refuses month first") << kBritain << "12/31/2001" << "";
}

void tst_CellValidation::dates()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, typed);
    QFETCH(QString, stored);

    QLocale::setDefault(locale);
    const CellCheck check = validateCell(0, typed, kToday);
    QCOMPARE(check.accepted, !stored.isEmpty());
    if (check.accepted)
        QCOMPARE(check.value, stored);
    else
        QCOMPARE(check.message, QString::fromLatin1(kMsgInvalidDate));
}

void tst_CellValidation::checksByColumn_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("message");   // empty: accepted

    const QString notNumeric = QString::fromLatin1(kMsgNotNumeric);
    const QString separator = QString::fromLatin1(kMsgSeparatorInCell);

    QTest::newRow("time gets one decimal") << kUnitedStates << 11 << "2" << "2.0" << "";
    QTest::newRow("time rounded to one decimal") << kUnitedStates << 11 << "1.26" << "1.3" << "";
    QTest::newRow("time not numeric") << kUnitedStates << 11 << "two" << "" << notNumeric;
    QTest::newRow("time as HH:MM is not numeric") << kUnitedStates << 11 << "2:30" << "" << notNumeric;
    QTest::newRow("fuel used stored as typed") << kUnitedStates << 13 << "850" << "850" << "";
    QTest::newRow("fuel used negative") << kUnitedStates << 13 << "-120" << "-120" << "";
    QTest::newRow("fuel used with unit") << kUnitedStates << 13 << "850 lbs" << "" << notNumeric;
    QTest::newRow("HH:MM unchecked") << kUnitedStates << 12 << "abc" << "abc" << "";
    QTest::newRow("fuel out unchecked") << kUnitedStates << 6 << "9000 lbs" << "9000 lbs" << "";
    QTest::newRow("type keeps its spaces") << kUnitedStates << 1 << " A320 " << " A320 " << "";
    QTest::newRow("empty date") << kUnitedStates << 0 << "" << "" << "";
    QTest::newRow("empty time") << kUnitedStates << 11 << "" << "" << "";
    QTest::newRow("empty fuel used") << kUnitedStates << 13 << "" << "" << "";
    QTest::newRow("comma in type") << kUnitedStates << 1 << "A320,neo" << "" << separator;
    QTest::newRow("decimal comma stored with a point") << kGermany << 11 << "2,5" << "2.5" << "";
    QTest::newRow("grouped fuel used would hold a comma") << kUnitedStates << 13 << "1,200" << "" << separator;
    QTest::newRow("line feed in origin") << kUnitedStates << 3 << "EG\nLL" << "" << separator;
    QTest::newRow("carriage return in ID") << kUnitedStates << 2 << "G-AB\rCD" << "" << separator;
}

void tst_CellValidation::checksByColumn()
{
    QFETCH(QLocale, locale);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, message);

    QLocale::setDefault(locale);
    const CellCheck check = validateCell(column, typed, kToday);
    QCOMPARE(check.accepted, message.isEmpty());
    QCOMPARE(check.message, message);
    if (check.accepted)
        QCOMPARE(check.value, stored);
}

QTEST_GUILESS_MAIN(tst_CellValidation)
#include "tst_cellvalidation.moc"
