// The whole program flying quillon-sim's demo flight over the real link and
// the flight surviving the program's end: the real start-up and window
// (tests/recording/acarsharness.cpp) track the flight in a second process,
// which is terminated after OFF; started again, it continues the flight and
// logs it at the gate. The log's one line holds the first run's OUT, OFF and
// fuel out and the second run's ON, IN and fuel in. (That the flight is kept
// at every step, so that a kill loses nothing, the panel's own test shows.)
#include "../simlink/posixsimprocess.h"
#include "clslogentry.h"
#include "flightinprogress.h"
#include "modfunctions.h"

#include <QFile>
#include <QtTest>

#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const char* kHarness = "quillon-acars-harness";
enum Value { Out, Off, On, In, FlightTime, FuelOut, FuelIn, FuelUsed, FlightTimeHHMM, ValueCount };

// Reads the harness's lines, keeping the last values shown and every box,
// until `done` holds for a line once values have been shown.
bool readUntil(ChildProcess& harness, const std::function<bool(const QString&)>& done, QStringList& values,
               QStringList& boxes)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::string line;
    while (harness.readLineBy(line, deadline)) {
        const QString text = QString::fromStdString(line);
        if (text.startsWith(u"values "_s))
            values = text.mid(7).split(u'|');
        else if (text.startsWith(u"box "_s))
            boxes << text.mid(4);
        if (values.size() == ValueCount && done(text))
            return true;
    }
    return false;
}

QStringList fileLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text)
               ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
}

QStringList fields(const QStringList& row, std::initializer_list<int> columns)
{
    QStringList picked;
    for (int column : columns)
        picked << row.value(column);
    return picked;
}

} // namespace

class E2eFlightKept : public QObject {
    Q_OBJECT

private slots:
    void terminatedAfterOff_continuesAndLogsOnce()
    {
        const QString logPath = FlightLog_Path(), flightPath = FlightInProgress::defaultPath();
        QFile::remove(logPath);
        QFile::remove(flightPath);
        SimProcess sim({"--speed", "120", "--start", "1400"});
        QVERIFY2(sim.ok(), "quillon-sim did not start serving");

        QStringList first, boxes;
        {
            ChildProcess harness(kHarness, {});
            const auto pastOff = [&first](const QString&) { return !first[Off].isEmpty() && !first[FuelOut].isEmpty(); };
            QVERIFY2(readUntil(harness, pastOff, first, boxes), qPrintable(first.join(u'|')));
            harness.signal(SIGTERM); // it ends in order, asking nothing
            QCOMPARE(harness.waitExit(std::chrono::seconds(10)), 0);
        }
        FlightInProgress kept;
        QString error;
        QCOMPARE(FlightInProgress::load(flightPath, kept, error), FlightInProgress::Loaded::Flight);
        // The first run ended in the air: the second one must record ON itself.
        QVERIFY2(first[On].isEmpty() && kept.timeOn.isEmpty() && !kept.timeOff.isEmpty(), qPrintable(first.join(u'|')));
        QVERIFY(fileLines(logPath).isEmpty());
        QCOMPARE(boxes, QStringList());

        ChildProcess again(kHarness, {"--log"});
        QStringList second;
        const auto logged = [](const QString& line) { return line == u"logged"_s; };
        QVERIFY2(readUntil(again, logged, second, boxes), qPrintable(boxes.join(u'\n')));
        QCOMPARE(again.waitExit(std::chrono::seconds(10)), 0);
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[0].contains(u"Continue this flight?"_s), qPrintable(boxes[0]));
        QCOMPARE(boxes[1], u"Flight Log Saved"_s);

        const QStringList lines = fileLines(logPath);
        QCOMPARE(lines.size(), 1);
        const QStringList row = lines.first().split(u',');
        QCOMPARE(row.size(), clsLogEntry::kFieldCount);
        QCOMPARE(fields(row, {clsLogEntry::TIME_OUT_FIELD, clsLogEntry::TIME_OFF_FIELD, clsLogEntry::FUEL_OUT_FIELD}),
                 fields(first, {Out, Off, FuelOut}));
        QCOMPARE(fields(row, {clsLogEntry::TIME_ON_FIELD, clsLogEntry::TIME_IN_FIELD, clsLogEntry::FUEL_IN_FIELD}),
                 fields(second, {On, In, FuelIn}));
        QVERIFY(!second[In].isEmpty() && !second[FuelIn].isEmpty());
        QCOMPARE(fields(row, {clsLogEntry::AIRCRAFT_TYPE_FIELD, clsLogEntry::AIRCRAFT_ID_FIELD,
                              clsLogEntry::FLIGHT_ORIGIN_FIELD, clsLogEntry::FLIGHT_DESTINATION_FIELD}),
                 (QStringList{u"B737-800"_s, u"N737QL"_s, u"KJFK"_s, u"KBOS"_s}));
        QVERIFY(!QFile::exists(flightPath));
    }
};

QTEST_GUILESS_MAIN(E2eFlightKept)
#include "e2e_flightkept.moc"
