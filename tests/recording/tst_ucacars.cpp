// The ACARS panel flying its tracker over the scripted link: the simulator's
// variables are changed between timer ticks.
#include "clslogentry.h"
#include "fakeipcplatform.h"
#include "flightinprogress.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "simvariables.h"
#include "ucacars.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

constexpr std::uint32_t kBrake = 0x0BC8;
constexpr std::uint32_t kOnGround = 0x0366;
constexpr std::uint32_t kUtcHour = 0x023B;
constexpr std::uint32_t kFuelWeight = 0x0AF4;
constexpr std::uint32_t kTank1Level = 0x0B74;
constexpr std::uint32_t kTank1Capacity = 0x0B78;
constexpr std::uint32_t kFullTank = 128u * 65536u;
constexpr int kLbsPerGallon = 5;

const QString kPlaceholder = QStringLiteral("[     ]");
const QString kNoSimulatorText = QStringLiteral(
    "Unable to connect to FSUIPC.  Possible causes:\r\n1) Flight Simulator may not be running\r\n"
    "2) The FSUIPC.DLL may not be installed in ..\\Flight Simulator\\Modules.");

enum Link { On = 0, Mode = 1, LogFlight = 2, Reset = 3 };
enum Value { Out = 0, FlightTimeHHMM = 8, Date = 9 };

// A simulator at the gate, a record with no log panel behind it, and the
// panel under test, shown offscreen, keeping its flight in a private folder.
struct Cockpit {
    SimVariables vars;
    FakeIpcPlatform fake;
    std::shared_ptr<clsLogEntry> record = std::make_shared<clsLogEntry>();
    RecordingDialogs dialogs;
    QTemporaryDir folder;
    QString flightPath = folder.filePath(u"flight.json"_s);
    std::unique_ptr<ucACARS> panel;

    Cockpit()
    {
        fillModuleVersions(vars);
        fake.attachModule(&vars);
        vars.setU32(kFuelWeight, kLbsPerGallon * 256);
        vars.setU32(kTank1Level, kFullTank);
        setClock(1430);
        setFuelLbs(12345);
        setBrake(true);
        setOnGround(true);
        reopen();
    }

    // The panel of a new run of the program.
    void reopen()
    {
        panel.reset();
        panel = std::make_unique<ucACARS>(record, dialogs, nullptr, fake);
        panel->setFlightFilePath(flightPath);
        panel->resize(480, 360);
        panel->show();
    }

    // The hour byte, then the minute byte.
    void setClock(int hhmm) { vars.setU16(kUtcHour, std::uint16_t(hhmm / 100 | hhmm % 100 << 8)); }
    // The one tank is always full: its capacity is the weight (a multiple of kLbsPerGallon).
    void setFuelLbs(int lbs) { vars.setU32(kTank1Capacity, std::uint32_t(lbs / kLbsPerGallon)); }
    void setBrake(bool set) { vars.setU16(kBrake, set ? 32767 : 0); }
    void setOnGround(bool onGround) { vars.setU16(kOnGround, onGround ? 1 : 0); }

    LinkLabel* link(int index) const { return panel->findChild<PanelTitle*>(u"Title"_s)->links()->link(index); }
    QLabel* value(int index) const { return panel->findChild<QLabel*>(QStringLiteral("lblACARS_%1").arg(index)); }
    QLabel* caption(int index) const { return panel->findChild<QLabel*>(QStringLiteral("lblCaption_%1").arg(index)); }
    QLineEdit* textBox(int index) const { return panel->findChild<QLineEdit*>(QStringLiteral("txtACARS_%1").arg(index)); }
    QTimer* timer() const { return panel->findChild<QTimer*>(QStringLiteral("tmr")); }
    QString linkText() const { return panel->findChild<QLabel*>(u"lblLink"_s)->text(); }

    // The worker's answer to the last request has been handled.
    void settle() { QTRY_VERIFY_WITH_TIMEOUT(!panel->isWaitingForSimulator(), 5000); }
    void click(int index)
    {
        QTest::mouseClick(link(index), Qt::LeftButton);
        settle();
    }
    // A click handled before any event waiting in the queue.
    void press(int index) { emit panel->findChild<PanelTitle*>(u"Title"_s)->links()->clicked(index); }
    // One tick of the panel's timer, now, and its answer.
    void startTick() { QVERIFY(QMetaObject::invokeMethod(timer(), "timeout", Qt::DirectConnection)); }
    void tick()
    {
        startTick();
        settle();
    }

    // The demo's phases, one tick each: OUT at 1435, OFF at 1442, ON at 1610, IN at 1620 with 10000 lbs left;
    // the last step's answer is not awaited when `settled` is false.
    void fly(int from, int to, bool settled = true)
    {
        const struct { int hhmm; bool brake, ground; int fuelLbs; } steps[] = {
            {1435, false, true, 12345}, {1442, false, false, 12345}, {1610, false, true, 12345}, {1620, true, true, 10000}};
        for (int i = from; i < to; ++i) {
            setClock(steps[i].hhmm);
            setBrake(steps[i].brake);
            setOnGround(steps[i].ground);
            setFuelLbs(steps[i].fuelLbs);
            startTick();
            if (settled || i + 1 < to)
                settle();
        }
    }

    // The panel's state as the table of states names it: polling, values,
    // and the links offered (an offered link is blue, any other black).
    QString state() const
    {
        QStringList offered;
        for (int i = On; i <= Reset; ++i) {
            if (link(i)->textColor() != (link(i)->isActive() ? LinkLabel::kActiveColor : LinkLabel::kInactiveColor))
                return QStringLiteral("link %1 coloured against its state").arg(i);
            if (link(i)->isActive())
                offered << link(i)->caption();
        }
        return QStringLiteral("timer=%1 values=%2 links=%3")
            .arg(timer()->isActive() ? "on" : "off", value(Out)->isEnabled() ? "live" : "grey", offered.join(u','));
    }

    QStringList liveValues() const
    {
        QStringList texts;
        for (int i = Out; i <= FlightTimeHHMM; ++i)
            texts << value(i)->text();
        return texts;
    }
    int sends() const { return fake.callCount(FakeIpcPlatform::Operation::SendMessage); }
    // Every exchange with the module throws from now on, counted.
    std::atomic<int> failingSends = 0;
    void failSends()
    {
        fake.setMessageHandler([this](const FakeIpcPlatform::Message&) -> IpcPlatform::SendResult {
            ++failingSends;
            throw std::runtime_error("module fault");
        });
    }
    static std::uint32_t offsetAsked(const FakeIpcPlatform::Message& message)
    {
        std::uint32_t asked = 0;
        std::memcpy(&asked, message.block + 4, 4);
        return asked;
    }
    // Exchanges asking for `offset` fail to be delivered; the others are answered.
    void failReadsOf(std::uint32_t offset)
    {
        fake.setMessageHandler([this, offset](const FakeIpcPlatform::Message& message) {
            return offsetAsked(message) == offset ? FakeIpcPlatform::notDelivered(0) : fake.serveWithModule(message);
        });
    }
    // While `hanging`, exchanges asking for `offset` wait (at most 10 s);
    // cancelled, they fail as a timed-out one would. The others are answered.
    std::atomic<bool> hanging = false;
    std::atomic<int> hangs = 0;     // exchanges that began to wait
    std::atomic<int> cancelled = 0; // and of those, the ones a cancel ended
    void hang(std::uint32_t offset)
    {
        hanging = true;
        fake.setMessageHandler([this, offset](const FakeIpcPlatform::Message& message) {
            if (offsetAsked(message) != offset)
                return fake.serveWithModule(message);
            ++hangs;
            QElapsedTimer waited;
            waited.start();
            while (hanging && !fake.isCancelled() && waited.elapsed() < 10000)
                QThread::msleep(5);
            if (!fake.isCancelled())
                return fake.serveWithModule(message);
            ++cancelled;
            return FakeIpcPlatform::notDelivered(0);
        });
    }
    // Waits, without handling any event, until `count` exchanges have begun to wait.
    bool hungFor(int count) const
    {
        QElapsedTimer waited;
        waited.start();
        while (hangs < count && waited.elapsed() < 5000)
            QThread::msleep(5);
        return hangs >= count;
    }
};

const QString kIdle = QStringLiteral("timer=off values=grey links=On,Reset");
const QString kTracking = QStringLiteral("timer=on values=live links=Slew Mode,Reset");
const QString kSlewing = QStringLiteral("timer=off values=live links=Normal Flight,Reset");
const QString kArrived = QStringLiteral("timer=off values=grey links=Log Flight,Reset");
const QStringList kFlightShown = {"1435Z", "1442Z", "1610Z", "1620Z", "1.8", "12345 lbs", "10000 lbs", "2345 lbs", "1:45"};

QString fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString today() { return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")); }

// Answers each save request like the flight log panel would, keeping the row.
void answerSaves(clsLogEntry& record, const bool& succeed, QStringList& savedRow)
{
    QObject::connect(&record, &clsLogEntry::NewLogEntrySave, &record, [&] {
        savedRow.clear();
        for (int i = 0; i < clsLogEntry::kFieldCount; ++i)
            savedRow << record.field(i);
        record.New_Log_Entry_Save_Result(succeed);
    }, Qt::DirectConnection);
}

} // namespace

class TestUcAcars : public QObject {
    Q_OBJECT

private slots:
    void startUp_isIdle_andInactiveLinksDoNothing()
    {
        Cockpit c;
        QSignalSpy saves(c.record.get(), &clsLogEntry::NewLogEntrySave);
        QCOMPARE(c.state(), kIdle);
        QCOMPARE(c.value(Date)->text(), today());
        QCOMPARE(c.liveValues(), QStringList(9, QString()));
        for (int i = 0; i < 13; ++i)
            QVERIFY2(c.caption(i)->isEnabled() == (i >= 8), qPrintable(c.caption(i)->text()));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(c.textBox(i)->text(), kPlaceholder);
        // Tab or a click into a box selects the placeholder, so typing replaces it.
        c.panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(c.panel.get()));
        c.textBox(1)->setFocus(Qt::TabFocusReason);
        QCOMPARE(c.textBox(1)->selectedText(), kPlaceholder);
        QTest::mouseClick(c.textBox(0), Qt::LeftButton, {}, QPoint(3, 3));
        QTest::keyClicks(c.textBox(0), QStringLiteral("B737"));
        QCOMPARE(c.textBox(0)->text(), QStringLiteral("B737"));

        c.click(LogFlight);
        c.click(Mode);
        QCOMPARE(saves.size(), 0);
        QCOMPARE(c.state(), kIdle);
        QCOMPARE(c.link(Mode)->caption(), QStringLiteral("Slew Mode"));
        QCOMPARE(c.sends(), 0);
    }

    void textBoxes_refuseLogSeparators_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("hint"); // empty: no hint shown

        const QString separators = u"Commas and line breaks are not allowed here."_s;
        QTest::addRow("plain text taken") << "B737" << "-800" << "B737-800" << "";
        QTest::addRow("typed comma dropped") << "B7,37" << "" << "B737" << separators;
        QTest::addRow("pasted comma refused whole") << "KJFK" << ",KBOS" << "KJFK" << separators;
        QTest::addRow("pasted line break refused") << "N12" << "3\n4" << "N12" << separators;
        QTest::addRow("pasted carriage return refused") << "N12" << "3\r" << "N12" << separators;
        QTest::addRow("unstorable character refused")
            << "N12" << QString(QChar(0xD800)) << "N12" << u"The log file cannot store that character."_s;
    }

    void textBoxes_refuseLogSeparators()
    {
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        QFETCH(QString, hint);

        Cockpit c;
        QLineEdit* box = c.textBox(1);
        box->clear();
        QTest::keyClicks(box, typed);
        box->insert(pasted);
        QCOMPARE(box->text(), expected);
        const QLabel* label = c.panel->findChild<QLabel*>(u"lblHint"_s);
        QCOMPARE(label->isVisible(), !hint.isEmpty());
        if (!hint.isEmpty())
            QCOMPARE(label->text(), hint);
    }

    // No simulator gives the tracker's own text; a run-time failure inside Start
    // (here thrown by the platform) is trapped and reported with its source.
    void on_failing_reportsOnceAndStaysIdle()
    {
        Cockpit c;
        c.fake.setWindowClasses({});
        c.click(On);
        QCOMPARE(c.dialogs.shown.size(), 1);
        QCOMPARE(c.dialogs.lastText(), kNoSimulatorText);
        QCOMPARE(c.dialogs.lastTitle(), QStringLiteral("Quillon"));
        QCOMPARE(c.dialogs.shown.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(c.state(), kIdle);
        QCOMPARE(c.sends(), 0);

        c.fake.setWindowClasses({"UIPCMAIN"});
        c.failSends();
        c.click(On);
        QCOMPARE(c.dialogs.shown.size(), 2);
        QVERIFY(c.dialogs.lastText().contains(QStringLiteral("Error Source: ucACARS.ACARS_ON()")));
        QVERIFY(c.dialogs.lastText().contains(QStringLiteral("Error Description: module fault")));
        QCOMPARE(c.state(), kIdle);
        QVERIFY(!QGuiApplication::overrideCursor());

        // The failed start left no half-open link: the next "On" starts tracking.
        c.fake.setMessageHandler({});
        c.click(On);
        QCOMPARE(c.state(), kTracking);
    }

    // Slewing pauses polling and keeps the values. "Reset" with phases recorded
    // asks first; while slewing, then "On", tracking starts reading "Slew Mode".
    void slewMode_andResetAsksFirst()
    {
        Cockpit c;
        c.click(On);
        c.fly(0, 1);
        c.click(Mode);
        QCOMPARE(c.state(), kSlewing);
        c.click(Mode);
        QCOMPARE(c.state(), kTracking);
        c.setClock(1450);
        c.setOnGround(false);
        c.tick();
        QCOMPARE(c.liveValues().mid(0, 2), (QStringList{"1435Z", "1450Z"}));

        c.textBox(0)->setText(QStringLiteral("B737"));
        c.click(Mode);
        c.dialogs.answers = {QMessageBox::No, QMessageBox::Yes};
        c.click(Reset);
        QVERIFY(c.dialogs.lastText().startsWith(u"Discard the flight recorded so far?"_s));
        QCOMPARE(c.state(), kSlewing);
        c.click(Reset);
        QCOMPARE(c.dialogs.shown.size(), 2);
        QCOMPARE(c.state(), kIdle);
        QCOMPARE(c.liveValues(), QStringList(9, QString()));
        QCOMPARE(c.textBox(0)->text(), kPlaceholder);
        QVERIFY(!QFile::exists(c.flightPath));

        c.click(On);
        QCOMPARE(c.state(), kTracking);
        QCOMPARE(c.link(Mode)->caption(), QStringLiteral("Slew Mode"));
        // The reset tracker records afresh: airborne with the brake off.
        c.setClock(1500);
        c.tick();
        QCOMPARE(c.liveValues().mid(0, 2), (QStringList{"1500Z", "1500Z"}));
    }

    // The tracker's texts arrive with "Z" and " lbs"; the tick that sees IN ends
    // polling. A failed save keeps everything so that "Log Flight" can be repeated;
    // the record is filled afresh and untouched boxes go in as the placeholder.
    // What the simulator tells fills only boxes the pilot left, fit for the log.
    // No hourglass while the boxes wait for the pilot.
    void flightIN_stopsPolling_failedLogKeepsValues_retrySaves()
    {
        Cockpit c;
        bool saveSucceeds = false;
        QStringList savedRow;
        answerSaves(*c.record, saveSucceeds, savedRow);
        c.textBox(2)->setText(QStringLiteral("KJFK"));
        c.fake.setFlightDetails({"B737,800\n", "", "EGLL"});
        c.click(On);
        c.fly(0, 3);
        QCOMPARE(c.state(), kTracking);
        c.fake.setFlightDetails({"A320", "", "KBOS"});
        c.fly(3, 4);
        QCOMPARE(c.state(), kArrived);
        QVERIFY(!c.caption(0)->isEnabled());
        bool busyWhileShown = false;
        c.dialogs.whileShown = [&](const MessageRequest&) { busyWhileShown |= QGuiApplication::overrideCursor() != nullptr; };
        c.click(LogFlight);

        QCOMPARE(c.dialogs.shown.size(), 1);
        QCOMPARE(c.dialogs.lastTitle(), QStringLiteral("Quillon Log Entry"));
        QCOMPARE(c.dialogs.lastText(), QStringLiteral("This entry was NOT saved due to the application error"));
        QCOMPARE(c.dialogs.shown.last().icon, QMessageBox::Warning);
        QVERIFY(!busyWhileShown);
        QCOMPARE(c.liveValues(), kFlightShown);
        QCOMPARE(c.textBox(2)->text(), QStringLiteral("KJFK"));
        QCOMPARE(c.state(), kArrived);

        saveSucceeds = true;
        c.click(LogFlight);
        const QStringList expected = {today(), "B737 800", kPlaceholder, "KJFK", "1435Z", "1442Z", "12345 lbs",
                                      "KBOS", "1610Z", "1620Z", "10000 lbs", "1.8", "1:45", "2345 lbs"};
        QCOMPARE(savedRow, expected);
        QCOMPARE(c.state(), kIdle);
        QCOMPARE(c.liveValues(), QStringList(9, QString()));
        QCOMPARE(c.textBox(2)->text(), kPlaceholder);
        QCOMPARE(c.value(Date)->text(), today());
        QVERIFY(!QFile::exists(c.flightPath));
    }

    // The simulator stops answering after OFF: no box (it would take the focus
    // from a full-screen simulator), the panel and the status bar say it, the
    // flight is kept; "On" continues it once the simulator answers, keeping the
    // date on which tracking began.
    void linkLost_keepsFlightQuietly_andOnContinues()
    {
        Cockpit c;
        QSignalSpy status(c.panel.get(), &ucACARS::linkStatusChanged);
        const QString yesterday = QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd"));
        c.value(Date)->setText(yesterday);
        c.click(On);
        QCOMPARE(c.linkText(), u"Tracking FS2002"_s);
        c.fly(0, 2);
        QCOMPARE(c.value(Date)->text(), today()); // a new flight takes the day of its "On"
        const QStringList atOff = c.liveValues();

        c.fake.setDeliveryFailure(0); // every exchange times out
        c.setClock(1500);
        c.tick();
        QCOMPARE(c.dialogs.shown.size(), 0);
        QVERIFY2(c.linkText().startsWith(u"Link lost: IPC timed out all retries"_s), qPrintable(c.linkText()));
        QCOMPARE(status.last().at(0).toString(), u"Link lost: IPC timed out all retries"_s);
        QCOMPARE(c.state(), kIdle);
        QCOMPARE(c.liveValues(), atOff);

        c.click(On); // still gone: the pilot's own click is answered with a box
        QCOMPARE(c.dialogs.shown.size(), 1);
        QCOMPARE(c.state(), kIdle);

        c.fake.clearDeliveryFailure();
        c.value(Date)->setText(yesterday);
        c.click(On);
        QCOMPARE(c.state(), kTracking);
        QCOMPARE(c.value(Date)->text(), yesterday);
        c.fly(2, 4);
        QCOMPARE(c.liveValues(), kFlightShown);
        QCOMPARE(c.dialogs.shown.size(), 1);
    }

    // Fuel in is read in the step that sees IN: "Log Flight" waits for that step.
    // Closing meanwhile cancels the read and, the step ended, asks about the
    // arrived flight, tracking or not; the pilot is told the fuel in is missing,
    // nothing shows a bare " lbs", and "On" reads it, brake still set.
    void fuelIn_awaitedBeforeLog_cutOffIsReadAgain()
    {
        Cockpit c;
        c.click(On);
        c.fly(0, 3);
        c.hang(kFuelWeight);
        c.fly(3, 4, false);
        QVERIFY(c.hungFor(1));
        QTRY_COMPARE(c.value(3)->text(), u"1620Z"_s);
        QCOMPARE(c.state(), u"timer=off values=grey links=Reset"_s);
        for (const QString& polling : {u"off"_s, u"on"_s}) {
            c.dialogs.answers = {QMessageBox::Cancel};
            QVERIFY(!c.panel->queryClose());
            QCOMPARE(c.dialogs.shown.last().buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
            QCOMPARE(c.liveValues(), (QStringList{"1435Z", "1442Z", "1610Z", "1620Z", "1.8", "12345 lbs", "", "", "1:45"}));
            QVERIFY2(c.linkText().contains(u"Fuel IN could not be read"_s), qPrintable(c.linkText()));
            QCOMPARE(c.state(), u"timer=off values=grey links=On,Log Flight,Reset"_s);
            if (polling == u"off") { // tracking again to read it, while the read still hangs
                c.click(On);
                QCOMPARE(c.state(), kTracking);
                c.startTick();
                QVERIFY(c.hungFor(2));
            }
        }

        c.fake.setMessageHandler({});
        c.click(On);
        QTRY_COMPARE(c.state(), kArrived);
        QCOMPARE(c.liveValues(), kFlightShown);
    }

    // Fuel OUT is read again only before take-off: after OFF the panel says it stays empty.
    void fuelOutMissing_isToldWhetherItCanStillBeRead()
    {
        Cockpit c;
        c.click(On);
        c.failReadsOf(kFuelWeight);
        c.fly(0, 1);
        QVERIFY2(c.linkText().contains(u"Fuel OUT could not be read: it is read when tracking goes on, before take-off"_s),
                 qPrintable(c.linkText()));

        c.fake.setMessageHandler({});
        c.click(On);
        c.fly(1, 2);
        FlightInProgress kept; // a flight kept at OFF without its fuel OUT, continued
        QString error;
        QCOMPARE(FlightInProgress::load(c.flightPath, kept, error), FlightInProgress::Loaded::Flight);
        kept.fuelOut.reset();
        QVERIFY2(kept.save(c.flightPath, error), qPrintable(error));
        c.reopen();
        c.dialogs.answers = {QMessageBox::Yes};
        c.panel->Offer_Saved_Flight();
        c.click(On);
        c.fake.setDeliveryFailure(0);
        c.tick();
        QVERIFY2(c.linkText().contains(u"Fuel OUT could not be read: after take-off it stays empty."_s),
                 qPrintable(c.linkText()));
    }

    // While an exchange waits, the window keeps answering and, not at once, says
    // so until it is answered; a time shown is already kept. "Reset" and closing
    // cancel the exchange, and the late answers record nothing.
    void hangingSimulator_windowAnswers_resetAndCloseAtOnce()
    {
        Cockpit c;
        c.click(On);
        c.hang(kFuelWeight); // OUT is read, then its fuel waits
        c.setBrake(false);
        c.startTick();
        QVERIFY(c.hungFor(1));
        QCoreApplication::processEvents();
        QCOMPARE(c.linkText(), u"Tracking FS2002"_s);
        QTRY_COMPARE_WITH_TIMEOUT(c.linkText(), u"Waiting for the simulator..."_s, 3000);
        QCOMPARE(c.value(Out)->text(), u"1430Z"_s);
        QVERIFY(fileText(c.flightPath).contains(u"1430"_s));
        c.hanging = false;
        c.settle();
        QCOMPARE(c.linkText(), u"Tracking FS2002"_s);

        // Reset while that step's events wait in the queue, the exchange still hanging.
        c.dialogs.answers = {QMessageBox::Yes};
        c.click(Reset);
        c.click(On);
        c.hang(kFuelWeight);
        c.startTick();
        QVERIFY(c.hungFor(2));
        c.press(Reset);
        QCOMPARE(c.state(), kIdle);
        c.click(On); // served once the cancelled exchange has ended
        QCOMPARE(c.state(), kTracking);
        QCOMPARE(c.liveValues(), QStringList(9, QString()));
        QVERIFY(!QFile::exists(c.flightPath));

        QTRY_COMPARE(c.hangs.load(), 3); // the timer's own tick
        c.panel.reset();
        QCOMPARE(c.cancelled.load(), 2);
    }

    // A tick delivered while an earlier tick's error box is open does not run.
    void tickInsideBox_isDropped()
    {
        Cockpit c;
        c.click(On);
        c.failSends();
        c.dialogs.whileShown = [&c](const MessageRequest&) { c.tick(); };
        c.tick();
        QCOMPARE(c.dialogs.shown.size(), 1);
        QVERIFY(c.dialogs.lastText().contains(QStringLiteral("Error Source: ucACARS.tmr_Timer()")));
        QCOMPARE(c.failingSends.load(), 1);
        c.dialogs.whileShown = nullptr;
        c.tick(); // once the box is closed the next tick runs again
        QCOMPARE(c.dialogs.shown.size(), 2);
        QVERIFY(c.timer()->isActive()); // a failing tick does not stop tracking
    }

    // A flight kept by an earlier run is offered once at start: continued, it is
    // shown as it was and "On" goes on with it; discarded, or damaged, it is gone.
    void keptFlight_offeredAtStart_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("firstBox");

        QTest::addRow("continued") << QByteArray() << QMessageBox::Yes << u"Quillon was closed in the middle of a flight:"_s;
        QTest::addRow("discarded") << QByteArray() << QMessageBox::No << u"Quillon was closed in the middle of a flight:"_s;
        QTest::addRow("damaged set aside") << QByteArray("{\"version\": 1, \"box") << QMessageBox::Ok
                                           << u"The flight in progress kept in "_s;
    }

    void keptFlight_offeredAtStart()
    {
        QFETCH(QByteArray, damage);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, firstBox);

        Cockpit c;
        c.click(On);
        c.fly(0, 2);
        QTest::keyClicks(c.textBox(0), u"B737-800"_s);
        // typing is kept within a second
        QTRY_VERIFY_WITH_TIMEOUT(fileText(c.flightPath).contains(u"B737-800"_s), 2000);
        const QStringList atOff = c.liveValues();
        if (!damage.isEmpty()) {
            QFile file(c.flightPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(damage);
        }

        c.reopen();
        QCOMPARE(c.state(), kIdle);
        c.dialogs.answers = {answer};
        c.panel->Offer_Saved_Flight();
        QCOMPARE(c.dialogs.shown.size(), 1);
        QVERIFY2(c.dialogs.lastText().startsWith(firstBox), qPrintable(c.dialogs.lastText()));
        const bool continued = answer == QMessageBox::Yes;
        QCOMPARE(QFile::exists(c.flightPath), continued);
        QCOMPARE(QDir(c.folder.path()).entryList(QDir::Files).size(), damage.isEmpty() ? int(continued) : 1);
        QCOMPARE(c.liveValues(), continued ? atOff : QStringList(9, QString()));
        QCOMPARE(c.textBox(0)->text(), continued ? u"B737-800"_s : kPlaceholder);
        if (!continued)
            return;
        c.click(On);
        c.fly(2, 4);
        QCOMPARE(c.liveValues(), kFlightShown);
    }

    // Closing with an arrived flight offers to log it, discard it or stay; with a
    // flight in the air it is kept for the next start, and the pilot is told.
    void close_asksForAFlightNotLogged_data()
    {
        QTest::addColumn<int>("phases");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<int>("saves");

        QTest::addRow("nothing recorded: no question") << 0 << QMessageBox::Cancel << true << false << 0;
        QTest::addRow("in the air, told") << 2 << QMessageBox::Ok << true << true << 0;
        QTest::addRow("in the air, stay") << 2 << QMessageBox::Cancel << false << true << 0;
        QTest::addRow("arrived, log it") << 4 << QMessageBox::Save << true << false << 1;
        QTest::addRow("arrived, discard") << 4 << QMessageBox::Discard << true << false << 0;
        QTest::addRow("arrived, stay") << 4 << QMessageBox::Cancel << false << true << 0;
    }

    void close_asksForAFlightNotLogged()
    {
        QFETCH(int, phases);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, closes);
        QFETCH(bool, kept);
        QFETCH(int, saves);

        Cockpit c;
        bool saveSucceeds = true;
        QStringList savedRow;
        answerSaves(*c.record, saveSucceeds, savedRow);
        QSignalSpy saved(c.record.get(), &clsLogEntry::NewLogEntrySave);
        c.click(On);
        c.fly(0, phases);
        c.dialogs.answers = {answer};
        const bool closed = c.panel->queryClose();
        if (closed)
            c.panel->Close_Agreed(); // as the window does once every panel agreed
        QCOMPARE(closed, closes);
        QCOMPARE(c.dialogs.shown.size(), phases > 0 ? 1 : 0);
        QCOMPARE(QFile::exists(c.flightPath), kept);
        QCOMPARE(saved.size(), saves);
    }
};

QTEST_MAIN(TestUcAcars)
#include "tst_ucacars.moc"
