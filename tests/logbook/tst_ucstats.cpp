// The statistics panel: the same report as `quillon-log stats`, read from the
// saved file on every click.

#include "clslogentry.h"
#include "logpaneltesting.h"
#include "recordingdialogs.h"
#include "ucflightlog.h"
#include "ucstats.h"
#include "flightstats.h"

#include <QtTest>

using namespace logpanel;

namespace {
// What `quillon-log stats` prints for the log file, with the line ends a text area shows.
QString quillonLogStats()
{
    qputenv("LC_ALL", "C");
    QProcess process;
    process.start(qEnvironmentVariable("QUILLON_BIN_DIR") + QStringLiteral("/quillon-log"),
                  {QStringLiteral("stats"), FlightLog_Path()});
    process.waitForFinished(30000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
} // namespace

class tst_ucStats : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init() { removeLogFile(); }

    // The report's own cases are tried in tst_flightstats; here the panel must match the tool.
    void sameReportAsQuillonLog_data()
    {
        QTest::addColumn<QByteArray>("file");   // null: no file
        QTest::addColumn<QString>("error");     // the error box's source, if any
        QTest::newRow("no file") << QByteArray() << QString();
        QTest::newRow("case, blank types, odd times")
            << linesOf({flight("2002-07-07", "a320", "G-1", "n/a"), flight("2002-07-06", "A320", "G-2", "1.2"),
                        flight("2002-07-08", "  ", "G-3", "5.0"), flight("2002-07-09", "a320", "G-4", "0.4"),
                        flight("2002-07-10", "", "G-5", "")})
            << QString();
        QTest::newRow("broken line: the rows before it count")
            << linesOf({flight("2002-07-07", "A320", "G-1", "2.5"), "2002-07-08,B737,short",
                        flight("2002-07-09", "C172", "G-3", "1.0")})
            << "Error Source: modFunctions.Load_XArray()";
    }
    // Every click rebuilds the whole report: the second click shows it once, not twice.
    void sameReportAsQuillonLog()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        if (!file.isNull())
            writeLogFile(file);
        RecordingDialogs dialogs;
        ucStats stats(dialogs);

        clickLink(stats, 0);
        clickLink(stats, 0);

        QCOMPARE(stats.statsText(), quillonLogStats());
        QVERIFY(stats.statsText().contains(QStringLiteral("Total Flight Time : ")));
        QVERIFY(!stats.statsText().contains(QStringLiteral("C172")));   // nothing after a broken line
        QCOMPARE(dialogs.shown.size(), error.isEmpty() ? 0 : 2);
        QVERIFY(dialogs.lastText().contains(error));
    }

    // A failure shows the report as far as it was built, and the error; never the report before.
    void failureShowsThePartBuiltAndTheError()
    {
        writeLogFile(linesOf({flight("2002-07-07", "A320", "G-1", "2.5")}));
        RecordingDialogs dialogs;
        int clicks = 0;
        ucStats stats(dialogs, nullptr, [&clicks](LogTable& table, QString& text) {
            if (++clicks == 1)
                return appendFlightStatsReport(table, text);
            text += QStringLiteral("part built");
            throw std::runtime_error("out of memory");
        });
        clickLink(stats, 0);
        QVERIFY(stats.statsText().contains(QStringLiteral("Total Time: 2.5")));

        clickLink(stats, 0);
        QCOMPARE(stats.statsText(), QStringLiteral("part built"));
        QVERIFY(dialogs.lastText().contains(QStringLiteral("ucStats.Display_Flight_Stats()")));
        QVERIFY(dialogs.lastText().contains(QStringLiteral("out of memory")));
    }

    void unsavedEditsAreNotCounted()
    {
        writeLogFile(linesOf({flight("2002-07-07", "A320", "G-1", "2.5")}));
        RecordingDialogs dialogs;
        ucFlightLog log(std::make_shared<clsLogEntry>(), dialogs);
        ucStats stats(dialogs);
        clickLink(stats, 0);
        const QString saved = stats.statsText();
        QVERIFY(saved.contains(QStringLiteral("Aircraft Type: A320          Total Time: 2.5")));

        enterInto(*log.grid(), 0, clsLogEntry::FLIGHT_TIME_FIELD, QStringLiteral("4"));
        clickLink(stats, 0);
        QCOMPARE(stats.statsText(), saved);

        clickLink(log, ucFlightLog::LINK_SAVE);
        clickLink(stats, 0);
        QVERIFY(stats.statsText().endsWith(QStringLiteral("Total Flight Time : 4.0")));
    }
};

QTEST_MAIN(tst_ucStats)
#include "tst_ucstats.moc"
