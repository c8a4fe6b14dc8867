// The flight log at 32,767 and 1,000,000 flights: each operation beside its floor.
//   bench_logbook generate FLIGHTS FILE   writes a realistic log (run once, in its own process)
//   bench_logbook --benchmark_filter=...  runs one measurement; run_logbench.sh runs each in a fresh process
// Logs are read from $QUILLON_BENCH_DATA/log-<flights>.txt.

#include "flightcharts.h"
#include "flightstats.h"
#include "largepages.h"
#include "loggenerator.h"
#include "modfunctions.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString dataDir()
{
    const QString dir = qEnvironmentVariable("QUILLON_BENCH_DATA");
    return dir.isEmpty() ? QDir::tempPath() + "/quillon-bench" : dir;
}

QString logPath(std::int64_t flights)
{
    return dataDir() + QString("/log-%1.txt").arg(flights);
}

// Resident and peak resident size of this process, in bytes.
qint64 statusBytes(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

qint64 rssBytes() { return statusBytes("VmRSS:"); }
qint64 peakRssBytes() { return statusBytes("VmHWM:"); }

bool logReady(benchmark::State& state, std::int64_t flights)
{
    if (QFile::exists(logPath(flights)))
        return true;
    state.SkipWithError("no log: run 'bench_logbook generate FLIGHTS FILE' first");
    return false;
}

void reportMemory(benchmark::State& state, qint64 rssBefore, std::int64_t flights)
{
    const double fileBytes = double(QFileInfo(logPath(flights)).size());
    const double used = double(peakRssBytes() - rssBefore);
    state.counters["file_MB"] = fileBytes / 1e6;
    state.counters["mem_MB"] = used / 1e6;
    state.counters["mem_x_file"] = used / fileBytes;
}

LogTable loadedTable(std::int64_t flights)
{
    LogTable table;
    Load_XArray(table, logPath(flights));
    return table;
}

void BM_LoadSortTotal(benchmark::State& state)
{
    if (!logReady(state, state.range(0)))
        return;
    const qint64 rssBefore = rssBytes();
    for (auto _ : state) {
        LogTable table;
        const LoadResult result = Load_XArray(table, logPath(state.range(0)));
        benchmark::DoNotOptimize(totalFlightTime(table));
        state.counters["rows"] = double(result.rowsKept);
    }
    reportMemory(state, rssBefore, state.range(0));
}

// The three charts' figures from a loaded log: beside BM_LoadSortTotal, the cost of the charts panel on top of the load.
void BM_ChartData(benchmark::State& state)
{
    if (!logReady(state, state.range(0)))
        return;
    const LogTable table = loadedTable(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(computeFlightCharts(table, chartToday()));
    state.counters["rows"] = double(table.rowCount());
}

// Floor: the file's bytes into memory (in the same large pages the loader uses).
void BM_ReadFloor(benchmark::State& state)
{
    if (!logReady(state, state.range(0)))
        return;
    const qint64 rssBefore = rssBytes();
    for (auto _ : state) {
        QFile file(logPath(state.range(0)));
        file.open(QIODevice::ReadOnly);
        const std::shared_ptr<char> bytes = allocateLargeBuffer(std::size_t(file.size()));
        benchmark::DoNotOptimize(file.read(bytes.get(), file.size()));
    }
    reportMemory(state, rssBefore, state.range(0));
}

void BM_SortByType(benchmark::State& state)
{
    if (!logReady(state, state.range(0)))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        LogTable table = loadedTable(state.range(0));
        state.ResumeTiming();
        Sort_XArray(table, 1);
    }
}

void BM_Report(benchmark::State& state)
{
    if (!logReady(state, state.range(0)))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        LogTable table = loadedTable(state.range(0));
        state.ResumeTiming();
        benchmark::DoNotOptimize(flightStatsReport(table));
    }
}

void BM_Save(benchmark::State& state)
{
    if (!logReady(state, state.range(0)))
        return;
    const LogTable table = loadedTable(state.range(0));
    const QString target = dataDir() + "/save.txt";
    for (auto _ : state) {
        const SaveResult result = saveLogTable(table, target);
        if (!result.ok)
            state.SkipWithError(qPrintable(result.message));
    }
}

// Floor: the same bytes written with one write, one flush to disk and a rename.
void BM_WriteFloor(benchmark::State& state)
{
    if (!logReady(state, state.range(0)))
        return;
    QFile source(logPath(state.range(0)));
    source.open(QIODevice::ReadOnly);
    const QByteArray bytes = source.readAll();
    const QByteArray target = QFile::encodeName(dataDir() + "/save.txt");
    const QByteArray temporary = target + ".new";
    for (auto _ : state) {
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool ok = fd >= 0 && ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size()
            && ::fsync(fd) == 0;
        ::close(fd);
        if (!ok || ::rename(temporary.constData(), target.constData()) != 0)
            state.SkipWithError("floor write failed");
    }
}

void sizes(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Arg(32767)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_LoadSortTotal)->Apply(sizes);
BENCHMARK(BM_ChartData)->Apply(sizes);
BENCHMARK(BM_ReadFloor)->Apply(sizes);
BENCHMARK(BM_SortByType)->Apply(sizes);
BENCHMARK(BM_Report)->Apply(sizes);
BENCHMARK(BM_Save)->Apply(sizes);
BENCHMARK(BM_WriteFloor)->Apply(sizes);

int generate(const char* flights, const char* path)
{
    QSaveFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(generateFlightLog(QByteArray(flights).toLongLong()));
    return file.commit() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "generate")
        return generate(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
