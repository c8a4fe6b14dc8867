// The whole window against quillon-sim in its own process, over the real
// link: the pilot clicks "On", types the flight's details, lets the demo fly
// and clicks "Log Flight"; the flight lands in the log file and in the grid.
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
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

constexpr int kSimSpeed = 120; // the fastest the demo allows: about 50 s
constexpr int kFlightTimeoutMs = 120000;

// One line the stand-in printed when a state took effect.
struct SimState {
    int hhmm = 0;
    QString name;
    bool brake = false;
    bool ground = false;
    int fuelLbs = 0;
};

std::optional<SimState> parseState(const QString& line)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^state (\d{4}) (\S+) brake=([01]) ground=([01]) slew=[01] fuel=(\d+)$)"));
    const QRegularExpressionMatch m = pattern.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    return SimState{m.captured(1).toInt(), m.captured(2), m.captured(3) == u"1", m.captured(4) == u"1",
                    m.captured(5).toInt()};
}

int minutesOfDay(int hhmm) { return hhmm / 100 * 60 + hhmm % 100; }

// The recorded time may be one tick (here one simulator minute) after the change.
bool recordedNear(const QString& recorded, int printedHhmm)
{
    if (!recorded.endsWith(u'Z') || recorded.size() != 5)
        return false;
    const int late = (minutesOfDay(recorded.left(4).toInt()) - minutesOfDay(printedHhmm) + 1440) % 1440;
    return late <= 1;
}

QStringList fileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    while (!file.atEnd())
        lines << QString::fromUtf8(file.readLine()).chopped(1);
    return lines;
}

LinkLabel* linkOf(QWidget* panel, int index)
{
    return panel->findChild<PanelTitle*>(QStringLiteral("Title"))->links()->link(index);
}

} // namespace

class E2eAcars : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void demoFlight_isLoggedOnce();

private:
    bool startSimulator();
    void readSimulator();

    QTemporaryDir m_runtime{QDir::tempPath() + QStringLiteral("/qe2e-XXXXXX")};
    QTemporaryDir m_data;
    QProcess m_sim;
    QString m_buffer;
    QList<SimState> m_states;
    bool m_ready = false;
};

void E2eAcars::initTestCase()
{
    QVERIFY(m_runtime.isValid() && m_data.isValid());
    QFile::setPermissions(m_runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The window and the stand-in meet in this private runtime folder; the log is written to the scratch data.
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
    QVERIFY2(startSimulator(), "quillon-sim did not start serving");
}

void E2eAcars::cleanupTestCase()
{
    if (m_sim.state() != QProcess::NotRunning) {
        m_sim.terminate();
        m_sim.waitForFinished(5000);
    }
}

bool E2eAcars::startSimulator()
{
    const QString binDir = qEnvironmentVariable("QUILLON_BIN_DIR");
    connect(&m_sim, &QProcess::readyReadStandardOutput, this, &E2eAcars::readSimulator);
    m_sim.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    m_sim.start(binDir + QStringLiteral("/quillon-sim"),
                {QStringLiteral("--speed"), QString::number(kSimSpeed), QStringLiteral("--start"), QStringLiteral("1400")});
    if (!m_sim.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!m_ready && !deadline.hasExpired())
        QTest::qWait(20);
    return m_ready;
}

void E2eAcars::readSimulator()
{
    m_buffer += QString::fromUtf8(m_sim.readAllStandardOutput());
    qsizetype end;
    while ((end = m_buffer.indexOf(u'\n')) >= 0) {
        const QString line = m_buffer.left(end).trimmed();
        m_buffer.remove(0, end + 1);
        if (line.startsWith(QStringLiteral("ready ")))
            m_ready = true;
        else if (const std::optional<SimState> state = parseState(line))
            m_states << *state;
    }
}

void E2eAcars::demoFlight_isLoggedOnce()
{
    const QString logPath = FlightLog_Path();
    QVERIFY(logPath.startsWith(m_data.path()));
    const QStringList linesBefore = fileLines(logPath);

    RecordingDialogs dialogs;
    frmMain window(std::make_shared<clsUTC>(), std::make_shared<clsLogEntry>(), dialogs);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ucACARS* acars = window.acarsPanel();
    ucFlightLog* flightLog = window.flightLogPanel();
    const qsizetype rowsBefore = flightLog->table().rowCount();

    QTest::mouseClick(linkOf(acars, ucACARS::LINK_ON), Qt::LeftButton);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.lastText()));
    const QStringList typed = {QStringLiteral("B737-800"), QStringLiteral("N737QL"), QStringLiteral("KJFK"),
                               QStringLiteral("KBOS")};
    for (int i = 0; i < 4; ++i) {
        auto* box = acars->findChild<QLineEdit*>(QStringLiteral("txtACARS_%1").arg(i));
        box->selectAll();
        QTest::keyClicks(box, typed.at(i));
    }

    LinkLabel* logFlight = linkOf(acars, ucACARS::LINK_LOG);
    QTRY_VERIFY_WITH_TIMEOUT(logFlight->isActive(), kFlightTimeoutMs);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.lastText()));
    QTest::mouseClick(logFlight, Qt::LeftButton);
    QCOMPARE(dialogs.lastText(), QStringLiteral("Flight Log Saved"));

    // What the stand-in flew: OUT at the first released brake, OFF at the
    // first airborne state, ON at the next on the ground, IN at the brake set after it.
    std::optional<SimState> out, off, on, in;
    for (const SimState& s : std::as_const(m_states)) {
        if (!out && !s.brake)
            out = s;
        else if (out && !off && !s.ground)
            off = s;
        else if (off && !on && s.ground)
            on = s;
        else if (on && !in && s.brake)
            in = s;
    }
    QVERIFY(out && off && on && in);

    const QStringList lines = fileLines(logPath);
    QCOMPARE(lines.size(), linesBefore.size() + 1);
    QCOMPARE(lines.mid(0, linesBefore.size()), linesBefore);
    qInfo().noquote() << "logged:" << lines.last();
    const QStringList row = lines.last().split(u',');
    QCOMPARE(row.size(), clsLogEntry::kFieldCount);
    QCOMPARE(row.at(clsLogEntry::FLIGHT_DATE_FIELD), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    QCOMPARE(row.at(clsLogEntry::AIRCRAFT_TYPE_FIELD), typed.at(0));
    QCOMPARE(row.at(clsLogEntry::AIRCRAFT_ID_FIELD), typed.at(1));
    QCOMPARE(row.at(clsLogEntry::FLIGHT_ORIGIN_FIELD), typed.at(2));
    QCOMPARE(row.at(clsLogEntry::FLIGHT_DESTINATION_FIELD), typed.at(3));
    QVERIFY2(recordedNear(row.at(clsLogEntry::TIME_OUT_FIELD), out->hhmm), qPrintable(lines.last()));
    QVERIFY2(recordedNear(row.at(clsLogEntry::TIME_OFF_FIELD), off->hhmm), qPrintable(lines.last()));
    QVERIFY2(recordedNear(row.at(clsLogEntry::TIME_ON_FIELD), on->hhmm), qPrintable(lines.last()));
    QVERIFY2(recordedNear(row.at(clsLogEntry::TIME_IN_FIELD), in->hhmm), qPrintable(lines.last()));
    QCOMPARE(row.at(clsLogEntry::FUEL_OUT_FIELD), QStringLiteral("%1 lbs").arg(out->fuelLbs));
    QCOMPARE(row.at(clsLogEntry::FUEL_IN_FIELD), QStringLiteral("%1 lbs").arg(in->fuelLbs));
    QCOMPARE(row.at(clsLogEntry::FUEL_USED_FIELD), QStringLiteral("%1 lbs").arg(out->fuelLbs - in->fuelLbs));

    const int blockMinutes = minutesOfDay(row.at(clsLogEntry::TIME_IN_FIELD).left(4).toInt())
                             - minutesOfDay(row.at(clsLogEntry::TIME_OUT_FIELD).left(4).toInt());
    QCOMPARE(row.at(clsLogEntry::FLIGHT_TIME_HHMM_FIELD),
             QStringLiteral("%1:%2").arg(blockMinutes / 60).arg(blockMinutes % 60, 2, 10, QLatin1Char('0')));
    const int tenths = (blockMinutes % 60 + 3) / 6;
    QCOMPARE(row.at(clsLogEntry::FLIGHT_TIME_FIELD),
             tenths == 10 ? QStringLiteral("%1.0").arg(blockMinutes / 60 + 1)
                          : QStringLiteral("%1.%2").arg(blockMinutes / 60).arg(tenths));

    // The grid holds the same row, and the panel is ready for the next flight.
    QCOMPARE(flightLog->table().rowCount(), rowsBefore + 1);
    for (int column = 0; column < clsLogEntry::kFieldCount; ++column)
        QCOMPARE(flightLog->table().cellText(rowsBefore, column), row.at(column));
    QVERIFY(!logFlight->isActive());
    QVERIFY(linkOf(acars, ucACARS::LINK_ON)->isActive());
}

QTEST_MAIN(E2eAcars)
#include "e2e_acars.moc"
