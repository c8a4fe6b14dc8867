#include "apperror.h"
#include "appinfo.h"
#include "artwork.h"
#include "errorreport.h"
#include "frmabout.h"
#include "frmsplash.h"
#include "linklabel.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "twips.h"

#include <QGuiApplication>
#include <QLabel>
#include <QtTest>

#include <stdexcept>

// What every part of the program shares: the error box, the splash, About and the link labels.
class tst_CommonWindows : public QObject {
    Q_OBJECT
private slots:
    // The failing procedure may hold the hourglass, even nested twice: the box
    // shows the arrow. The program's own errors keep their number, negative too;
    // others get a run-time number.
    void errorBox()
    {
        RecordingDialogs dialogs;
        bool hourglassWhileShown = true;
        dialogs.whileShown = [&](const MessageRequest&) {
            hourglassWhileShown = QGuiApplication::overrideCursor() != nullptr;
        };
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const QString source = QStringLiteral("ucStats.Display_Flight_Stats()");
        Error_Report(dialogs, source, 53, QStringLiteral("File not found"));
        QVERIFY(!hourglassWhileShown);
        QCOMPARE(dialogs.shown.size(), 1);
        const MessageRequest& box = dialogs.shown.first();
        QCOMPARE(box.title, QStringLiteral("Quillon Error"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        const QString head = "Quillon has encountered an error: \r\n\r\nError Source: " + source + "\r\nError Number: ";
        QCOMPARE(box.text, head + "53\r\nError Description: File not found");

        Error_Report(dialogs, source, AppError(-2147221504, QStringLiteral("Automation error")));
        QCOMPARE(dialogs.lastText(), head + "-2147221504\r\nError Description: Automation error");
        Error_Report(dialogs, source, std::out_of_range(""));
        QCOMPARE(dialogs.lastText(), head + "9\r\nError Description: ");
    }

    // Modal showing and the "OK" link closing About are tried from the main window.
    void splashAndAboutTexts()
    {
        QCOMPARE(AppInfo::versionText(1, 1, 0), QStringLiteral("Version: 1.1.0")); // a zero revision stays
        const QString version =
            AppInfo::versionText(QUILLON_VERSION_MAJOR, QUILLON_VERSION_MINOR, QUILLON_VERSION_PATCH);
        frmSplash splash;
        QCOMPARE(splash.lblVersion()->text(), version);
        frmAbout about;
        QCOMPARE(about.lblVersion()->text(), version);
        QCOMPARE(about.hypAbout()->caption(), QStringLiteral("OK"));
    }

    // Every picture is drawn whole at the size and pixel density asked for,
    // fractional densities included.
    void artworkAtEveryDensity()
    {
        QList<std::pair<QIcon, QSize>> pictures{{Artwork::splash(), Artwork::kSplashSize}};
        for (const char* name : {"acars", "flightlog", "timebytype", "quillon", "charts"})
            pictures.append({Artwork::icon(QLatin1String(name)), QSize(32, 32)});
        for (const auto& [picture, size] : pictures) {
            for (qreal dpr : {1.0, 1.25, 2.0, 3.0}) {
                const QImage image = picture.pixmap(size, dpr).toImage();
                QCOMPARE(image.size(), size * dpr);
                QImage blank(image.size(), image.format());
                blank.fill(Qt::transparent);
                QVERIFY(image != blank);
            }
        }
    }

    void clickRules_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("releaseInside");
        QTest::addColumn<int>("clicks");
        QTest::addRow("active, left click") << true << Qt::LeftButton << true << 1;
        QTest::addRow("inactive link does nothing") << false << Qt::LeftButton << true << 0;
        QTest::addRow("right button does nothing") << true << Qt::RightButton << true << 0;
        QTest::addRow("released outside cancels") << true << Qt::LeftButton << false << 0;
    }

    void clickRules()
    {
        QFETCH(bool, active);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, releaseInside);
        QFETCH(int, clicks);
        LinkLabel link(QStringLiteral("Log Flight"));
        link.resize(100, 20);
        link.setActive(active);
        QSignalSpy spy(&link, &LinkLabel::clicked);
        QTest::mousePress(&link, button, {}, QPoint(5, 5));
        QTest::mouseRelease(&link, button, {}, releaseInside ? QPoint(6, 6) : QPoint(500, 6));
        QCOMPARE(spy.size(), clicks);
    }

    // The mode link switches its caption while shown; its place widens to fit.
    // The strip takes its colour at once.
    void titleStrip()
    {
        PanelTitle title;
        title.resize(600, title.heightPixels());
        LinkLabel* mode = title.addLink(QStringLiteral("Slew Mode"), 1000, 10);
        title.show();
        QVERIFY(QTest::qWaitForWindowExposed(&title));
        mode->setCaption(QStringLiteral("Normal Flight"));
        QCOMPARE(mode->text(), QStringLiteral("Normal Flight"));
        QVERIFY(mode->width() >= mode->sizeHint().width());
        QCOMPARE(mode->x(), twipsToPixelsX(1000, &title));
        title.setBackColor(0x0000FF);
        QCOMPARE(title.palette().color(QPalette::Window), QColor(Qt::red));
    }
};

QTEST_MAIN(tst_CommonWindows)
#include "tst_commonwindows.moc"
