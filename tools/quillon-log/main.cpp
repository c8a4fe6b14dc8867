// quillon-log stats [FILE]   the flight time report, exactly as the statistics panel shows it
// quillon-log check [FILE]   flights, total flight time and, for a log that does not load whole, why
// quillon-log chart --by month|type|year [FILE]   the charts panel's figures as a table
// FILE defaults to the program's flight log. Exit status: 0 good, 1 incomplete log, 2 usage.

#include "flightcharts.h"
#include "flightstats.h"
#include "modfunctions.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QStringList>

#include <cstdio>
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kExitIncomplete = 1;
constexpr int kExitUsage = 2;

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

int usage()
{
    print(stderr, QStringLiteral("usage: quillon-log stats [FILE]\n"
                                 "       quillon-log check [FILE]\n"
                                 "       quillon-log chart --by month|type|year [FILE]\n"
                                 "       (\"12 mo\": the 12 calendar months up to and including this one)\n"
                                 "FILE defaults to %1\n")
                      .arg(QDir::toNativeSeparators(FlightLog_Path())));
    return kExitUsage;
}

void reportLoadError(const LoadResult& load)
{
    if (load.errorNumber != 0)
        print(stderr, QStringLiteral("quillon-log: %1 (error %2)\n").arg(load.errorDescription).arg(load.errorNumber));
}

int stats(const QString& path)
{
    LogTable table;
    const LoadResult load = Load_XArray(table, path);
    print(stdout, flightStatsReport(table));
    // The report ends without a line end; a terminal gets one so the prompt starts on its own line.
    if (isatty(fileno(stdout)))
        print(stdout, QStringLiteral("\n"));
    reportLoadError(load);
    return load.complete ? 0 : kExitIncomplete;
}

int check(const QString& path)
{
    LogTable table;
    const LoadResult load = Load_XArray(table, path);
    print(stdout, QStringLiteral("File: %1%2\n")
                      .arg(QDir::toNativeSeparators(path), load.fileFound ? QString() : QStringLiteral(" (none yet)")));
    print(stdout, QStringLiteral("Flights: %1\n").arg(load.rowsKept));
    print(stdout, flightLogCaption(totalFlightTime(table)) + QStringLiteral("\n"));
    if (load.complete)
        return 0;
    print(stdout, QStringLiteral("Incomplete: %1\n").arg(load.reason));
    if (load.failedLine > 0)
        print(stdout, QStringLiteral("Mend line %1 of the file; the program will not save over it until then.\n")
                          .arg(load.failedLine));
    reportLoadError(load);
    return kExitIncomplete;
}

// The figures end with chartToday(): set QUILLON_TODAY for a fixed day.
int chart(const QString& by, const QString& path)
{
    static const QHash<QString, ChartKind> kKinds{
        {QStringLiteral("month"), ChartKind::Month},
        {QStringLiteral("type"), ChartKind::Type},
        {QStringLiteral("year"), ChartKind::Year}};
    if (!kKinds.contains(by))
        return usage();
    LogTable table;
    const LoadResult load = Load_XArray(table, path);
    print(stdout, flightChartTable(computeFlightCharts(table, chartToday()), kKinds.value(by)));
    reportLoadError(load);
    return load.complete ? 0 : kExitIncomplete;
}

} // namespace

int main(int argc, char* argv[])
{
#ifdef _WIN32
    // The report's own CR LF line ends, written as they are, not as CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 3 && args.at(0) == QLatin1String("chart") && args.at(1) == QLatin1String("--by")) {
        if (args.size() > 4)
            return usage();
        return chart(args.at(2), args.size() == 4 ? args.at(3) : FlightLog_Path());
    }
    if (args.isEmpty() || args.size() > 2)
        return usage();
    const QString path = args.size() == 2 ? args.at(1) : FlightLog_Path();
    if (args.at(0) == QLatin1String("stats"))
        return stats(path);
    if (args.at(0) == QLatin1String("check"))
        return check(path);
    return usage();
}
