#include "clslogentry.h"
#include "clsutc.h"
#include "colors.h"
#include "dialogs.h"
#include "flightlogview.h"
#include "frmabout.h"
#include "frmsplash.h"
#include "frmmain.h"
#include "linklabel.h"
#include "modmain.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "twips.h"
#include "ucacars.h"
#include "ucappframe.h"
#include "ucflightlog.h"
#include "ucstats.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
// The picker as the pilot uses it: it records the colour it opened with.
class PickerDialogs : public RecordingDialogs {
public:
    QList<QColor> pickerOpenedWith;
    std::optional<QColor> pickColor(QWidget* parent, const QColor& initial, const QString& title) override
    {
        pickerOpenedWith.append(initial);
        return RecordingDialogs::pickColor(parent, initial, title);
    }
};

QString stored(const char* key)
{
    return QSettings(QStringLiteral("Quillon"), QStringLiteral("Quillon"))
        .value(QStringLiteral("Options/") + QLatin1String(key))
        .toString();
}

void store(const char* key, const QString& text)
{
    QSettings(QStringLiteral("Quillon"), QStringLiteral("Quillon")).setValue(QStringLiteral("Options/") + QLatin1String(key), text);
}

qint32 linkBarColor(QWidget* panel)
{
    return panel->findChild<PanelTitle*>()->backColor();
}
} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT
public slots:
    // Stands in for the browser.
    void recordOpenedUrl(const QUrl& url) { m_openedUrls.append(url); }

private slots:
    void init();
    void cleanup();
    void startUpState();
    void resetStoresDecimalsAndApplies();
    void colourCommand_data();
    void colourCommand();
    void cancelChangesNothing();
    void badStoredColourSkipsTheRest();
    void clockTicks();
    void layoutOnResize();
    void closingAsksWithTimersStopped_data();
    void closingAsksWithTimersStopped();
    void realModalBoxAtClosing();
    void helpContents();
    void aboutIsModalAndOwned();
    void startUpAndShutDown();

private:
    std::unique_ptr<frmMain> makeWindow(Dialogs& dialogs);
    void makeFlightLogDirty(frmMain& window);

    LocalDateTime m_now{2026, 7, 14, 9, 32, 5};
    std::shared_ptr<clsUTC> m_utc;
    std::shared_ptr<clsLogEntry> m_record;
    QList<QUrl> m_openedUrls;
};

void tst_frmMain::init()
{
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quillon/flightlog.txt"))
        .removeRecursively();
    QSettings(QStringLiteral("Quillon"), QStringLiteral("Quillon")).clear();
    QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                  + QStringLiteral("/Quillon/flightlog.txt"));
    m_now = {2026, 7, 14, 9, 32, 5};
    TimeZoneDescription zone;
    zone.biasMinutes = -120; // two hours east of Greenwich, no daylight time
    m_utc = std::make_shared<clsUTC>([this] { return m_now; }, [zone] { return zone; });
    m_record = std::make_shared<clsLogEntry>();
}

void tst_frmMain::cleanup()
{
    QSettings(QStringLiteral("Quillon"), QStringLiteral("Quillon")).clear();
}

std::unique_ptr<frmMain> tst_frmMain::makeWindow(Dialogs& dialogs)
{
    return std::make_unique<frmMain>(m_utc, m_record, dialogs);
}

// An edit typed into the flight log's new-flight row and not saved.
void tst_frmMain::makeFlightLogDirty(frmMain& window)
{
    QAbstractItemModel* model = window.flightLogPanel()->grid()->model();
    QVERIFY(model->setData(model->index(0, 1), QStringLiteral("B737")));
    QVERIFY(window.flightLogPanel()->isChanged());
}

void tst_frmMain::startUpState()
{
    RecordingDialogs dialogs;
    auto window = makeWindow(dialogs);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->windowTitle(), QStringLiteral("Quillon"));
    QCOMPARE(window->statusPanel(4)->text(), QStringLiteral("0732Z"));
    QCOMPARE(window->statusPanel(1)->text(), QStringLiteral("For Flight Simulation Purposes Only"));
    QCOMPARE(window->statusPanel(1)->toolTip(), window->statusPanel(1)->text());
    QVERIFY(!window->statusPanel(2)->text().isEmpty());
    QVERIFY(!window->statusPanel(3)->text().isEmpty());
    QCOMPARE(window->clockTimer()->interval(), 10000);
    QVERIFY(window->clockTimer()->isActive());

    ucAppFrame* frame = window->appFrame();
    QCOMPARE(frame->itemCount(), 3);
    QCOMPARE(frame->GetActivePanel()->Key, QStringLiteral("ACARS"));
    QCOMPARE(frame->headingLabel()->text(), QStringLiteral("ACARS"));
    QVERIFY(window->acarsPanel()->isVisible());
    QVERIFY(!window->flightLogPanel()->isVisible());
    QVERIFY(!window->statsPanel()->isVisible());
    QVERIFY(!frame->isCompact());
    QVERIFY(dialogs.shown.isEmpty());

    // No stored settings: light yellow side bar, near-black text, light blue link bars;
    // reading the defaults does not write them.
    QCOMPARE(frame->backColor(), 0xC0FFFF);
    QCOMPARE(frame->foreColor(), 18);
    for (QWidget* panel : {static_cast<QWidget*>(window->acarsPanel()), static_cast<QWidget*>(window->flightLogPanel()),
                           static_cast<QWidget*>(window->statsPanel())})
        QCOMPARE(linkBarColor(panel), 0xFFC0C0);
    QVERIFY(stored(frmMain::kLinkColorKey).isEmpty());

    QStringList menus;
    for (QAction* menu : window->menuBar()->actions())
        menus << menu->text();
    QCOMPARE(menus, QStringList({"&File", "&Options", "&Help"}));
    const std::pair<const char*, const char*> items[] = {
        {"mnuFileExit", "E&xit"},
        {"mnuOptionsMenuBackColor", "Change Menu Bar &Background Color"},
        {"mnuOptionsMenuCaptionColor", "Change Menu Bar &Caption Color"},
        {"mnuOptionsLinkColor", "Change &Link Bar Background Color"},
        {"mnuOptionsReset", "&Reset Default Colors"},
        {"mnuHelpContents", "&Contents ..."},
        {"mnuHelpAbout", "&About Quillon"},
    };
    for (const auto& [name, caption] : items) {
        const QAction* item = window->findChild<QAction*>(QLatin1String(name));
        QVERIFY2(item, name);
        QCOMPARE(item->text(), QLatin1String(caption));
    }
}

void tst_frmMain::resetStoresDecimalsAndApplies()
{
    store(frmMain::kLinkColorKey, QStringLiteral("255"));
    store(frmMain::kMenuBackColorKey, QStringLiteral("0"));
    store(frmMain::kMenuForeColorKey, QStringLiteral("65280"));
    RecordingDialogs dialogs;
    auto window = makeWindow(dialogs);
    QCOMPARE(window->appFrame()->backColor(), 0);
    window->findChild<QAction*>(QStringLiteral("mnuOptionsReset"))->trigger();
    QCOMPARE(stored(frmMain::kLinkColorKey), QStringLiteral("16761024"));
    QCOMPARE(stored(frmMain::kMenuBackColorKey), QStringLiteral("12648447"));
    QCOMPARE(stored(frmMain::kMenuForeColorKey), QStringLiteral("18"));
    QCOMPARE(window->appFrame()->backColor(), 0xC0FFFF);
    QCOMPARE(window->appFrame()->foreColor(), 18);
    QCOMPARE(linkBarColor(window->statsPanel()), 0xFFC0C0);
    QVERIFY(dialogs.shown.isEmpty());
}

void tst_frmMain::colourCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("target");
    QTest::addRow("menu bar background") << "mnuOptionsMenuBackColor" << frmMain::kMenuBackColorKey << 0;
    QTest::addRow("menu bar caption") << "mnuOptionsMenuCaptionColor" << frmMain::kMenuForeColorKey << 1;
    QTest::addRow("link bar background") << "mnuOptionsLinkColor" << frmMain::kLinkColorKey << 2;
}

// Applied at once, stored as decimal text, and applied again after a restart.
void tst_frmMain::colourCommand()
{
    QFETCH(QString, command);
    QFETCH(QString, key);
    QFETCH(int, target);
    auto applied = [target](frmMain& window) {
        switch (target) {
        case 0: return window.appFrame()->backColor();
        case 1: return window.appFrame()->foreColor();
        default: return linkBarColor(window.flightLogPanel());
        }
    };
    const QColor chosen(0x12, 0x34, 0x56);
    const qint32 bgr = 0x563412;
    {
        PickerDialogs dialogs;
        dialogs.pickedColor = chosen;
        auto window = makeWindow(dialogs);
        const qint32 before = applied(*window);
        window->findChild<QAction*>(command)->trigger();
        QCOMPARE(dialogs.pickerOpenedWith, QList<QColor>({colorFromBgr(before)}));
        QCOMPARE(applied(*window), bgr);
        QCOMPARE(stored(key.toLatin1().constData()), QString::number(bgr));
    }
    RecordingDialogs dialogs;
    auto restarted = makeWindow(dialogs);
    QCOMPARE(applied(*restarted), bgr);
}

void tst_frmMain::cancelChangesNothing()
{
    store(frmMain::kMenuBackColorKey, QStringLiteral("8421504"));
    PickerDialogs dialogs; // pickedColor stays empty: Cancel
    auto window = makeWindow(dialogs);
    for (const char* command : {"mnuOptionsMenuBackColor", "mnuOptionsMenuCaptionColor", "mnuOptionsLinkColor"})
        window->findChild<QAction*>(QLatin1String(command))->trigger();
    QCOMPARE(dialogs.pickerOpenedWith.first(), QColor(0x80, 0x80, 0x80));
    QCOMPARE(window->appFrame()->backColor(), 0x808080);
    QCOMPARE(window->appFrame()->foreColor(), 18);
    QCOMPARE(linkBarColor(window->acarsPanel()), 0xFFC0C0);
    QCOMPARE(stored(frmMain::kMenuBackColorKey), QStringLiteral("8421504"));
    QVERIFY(stored(frmMain::kMenuForeColorKey).isEmpty());
    QVERIFY(stored(frmMain::kLinkColorKey).isEmpty());
}

void tst_frmMain::badStoredColourSkipsTheRest()
{
    store(frmMain::kLinkColorKey, QStringLiteral("255"));
    store(frmMain::kMenuBackColorKey, QStringLiteral("yellow"));
    store(frmMain::kMenuForeColorKey, QStringLiteral("65280"));
    RecordingDialogs dialogs;
    auto window = makeWindow(dialogs);
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.lastTitle(), QStringLiteral("Quillon Error"));
    QVERIFY(dialogs.lastText().contains(QStringLiteral("Error Source: frmMain.Form_Initialize()\r\n")));
    QVERIFY(dialogs.lastText().contains(QStringLiteral("Error Number: 13\r\n")));
    QCOMPARE(linkBarColor(window->acarsPanel()), 255);           // before the bad one: applied
    QCOMPARE(window->appFrame()->foreColor(), 0);                // after it: skipped
    QCOMPARE(window->appFrame()->itemCount(), 3);                // the items stay
    QCOMPARE(frmMain::colorFromSettingText(QStringLiteral(" 18 ")), 18);
    QVERIFY_THROWS_EXCEPTION(std::exception, frmMain::colorFromSettingText(QStringLiteral("4294967296")));
}

void tst_frmMain::clockTicks()
{
    RecordingDialogs dialogs;
    auto window = makeWindow(dialogs);
    m_now.minute = 33;
    QCOMPARE(window->statusPanel(4)->text(), QStringLiteral("0732Z"));
    window->clockTimer()->setInterval(5);
    QTRY_COMPARE(window->statusPanel(4)->text(), QStringLiteral("0733Z"));
}

// Too small a window leaves the frame at its last valid height.
void tst_frmMain::layoutOnResize()
{
    RecordingDialogs dialogs;
    auto window = makeWindow(dialogs);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QWidget* client = window->centralWidget();
    ucAppFrame* frame = window->appFrame();
    QCOMPARE(frame->width(), client->width());
    QCOMPARE(frame->y() + frame->height() + twipsToPixelsY(50, window.get()), client->height());

    window->resize(500, 330);
    QTRY_VERIFY(frame->isCompact());
    QCOMPARE(frame->headingLabel()->font().pointSize(), 12);
    const int lastHeight = frame->height();
    window->resize(500, window->menuBar()->height() + window->statusBar()->height() + 1);
    QTRY_COMPARE(frame->width(), client->width());
    QCOMPARE(frame->height(), lastHeight);
    QVERIFY(dialogs.shown.isEmpty());
}

void tst_frmMain::closingAsksWithTimersStopped_data()
{
    QTest::addColumn<bool>("dirty");
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addRow("nothing to save closes without a question") << false << false << QMessageBox::No << true;
    QTest::addRow("No closes without saving") << true << false << QMessageBox::No << true;
    QTest::addRow("Yes saves and closes") << true << false << QMessageBox::Yes << true;
    QTest::addRow("a failed save keeps the window open") << true << true << QMessageBox::Yes << false;
}

void tst_frmMain::closingAsksWithTimersStopped()
{
    QFETCH(bool, dirty);
    QFETCH(bool, saveFails);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, closes);
    RecordingDialogs dialogs;
    dialogs.answers = {answer};
    auto window = makeWindow(dialogs);
    window->show();
    if (dirty)
        makeFlightLogDirty(*window);
    if (saveFails) // a folder where the file should be: the save cannot replace it
        QVERIFY(QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                              + QStringLiteral("/Quillon/flightlog.txt")));
    bool timersRanInsideQuestion = false;
    dialogs.whileShown = [&](const MessageRequest&) {
        timersRanInsideQuestion |= window->clockTimer()->isActive() || window->dateTimeTimer()->isActive();
    };
    QSignalSpy unloading(window.get(), &frmMain::unloading);
    QCOMPARE(window->close(), closes);
    QCOMPARE(dialogs.shown.isEmpty(), !dirty);
    QVERIFY(!timersRanInsideQuestion);
    QCOMPARE(unloading.size(), closes ? 1 : 0);
    QCOMPARE(window->clockTimer()->isActive(), !closes);
    QCOMPARE(window->isVisible(), !closes);
    if (saveFails)
        QVERIFY(window->flightLogPanel()->isChanged());
}

// The save question as a real modal box, with its own event loop, while the
// status bar clock would tick every few milliseconds: nothing may tick inside
// it, and the record and the clock are still alive when it is answered.
void tst_frmMain::realModalBoxAtClosing()
{
    QtDialogs dialogs;
    auto window = makeWindow(dialogs);
    window->clockTimer()->setInterval(1);
    window->dateTimeTimer()->setInterval(1);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    makeFlightLogDirty(*window);
    m_now.minute = 59;

    bool sawBox = false;
    bool tickedInside = false;
    QTimer answerer;
    answerer.setInterval(20);
    connect(&answerer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        sawBox = true;
        tickedInside = window->statusPanel(4)->text() != QStringLiteral("0732Z") || window->clockTimer()->isActive();
        box->button(QMessageBox::No)->click();
    });
    answerer.start();
    std::weak_ptr<clsLogEntry> record = m_record;
    m_record.reset();
    QVERIFY(window->close());
    answerer.stop();
    QVERIFY(sawBox);
    QVERIFY(!tickedInside);
    QVERIFY(!record.expired()); // the panels hold the record until they end
}

void tst_frmMain::helpContents()
{
    RecordingDialogs dialogs;
    auto window = makeWindow(dialogs);
    QAction* contents = window->findChild<QAction*>(QStringLiteral("mnuHelpContents"));

    window->setUserGuidePath(QStringLiteral("/nonexistent/guide/index.html"));
    contents->trigger();
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.lastText().contains(QStringLiteral("Error Source: frmMain.mnuHelpContents_Click()\r\n")));
    QVERIFY(dialogs.lastText().contains(QStringLiteral("/nonexistent/guide/index.html")));

    QTemporaryDir dir;
    const QString guide = dir.filePath(QStringLiteral("index.html"));
    QFile file(guide);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "recordOpenedUrl");
    window->setUserGuidePath(guide);
    contents->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(m_openedUrls, QList<QUrl>({QUrl::fromLocalFile(guide)}));
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(frmMain::defaultUserGuidePath().endsWith(QStringLiteral("share/doc/quillon/guide/index.html")));
}

void tst_frmMain::aboutIsModalAndOwned()
{
    RecordingDialogs dialogs;
    auto window = makeWindow(dialogs);
    window->show();
    QWidget* seenParent = nullptr;
    QString seenTitle;
    QTimer::singleShot(0, this, [&] {
        auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        QVERIFY(about);
        seenParent = about->parentWidget();
        seenTitle = about->windowTitle();
        QTest::mouseClick(about->hypAbout(), Qt::LeftButton);
    });
    window->findChild<QAction*>(QStringLiteral("mnuHelpAbout"))->trigger();
    QCOMPARE(seenParent, window.get());
    QCOMPARE(seenTitle, QStringLiteral("About Quillon"));
}


// The whole run: the window shown with the splash gone and the arrow back;
// closing releases the program-wide objects and then the window itself.
void tst_frmMain::startUpAndShutDown()
{
    QApplication::setQuitOnLastWindowClosed(false);
    RecordingDialogs dialogs;
    Main(dialogs);
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(g_frmMain);
    QVERIFY(g_frmMain->isVisible());
    QVERIFY(g_objUTC && g_objLogEntry);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QVERIFY(QApplication::topLevelWidgets().count() > 0);
    for (QWidget* window : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<frmSplash*>(window));
    QVERIFY(g_frmMain->statusPanel(4)->text().endsWith(QLatin1Char('Z')));

    QVERIFY(g_frmMain->close());
    QVERIFY(!g_objUTC);
    QVERIFY(!g_objLogEntry);
    QTRY_VERIFY(g_frmMain.isNull());
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
