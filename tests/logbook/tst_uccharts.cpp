// The charts panel: what it draws from the saved file, its sentences in place
// of empty charts, a click on a bar reaching the flight log panel, and the
// printed and exported page.

#include "clslogentry.h"
#include "logpaneltesting.h"
#include "recordingdialogs.h"
#include "uccharts.h"
#include "ucflightlog.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsSimpleTextItem>
#include <QLabel>
#include <QLineSeries>
#include <QTabWidget>
#include <QtTest>

using namespace logpanel;

namespace {

const auto today = [] { return QDate(2026, 3, 15); };

// The chart's bars: for the type chart, set 0 is all time and set 1 the last 12 months.
QBarSet* barSet(ucCharts& panel, ChartKind kind, int set = 0)
{
    for (QAbstractSeries* series : panel.chartView(kind)->chart()->series()) {
        if (auto* bars = qobject_cast<QBarSeries*>(series))
            return bars->barSets().at(set);
    }
    return nullptr;
}

QStringList categories(ucCharts& panel, ChartKind kind)
{
    return qobject_cast<QBarCategoryAxis*>(panel.chartView(kind)->chart()->axes(Qt::Horizontal).constFirst())
        ->categories();
}

// The sentence a chart without bars shows in their place; empty for a chart with bars.
QString sentence(ucCharts& panel, ChartKind kind)
{
    for (QGraphicsItem* item : panel.chartView(kind)->chart()->childItems()) {
        if (auto* text = dynamic_cast<QGraphicsSimpleTextItem*>(item))
            return text->text();
    }
    return {};
}

// Clicks the middle of bar `index` of a set, as the pilot would. The type
// chart's two sets share each category: the first is the left half.
void clickBar(ucCharts& panel, ChartKind kind, int index, int setIndex)
{
    const double x = kind == ChartKind::Type ? index - 0.125 + 0.25 * setIndex : index;
    QChartView* view = panel.chartView(kind);
    panel.findChild<QTabWidget*>("tabCharts")->setCurrentWidget(view);
    QChart* chart = view->chart();
    QBarSet* set = barSet(panel, kind, setIndex);
    const QPointF scene = chart->mapToScene(chart->mapToPosition(QPointF(x, set->at(index) / 2)));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(scene));
}

const QList<QByteArray> kLog{flight("2025-03-01", "B737", "G-1", "2.0"), flight("2026-02-02", "A320", "G-2", "1.5"),
                             flight("2026-02-20", "A320", "G-3", "1.0"), flight("2026-03-01", "B737", "G-4", "3.0"),
                             flight("2025-13-01", "A320", "G-5", "1.0")};   // not a date, though it looks like 2025

} // namespace

class tst_ucCharts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init() { removeLogFile(); }

    // An empty log: one sentence for the panel. Undated flights only: the month
    // and year charts say why they have no bars; the type chart has its bars.
    void drawsTheSavedLog()
    {
        RecordingDialogs dialogs;
        ucCharts panel(dialogs, nullptr, today);
        panel.resize(700, 500);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QVERIFY(panel.findChild<QLabel*>("lblEmpty")->isVisible());
        QVERIFY(!panel.findChild<QTabWidget*>("tabCharts")->isVisible());
        QVERIFY(!panel.findChild<QLabel*>("lblUndated")->isVisible());

        writeLogFile(linesOf(kLog));
        panel.refresh();
        QBarSet* months = barSet(panel, ChartKind::Month);
        QCOMPARE(months->count(), 24);
        QCOMPARE(months->at(22), 2.5);   // February
        QCOMPARE(months->at(23), 3.0);
        QCOMPARE(categories(panel, ChartKind::Type), (QStringList{"A320", "B737"}));
        QCOMPARE(barSet(panel, ChartKind::Type)->at(0), 3.5);
        QCOMPARE(categories(panel, ChartKind::Year), (QStringList{"2025 (1)", "2026 (3)"}));
        auto* running = qobject_cast<QLineSeries*>(panel.chartView(ChartKind::Year)->chart()->series().last());
        QVERIFY(running);
        QCOMPARE(running->at(1).y(), 7.5);
        QCOMPARE(panel.findChild<QLabel*>("lblUndated")->text(), "1 flight without a readable date is not shown");
        QVERIFY(panel.findChild<QLabel*>("lblUndated")->isVisible());
        QVERIFY(!panel.findChild<QLabel*>("lblEmpty")->isVisible());
        QVERIFY(dialogs.shown.isEmpty());

        writeLogFile(linesOf({flight("unknown", "A320", "G-1")}));
        panel.refresh();
        QCOMPARE(sentence(panel, ChartKind::Month), "No flights in the last 24 months.");
        QCOMPARE(sentence(panel, ChartKind::Type), QString());
        QCOMPARE(sentence(panel, ChartKind::Year), "No flight has a readable date.");

        // A log that does not load whole: one box for each state of the file, not one for each showing.
        writeLogFile(linesOf({flight("2026-03-01", "A320", "G-1"), "short"}));
        panel.refresh();
        panel.refresh();
        QCOMPARE(dialogs.shown.size(), 1);
        writeLogFile(linesOf({"short"}));
        panel.refresh();
        QCOMPARE(dialogs.shown.size(), 2);
    }

    void clickedBarSelectsItsFlightsInTheLog_data()
    {
        QTest::addColumn<ChartKind>("kind");
        QTest::addColumn<int>("bar");
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("editedRow");   // of the log panel, not saved; -1: none
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("box");
        QTest::newRow("February") << ChartKind::Month << 22 << 0 << -1 << QStringList{"G-2", "G-3"} << QString();
        QTest::newRow("B737, all time") << ChartKind::Type << 1 << 0 << -1 << QStringList{"G-1", "G-4"} << QString();
        QTest::newRow("A320, last 12 months") << ChartKind::Type << 0 << 1 << -1 << QStringList{"G-2", "G-3"}
                                              << QString();
        QTest::newRow("2025, not its undated look-alike") << ChartKind::Year << 0 << 0 << -1 << QStringList{"G-1"}
                                                          << QString();
        QTest::newRow("February, a flight edited and not saved: the pilot is told")
            << ChartKind::Month << 22 << 0 << 2 << QStringList{"G-2"}
            << "1 of the 2 flights of that bar are shown: the Flight Log has changes that are not saved yet, "
               "and the charts show the log as last saved.";
    }

    void clickedBarSelectsItsFlightsInTheLog()
    {
        QFETCH(ChartKind, kind);
        QFETCH(int, bar);
        QFETCH(int, set);
        QFETCH(int, editedRow);
        QFETCH(QStringList, ids);
        QFETCH(QString, box);
        writeLogFile(linesOf(kLog));
        RecordingDialogs dialogs;
        ucFlightLog log(std::make_shared<clsLogEntry>(), dialogs);
        log.resize(700, 300);
        log.show();
        if (editedRow >= 0)
            enterInto(*log.grid(), editedRow, clsLogEntry::FLIGHT_TIME_FIELD, "9.9");
        log.grid()->selectRow(4);   // replaced by the click
        ucCharts panel(dialogs, nullptr, today);
        connect(&panel, &ucCharts::flightsChosen, &log, &ucFlightLog::selectFlights);
        panel.resize(900, 600);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));

        clickBar(panel, kind, bar, set);
        QStringList selected;
        for (const QModelIndex& row : log.grid()->selectionModel()->selectedRows())
            selected << log.table().cellText(row.row(), 2);
        selected.sort();
        QCOMPARE(selected, ids);
        QCOMPARE(log.table().cellText(log.grid()->currentIndex().row(), 2), ids.first());
        QCOMPARE(dialogs.lastText(), box);
    }

    // Printed or saved, the page starts with the header, which says when the log was read.
    void printsAndSavesThePage_data()
    {
        QTest::addColumn<QString>("chosen");   // null: printed to `written`
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("magic");   // empty: nothing written, an error shown
        QTest::newRow("printed") << QString() << "printed.pdf" << QByteArray("%PDF");
        QTest::newRow("PNG") << "charts.png" << "charts.png" << QByteArray("\x89PNG");
        QTest::newRow("PDF") << "charts.PDF" << "charts.PDF" << QByteArray("%PDF");
        QTest::newRow("no known suffix: PDF") << "charts" << "charts.pdf" << QByteArray("%PDF");
        QTest::newRow("folder missing") << "none/charts.png" << "none/charts.png" << QByteArray();
    }

    void printsAndSavesThePage()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QFETCH(QByteArray, magic);
        writeLogFile(linesOf(kLog));
        QTemporaryDir dir;
        RecordingDialogs dialogs;
        dialogs.savePath = dir.filePath(chosen);
        ucCharts panel(dialogs, nullptr, today);
        panel.refresh();
        panel.printer().setOutputFileName(dir.filePath(written));
        clickLink(panel, chosen.isNull() ? ucCharts::LINK_PRINT : ucCharts::LINK_SAVE_AS);
        QFile file(dir.filePath(written));
        if (magic.isEmpty()) {
            QVERIFY(!file.exists());
            QVERIFY(dialogs.lastText().contains(QDir::toNativeSeparators(dir.filePath(written))));
            return;
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(magic.size()) == magic);
        QVERIFY(dialogs.shown.isEmpty());
        const QString date = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
        QVERIFY2(panel.pageHeader().startsWith("Flight Log Charts: " + date), qPrintable(panel.pageHeader()));
        if (magic == "%PDF" && !QStandardPaths::findExecutable("pdftotext").isEmpty())
            QVERIFY(pdfText(file.fileName()).contains(panel.pageHeader()));
    }
};

QTEST_MAIN(tst_ucCharts)
#include "tst_uccharts.moc"
