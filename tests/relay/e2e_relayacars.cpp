// The ACARS panel flying quillon-sim's demo flight into the log through
// quillon-relay, each in its own process: the panel's tracker speaks only to
// the relay.
#include "../simlink/posixsimprocess.h"
#include "../simlink/scratchruntimedir.h"
#include "clslogentry.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "modfunctions.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "relayipcplatform.h"
#include "ucacars.h"
#include "ucflightlog.h"

#include <QFile>
#include <QLineEdit>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QStringList fileLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text)
               ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
}

// The fuel the stand-in printed with the named state ("state hhmm name ... fuel=lbs").
QString printedFuel(const QStringList& lines, const QString& state)
{
    for (const QString& line : lines) {
        if (line.startsWith(u"state "_s) && line.contains(u' ' + state + u' '))
            return line.mid(line.indexOf(u"fuel="_s) + 5).trimmed();
    }
    return u"?"_s;
}

} // namespace

class E2eRelayAcars : public QObject {
    Q_OBJECT

private slots:
    void demoFlight_isLoggedThroughTheRelay();
};

void E2eRelayAcars::demoFlight_isLoggedThroughTheRelay()
{
    ScratchRuntimeDir runtime("racars");
    const std::string keyFile = (runtime.path() / "relay.key").string();
    SimProcess sim({"--speed", "120", "--start", "1400"});
    QVERIFY(sim.ok());
    ChildProcess relay("quillon-relay", {"--listen", "127.0.0.1:0", "--key-file", keyFile});
    std::string line;
    while (relay.readLine(line, std::chrono::seconds(5)) && line.rfind("Listening on 127.0.0.1:", 0) != 0) {
    }
    QVERIFY2(line.rfind("Listening on 127.0.0.1:", 0) == 0, line.c_str());
    RelayIpcPlatform platform({"127.0.0.1", static_cast<std::uint16_t>(std::stoi(line.substr(23)))}, keyFile);

    const QString logPath = FlightLog_Path();
    const QStringList linesBefore = fileLines(logPath);
    auto record = std::make_shared<clsLogEntry>();
    RecordingDialogs dialogs;
    ucFlightLog flightLog(record, dialogs);
    ucACARS acars(record, dialogs, nullptr, platform);
    acars.show();
    const auto link = [&acars](int index) {
        return acars.findChild<PanelTitle*>(u"Title"_s)->links()->link(index);
    };
    QTest::mouseClick(link(ucACARS::LINK_ON), Qt::LeftButton);
    const QStringList typed = {u"B737-800"_s, u"N737QL"_s, u"KJFK"_s, u"KBOS"_s};
    for (int i = 0; i < typed.size(); ++i) {
        auto* box = acars.findChild<QLineEdit*>(QStringLiteral("txtACARS_%1").arg(i));
        box->selectAll();
        QTest::keyClicks(box, typed.at(i));
    }
    QTRY_VERIFY_WITH_TIMEOUT(link(ucACARS::LINK_LOG)->isActive(), 120000);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.lastText()));
    QTest::mouseClick(link(ucACARS::LINK_LOG), Qt::LeftButton);
    QCOMPARE(dialogs.lastText(), u"Flight Log Saved"_s);

    QStringList simLines;
    while (sim.readLine(line, std::chrono::milliseconds(500)))
        simLines << QString::fromStdString(line);
    const QStringList lines = fileLines(logPath);
    QCOMPARE(lines.size(), linesBefore.size() + 1);
    const QStringList row = lines.last().split(u',');
    QCOMPARE((QStringList{row[1], row[2], row[3], row[clsLogEntry::FLIGHT_DESTINATION_FIELD]}), typed);
    QCOMPARE(row.at(clsLogEntry::TIME_OUT_FIELD), u"1402Z"_s);
    QCOMPARE(row.at(clsLogEntry::TIME_IN_FIELD), u"1541Z"_s);
    QCOMPARE(row.at(clsLogEntry::FUEL_OUT_FIELD), printedFuel(simLines, u"pushback"_s) + u" lbs"_s);
    QCOMPARE(row.at(clsLogEntry::FUEL_IN_FIELD), printedFuel(simLines, u"parked"_s) + u" lbs"_s);
}

QTEST_MAIN(E2eRelayAcars)
#include "e2e_relayacars.moc"
