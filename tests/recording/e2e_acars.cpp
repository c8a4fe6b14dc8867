// The whole window against quillon-sim in its own process, over the real
// link: the pilot clicks "On", types the flight's details, lets the demo fly
// and clicks "Log Flight"; the flight lands in the log file and in the grid.
#include "../simlink/posixsimprocess.h"
#include "../simlink/scratchruntimedir.h"
#include "clslogentry.h"
#include "clsutc.h"
#include "frmmain.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "logtable.h"
#include "modfunctions.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "ucacars.h"
#include "ucflightlog.h"

#include <QDate>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QtTest>

#include <array>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A state the stand-in printed when it took effect.
struct SimState {
    int hhmm = 0;
    bool brake = false;
    bool ground = false;
    int fuelLbs = 0;
};

// The states at OUT, OFF, ON and IN: the first released brake, the first
// airborne state, the next on the ground, and the brake set after it.
bool readFlownPhases(SimProcess& sim, std::array<SimState, 4>& phases)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^state (\d{4}) \S+ brake=([01]) ground=([01]) slew=[01] fuel=(\d+)$)"));
    std::size_t reached = 0;
    std::string line;
    while (reached < phases.size() && sim.readLine(line, std::chrono::milliseconds(500))) {
        const QRegularExpressionMatch m = pattern.match(QString::fromStdString(line).trimmed());
        const SimState s{m.captured(1).toInt(), m.captured(2) == u"1", m.captured(3) == u"1", m.captured(4).toInt()};
        const bool next[] = {!s.brake, !s.ground, s.ground, s.brake};
        if (m.hasMatch() && next[reached])
            phases[reached++] = s;
    }
    return reached == phases.size();
}

int minutesOfDay(const QString& hhmmZ) { return hhmmZ.left(2).toInt() * 60 + hhmmZ.mid(2, 2).toInt(); }

// The recorded time may be one tick (here one simulator minute) after the change.
bool recordedNear(const QString& recorded, int printedHhmm)
{
    const int printed = printedHhmm / 100 * 60 + printedHhmm % 100;
    return recorded.size() == 5 && recorded.endsWith(u'Z') && (minutesOfDay(recorded) - printed + 1440) % 1440 <= 1;
}

QStringList fileLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
}

LinkLabel* linkOf(QWidget* panel, int index) { return panel->findChild<PanelTitle*>(u"Title"_s)->links()->link(index); }

} // namespace

class E2eAcars : public QObject {
    Q_OBJECT

private slots:
    void demoFlight_isLoggedOnce();
};

void E2eAcars::demoFlight_isLoggedOnce()
{
    ScratchRuntimeDir runtime("acars");
    SimProcess sim({"--speed", "120", "--start", "1400"}); // the fastest the demo allows: about 50 s
    QVERIFY2(sim.ok(), "quillon-sim did not start serving");
    const QString logPath = FlightLog_Path();
    QVERIFY(logPath.startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
    const QStringList linesBefore = fileLines(logPath);

    RecordingDialogs dialogs;
    frmMain window(std::make_shared<clsUTC>(), std::make_shared<clsLogEntry>(), dialogs);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ucACARS* acars = window.acarsPanel();
    ucFlightLog* flightLog = window.flightLogPanel();
    const qsizetype rowsBefore = flightLog->table().rowCount();

    QTest::mouseClick(linkOf(acars, ucACARS::LINK_ON), Qt::LeftButton);
    const QStringList typed = {u"B737-800"_s, u"N737QL"_s, u"KJFK"_s, u"KBOS"_s};
    for (int i = 0; i < 4; ++i) {
        auto* box = acars->findChild<QLineEdit*>(QStringLiteral("txtACARS_%1").arg(i));
        box->selectAll();
        QTest::keyClicks(box, typed.at(i));
    }

    LinkLabel* logFlight = linkOf(acars, ucACARS::LINK_LOG);
    QTRY_VERIFY_WITH_TIMEOUT(logFlight->isActive(), 120000);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.lastText()));
    QTest::mouseClick(logFlight, Qt::LeftButton);
    QCOMPARE(dialogs.lastText(), QStringLiteral("Flight Log Saved"));

    std::array<SimState, 4> flown;
    QVERIFY(readFlownPhases(sim, flown));
    const QStringList lines = fileLines(logPath);
    QCOMPARE(lines.size(), linesBefore.size() + 1);
    QCOMPARE(lines.mid(0, linesBefore.size()), linesBefore);
    const QStringList row = lines.last().split(u',');
    QCOMPARE(row.size(), clsLogEntry::kFieldCount);
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QCOMPARE((QStringList{row[0], row[1], row[2], row[3], row[clsLogEntry::FLIGHT_DESTINATION_FIELD]}),
             QStringList{today} + typed);
    const int timeFields[] = {clsLogEntry::TIME_OUT_FIELD, clsLogEntry::TIME_OFF_FIELD, clsLogEntry::TIME_ON_FIELD,
                              clsLogEntry::TIME_IN_FIELD};
    for (int phase = 0; phase < 4; ++phase)
        QVERIFY2(recordedNear(row.at(timeFields[phase]), flown[phase].hhmm), qPrintable(lines.last()));
    const int fuelOut = flown.front().fuelLbs, fuelIn = flown.back().fuelLbs;
    QCOMPARE(row.at(clsLogEntry::FUEL_OUT_FIELD), QStringLiteral("%1 lbs").arg(fuelOut));
    QCOMPARE(row.at(clsLogEntry::FUEL_IN_FIELD), QStringLiteral("%1 lbs").arg(fuelIn));
    QCOMPARE(row.at(clsLogEntry::FUEL_USED_FIELD), QStringLiteral("%1 lbs").arg(fuelOut - fuelIn));

    // The grid holds the same row, and the panel is ready for the next flight.
    QCOMPARE(flightLog->table().rowCount(), rowsBefore + 1);
    for (int column = 0; column < clsLogEntry::kFieldCount; ++column)
        QCOMPARE(flightLog->table().cellText(rowsBefore, column), row.at(column));
    QVERIFY(!logFlight->isActive());
    QVERIFY(linkOf(acars, ucACARS::LINK_ON)->isActive());
}

QTEST_MAIN(E2eAcars)
#include "e2e_acars.moc"
