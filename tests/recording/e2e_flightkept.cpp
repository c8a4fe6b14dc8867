// The whole program flying quillon-sim's demo flight over the real link, and
// the flight surviving the program's end: the real start-up and window
// (tests/recording/acarsharness.cpp) track the flight in a second process,
// which is killed (or terminated) after OFF; started again, it continues the
// flight and logs it at the gate. The log's one line holds the first run's
// OUT, OFF and fuel out and the second run's ON, IN and fuel in, and they are
// the stand-in's own times and fuel. And, in this process, the panel over the
// real link while the stand-in hangs: it keeps answering, and closes at once.
#include "../simlink/posixsimprocess.h"
#include "clslogentry.h"
#include "flightinprogress.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "ucacars.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <csignal>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

const char* kHarness = "quillon-acars-harness";
enum Value { Out, Off, On, In, FlightTime, FuelOut, FuelIn, FuelUsed, FlightTimeHHMM, ValueCount };

// Private data, settings and runtime folders with short paths (a socket path has at most 107 bytes).
class PrivateFolders {
public:
    PrivateFolders() : m_root(u"/tmp/qfk-XXXXXX"_s)
    {
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
            const QString folder = m_root.path() + u'/' + QString::fromLatin1(name).mid(4, 1).toLower();
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            ::setenv(name, qPrintable(folder), 1);
        }
    }
    bool ok() const { return m_root.isValid(); }
    QString dataFile(const QString& name) const { return m_root.path() + u"/d/Quillon/"_s + name; }

private:
    QTemporaryDir m_root;
};

// Reads the harness's lines until one starts with `until`; the last values shown are kept.
bool readUntil(ChildProcess& harness, const QString& until, QStringList& values, QStringList& boxes,
               std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto left = [deadline] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    };
    std::string line;
    while (left().count() > 0 && harness.readLine(line, left())) {
        const QString text = QString::fromStdString(line);
        if (text.startsWith(u"values "_s))
            values = text.mid(7).split(u'|');
        else if (text.startsWith(u"box "_s))
            boxes << text.mid(4);
        if (values.size() == ValueCount && text.startsWith(until))
            return true;
    }
    return false;
}

// Until OFF has been recorded.
bool flyPastOff(ChildProcess& harness, QStringList& values, QStringList& boxes)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!readUntil(harness, u"values"_s, values, boxes, std::chrono::seconds(60)))
            return false;
        if (!values.at(Off).isEmpty() && !values.at(FuelOut).isEmpty())
            return true;
    }
    return false;
}

// The stand-in's state lines at OUT, OFF, ON and IN: the first released brake,
// the first airborne state, the next on the ground, and the brake set after it.
bool readFlownPhases(SimProcess& sim, std::array<QRegularExpressionMatch, 4>& phases)
{
    static const QRegularExpression pattern(
        uR"(^state (?<hhmm>\d{4}) \S+ brake=(?<brake>[01]) ground=(?<ground>[01]) slew=[01] fuel=(?<fuel>\d+)$)"_s);
    std::size_t reached = 0;
    std::string line;
    while (reached < phases.size() && sim.readLine(line, std::chrono::milliseconds(500))) {
        const QRegularExpressionMatch m = pattern.match(QString::fromStdString(line).trimmed());
        const bool brake = m.captured(u"brake") == u"1", ground = m.captured(u"ground") == u"1";
        const bool next[] = {!brake, !ground, ground, brake};
        if (m.hasMatch() && next[reached])
            phases[reached++] = m;
    }
    return reached == phases.size();
}

// The recorded time may be one tick (here one simulator minute) after the change.
bool recordedNear(const QString& recorded, const QRegularExpressionMatch& phase)
{
    const int printed = phase.captured(u"hhmm").toInt();
    const QTime logged = QTime::fromString(recorded, u"hhmm'Z'"_s);
    return logged.isValid() && (QTime(printed / 100, printed % 100).secsTo(logged) + 86400) % 86400 <= 60;
}

QStringList fileLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text)
               ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
}

} // namespace

class E2eFlightKept : public QObject {
    Q_OBJECT

private slots:
    void endedAfterOff_continuesAndLogsOnce_data();
    void endedAfterOff_continuesAndLogsOnce();
    void hangingSimulator_panelAnswersAndClosesAtOnce();
};

void E2eFlightKept::endedAfterOff_continuesAndLogsOnce_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addRow("killed") << int(SIGKILL);
    QTest::addRow("terminated") << int(SIGTERM);
}

void E2eFlightKept::endedAfterOff_continuesAndLogsOnce()
{
    QFETCH(int, signalNumber);
    PrivateFolders folders;
    QVERIFY(folders.ok());
    SimProcess sim({"--speed", "120", "--start", "1400"});
    QVERIFY2(sim.ok(), "quillon-sim did not start serving");
    const QString logPath = folders.dataFile(u"flightlog.txt"_s);
    const QString flightPath = folders.dataFile(u"flight-in-progress.json"_s);

    QStringList first, boxes;
    {
        ChildProcess harness(kHarness, {});
        QVERIFY2(flyPastOff(harness, first, boxes), qPrintable(first.join(u'|')));
        harness.signal(signalNumber);
        // Terminated, it ends in order, asking nothing; killed, it just dies.
        QCOMPARE(harness.waitExit(std::chrono::seconds(10)), signalNumber == SIGTERM ? 0 : -1);
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
    QVERIFY2(readUntil(again, u"logged"_s, second, boxes, std::chrono::seconds(120)), qPrintable(boxes.join(u'\n')));
    QCOMPARE(again.waitExit(std::chrono::seconds(10)), 0);
    QVERIFY2(boxes.value(0).contains(u"Continue this flight?"_s), qPrintable(boxes.join(u'\n')));
    QCOMPARE(boxes.value(1), u"Flight Log Saved"_s);
    QCOMPARE(boxes.size(), 2);

    const QStringList lines = fileLines(logPath);
    QCOMPARE(lines.size(), 1);
    const QStringList row = lines.first().split(u',');
    QCOMPARE(row.size(), clsLogEntry::kFieldCount);
    QCOMPARE((QStringList{row[clsLogEntry::TIME_OUT_FIELD], row[clsLogEntry::TIME_OFF_FIELD],
                          row[clsLogEntry::FUEL_OUT_FIELD]}),
             (QStringList{first[Out], first[Off], first[FuelOut]}));
    QCOMPARE((QStringList{row[clsLogEntry::TIME_ON_FIELD], row[clsLogEntry::TIME_IN_FIELD],
                          row[clsLogEntry::FUEL_IN_FIELD]}),
             (QStringList{second[On], second[In], second[FuelIn]}));
    QVERIFY(!second[In].isEmpty() && !second[FuelIn].isEmpty());
    QCOMPARE((QStringList{row[clsLogEntry::AIRCRAFT_TYPE_FIELD], row[clsLogEntry::AIRCRAFT_ID_FIELD],
                          row[clsLogEntry::FLIGHT_ORIGIN_FIELD], row[clsLogEntry::FLIGHT_DESTINATION_FIELD]}),
             (QStringList{u"B737-800"_s, u"N737QL"_s, u"KJFK"_s, u"KBOS"_s}));
    QVERIFY(!QFile::exists(flightPath));

    std::array<QRegularExpressionMatch, 4> flown;
    QVERIFY(readFlownPhases(sim, flown));
    const int timeFields[] = {clsLogEntry::TIME_OUT_FIELD, clsLogEntry::TIME_OFF_FIELD, clsLogEntry::TIME_ON_FIELD,
                              clsLogEntry::TIME_IN_FIELD};
    for (int phase = 0; phase < 4; ++phase)
        QVERIFY2(recordedNear(row.at(timeFields[phase]), flown[phase]), qPrintable(lines.first()));
    const int fuelOut = flown.front().captured(u"fuel").toInt(), fuelIn = flown.back().captured(u"fuel").toInt();
    QCOMPARE(row.at(clsLogEntry::FUEL_OUT_FIELD), QStringLiteral("%1 lbs").arg(fuelOut));
    QCOMPARE(row.at(clsLogEntry::FUEL_IN_FIELD), QStringLiteral("%1 lbs").arg(fuelIn));
    QCOMPARE(row.at(clsLogEntry::FUEL_USED_FIELD), QStringLiteral("%1 lbs").arg(fuelOut - fuelIn));
}

// The wait for a hung simulator is cancelled on POSIX within one 50 ms slice.
void E2eFlightKept::hangingSimulator_panelAnswersAndClosesAtOnce()
{
    PrivateFolders folders;
    QVERIFY(folders.ok());
    SimProcess sim({"--hang-after", "30"}); // opening and a few ticks, then silence
    QVERIFY2(sim.ok(), "quillon-sim did not start serving");
    RecordingDialogs dialogs;
    auto panel = std::make_unique<ucACARS>(std::make_shared<clsLogEntry>(), dialogs);
    panel->show();
    QTest::mouseClick(panel->findChild<PanelTitle*>(u"Title"_s)->links()->link(ucACARS::LINK_ON), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(panel->findChild<QLabel*>(u"lblLink"_s)->text(), u"Waiting for the simulator..."_s,
                              15000);
    QVERIFY(panel->isWaitingForSimulator());
    QElapsedTimer closing;
    closing.start();
    panel.reset();
    QVERIFY2(closing.elapsed() < 500, qPrintable(QString::number(closing.elapsed())));
    QCOMPARE(dialogs.shown.size(), 0);
}

QTEST_MAIN(E2eFlightKept)
#include "e2e_flightkept.moc"
