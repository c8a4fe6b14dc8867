// The ACARS panel flying its tracker over the scripted link: the simulator's
// variables are changed between timer ticks.
#include "clslogentry.h"
#include "fakeipcplatform.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "simvariables.h"
#include "ucacars.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QtTest>

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
// panel under test, shown offscreen.
struct Cockpit {
    SimVariables vars;
    FakeIpcPlatform fake;
    std::shared_ptr<clsLogEntry> record = std::make_shared<clsLogEntry>();
    RecordingDialogs dialogs;
    std::unique_ptr<ucACARS> panel;

    explicit Cockpit(Dialogs* useDialogs = nullptr)
    {
        fillModuleVersions(vars);
        fake.attachModule(&vars);
        vars.setU32(kFuelWeight, kLbsPerGallon * 256);
        vars.setU32(kTank1Level, kFullTank);
        setClock(1430);
        setFuelLbs(12345);
        setBrake(true);
        setOnGround(true);
        panel = std::make_unique<ucACARS>(record, useDialogs ? *useDialogs : dialogs, nullptr, fake);
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

    void click(int index) { QTest::mouseClick(link(index), Qt::LeftButton); }
    // One tick of the panel's timer, now.
    void tick() { QVERIFY(QMetaObject::invokeMethod(timer(), "timeout", Qt::DirectConnection)); }

    // The demo's phases, one tick each: OUT at 1435, OFF at 1442, ON at 1610, IN at 1620 with 10000 lbs left.
    void fly(int from, int to)
    {
        const struct { int hhmm; bool brake, ground; int fuelLbs; } steps[] = {
            {1435, false, true, 12345}, {1442, false, false, 12345}, {1610, false, true, 12345}, {1620, true, true, 10000}};
        for (int i = from; i < to; ++i) {
            setClock(steps[i].hhmm);
            setBrake(steps[i].brake);
            setOnGround(steps[i].ground);
            setFuelLbs(steps[i].fuelLbs);
            tick();
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
    int failingSends = 0;
    void failSends()
    {
        fake.setMessageHandler([this](const FakeIpcPlatform::Message&) -> IpcPlatform::SendResult {
            ++failingSends;
            throw std::runtime_error("module fault");
        });
    }
};

const QString kIdle = QStringLiteral("timer=off values=grey links=On,Reset");
const QString kTracking = QStringLiteral("timer=on values=live links=Slew Mode,Reset");
const QString kSlewing = QStringLiteral("timer=off values=live links=Normal Flight,Reset");
const QString kArrived = QStringLiteral("timer=off values=grey links=Log Flight,Reset");
const QStringList kFlightShown = {"1435Z", "1442Z", "1610Z", "1620Z", "1.8", "12345 lbs", "10000 lbs", "2345 lbs", "1:45"};

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
    void startUp_isIdle_andInactiveLinksDoNothing();
    void textBoxes_refuseLogSeparators_data();
    void textBoxes_refuseLogSeparators();
    void on_failing_reportsOnceAndStaysIdle();
    void slewMode_andResetWhileSlewing();
    void flightIN_stopsPolling_failedLogKeepsValues_retrySaves();
    void linkLost_keepsFlight_andOnContinues();
    void tickInsideBox_isDropped();
    void repeatedTickFailure_oneBoxAtATime();
};

void TestUcAcars::startUp_isIdle_andInactiveLinksDoNothing()
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

void TestUcAcars::textBoxes_refuseLogSeparators_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("hinted");

    QTest::addRow("plain text taken") << "B737" << "-800" << "B737-800" << false;
    QTest::addRow("typed comma dropped") << "B7,37" << "" << "B737" << true;
    QTest::addRow("pasted comma refused whole") << "KJFK" << ",KBOS" << "KJFK" << true;
    QTest::addRow("pasted line break refused") << "N12" << "3\n4" << "N12" << true;
    QTest::addRow("pasted carriage return refused") << "N12" << "3\r" << "N12" << true;
}

void TestUcAcars::textBoxes_refuseLogSeparators()
{
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, expected);
    QFETCH(bool, hinted);

    Cockpit c;
    QLineEdit* box = c.textBox(1);
    box->clear();
    QTest::keyClicks(box, typed);
    box->insert(pasted);
    QCOMPARE(box->text(), expected);
    QCOMPARE(c.panel->findChild<QLabel*>(u"lblHint"_s)->isVisible(), hinted);
}

// No simulator gives the tracker's own text; a run-time failure inside Start
// (here thrown by the platform) is trapped and reported with its source.
void TestUcAcars::on_failing_reportsOnceAndStaysIdle()
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

// Slewing pauses polling and keeps the values; "Reset" while slewing, then
// "On", starts tracking with the mode link reading "Slew Mode" again.
void TestUcAcars::slewMode_andResetWhileSlewing()
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
    c.click(Reset);
    QCOMPARE(c.state(), kIdle);
    QCOMPARE(c.liveValues(), QStringList(9, QString()));
    QCOMPARE(c.textBox(0)->text(), kPlaceholder);

    c.click(On);
    QCOMPARE(c.state(), kTracking);
    // The reset tracker records afresh: airborne with the brake off.
    c.setClock(1500);
    c.tick();
    QCOMPARE(c.liveValues().mid(0, 2), (QStringList{"1500Z", "1500Z"}));
}

// The tracker's texts arrive with "Z" and " lbs"; the tick that sees IN ends
// polling. A failed save keeps everything so that "Log Flight" can be repeated;
// the record is filled afresh and untouched boxes go in as the placeholder.
void TestUcAcars::flightIN_stopsPolling_failedLogKeepsValues_retrySaves()
{
    Cockpit c;
    bool saveSucceeds = false;
    QStringList savedRow;
    answerSaves(*c.record, saveSucceeds, savedRow);
    c.click(On);
    c.fly(0, 3);
    QCOMPARE(c.state(), kTracking);
    c.fly(3, 4);
    QCOMPARE(c.state(), kArrived);
    QVERIFY(!c.caption(0)->isEnabled());
    c.textBox(2)->setText(QStringLiteral("KJFK"));
    c.click(LogFlight);

    QCOMPARE(c.dialogs.shown.size(), 1);
    QCOMPARE(c.dialogs.lastTitle(), QStringLiteral("Quillon Log Entry"));
    QCOMPARE(c.dialogs.lastText(), QStringLiteral("This entry was NOT saved due to the application error"));
    QCOMPARE(c.dialogs.shown.last().icon, QMessageBox::Warning);
    QCOMPARE(c.liveValues(), kFlightShown);
    QCOMPARE(c.textBox(2)->text(), QStringLiteral("KJFK"));
    QCOMPARE(c.state(), kArrived);

    saveSucceeds = true;
    c.click(LogFlight);
    const QStringList expected = {today(), kPlaceholder, kPlaceholder, "KJFK", "1435Z", "1442Z", "12345 lbs",
                                  kPlaceholder, "1610Z", "1620Z", "10000 lbs", "1.8", "1:45", "2345 lbs"};
    QCOMPARE(savedRow, expected);
    QCOMPARE(c.state(), kIdle);
    QCOMPARE(c.liveValues(), QStringList(9, QString()));
    QCOMPARE(c.textBox(2)->text(), kPlaceholder);
    QCOMPARE(c.value(Date)->text(), today());
}

// The simulator hangs after OFF: one box, the flight kept; "On" continues it
// once the simulator answers, keeping the date on which tracking began.
void TestUcAcars::linkLost_keepsFlight_andOnContinues()
{
    Cockpit c;
    const QString yesterday = QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd"));
    c.value(Date)->setText(yesterday);
    c.click(On);
    c.fly(0, 2);
    QCOMPARE(c.value(Date)->text(), today()); // a new flight takes the day of its "On"
    const QStringList atOff = c.liveValues();

    c.fake.setDeliveryFailure(0); // every exchange times out
    c.setClock(1500);
    c.tick();
    QCOMPARE(c.dialogs.shown.size(), 1);
    QVERIFY(c.dialogs.lastText().startsWith(QStringLiteral("IPC timed out all retries")));
    QCOMPARE(c.state(), kIdle);
    QCOMPARE(c.liveValues(), atOff);

    c.click(On); // still gone: explained, nothing changes
    QCOMPARE(c.dialogs.shown.size(), 2);
    QCOMPARE(c.state(), kIdle);

    c.fake.clearDeliveryFailure();
    c.value(Date)->setText(yesterday);
    c.click(On);
    QCOMPARE(c.state(), kTracking);
    QCOMPARE(c.value(Date)->text(), yesterday);
    c.fly(2, 4);
    QCOMPARE(c.liveValues(), kFlightShown);
    QCOMPARE(c.dialogs.shown.size(), 2);
}

// A tick delivered while an earlier tick's box is open does not run.
void TestUcAcars::tickInsideBox_isDropped()
{
    Cockpit c;
    c.click(On);
    c.failSends();
    c.dialogs.whileShown = [&c](const MessageRequest&) { c.tick(); };
    c.tick();
    QCOMPARE(c.dialogs.shown.size(), 1);
    QCOMPARE(c.failingSends, 1);
    c.dialogs.whileShown = nullptr;
    c.tick(); // once the box is closed the next tick runs again
    QCOMPARE(c.dialogs.shown.size(), 2);
    QVERIFY(c.dialogs.lastText().contains(QStringLiteral("Error Source: ucACARS.tmr_Timer()")));
}

// The pilot's view of the same with real modal boxes: one box at a time,
// and tracking goes on after each.
void TestUcAcars::repeatedTickFailure_oneBoxAtATime()
{
    QtDialogs realDialogs;
    Cockpit c(&realDialogs);
    c.click(On);
    c.failSends();
    // Each box is left open for two ticks or more, then closed; the fault
    // clears with the third.
    constexpr int kBoxes = 3;
    int boxesClosed = 0;
    int mostOpenAtOnce = 0;
    QPointer<QMessageBox> current;
    QElapsedTimer openFor;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        int open = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible() && ++open && box != current) {
                current = box;
                openFor.start();
                QVERIFY(box->text().contains(QStringLiteral("Error Source: ucACARS.tmr_Timer()")));
            }
        }
        mostOpenAtOnce = std::max(mostOpenAtOnce, open);
        if (current && current->isVisible() && openFor.elapsed() >= 1300) {
            if (++boxesClosed == kBoxes)
                c.fake.setMessageHandler({});
            current->accept();
        }
    });
    watcher.start(50);
    QTRY_VERIFY_WITH_TIMEOUT(boxesClosed == kBoxes, 15000);

    QCOMPARE(mostOpenAtOnce, 1);
    QCOMPARE(c.failingSends, kBoxes); // no tick ran while a box was open
    QVERIFY(c.timer()->isActive()); // a failing tick does not stop tracking
}

QTEST_MAIN(TestUcAcars)
#include "tst_ucacars.moc"
