#include "apperror.h"
#include "dialogs.h"
#include "errorreport.h"
#include "recordingdialogs.h"

#include <QApplication>
#include <QCursor>
#include <QtTest>

#include <stdexcept>

class tst_ErrorReport : public QObject {
    Q_OBJECT
private slots:
    void text_data();
    void text();
    void box();
    void exceptionNumbers();
};

void tst_ErrorReport::text_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("expected");
    const QString head = QStringLiteral("Quillon has encountered an error: \r\n\r\n");
    QTest::addRow("ordinary") << "ucACARS.ACARS_LOG()" << 13 << "Type mismatch"
                              << head + "Error Source: ucACARS.ACARS_LOG()\r\nError Number: 13\r\nError Description: Type mismatch";
    QTest::addRow("empty description keeps its line")
        << "modMain.Main()" << 5 << ""
        << head + "Error Source: modMain.Main()\r\nError Number: 5\r\nError Description: ";
    QTest::addRow("negative number keeps its sign")
        << "frmMain.Form_Initialize()" << -2147221504 << "Automation error"
        << head + "Error Source: frmMain.Form_Initialize()\r\nError Number: -2147221504\r\nError Description: Automation error";
}

void tst_ErrorReport::text()
{
    QFETCH(QString, source);
    QFETCH(qint32, number);
    QFETCH(QString, description);
    QFETCH(QString, expected);
    const QString text = Error_Report_Text(source, number, description);
    QCOMPARE(text, expected);
    QCOMPARE(text.split(QStringLiteral("\r\n")).size(), 5);
}

// The failing procedure may hold the hourglass, even nested twice: the box
// shows the arrow.
void tst_ErrorReport::box()
{
    RecordingDialogs dialogs;
    bool hourglassWhileShown = true;
    dialogs.whileShown = [&](const MessageRequest&) { hourglassWhileShown = QGuiApplication::overrideCursor() != nullptr; };
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Error_Report(dialogs, QStringLiteral("ucStats.Display_Flight_Stats()"), 53, QStringLiteral("File not found"));
    QVERIFY(!hourglassWhileShown);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(dialogs.shown.size(), 1);
    const MessageRequest& box = dialogs.shown.first();
    QCOMPARE(box.title, QStringLiteral("Quillon Error"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.text, Error_Report_Text(QStringLiteral("ucStats.Display_Flight_Stats()"), 53, QStringLiteral("File not found")));
}

// The program's own errors keep their number; others get a run-time number.
void tst_ErrorReport::exceptionNumbers()
{
    RecordingDialogs dialogs;
    const QString source = QStringLiteral("ucFlightLog.Grid_Save()");
    Error_Report(dialogs, source, AppError(1001, QStringLiteral("Log file is locked")));
    QCOMPARE(dialogs.lastText(), Error_Report_Text(source, 1001, QStringLiteral("Log file is locked")));
    Error_Report(dialogs, source, std::out_of_range("row 40000"));
    QCOMPARE(dialogs.lastText(), Error_Report_Text(source, 9, QStringLiteral("row 40000")));
}

QTEST_MAIN(tst_ErrorReport)
#include "tst_errorreport.moc"
