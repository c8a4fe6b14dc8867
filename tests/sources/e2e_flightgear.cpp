// One flight across midnight through the real FlightGear, recorded at once by
// quillon-probe --track and by the main window into the log. The test plays
// the flight by setting the gear, the brake and the tanks through FlightGear's
// property server while FlightGear's clock runs; every time is checked against
// that clock and every fuel figure against the tanks, as read back from
// FlightGear itself.
#include "clslogentry.h"
#include "clsutc.h"
#include "flightgearprocess.h"
#include "frmmain.h"
#include "frmsimulator.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "modfunctions.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "ucacars.h"

#include <QLabel>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr int kMidnight = 86400;

QString hhmm(int secondOfDay)
{
    return QString::asprintf("%02d%02d", secondOfDay / 3600 % 24, secondOfDay / 60 % 60);
}

} // namespace

class e2e_FlightGear : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void probeAndWindowRecordAFlightAcrossMidnight();

private:
    // The rest of the probe's next line that starts with prefix; empty after 15 s without one.
    QString probeLine(const std::string& prefix);
    // Plays one step of the flight; both recorders must time the event by FlightGear's clock.
    void expectEvent(const std::vector<std::string>& commands, const char* probePrefix, int panelValue);
    QString panelValue(int index) const
    {
        return window->acarsPanel()->findChild<QLabel*>(u"lblACARS_%1"_s.arg(index))->text();
    }
    QString tanksReadBack()
    {
        const auto tanks =
            fg->send({"get /consumables/fuel/tank[0]/level-lbs", "get /consumables/fuel/tank[1]/level-lbs"});
        return QString::number(std::lround(std::atof(tanks[0].c_str()) + std::atof(tanks[1].c_str())));
    }

    std::unique_ptr<FlightGearProcess> fg;
    std::unique_ptr<ChildProcess> probe;
    std::vector<std::string> probeLines;
    RecordingDialogs dialogs;
    std::unique_ptr<frmMain> window;
};

void e2e_FlightGear::initTestCase()
{
    if (!FlightGearProcess::installed()) {
        if (qEnvironmentVariable("QUILLON_REQUIRE_FLIGHTGEAR") == u"1"_s)
            QFAIL("FlightGear is not installed, and QUILLON_REQUIRE_FLIGHTGEAR=1");
        QSKIP("FlightGear is not installed (scripts/setup.sh --with-flightgear)");
    }
    QElapsedTimer started;
    started.start();
    fg = std::make_unique<FlightGearProcess>();
    QVERIFY2(fg->waitReady(180s), "FlightGear did not start");
    qInfo("FlightGear answered %.1f s after its start, with an empty FG_HOME", started.elapsed() / 1000.0);
}

QString e2e_FlightGear::probeLine(const std::string& prefix)
{
    std::string line;
    while (probe->readLine(line, 15s)) {
        probeLines.push_back(line);
        if (line.rfind(prefix, 0) == 0)
            return QString::fromStdString(line.substr(prefix.size()));
    }
    return {};
}

void e2e_FlightGear::expectEvent(const std::vector<std::string>& commands, const char* probePrefix,
                                 int panelIndex)
{
    const int before = fg->utcSecondOfDay();
    fg->send(commands);
    QTRY_VERIFY_WITH_TIMEOUT(!panelValue(panelIndex).isEmpty(), 15000);
    const QString probeTime = probeLine(probePrefix);
    const int after = fg->utcSecondOfDay();
    for (const QString& time : {probeTime, panelValue(panelIndex).chopped(1)})
        QVERIFY2(time == hhmm(before) || time == hhmm(after),
                 qPrintable(probePrefix + time + u" not within "_s + hhmm(before) + u".."_s + hhmm(after)));
}

void e2e_FlightGear::probeAndWindowRecordAFlightAcrossMidnight()
{
    fg->send({"setb /gear/gear[0]/wow true", "seti /controls/gear/brake-parking 1",
              "setd /consumables/fuel/tank[0]/level-lbs 3000.4",
              "setd /consumables/fuel/tank[1]/level-lbs 1500.3"});
    QVERIFY(fg->setUtcSecondOfDay(kMidnight - 30));
    const std::string source = "flightgear:127.0.0.1:" + std::to_string(fg->port());
    const QString simulator = u"FlightGear 2020.3.16 at 127.0.0.1:"_s + QString::number(fg->port());

    probe = std::make_unique<ChildProcess>("quillon-probe",
                                           std::vector<std::string>{"--track", "--source", source});
    QSettings(u"Quillon"_s, u"Quillon"_s).clear();
    QFile::remove(FlightLog_Path());
    std::string error;
    QVERIFY(frmSimulator::storeSource(*parseSourceChoice(source, error)));
    window = std::make_unique<frmMain>(std::make_shared<clsUTC>(), std::make_shared<clsLogEntry>(), dialogs);
    window->show();
    const auto link = [this](int index) {
        return window->acarsPanel()->findChild<PanelTitle*>(u"Title"_s)->links()->link(index);
    };
    QTest::mouseClick(link(ucACARS::LINK_ON), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window->statusPanel(1)->text(), u"Simulator: "_s + simulator, 10000);
    QCOMPARE(probeLine("Simulator: "), simulator);

    expectEvent({"seti /controls/gear/brake-parking 0"}, "FlightOUT: ", 0);
    const QString fuelOut = tanksReadBack();
    QCOMPARE(probeLine("FuelOut: "), fuelOut);
    expectEvent({"setb /gear/gear[0]/wow false"}, "FlightOFF: ", 1);
    for (int wait = 0; wait < 300 && fg->utcSecondOfDay() > kMidnight / 2; ++wait) // until after midnight
        QTest::qWait(200);
    expectEvent({"setb /gear/gear[0]/wow true", "setd /consumables/fuel/tank[1]/level-lbs 700.2"},
                "FlightON: ", 2);
    // Any non-zero brake value counts as set.
    expectEvent({"setb /controls/gear/brake-parking true"}, "FlightIN: ", 3);
    const QString fuelIn = tanksReadBack();
    QCOMPARE(probeLine("FuelIn: "), fuelIn);
    QCOMPARE(probe->waitExit(5s), 0);
    for (std::string line; probe->readLine(line, 1s);)
        probeLines.push_back(line);

    // The probe: nothing else, no stray failure, no event twice.
    const auto time = [this](const char* prefix) {
        for (const std::string& line : probeLines)
            if (line.rfind(prefix, 0) == 0)
                return line.substr(std::strlen(prefix));
        return std::string();
    };
    const auto minuteOfDay = [&](const char* prefix) {
        const std::string hhmm = time(prefix);
        return std::stoi(hhmm.substr(0, 2)) * 60 + std::stoi(hhmm.substr(2));
    };
    const int blockMinutes = (minuteOfDay("FlightIN: ") - minuteOfDay("FlightOUT: ") + 1440) % 1440;
    const std::vector<std::string> expected = {
        "Result: Okay", "Simulator: " + simulator.toStdString(), "FlightOUT: " + time("FlightOUT: "),
        "Aircraft type: ufo", "Origin: KSFO", "FuelOut: " + fuelOut.toStdString(),
        "FlightOFF: " + time("FlightOFF: "), "FlightON: " + time("FlightON: "), "FlightIN: " + time("FlightIN: "),
        "Destination: KSFO", "FlightTime: 0." + std::to_string((blockMinutes + 3) / 6),
        "FlightTimeHHMM: 0:0" + std::to_string(blockMinutes), "FuelIn: " + fuelIn.toStdString(),
        "FuelUsed: " + std::to_string(fuelOut.toInt() - fuelIn.toInt())};
    QCOMPARE(probeLines, expected);

    // The window: the flight into the log, with what FlightGear tells filled in.
    QTRY_VERIFY_WITH_TIMEOUT(link(ucACARS::LINK_LOG)->isActive(), 10000);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.lastText()));
    const QStringList shown{u"ufo"_s, u"KSFO"_s, u"KSFO"_s, panelValue(0), panelValue(3), fuelOut + u" lbs"_s,
                            fuelIn + u" lbs"_s};
    QTest::mouseClick(link(ucACARS::LINK_LOG), Qt::LeftButton);
    QCOMPARE(dialogs.lastText(), u"Flight Log Saved"_s);
    QFile log(FlightLog_Path());
    QVERIFY(log.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList row = QString::fromUtf8(log.readAll()).trimmed().split(u'\n').last().split(u',');
    QCOMPARE(row.size(), clsLogEntry::kFieldCount);
    using Log = clsLogEntry;
    QCOMPARE((QStringList{row[Log::AIRCRAFT_TYPE_FIELD], row[Log::FLIGHT_ORIGIN_FIELD],
                          row[Log::FLIGHT_DESTINATION_FIELD], row[Log::TIME_OUT_FIELD], row[Log::TIME_IN_FIELD],
                          row[Log::FUEL_OUT_FIELD], row[Log::FUEL_IN_FIELD]}),
             shown);
}

QTEST_MAIN(e2e_FlightGear)
#include "e2e_flightgear.moc"
