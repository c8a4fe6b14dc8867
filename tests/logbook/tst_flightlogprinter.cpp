// The printed flight log, read back from PDF: the page header on every
// page, the headings once, every row whole; and the panel's print links.

#include "clslogentry.h"
#include "flightlogpreview.h"
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

QByteArray numberedLog(int flights)
{
    QList<QByteArray> lines;
    for (int n = 1; n <= flights; ++n)
        lines << flight(QDate(2002, 1, 1).addDays(n).toString(Qt::ISODate).toLatin1(), "B738",
                        "N" + QByteArray::number(n).rightJustified(5, '0'));
    return linesOf(lines);
}

void usePdf(QPrinter& printer, const QString& path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
}

QString pdfText(const QString& path)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0)
        return QString();
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

// Aircraft IDs "N00001"... in the order printed.
QStringList printedIds(const QString& text)
{
    static const QRegularExpression id(QStringLiteral("\\bN\\d{5}\\b"));
    QStringList ids;
    for (const QRegularExpressionMatch& match : id.globalMatch(text))
        ids << match.captured();
    return ids;
}

QStringList expectedIds(int flights)
{
    QStringList ids;
    for (int n = 1; n <= flights; ++n)
        ids << QStringLiteral("N%1").arg(n, 5, 10, QLatin1Char('0'));
    return ids;
}
} // namespace

class tst_FlightLogPrinter : public QObject {
    Q_OBJECT

    QTemporaryDir m_out;

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
    }
    void init() { removeLogFile(); }

    void printsEveryRowUnderOneHeading_data();
    void printsEveryRowUnderOneHeading();
    void printLinkPrintsThePanelsRows_data();
    void printLinkPrintsThePanelsRows();
    void previewShowsThePageIndicator();
};

void tst_FlightLogPrinter::printsEveryRowUnderOneHeading_data()
{
    QTest::addColumn<int>("flights");
    QTest::addColumn<QPageLayout::Orientation>("orientation");
    QTest::newRow("empty log") << 0 << QPageLayout::Portrait;
    QTest::newRow("several pages") << 150 << QPageLayout::Portrait;
    QTest::newRow("several pages, landscape") << 150 << QPageLayout::Landscape;
}

void tst_FlightLogPrinter::printsEveryRowUnderOneHeading()
{
    QFETCH(int, flights);
    QFETCH(QPageLayout::Orientation, orientation);
    writeLogFile(numberedLog(flights));
    LogTable table;
    Load_XArray(table);
    QPrinter printer(QPrinter::HighResolution);
    const QString pdf = m_out.filePath(QStringLiteral("log.pdf"));
    usePdf(printer, pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(orientation);
    const FlightLogPrinter logPrinter(table, kHeader);
    const int pages = logPrinter.pageCount(printer);

    logPrinter.print(printer);

    const QString text = pdfText(pdf);
    if (qEnvironmentVariableIsSet("QUILLON_KEEP_PRINT"))
        QFile::copy(pdf, qEnvironmentVariable("QUILLON_KEEP_PRINT") + "/" + QTest::currentDataTag() + ".pdf");
    QCOMPARE(text.count(QLatin1Char('\f')), pages);
    QCOMPARE(text.count(kHeader), pages);
    // Headings of one word (the others may take two lines).
    QCOMPARE(text.count(QStringLiteral("Origin")), 1);
    QCOMPARE(text.count(QStringLiteral("Destination")), 1);
    QCOMPARE(text.count(QStringLiteral("HH:MM")), 1);
    QCOMPARE(printedIds(text), expectedIds(flights));
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("\\b200\\d-\\d\\d-\\d\\d\\b"))), flights);   // the first column is not cut
    QCOMPARE(text.count(QStringLiteral("1000 lbs")), flights);   // nor the last
    if (flights == 150)
        QVERIFY(pages >= 2);
}

void tst_FlightLogPrinter::printLinkPrintsThePanelsRows_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::newRow("printed") << true;
    QTest::newRow("print dialog cancelled") << false;
}

void tst_FlightLogPrinter::printLinkPrintsThePanelsRows()
{
    QFETCH(bool, accepted);
    writeLogFile(numberedLog(3));
    RecordingDialogs dialogs;
    dialogs.printAccepted = accepted;
    ucFlightLog panel(std::make_shared<clsLogEntry>(), dialogs);
    QVERIFY(panel.pageHeader().startsWith(QStringLiteral("Flight Log: ")));
    const QString pdf = m_out.filePath(QStringLiteral("panel.pdf"));
    QFile::remove(pdf);
    usePdf(panel.printer(), pdf);
    typeInto(*panel.grid(), 0, clsLogEntry::AIRCRAFT_ID_FIELD, QStringLiteral("N09999"));   // committed first

    clickLink(panel, ucFlightLog::LINK_PRINT);

    QCOMPARE(QFileInfo::exists(pdf), accepted);
    if (accepted) {
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(panel.pageHeader()));
        QCOMPARE(printedIds(text), (QStringList{"N09999", "N00002", "N00003"}));
    }
    QVERIFY(dialogs.shown.isEmpty());
}

void tst_FlightLogPrinter::previewShowsThePageIndicator()
{
    writeLogFile(numberedLog(150));
    RecordingDialogs dialogs;
    ucFlightLog panel(std::make_shared<clsLogEntry>(), dialogs);
    panel.printer().setPageSize(QPageSize(QPageSize::A4));
    const int pages = FlightLogPrinter(panel.table(), panel.pageHeader()).pageCount(panel.printer());
    QVERIFY(pages >= 2);

    clickLink(panel, ucFlightLog::LINK_PRINT_PREVIEW);

    FlightLogPreview* preview = panel.previewWindow();
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QCOMPARE(preview->pageIndicator(), QStringLiteral("Page 1 of %1").arg(pages));
    preview->goToPage(pages);
    QCOMPARE(preview->pageIndicator(), QStringLiteral("Page %1 of %1").arg(pages));
    preview->close();
    QTRY_VERIFY(!panel.previewWindow());
}

QTEST_MAIN(tst_FlightLogPrinter)
#include "tst_flightlogprinter.moc"
