// The printed flight log, read back from PDF: the page header on every
// page, the headings once, every row whole; and the panel's print link.

#include "clslogentry.h"
#include "flightlogprinter.h"
#include "logpaneltesting.h"
#include "recordingdialogs.h"
#include "ucflightlog.h"

#include <QtTest>
#include <QPrinter>
#include <QRegularExpression>

using namespace logpanel;

namespace {
const QString kHeader = QStringLiteral("Flight Log: 7/7/02 2:05 PM");

// Writes a log of flights "N00001"... and returns their aircraft IDs.
QStringList writeNumberedLog(int flights)
{
    QList<QByteArray> lines;
    QStringList ids;
    for (int n = 1; n <= flights; ++n) {
        ids << QStringLiteral("N%1").arg(n, 5, 10, QLatin1Char('0'));
        lines << flight(QDate(2002, 1, 1).addDays(n).toString(Qt::ISODate).toLatin1(), "B738", ids.last().toLatin1());
    }
    writeLogFile(linesOf(lines));
    return ids;
}

QStringList printedIds(const QString& text)
{
    static const QRegularExpression id(QStringLiteral("\\bN\\d{5}\\b"));
    QStringList ids;
    for (const QRegularExpressionMatch& match : id.globalMatch(text))
        ids << match.captured();
    return ids;
}
} // namespace

class tst_FlightLogPrinter : public QObject {
    Q_OBJECT

    QTemporaryDir m_out;
    void printToPdf(QPrinter& printer)   // the name's ".pdf" makes it a PDF
    {
        QFile::remove(m_out.filePath(QStringLiteral("log.pdf")));
        printer.setOutputFileName(m_out.filePath(QStringLiteral("log.pdf")));
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
    }
    void init() { removeLogFile(); }

    void printsEveryRowUnderOneHeading_data()
    {
        QTest::addColumn<int>("flights");
        QTest::addColumn<QPageLayout::Orientation>("orientation");
        QTest::newRow("empty log") << 0 << QPageLayout::Portrait;
        QTest::newRow("several pages") << 150 << QPageLayout::Portrait;
        QTest::newRow("several pages, landscape") << 150 << QPageLayout::Landscape;
    }
    void printsEveryRowUnderOneHeading()
    {
        QFETCH(int, flights);
        QFETCH(QPageLayout::Orientation, orientation);
        const QStringList ids = writeNumberedLog(flights);
        LogTable table;
        Load_XArray(table);
        QPrinter printer(QPrinter::HighResolution);
        printToPdf(printer);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(orientation);
        const FlightLogPrinter logPrinter(table, kHeader);
        const int pages = logPrinter.pageCount(printer);
        QVERIFY(pages >= (flights ? 2 : 1));

        logPrinter.print(printer);

        const QString text = pdfText(printer.outputFileName());
        QCOMPARE(text.count(QLatin1Char('\f')), pages);
        QCOMPARE(text.count(kHeader), pages);
        // Headings of one word (the others may take two lines).
        for (const char* heading : {"Origin", "Destination", "HH:MM"})
            QCOMPARE(text.count(QLatin1String(heading)), 1);
        QCOMPARE(printedIds(text), ids);
        // Neither the first column nor the last is cut.
        QCOMPARE(text.count(QRegularExpression(QStringLiteral("\\b200\\d-\\d\\d-\\d\\d\\b"))), flights);
        QCOMPARE(text.count(QStringLiteral("1000 lbs")), flights);
    }

    void printLinkPrintsThePanelsRows()
    {
        writeNumberedLog(3);
        RecordingDialogs dialogs;
        ucFlightLog panel(std::make_shared<clsLogEntry>(), dialogs);
        printToPdf(panel.printer());
        // Left in editing: printing commits it first.
        typeInto(*panel.grid(), 0, clsLogEntry::AIRCRAFT_ID_FIELD, QStringLiteral("N09999"));

        dialogs.printAccepted = false;
        clickLink(panel, ucFlightLog::LINK_PRINT);
        QVERIFY(!QFileInfo::exists(panel.printer().outputFileName()));
        dialogs.printAccepted = true;
        clickLink(panel, ucFlightLog::LINK_PRINT);

        const QString text = pdfText(panel.printer().outputFileName());
        QVERIFY(panel.pageHeader().startsWith(QStringLiteral("Flight Log: ")));
        QVERIFY(text.contains(panel.pageHeader()));
        QCOMPARE(printedIds(text), (QStringList{"N09999", "N00002", "N00003"}));
        QVERIFY(dialogs.shown.isEmpty());
    }
};

QTEST_MAIN(tst_FlightLogPrinter)
#include "tst_flightlogprinter.moc"
