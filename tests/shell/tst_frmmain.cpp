#include "clsacars.h"
#include "clslogentry.h"
#include "clsutc.h"
#include "colors.h"
#include "flightinprogress.h"
#include "flightlogview.h"
#include "frmabout.h"
#include "frmmain.h"
#include "frmsimulator.h"
#include "frmsplash.h"
#include "imagelist.h"
#include "linklabel.h"
#include "modfunctions.h"
#include "modmain.h"
#include "paneltitle.h"
#include "propsserverstub.h"
#include "recordingdialogs.h"
#include "relaykey.h"
#include "sourceselector.h"
#include "terminationwatcher.h"
#include "ucacars.h"
#include "ucappframe.h"
#ifdef QUILLON_CHARTS
#include "uccharts.h"
#endif
#include "ucflightlog.h"
#include "ucstats.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <thread>

using namespace Qt::StringLiterals;

namespace {
// Answers the real modal boxes with `buttons`, in turn, once `inspect` has looked at the screen.
struct BoxAnswerer {
    QTimer timer;
    int boxes = 0;
    BoxAnswerer(QList<QMessageBox::StandardButton> buttons, std::function<void(QMessageBox*)> inspect)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, buttons, inspect] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                inspect(box);
                box->button(buttons.value(boxes++))->click();
            }
        });
        timer.start(20);
    }
};

// The per-user colour settings.
struct Options : QSettings {
    Options() : QSettings(QStringLiteral("Quillon"), QStringLiteral("Quillon")) { beginGroup("Options"); }
    QString text(QAnyStringView key) { return value(key).toString(); }
};
} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT
public slots:
    // Stands in for the browser.
    void recordOpenedUrl(const QUrl& url) { m_openedUrls.append(url); }

private slots:
    void init()
    {
        QDir(logPath()).removeRecursively();
        QFile::remove(logPath());
        QFile::remove(FlightInProgress::defaultPath());
        Options().clear();
        m_now = {2026, 7, 14, 9, 32, 5};
        TimeZoneDescription zone;
        zone.biasMinutes = -120; // two hours east of Greenwich, no daylight time
        m_utc = std::make_shared<clsUTC>([this] { return m_now; }, [zone] { return zone; });
        m_record = std::make_shared<clsLogEntry>();
        m_dialogs.emplace();
    }

    void startUpStateAndClock()
    {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->statusPanel(4)->text(), QStringLiteral("0732Z"));
        QCOMPARE(window->statusPanel(1)->text(), QStringLiteral("For Flight Simulation Purposes Only"));
        ucAppFrame* frame = window->appFrame();
        QCOMPARE(frame->GetActivePanel()->Key, QStringLiteral("ACARS"));
        QVERIFY(window->acarsPanel()->isVisible() && !window->flightLogPanel()->isVisible());
        QVERIFY(!frame->isCompact() && m_dialogs->shown.isEmpty());

        // No stored settings: light yellow side bar, near-black text, light blue link bars;
        // reading the defaults does not write them.
        QCOMPARE(frame->backColor(), 0xC0FFFF);
        QCOMPARE(frame->foreColor(), 18);
        QCOMPARE(linkBarColor(window->flightLogPanel()), 0xFFC0C0);
        QVERIFY(Options().allKeys().isEmpty());

        QCOMPARE(window->clockTimer()->interval(), 10000);
        m_now.minute = 33;
        window->clockTimer()->setInterval(5);
        QTRY_COMPARE(window->statusPanel(4)->text(), QStringLiteral("0733Z"));

        // The window icon and the side bar's images are drawn for the screen's density.
        QCOMPARE(window->windowIcon().pixmap(QSize(48, 48), 2.0).size(), QSize(96, 96));
        QCOMPARE(window->findChild<ImageList*>(QStringLiteral("imgSmallIcons"))->image(1, 3.0).size(), QSize(48, 48));
        QCOMPARE(window->findChild<ImageList*>(QStringLiteral("imgLargeIcons"))->image(3, 1.5).size(), QSize(48, 48));
    }

#ifdef QUILLON_CHARTS
    // A flight logged while the charts are in view shows at once; a chart's bar
    // brings the flight log panel forward with those flights selected.
    void chartBarShowsItsFlightsInTheLog()
    {
        const QByteArray a = "2026-07-01,A320,G-1,EGLL,1000Z,1010Z,9000 lbs,LFPG,1100Z,1110Z,8000 lbs,1.2,1:12,1000 lbs";
        const QByteArray b = "2026-07-02,B737,G-2,LFPG,1000Z,1010Z,9000 lbs,EGLL,1100Z,1110Z,8000 lbs,1.0,1:00,1000 lbs";
        QFile log(logPath());
        QVERIFY(QDir().mkpath(QFileInfo(logPath()).path()) && log.open(QIODevice::WriteOnly));
        QVERIFY(log.write(a + "\r\n" + b + "\r\n") > 0);
        log.close();
        auto window = makeWindow();
        window->show();
        window->appFrame()->SetActivePanel(QStringLiteral("Charts"));
        QVERIFY(window->chartsPanel()->isVisible());
        QCOMPARE(window->chartsPanel()->data().flights, 2);
        const QList<QByteArray> fields = a.split(',');
        for (int column = 0; column < clsLogEntry::kFieldCount; ++column)
            m_record->setField(column, QString::fromLatin1(fields[column]));
        m_record->New_Log_Entry_Save();
        QCOMPARE(window->chartsPanel()->data().flights, 3);

        emit window->chartsPanel()->flightsChosen({b});
        QCOMPARE(window->appFrame()->GetActivePanel()->Key, QStringLiteral("FlightLog"));
        const QModelIndexList rows = window->flightLogPanel()->grid()->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().row(), 1);
    }
#endif

    // A missing guide is reported; a guide is opened in the browser. About is
    // modal over the window, and its "OK" closes it.
    void helpMenu()
    {
        auto window = makeWindow();
        window->show();
        window->setUserGuidePath(QStringLiteral("/nonexistent/guide/index.html"));
        trigger(*window, QStringLiteral("mnuHelpContents"));
        QCOMPARE(m_dialogs->shown.size(), 1);
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("Error Source: frmMain.mnuHelpContents_Click()\r\n")));

        QTemporaryDir dir;
        const QString guide = dir.filePath(QStringLiteral("index.html"));
        QVERIFY(QFile(guide).open(QIODevice::WriteOnly));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "recordOpenedUrl");
        window->setUserGuidePath(guide);
        trigger(*window, QStringLiteral("mnuHelpContents"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(m_openedUrls, QList<QUrl>({QUrl::fromLocalFile(guide)}));

        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
            QVERIFY(about && about->parentWidget() == window.get());
            QTest::mouseClick(about->hypAbout(), Qt::LeftButton); // ends the modal loop
            seen = true;
        });
        trigger(*window, QStringLiteral("mnuHelpAbout"));
        QVERIFY(seen);
    }

    void colourCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("target");
        QTest::addRow("menu bar background") << "mnuOptionsMenuBackColor" << frmMain::kMenuBackColorKey << 0;
        QTest::addRow("menu bar caption") << "mnuOptionsMenuCaptionColor" << frmMain::kMenuForeColorKey << 1;
        QTest::addRow("link bar background") << "mnuOptionsLinkColor" << frmMain::kLinkColorKey << 2;
    }

    // Applied at once, stored as decimal text, and applied again after a
    // restart, where the picker opens on it and Cancel changes nothing.
    void colourCommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, key);
        QFETCH(int, target);
        auto applied = [target](frmMain& window) {
            const qint32 colors[] = {window.appFrame()->backColor(), window.appFrame()->foreColor(),
                                     linkBarColor(window.flightLogPanel())};
            return colors[target];
        };
        const qint32 bgr = 0x563412;
        m_dialogs->pickedColor = QColor(0x12, 0x34, 0x56);
        auto window = makeWindow();
        const qint32 before = applied(*window);
        trigger(*window, command);
        QCOMPARE(applied(*window), bgr);
        QCOMPARE(Options().text(key), QString::number(bgr));

        m_dialogs->pickedColor.reset();
        window = makeWindow();
        QCOMPARE(applied(*window), bgr);
        trigger(*window, command);
        QCOMPARE(m_dialogs->pickerOpenedWith, QList<QColor>({colorFromBgr(before), colorFromBgr(bgr)}));
        QCOMPARE(applied(*window), bgr);
        QCOMPARE(Options().allKeys().size(), 1);
    }

    // At start-up the bad colour is reported and the later ones skipped; its
    // command opens the picker on the default colour. Reset stores and applies
    // every default.
    void badStoredColourAndReset()
    {
        Options().setValue(frmMain::kLinkColorKey, QStringLiteral("255"));
        Options().setValue(frmMain::kMenuBackColorKey, QStringLiteral("yellow"));
        Options().setValue(frmMain::kMenuForeColorKey, QStringLiteral("65280"));
        auto window = makeWindow();
        QCOMPARE(m_dialogs->shown.size(), 1);
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("Error Source: frmMain.Form_Initialize()\r\n")));
        QVERIFY(m_dialogs->lastText().contains(QStringLiteral("Error Number: 13\r\n")));
        QCOMPARE(linkBarColor(window->acarsPanel()), 255); // before the bad one: applied
        QCOMPARE(window->appFrame()->foreColor(), 0);      // after it: skipped
#ifdef QUILLON_CHARTS
        QCOMPARE(window->appFrame()->itemCount(), 4); // the items stay
#else
        QCOMPARE(window->appFrame()->itemCount(), 3);
#endif
        QCOMPARE(frmMain::colorFromSettingText(QStringLiteral(" 18 ")), 18);
        QVERIFY_THROWS_EXCEPTION(std::exception, frmMain::colorFromSettingText(QStringLiteral("4294967296")));

        trigger(*window, QStringLiteral("mnuOptionsMenuBackColor"));
        QCOMPARE(m_dialogs->shown.size(), 1);
        QCOMPARE(m_dialogs->pickerOpenedWith, QList<QColor>({colorFromBgr(frmMain::kDefaultMenuBackColor)}));

        trigger(*window, QStringLiteral("mnuOptionsReset"));
        QCOMPARE(Options().text(frmMain::kLinkColorKey), QStringLiteral("16761024"));
        QCOMPARE(Options().text(frmMain::kMenuBackColorKey), QStringLiteral("12648447"));
        QCOMPARE(Options().text(frmMain::kMenuForeColorKey), QStringLiteral("18"));
        QCOMPARE(window->appFrame()->backColor(), 0xC0FFFF);
        QCOMPARE(window->appFrame()->foreColor(), 18);
        QCOMPARE(linkBarColor(window->statsPanel()), 0xFFC0C0);
    }

    // A refused cell edit left open on the hidden log panel stops Log Flight
    // and closing: the panel comes forward, on that cell, before its box.
    void refusedEditComesForward_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::addRow("Log Flight") << false;
        QTest::addRow("closing the window") << true;
    }

    void refusedEditComesForward()
    {
        QFETCH(bool, closing);
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        FlightLogView* grid = window->flightLogPanel()->grid();
        typeIntoLog(*window, 0, QStringLiteral("not a date"));
        window->appFrame()->SetActivePanel(QStringLiteral("ACARS"));

        QStringList seenWithBox;
        m_dialogs->whileShown = [&](const MessageRequest& box) {
            if (box.title == QStringLiteral("Quillon Invalid Field Entry"))
                seenWithBox << window->appFrame()->GetActivePanel()->Key
                            << QString::number(window->flightLogPanel()->isVisible() && grid->cellEditor() &&
                                               grid->currentIndex() == grid->model()->index(0, 0));
        };
        if (closing) {
            QVERIFY(!window->close());
        } else {
            m_record->setAIRCRAFT_TYPE(QStringLiteral("C172"));
            m_record->New_Log_Entry_Save();
        }
        QCOMPARE(seenWithBox, QStringList({QStringLiteral("FlightLog"), QStringLiteral("1")}));
        QVERIFY(grid->cellEditor()); // still open for the pilot to mend
    }

    // The log's question, with a value still in editing; No is answered in realModalBoxAtClosing.
    // An arrived flight that the pilot chose to discard goes only once the log agrees to close.
    void closingAsksWithTimersStopped_data()
    {
        QTest::addColumn<bool>("dirty");
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("arrived");
        const QByteArray typed(",B737,,,,,,,,,,,,\r\n");
        QTest::addRow("nothing to save closes without a question") << false << false << QByteArray() << false;
        QTest::addRow("Yes saves the value in editing and closes") << true << false << typed << false;
        QTest::addRow("a failed save keeps the window open") << true << true << QByteArray() << false;
        QTest::addRow("flight discarded, log closes") << true << false << typed << true;
        QTest::addRow("flight discarded, log's save fails") << true << true << QByteArray() << true;
    }

    void closingAsksWithTimersStopped()
    {
        QFETCH(bool, dirty);
        QFETCH(bool, saveFails);
        QFETCH(QByteArray, file);
        QFETCH(bool, arrived);
        FlightInProgress flight;
        flight.timeIn = u"0805"_s;
        QString error;
        QVERIFY(!arrived || flight.save(FlightInProgress::defaultPath(), error));
        m_dialogs->answers = {QMessageBox::Yes};
        if (arrived) // continued at start, discarded at closing
            m_dialogs->answers = {QMessageBox::Yes, QMessageBox::Discard, QMessageBox::Yes};
        auto window = makeWindow();
        window->acarsPanel()->Offer_Saved_Flight();
        window->show();
        if (dirty)
            typeIntoLog(*window, 1, QStringLiteral("B737"));
        if (saveFails) // a folder where the file should be: the save cannot replace it
            QVERIFY(QDir().mkpath(logPath()));
        QSignalSpy unloading(window.get(), &frmMain::unloading);
        QCOMPARE(window->close(), !saveFails);
        QCOMPARE(m_dialogs->shown.isEmpty(), !dirty);
        if (dirty) {
            const MessageRequest& question = m_dialogs->shown.at(arrived ? 2 : 0);
            QCOMPARE(question.text, QStringLiteral("Would you like to save the changes made to the Flight Log?"));
            QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
        }
        QCOMPARE(unloading.size(), saveFails ? 0 : 1);
        QCOMPARE(window->clockTimer()->isActive(), saveFails);
        QCOMPARE(window->isVisible(), saveFails);
        QCOMPARE(window->flightLogPanel()->isChanged(), saveFails);
        QFile log(logPath());
        QCOMPARE(log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray(), file);
        QCOMPARE(QFile::exists(FlightInProgress::defaultPath()), arrived && saveFails);
    }

    // The save question as a real modal box, with its own event loop, while the
    // status bar clock would tick every few milliseconds: nothing may tick inside
    // it, and the record and the clock are still alive when it is answered.
    void realModalBoxAtClosing()
    {
        QtDialogs dialogs;
        auto window = makeWindow(dialogs);
        window->clockTimer()->setInterval(1);
        window->dateTimeTimer()->setInterval(1);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        typeIntoLog(*window, 1, QStringLiteral("B737"));
        m_now.minute = 59;

        bool tickedInside = false;
        BoxAnswerer answerer({QMessageBox::No}, [&](QMessageBox*) {
            tickedInside |= window->statusPanel(4)->text() != QStringLiteral("0732Z")
                            || window->clockTimer()->isActive() || window->dateTimeTimer()->isActive();
        });
        std::weak_ptr<clsLogEntry> record = m_record;
        m_record.reset();
        QVERIFY(window->close());
        QVERIFY(answerer.boxes == 1 && !tickedInside);
        QVERIFY(!record.expired()); // the panels hold the record until they end
        QVERIFY(!QFileInfo::exists(logPath())); // No saves nothing
    }

    // The whole run, with a box raised while the window is being built (for
    // a bad stored colour): the splash is gone before the box, and the window
    // is shown with the arrow back; a kept flight is offered with the arrow
    // back too. Ended from outside under that question, the window closes
    // once the question is answered, releasing the program-wide objects and
    // then the window itself.
    void startUpAndShutDown()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        Options().setValue(frmMain::kMenuBackColorKey, QStringLiteral("yellow"));
        FlightInProgress flight;
        flight.timeOut = QStringLiteral("0700");
        QString error;
        QVERIFY(flight.save(FlightInProgress::defaultPath(), error));
        QtDialogs dialogs;
        TerminationWatcher termination;
        bool splashWithBox = false, busyAtQuestion = true;
        BoxAnswerer answerer({QMessageBox::Ok, QMessageBox::Yes}, [&](QMessageBox* box) {
            splashWithBox |= visibleSplash();
            if (box->text().contains(QStringLiteral("Continue this flight?"))) {
                busyAtQuestion = QGuiApplication::overrideCursor() != nullptr;
                emit termination.terminationRequested();
            }
        });
        Main(dialogs, termination);
        QVERIFY(answerer.boxes == 2 && !splashWithBox && !visibleSplash() && !busyAtQuestion);
        QVERIFY(g_objUTC && g_objLogEntry && g_frmMain && g_frmMain->isVisible());
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QVERIFY(g_frmMain->statusPanel(4)->text().endsWith(QLatin1Char('Z')));

        QTRY_VERIFY(!g_objUTC && !g_objLogEntry);
        QTRY_VERIFY(g_frmMain.isNull()); // before the dialogs it holds go
        QVERIFY(QFile::exists(FlightInProgress::defaultPath()));
    }

    // Options, "Simulator...": the choice of source, kept with the other options.
    void simulatorKindStartsFromItsDefaultsAndTheHostIsChecked()
    {
        frmSimulator dialog(SourceChoice::of(SourceChoice::Kind::Automatic));
        auto* source = dialog.findChild<QComboBox*>(QStringLiteral("cboSource"));
        auto* host = dialog.findChild<QLineEdit*>(QStringLiteral("txtHost"));
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(!host->isEnabled());
        source->setCurrentText(QStringLiteral("X-Plane"));
        QCOMPARE(dialog.source().text(), std::string("xplane:127.0.0.1:49000"));
        host->setText(QStringLiteral("[::1]"));
        dialog.findChild<QSpinBox*>(QStringLiteral("spnPort"))->setValue(49001);
        QCOMPARE(dialog.source().text(), std::string("xplane:[::1]:49001"));
        host->setText(QStringLiteral("two words"));
        QVERIFY(!ok->isEnabled());
        host->setText(QString());
        QVERIFY(!ok->isEnabled());
        source->setCurrentText(QStringLiteral("FSUIPC module"));
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.source().text(), std::string("fsuipc"));
    }

    // A key pasted for a relay on another computer replaces the key file's,
    // private to the user; the next dialog shows it as the key file's own, and
    // the stored choice. Nothing stored, or an unreadable choice, is Automatic.
    void simulatorRelaysKeyAndChoiceAreKept()
    {
        const QString keyPath = QString::fromStdString(defaultRelayKeyPath());
        QFile::remove(keyPath);
        QCOMPARE(frmSimulator::storedSource().kind, SourceChoice::Kind::Automatic);
        frmSimulator dialog(SourceChoice::of(SourceChoice::Kind::Automatic));
        auto* key = dialog.findChild<QLineEdit*>(QStringLiteral("txtKey"));
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(!key->isEnabled() && key->text().isEmpty());
        dialog.findChild<QComboBox*>(QStringLiteral("cboSource"))->setCurrentText(QStringLiteral("Relay"));
        QCOMPARE(dialog.source().text(), std::string("relay:127.0.0.1:5230"));
        key->setText(QStringLiteral("0123456789abcdef0123456789abcdeg"));
        QVERIFY(!ok->isEnabled());
        key->setText(QStringLiteral(" 0123456789ABCDEF0123456789abcdef "));
        QVERIFY(ok->isEnabled());
        QString error;
        QVERIFY2(dialog.storeKey(error), qPrintable(error));
        QFile file(keyPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("0123456789abcdef0123456789abcdef\n"));
#ifndef _WIN32 // there the key lives in the user's own profile folder
        QCOMPARE(file.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
#endif

        std::string parseError;
        QVERIFY(frmSimulator::storeSource(*parseSourceChoice("relay:simpc:5231", parseError)));
        QCOMPARE(Options().text("Simulator"), QStringLiteral("relay:simpc:5231"));
        frmSimulator again(frmSimulator::storedSource());
        QCOMPARE(again.findChild<QComboBox*>(QStringLiteral("cboSource"))->currentText(), QStringLiteral("Relay"));
        QCOMPARE(again.source().text(), std::string("relay:simpc:5231"));
        QCOMPARE(again.findChild<QLineEdit*>(QStringLiteral("txtKey"))->text(), QStringLiteral("0123456789abcdef0123456789abcdef"));
        Options().setValue("Simulator", "flightsim:1");
        QCOMPARE(frmSimulator::storedSource().kind, SourceChoice::Kind::Automatic);
    }

    void windowOpensTheStoredSourceAndNamesTheSimulatorInItsStatusBar()
    {
        PropsServerStub fg;
        for (const char* path : {"/sim/time/utc/hour", "/sim/time/utc/minute", "/sim/time/utc/second"})
            fg.set(path, "12");
        fg.set("/sim/version/flightgear", "2020.3.16");
        frmSimulator::storeSource(SourceChoice{SourceChoice::Kind::FlightGear, "127.0.0.1", fg.port()});
        auto window = makeWindow();
        QLabel* panel = window->statusPanel(1);
        const QString notice = panel->text();

        // The tracker opens and closes the link on a thread of its own.
        clsACARS tracker(window->sourceSelector());
        std::string result;
        std::thread([&] { tracker.Start(result); }).join();
        QCOMPARE(result, std::string("Okay"));
        QTRY_COMPARE(panel->text(), "Simulator: FlightGear 2020.3.16 at 127.0.0.1:" + QString::number(fg.port()));
        std::thread([&] { tracker.Stop_(); }).join();
        QTRY_COMPARE(panel->text(), notice);
    }

private:
    static QString logPath() { return FlightLog_Path(); }
    static bool visibleSplash()
    {
        const auto windows = QApplication::topLevelWidgets();
        return std::any_of(windows.begin(), windows.end(), [](QWidget* window) {
            return qobject_cast<frmSplash*>(window) && window->isVisible();
        });
    }
    static qint32 linkBarColor(QWidget* panel) { return panel->findChild<PanelTitle*>()->backColor(); }
    static void trigger(frmMain& window, const QString& item) { window.findChild<QAction*>(item)->trigger(); }
    // Brings the flight log forward and leaves `text` typed into a cell of its first row, still in editing.
    static void typeIntoLog(frmMain& window, int column, const QString& text)
    {
        window.appFrame()->SetActivePanel(QStringLiteral("FlightLog"));
        FlightLogView* grid = window.flightLogPanel()->grid();
        const QModelIndex cell = grid->model()->index(0, column);
        grid->setCurrentIndex(cell);
        grid->edit(cell);
        QVERIFY(grid->cellEditor());
        grid->cellEditor()->setText(text);
    }
    using Window = std::unique_ptr<frmMain>;
    Window makeWindow(Dialogs& dialogs) { return std::make_unique<frmMain>(m_utc, m_record, dialogs); }
    Window makeWindow() { return makeWindow(*m_dialogs); }

    LocalDateTime m_now;
    std::shared_ptr<clsUTC> m_utc;
    std::shared_ptr<clsLogEntry> m_record;
    std::optional<RecordingDialogs> m_dialogs; // records what would be shown, fresh for every test
    QList<QUrl> m_openedUrls;
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
