#include "apperror.h"
#include "dialogs.h"
#include "errorreport.h"
#include "recordingdialogs.h"

#include <QApplication>
#include <QCursor>
#include <QtTest>

#include <new>
#include <stdexcept>

class tst_ErrorReport : public QObject {
    Q_OBJECT
private slots:
    void text_data();
    void text();
    void boxIsAModalWarningTitledQuillonError();
    void arrowPointerWhileShown();
    void exceptionNumbers_data();
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

void tst_ErrorReport::boxIsAModalWarningTitledQuillonError()
{
    RecordingDialogs dialogs;
    Error_Report(dialogs, QStringLiteral("ucStats.Display_Flight_Stats()"), 53, QStringLiteral("File not found"));
    QCOMPARE(dialogs.shown.size(), 1);
    const MessageRequest& box = dialogs.shown.first();
    QCOMPARE(box.title, QStringLiteral("Quillon Error"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(box.text.contains(QStringLiteral("Error Source: ucStats.Display_Flight_Stats()\r\n")));
}

// The failing procedure may hold the hourglass, even nested twice.
void tst_ErrorReport::arrowPointerWhileShown()
{
    RecordingDialogs dialogs;
    bool hourglassWhileShown = true;
    dialogs.whileShown = [&](const MessageRequest&) { hourglassWhileShown = QGuiApplication::overrideCursor() != nullptr; };
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Error_Report(dialogs, QStringLiteral("ucACARS.ACARS_ON()"), 5, QString());
    QVERIFY(!hourglassWhileShown);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void tst_ErrorReport::exceptionNumbers_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QString>("description");
    QTest::addRow("own error keeps its number") << 0 << 1001 << "Log file is locked";
    QTest::addRow("out of memory is 7") << 1 << 7 << "std::bad_alloc";
    QTest::addRow("out of range is 9") << 2 << 9 << "row 40000";
    QTest::addRow("overflow is 6") << 3 << 6 << "too big";
    QTest::addRow("anything else is 5") << 4 << 5 << "odd";
}

void tst_ErrorReport::exceptionNumbers()
{
    QFETCH(int, kind);
    QFETCH(qint32, number);
    QFETCH(QString, description);
    RecordingDialogs dialogs;
    const QString source = QStringLiteral("ucFlightLog.Grid_Save()");
    try {
        switch (kind) {
        case 0: throw AppError(number, description);
        case 1: throw std::bad_alloc();
        case 2: throw std::out_of_range(description.toStdString());
        case 3: throw std::overflow_error(description.toStdString());
        default: throw std::runtime_error(description.toStdString());
        }
    } catch (const std::exception& error) {
        Error_Report(dialogs, source, error);
    }
    QCOMPARE(dialogs.lastText(), Error_Report_Text(source, number, description));
}

QTEST_MAIN(tst_ErrorReport)
#include "tst_errorreport.moc"
