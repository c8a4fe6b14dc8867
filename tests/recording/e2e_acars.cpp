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
bool recordedNear(const QString& recorded, int printedHhmm)
{
    const QTime logged = QTime::fromString(recorded, u"hhmm'Z'"_s);
    return logged.isValid() && (QTime(printedHhmm / 100, printedHhmm % 100).secsTo(logged) + 86400) % 86400 <= 60;
}

QStringList fileLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text)
               ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
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

    std::array<QRegularExpressionMatch, 4> flown;
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
        QVERIFY2(recordedNear(row.at(timeFields[phase]), flown[phase].captured(u"hhmm").toInt()), qPrintable(lines.last()));
    const int fuelOut = flown.front().captured(u"fuel").toInt(), fuelIn = flown.back().captured(u"fuel").toInt();
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
