// The flight log panel with 32,767 and 1,000,000 flights, each operation beside the log's own figure:
//   BM_PanelInit (load, bind, total)   beside BM_LoadTotalFloor (Load_XArray and totalFlightTime alone)
//   BM_HeadClickSortByType             beside BM_SortByTypeFloor (Sort_XArray alone)
//   BM_EditWithTotal (commit a Time cell through its check, total and caption refreshed)
//                                      beside BM_TotalFloor (totalFlightTime alone)
//   BM_ScrollPage (one page down, viewport painted offscreen)
//   BM_ChartsPanel (the charts panel reads the log and draws its three charts) beside BM_LoadTotalFloor
//   bench_logpanel shots DIR FLIGHTS   screenshots of the panels and the print preview
//   bench_logpanel chartshots DIR FLIGHTS   the charts panel for a log of FLIGHTS spread over three years
// Logs are read from $QUILLON_BENCH_DATA/log-<flights>.txt (bench_logbook generate writes them).

#include "clslogentry.h"
#include "dialogs.h"
#include "flightlogpreview.h"
#include "flightlogview.h"
#include "flightstats.h"
#include "linklabelgroup.h"
#include "loggenerator.h"
#include "modfunctions.h"
#include "paneltitle.h"
#include "uccharts.h"
#include "ucflightlog.h"
#include "ucstats.h"

#include <QApplication>
#include <QChartView>
#include <QTabWidget>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrinter>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// Answers every box with Ok, as a pilot clicking through would.
class SilentDialogs : public Dialogs {
public:
    QMessageBox::StandardButton message(QWidget*, const MessageRequest&) override { return QMessageBox::Ok; }
    std::optional<QColor> pickColor(QWidget*, const QColor&, const QString&) override { return std::nullopt; }
    bool pageSetup(QWidget*, QPrinter&) override { return true; }
    bool printSetup(QWidget*, QPrinter&) override { return true; }
};

QString dataDir()
{
    const QString dir = qEnvironmentVariable("QUILLON_BENCH_DATA");
    return dir.isEmpty() ? QDir::tempPath() + "/quillon-bench" : dir;
}

QString logPath(std::int64_t flights)
{
    return dataDir() + QString("/log-%1.txt").arg(flights);
}

// Points the panel's log (FlightLog_Path) at the benchmark's log of `flights`.
bool useLog(benchmark::State& state, std::int64_t flights)
{
    if (!QFile::exists(logPath(flights))) {
        state.SkipWithError("no log: run 'bench_logbook generate FLIGHTS FILE' first");
        return false;
    }
    const QString home = dataDir() + QString("/panel-%1").arg(flights);
    qputenv("XDG_DATA_HOME", QFile::encodeName(home));
    const QString path = FlightLog_Path();
    if (!QFileInfo(path).isSymLink())
        QFile::link(logPath(flights), path);
    return true;
}

std::unique_ptr<ucFlightLog> shownPanel(Dialogs& dialogs)
{
    auto panel = std::make_unique<ucFlightLog>(std::make_shared<clsLogEntry>(), dialogs);
    panel->resize(1100, 700);
    panel->show();
    QCoreApplication::processEvents();
    return panel;
}

void BM_PanelInit(benchmark::State& state)
{
    if (!useLog(state, state.range(0)))
        return;
    SilentDialogs dialogs;
    {
        // The window has made widgets before its panels: fonts and style are loaded.
        ucStats warmUp(dialogs);
    }
    for (auto _ : state) {
        auto panel = std::make_unique<ucFlightLog>(std::make_shared<clsLogEntry>(), dialogs);
        state.PauseTiming();
        state.counters["rows"] = double(panel->table().rowCount());
        panel.reset();
        state.ResumeTiming();
    }
}

void BM_LoadTotalFloor(benchmark::State& state)
{
    if (!useLog(state, state.range(0)))
        return;
    for (auto _ : state) {
        LogTable table;
        Load_XArray(table, logPath(state.range(0)));
        benchmark::DoNotOptimize(totalFlightTime(table));
        state.PauseTiming();
        table = LogTable();
        state.ResumeTiming();
    }
}

void BM_HeadClickSortByType(benchmark::State& state)
{
    if (!useLog(state, state.range(0)))
        return;
    SilentDialogs dialogs;
    auto panel = shownPanel(dialogs);
    QHeaderView* headings = panel->grid()->horizontalHeader();
    for (auto _ : state) {
        state.PauseTiming();
        emit headings->sectionClicked(clsLogEntry::FLIGHT_DATE_FIELD);
        state.ResumeTiming();
        emit headings->sectionClicked(clsLogEntry::AIRCRAFT_TYPE_FIELD);
    }
}

void BM_SortByTypeFloor(benchmark::State& state)
{
    if (!useLog(state, state.range(0)))
        return;
    LogTable table;
    Load_XArray(table, logPath(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Sort_XArray(table, 0);
        state.ResumeTiming();
        Sort_XArray(table, 1);
    }
}

void BM_EditWithTotal(benchmark::State& state)
{
    if (!useLog(state, state.range(0)))
        return;
    SilentDialogs dialogs;
    auto panel = shownPanel(dialogs);
    FlightLogView* grid = panel->grid();
    int row = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QModelIndex index = grid->model()->index(row++, clsLogEntry::FLIGHT_TIME_FIELD);
        grid->setCurrentIndex(index);
        grid->edit(index);
        grid->cellEditor()->setText(row % 2 ? QStringLiteral("1.5") : QStringLiteral("2.5"));
        state.ResumeTiming();
        if (!grid->commitEditInProgress())
            state.SkipWithError("edit refused");
    }
    state.counters["caption_is_current"] = panel->caption() == flightLogCaption(totalFlightTime(panel->table()));
}

void BM_TotalFloor(benchmark::State& state)
{
    if (!useLog(state, state.range(0)))
        return;
    LogTable table;
    Load_XArray(table, logPath(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(totalFlightTime(table));
}

void BM_ScrollPage(benchmark::State& state)
{
    if (!useLog(state, state.range(0)))
        return;
    SilentDialogs dialogs;
    auto panel = shownPanel(dialogs);
    FlightLogView* grid = panel->grid();
    QScrollBar* bar = grid->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    for (auto _ : state) {
        bar->setValue(bar->value() + bar->pageStep());
        grid->viewport()->repaint();
    }
}

// Read, added up and every chart drawn, as when the pilot opens the panel.
void BM_ChartsPanel(benchmark::State& state)
{
    if (!useLog(state, state.range(0)))
        return;
    SilentDialogs dialogs;
    ucCharts panel(dialogs);
    panel.resize(1100, 700);
    panel.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        panel.refresh();
        for (ChartKind kind : {ChartKind::Month, ChartKind::Type, ChartKind::Year})
            benchmark::DoNotOptimize(panel.chartView(kind)->grab());
    }
    state.counters["rows"] = double(panel.data().flights);
}

void sizes(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Arg(32767)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_PanelInit)->Apply(sizes)->Iterations(3);
BENCHMARK(BM_LoadTotalFloor)->Apply(sizes)->Iterations(3);
BENCHMARK(BM_HeadClickSortByType)->Apply(sizes)->Iterations(3);
BENCHMARK(BM_SortByTypeFloor)->Apply(sizes)->Iterations(3);
BENCHMARK(BM_EditWithTotal)->Apply(sizes)->Iterations(50);
BENCHMARK(BM_TotalFloor)->Apply(sizes)->Iterations(50);
BENCHMARK(BM_ScrollPage)->Apply(sizes)->Iterations(50);
BENCHMARK(BM_ChartsPanel)->Apply(sizes)->Iterations(5);

bool grabTo(QWidget& widget, const QString& path)
{
    QCoreApplication::processEvents();
    return widget.grab().save(path);
}

// Both panels and the print preview with a realistic log, for looking at.
int shots(const QString& dir, std::int64_t flights)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    QFile log(FlightLog_Path());
    if (!log.open(QIODevice::WriteOnly) || log.write(generateFlightLog(flights)) < 0)
        return 1;
    log.close();

    SilentDialogs dialogs;
    auto record = std::make_shared<clsLogEntry>();
    ucFlightLog panel(record, dialogs);
    panel.resize(1100, 640);
    panel.show();
    bool ok = grabTo(panel, dir + "/flightlog.png");
    emit panel.grid()->horizontalHeader()->sectionClicked(clsLogEntry::AIRCRAFT_TYPE_FIELD);
    panel.grid()->verticalScrollBar()->setValue(panel.grid()->verticalScrollBar()->maximum());
    ok = grabTo(panel, dir + "/flightlog-by-type-end.png") && ok;

    ucStats stats(dialogs);
    stats.resize(700, 640);
    stats.show();
    emit stats.findChild<PanelTitle*>("Title")->links()->clicked(0);
    ok = grabTo(stats, dir + "/stats.png") && ok;

    emit panel.grid()->horizontalHeader()->sectionClicked(clsLogEntry::FLIGHT_DATE_FIELD);
    panel.printer().setOutputFormat(QPrinter::PdfFormat);
    panel.printer().setOutputFileName(dir + "/flightlog.pdf");
    emit panel.findChild<PanelTitle*>("Title")->links()->clicked(ucFlightLog::LINK_PRINT_PREVIEW);
    if (FlightLogPreview* preview = panel.previewWindow()) {
        preview->goToPage(2);
        ok = grabTo(*preview, dir + "/preview.png") && ok;
        preview->close();
    }
    emit panel.findChild<PanelTitle*>("Title")->links()->clicked(ucFlightLog::LINK_PRINT);
    return ok ? 0 : 1;
}

// The generated log's flights spread evenly over the three years up to today,
// one in 150 without a readable date.
QByteArray threeYearLog(std::int64_t flights)
{
    QList<QByteArray> lines = generateFlightLog(flights).split('\n');
    lines.removeAll(QByteArray());
    const QDate first = chartToday().addDays(-1069);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray date = i % 150 == 149 ? QByteArray("n/a") : first.addDays(i * 1069 / lines.size()).toString(Qt::ISODate).toLatin1();
        lines[i] = date + lines[i].mid(lines[i].indexOf(','));
    }
    return lines.join('\n') + '\n';
}

// The charts panel (each chart), its printed page as PDF and as PNG.
int chartShots(const QString& dir, std::int64_t flights)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    QFile log(FlightLog_Path());
    if (!log.open(QIODevice::WriteOnly) || log.write(threeYearLog(flights)) < 0)
        return 1;
    log.close();

    SilentDialogs dialogs;
    ucCharts panel(dialogs);
    panel.resize(600, 420);   // about its size in the main window
    panel.show();
    bool ok = true;
    auto* tabs = panel.findChild<QTabWidget*>("tabCharts");
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        ok = grabTo(panel, dir + QString("/charts-%1.png").arg(tab + 1)) && ok;
    }
    try {
        panel.exportTo(dir + "/charts.pdf");
        panel.exportTo(dir + "/charts-page.png");
    } catch (const std::exception&) {
        ok = false;
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))   // screenshots may be taken under Xvfb instead
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "shots")
        return shots(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong());
    if (argc == 4 && QByteArray(argv[1]) == "chartshots")
        return chartShots(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
