// The main window flying a short flight into the log from the simulator
// chosen in the options, each helper in its own process: X-Plane's stand-in,
// and the module's stand-in behind quillon-relay (whose key the window finds
// in its default place, as on the simulator's own computer); on Windows, the
// module's stand-in itself, over the Win32 link.
#ifdef _WIN32
#include "../simlink/win32toolprocess.h"
#else
#include "../simlink/posixsimprocess.h"
#endif
#include "clsutc.h"
#include "clslogentry.h"
#include "frmmain.h"
#include "frmsimulator.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "modfunctions.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "ucacars.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <map>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;

const std::string kScenario = QUILLON_SHELL_TEST_DIR "/../sources/hop.scenario";
const QString kPlaceholder = u"[     ]"_s;

// The "state hhmm name ... fuel=lbs" lines the stand-in printed, by name: {"hhmmZ", "lbs lbs"}.
std::map<QString, std::pair<QString, QString>> standInStates(const std::vector<std::string>& lines)
{
    std::map<QString, std::pair<QString, QString>> states;
    for (const std::string& line : lines) {
        const QStringList words = QString::fromStdString(line).split(u' ', Qt::SkipEmptyParts);
        if (words.size() > 2 && words[0] == u"state"_s)
            states[words[2]] = {words[1] + u'Z', words.last().mid(words.last().indexOf(u'=') + 1) + u" lbs"_s};
    }
    return states;
}

QStringList lastLogRow()
{
    QFile file(FlightLog_Path());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QStringList() : lines.last().split(u',');
}

} // namespace

class e2e_frmMain : public QObject {
    Q_OBJECT
private slots:
    void flightIsLoggedFromTheChosenSimulator_data();
    void flightIsLoggedFromTheChosenSimulator();
};

void e2e_frmMain::flightIsLoggedFromTheChosenSimulator_data()
{
    QTest::addColumn<bool>("throughRelay");
    QTest::addColumn<QStringList>("typed"); // by the pilot before "On"; empty: left to the simulator
    QTest::addColumn<QStringList>("logged");
#ifdef _WIN32
    QTest::addRow("the module's Win32 window tells nothing") << false << QStringList(4) << QStringList(4, kPlaceholder);
#else
    QTest::addRow("X-Plane's stand-in tells the type")
        << false << QStringList{"", "N123QL", "", ""} << QStringList{"B738", "N123QL", kPlaceholder, kPlaceholder};
    QTest::addRow("the module through quillon-relay tells nothing")
        << true << QStringList(4) << QStringList(4, kPlaceholder);
#endif
}

void e2e_frmMain::flightIsLoggedFromTheChosenSimulator()
{
    QFETCH(bool, throughRelay);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, logged);

    QSettings(u"Quillon"_s, u"Quillon"_s).clear();
    QFile::remove(FlightLog_Path());
    const std::vector<std::string> flight = {"--speed", "60", "--scenario", kScenario};
#ifdef _WIN32
    Q_UNUSED(throughRelay)
    const auto sim = Win32ToolProcess::startModule(flight);
    QVERIFY2(sim, "quillon-sim.exe serves no module window");
    const std::string source = "fsuipc";
    const QString simulator = u"FS2002"_s;
#else
    std::vector<std::string> simArgs = flight;
    if (!throughRelay)
        simArgs.insert(simArgs.end(), {"--xplane", "0"});
    ChildProcess sim("quillon-sim", simArgs);
    std::string line;
    QVERIFY(sim.readLine(line, 10s) && line.rfind("ready ", 0) == 0);
    std::string source = "xplane:" + line.substr(line.find('=') + 1);
    QString simulator = QString::fromStdString("X-Plane at " + source.substr(7));
    std::optional<ChildProcess> relay;
    if (throughRelay) {
        relay.emplace("quillon-relay", std::vector<std::string>{"--listen", "127.0.0.1:0"});
        while (relay->readLine(line, 5s) && line.rfind("Listening on ", 0) != 0) {
        }
        QVERIFY2(line.rfind("Listening on ", 0) == 0, line.c_str());
        source = "relay:" + line.substr(13, line.find(' ', 13) - 13);
        simulator = u"FS2002"_s;
    }
#endif
    std::string error;
    QVERIFY(frmSimulator::storeSource(*parseSourceChoice(source, error)));

    RecordingDialogs dialogs;
    frmMain window(std::make_shared<clsUTC>(), std::make_shared<clsLogEntry>(), dialogs);
    window.show();
    ucACARS* panel = window.acarsPanel();
    const auto link = [panel](int index) { return panel->findChild<PanelTitle*>(u"Title"_s)->links()->link(index); };
    for (int i = 0; i < typed.size(); ++i)
        if (!typed[i].isEmpty())
            panel->findChild<QLineEdit*>(QStringLiteral("txtACARS_%1").arg(i))->setText(typed[i]);
    QTest::mouseClick(link(ucACARS::LINK_ON), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.statusPanel(1)->text(), u"Simulator: "_s + simulator, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(link(ucACARS::LINK_LOG)->isActive(), 60000);
    QCOMPARE(panel->findChild<QLabel*>(u"lblLink"_s)->text(), u"Tracking "_s + simulator);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.lastText()));
    QTest::mouseClick(link(ucACARS::LINK_LOG), Qt::LeftButton);
    QCOMPARE(dialogs.lastText(), u"Flight Log Saved"_s);

#ifdef _WIN32
    QVERIFY(sim->waitForLine("end", 10s));
    const auto states = standInStates(sim->lines());
#else
    std::vector<std::string> printed;
    while (sim.readLine(line, 2s) && line.rfind("end", 0) != 0)
        printed.push_back(line);
    const auto states = standInStates(printed);
#endif
    const QStringList row = lastLogRow();
    QCOMPARE(row.size(), clsLogEntry::kFieldCount);
    QCOMPARE((QStringList{row[clsLogEntry::AIRCRAFT_TYPE_FIELD], row[clsLogEntry::AIRCRAFT_ID_FIELD],
                          row[clsLogEntry::FLIGHT_ORIGIN_FIELD], row[clsLogEntry::FLIGHT_DESTINATION_FIELD]}),
             logged);
    QCOMPARE(row[clsLogEntry::TIME_OUT_FIELD], states.at(u"pushback"_s).first);
    QCOMPARE(row[clsLogEntry::TIME_OFF_FIELD], states.at(u"takeoff"_s).first);
    QCOMPARE(row[clsLogEntry::TIME_ON_FIELD], states.at(u"landing"_s).first);
    QCOMPARE(row[clsLogEntry::TIME_IN_FIELD], states.at(u"parked"_s).first);
    QCOMPARE(row[clsLogEntry::FUEL_OUT_FIELD], states.at(u"pushback"_s).second);
    QCOMPARE(row[clsLogEntry::FUEL_IN_FIELD], states.at(u"parked"_s).second);
}

QTEST_MAIN(e2e_frmMain)
#include "e2e_frmmain.moc"
