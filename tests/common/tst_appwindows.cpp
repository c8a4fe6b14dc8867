#include "apperror.h"
#include "appinfo.h"
#include "errorreport.h"
#include "frmabout.h"
#include "frmsplash.h"
#include "linklabel.h"
#include "recordingdialogs.h"

#include <QGuiApplication>
#include <QLabel>
#include <QtTest>

#include <stdexcept>

// The windows every part of the program shares: the error box, the splash and About.
class tst_AppWindows : public QObject {
    Q_OBJECT
private slots:
    void errorText_data()
    {
        QTest::addColumn<qint32>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("lastLines");
        QTest::addRow("empty description keeps its line") << 5 << ""
                                                          << "Number: 5\r\nError Description: ";
        QTest::addRow("negative number keeps its sign")
            << -2147221504 << "Automation error"
            << "Number: -2147221504\r\nError Description: Automation error";
    }

    void errorText()
    {
        QFETCH(qint32, number);
        QFETCH(QString, description);
        QFETCH(QString, lastLines);
        QCOMPARE(Error_Report_Text(QStringLiteral("modMain.Main()"), number, description),
                 "Quillon has encountered an error: \r\n\r\nError Source: modMain.Main()\r\nError " +
                     lastLines);
    }

    // The failing procedure may hold the hourglass, even nested twice: the box
    // shows the arrow.
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
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QCOMPARE(dialogs.shown.size(), 1);
        const MessageRequest& box = dialogs.shown.first();
        QCOMPARE(box.title, QStringLiteral("Quillon Error"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.text, Error_Report_Text(source, 53, QStringLiteral("File not found")));
    }

    // The program's own errors keep their number; others get a run-time number.
    void errorNumbers()
    {
        RecordingDialogs dialogs;
        const QString source = QStringLiteral("ucFlightLog.Grid_Save()");
        Error_Report(dialogs, source, AppError(1001, QStringLiteral("Log file is locked")));
        QCOMPARE(dialogs.lastText(), Error_Report_Text(source, 1001, QStringLiteral("Log file is locked")));
        Error_Report(dialogs, source, std::out_of_range("row 40000"));
        QCOMPARE(dialogs.lastText(), Error_Report_Text(source, 9, QStringLiteral("row 40000")));
    }

    void versionLineKeepsZeroRevision()
    {
        QCOMPARE(AppInfo::versionText(1, 1, 0), QStringLiteral("Version: 1.1.0"));
    }

    // Modal showing and the "OK" link closing About are tried from the main window.
    void splashAndAboutTexts()
    {
        const QString version =
            AppInfo::versionText(QUILLON_VERSION_MAJOR, QUILLON_VERSION_MINOR, QUILLON_VERSION_PATCH);
        frmSplash splash;
        QCOMPARE(splash.lblVersion()->text(), version);
        frmAbout about;
        QCOMPARE(about.lblVersion()->text(), version);
        QCOMPARE(about.hypAbout()->caption(), QStringLiteral("OK"));
        const auto credits = about.findChildren<QLabel*>(QStringLiteral("lblFSUIPC"));
        QCOMPARE(credits.size(), 2);
        QCOMPARE(credits.first()->text(), QStringLiteral("Credits:"));
        QVERIFY(credits.last()->text().contains(QStringLiteral("FSUIPC")));
    }
};

QTEST_MAIN(tst_AppWindows)
#include "tst_appwindows.moc"
