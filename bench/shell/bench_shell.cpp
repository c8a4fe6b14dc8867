// Process start to the main window's first paint, offscreen. Each iteration
// starts this program again as a child that builds either the real program
// (empty log or 32,767 flights) or a bare QMainWindow, and says "painted" once
// its window has painted; the parent times spawn to that line.

#include "dialogs.h"
#include "frmmain.h"
#include "modmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const char* g_self = nullptr;

// Says "painted" after the first paint of `window` has completed.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : m_window(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_done && event->type() == QEvent::Paint && watched == m_window) {
            m_done = true;
            QTimer::singleShot(0, [] {
                std::puts("painted");
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    QWidget* m_window;
    bool m_done = false;
};

int runChild(int argc, char* argv[], const std::string& mode)
{
    QApplication app(argc, argv);
    QtDialogs dialogs;
    QMainWindow bare;
    bare.resize(590, 420);
    if (mode == "bare") {
        bare.show();
    } else {
        Main(dialogs); // shown, not yet painted: painting waits for the event loop
    }
    QWidget* window = mode == "bare" ? static_cast<QWidget*>(&bare) : g_frmMain.data();
    FirstPaint spy(window);
    window->installEventFilter(&spy);
    return app.exec();
}

// 32,767 flights of fourteen fields, CR LF after each.
void writeLargeLog(const QString& dataHome)
{
    QDir().mkpath(dataHome + QStringLiteral("/Quillon"));
    QFile file(dataHome + QStringLiteral("/Quillon/flightlog.txt"));
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    const char* types[] = {"B737", "A320", "C172", "DHC8", "B744", "MD83"};
    for (int i = 0; i < 32767; ++i) {
        const QString line = QStringLiteral("%1-%2-%3,%4,N%5QL,KSEA,1402Z,1410Z,12000 lbs,KPDX,1455Z,1501Z,9800 lbs,1.0,0:59,2200\r\n")
                                 .arg(1990 + i % 35)
                                 .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                                 .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                                 .arg(QLatin1String(types[i % 6]))
                                 .arg(i % 1000);
        file.write(line.toLatin1());
    }
}

struct ChildTimes {
    double wallSeconds;   // spawn to "painted"
    double cpuSeconds;    // the child's user + system time, to its exit: steadier on a busy machine
};

double seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// Spawns the child with its own scratch home and times it to "painted".
ChildTimes timeChild(const char* mode, const QString& dataHome, const QString& configHome)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        std::abort();
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_DATA_HOME", qPrintable(dataHome), 1);
        setenv("XDG_CONFIG_HOME", qPrintable(configHome), 1);
        execl(g_self, g_self, "--child", mode, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[64] = {};
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer - 1);
    const auto painted = std::chrono::steady_clock::now();
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (got <= 0 || std::strncmp(buffer, "painted", 7) != 0)
        std::abort();
    return {std::chrono::duration<double>(painted - start).count(), seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

void runStartUp(benchmark::State& state, const char* mode, bool largeLog)
{
    QTemporaryDir scratch;
    const QString dataHome = scratch.filePath(QStringLiteral("data"));
    const QString configHome = scratch.filePath(QStringLiteral("config"));
    QDir().mkpath(dataHome);
    QDir().mkpath(configHome);
    if (largeLog)
        writeLargeLog(dataHome);
    double cpuSeconds = 0;
    for (auto _ : state) {
        const ChildTimes times = timeChild(mode, dataHome, configHome);
        state.SetIterationTime(times.wallSeconds);
        cpuSeconds += times.cpuSeconds;
    }
    state.counters["child_cpu_ms"] = 1000.0 * cpuSeconds / double(state.iterations());
}

void BM_BareMainWindow(benchmark::State& state) { runStartUp(state, "bare", false); }
void BM_QuillonEmptyLog(benchmark::State& state) { runStartUp(state, "quillon", false); }
void BM_QuillonLargeLog(benchmark::State& state) { runStartUp(state, "quillon", true); }

BENCHMARK(BM_BareMainWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_QuillonEmptyLog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_QuillonLargeLog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, argv[2]);
    g_self = "/proc/self/exe";
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
