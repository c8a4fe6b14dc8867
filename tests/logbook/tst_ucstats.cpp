// The statistics panel: the report of the saved file, rebuilt on every click.
// The report's own cases are tried in tst_flightstats.

#include "clslogentry.h"
#include "flightstats.h"
#include "logpaneltesting.h"
#include "recordingdialogs.h"
#include "ucflightlog.h"
#include "ucstats.h"

using namespace logpanel;

namespace {
// The report of one aircraft type, with the line ends a text area shows.
QString reportOf(const char* type, const char* time)
{
    return QStringLiteral("\n  Flight Time by Aircraft Type:\n\n       Aircraft Type: %1          Total Time: %2"
                          "\n\n\n  Total Flight Time : %2").arg(QLatin1String(type), QLatin1String(time));
}
} // namespace

class tst_ucStats : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init() { removeLogFile(); }

    // Unsaved edits do not count; a second click shows the report once, not
    // twice; after a broken line the flights before it count, with the error.
    void reportOfTheSavedFile()
    {
        RecordingDialogs dialogs;
        ucStats stats(dialogs);
        clickLink(stats, 0);
        QVERIFY(stats.statsText().contains(QStringLiteral("No Flight Time Recorded")));
        QVERIFY(dialogs.shown.isEmpty());

        writeLogFile(linesOf({flight("2002-07-07", "A320", "G-1", "2.5")}));
        ucFlightLog log(std::make_shared<clsLogEntry>(), dialogs);
        enterInto(*log.grid(), 0, clsLogEntry::FLIGHT_TIME_FIELD, QStringLiteral("4"));
        clickLink(stats, 0);
        clickLink(stats, 0);
        QCOMPARE(stats.statsText(), reportOf("A320", "2.5"));
        clickLink(log, ucFlightLog::LINK_SAVE);
        clickLink(stats, 0);
        QCOMPARE(stats.statsText(), reportOf("A320", "4.0"));

        writeLogFile(linesOf({flight("2002-07-07", "B737", "G-1", "2.5"), "2002-07-08,B737,short",
                              flight("2002-07-09", "C172", "G-3", "1.0")}));
        clickLink(stats, 0);
        QCOMPARE(stats.statsText(), reportOf("B737", "2.5"));
        QVERIFY(dialogs.lastText().contains(QStringLiteral("Error Source: modFunctions.Load_XArray()")));
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
        QCOMPARE(stats.statsText(), reportOf("A320", "2.5"));

        clickLink(stats, 0);
        QCOMPARE(stats.statsText(), QStringLiteral("part built"));
        QVERIFY(dialogs.lastText().contains(QStringLiteral("ucStats.Display_Flight_Stats()")));
        QVERIFY(dialogs.lastText().contains(QStringLiteral("out of memory")));
    }
};

QTEST_MAIN(tst_ucStats)
#include "tst_ucstats.moc"
