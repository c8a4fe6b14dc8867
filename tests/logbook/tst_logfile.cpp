#include "logerrors.h"
#include "modfunctions.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A flight line of 14 fields, dated and numbered so that order and content show.
QByteArray flight(const char* date, int number)
{
    return QByteArray(date) + ",A320,G-" + QByteArray::number(number)
        + ",EGLL,1000Z,1010Z,9000 lbs,LFPG,1100Z,1110Z,8000 lbs,1.2,1:12,1000 lbs";
}

QStringList rowsOf(const LogTable& table)
{
    QStringList rows;
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        QByteArray line;
        for (int column = 0; column < LogTable::kColumnCount; ++column)
            line += (column ? "," : "") + table.cellBytes(row, column);
        rows << QString::fromUtf8(line);
    }
    return rows;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A table too large to save in an instant, so that a save can be interrupted.
void fillLarge(LogTable& table, int rows)
{
    table.resize(rows);
    const QByteArray line = flight("2002-07-07", 1);
    const QList<QByteArray> fields = line.split(',');
    std::array<std::string_view, LogTable::kColumnCount> cells;
    for (int column = 0; column < LogTable::kColumnCount; ++column)
        cells[column] = std::string_view(fields[column].constData(), fields[column].size());
    for (int row = 0; row < rows; ++row)
        table.setRow(row, cells);
}

// The largest file under `folder` that process `pid` holds open, seen through
// /proc, so that an unnamed new file counts too.
qint64 sizeOfFileBeingWritten(pid_t pid, const QString& folder)
{
    qint64 largest = 0;
    const QString fds = QString("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString link = fds + "/" + fd;
        struct stat info {};
        if (QFileInfo(link).symLinkTarget().startsWith(folder) && ::stat(qPrintable(link), &info) == 0)
            largest = std::max<qint64>(largest, info.st_size);
    }
    return largest;
}

} // namespace

class tst_LogFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath("flightlog.txt"); }

private slots:
    void init() { QFile::remove(path()); }

    void load_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<qsizetype>("failedLine");
        QTest::addColumn<qint32>("errorNumber");
        const QString a = flight("2002-07-01", 1), b = flight("2002-07-02", 2), c = flight("2002-07-03", 3);
        const QByteArray A = a.toUtf8(), B = b.toUtf8(), C = c.toUtf8();
        QTest::newRow("only empty lines") << QByteArray("\r\n\r\n\r\r\n") << QStringList{} << true << 0ll << 0;
        QTest::newRow("empty lines between flights") << "\r\n" + A + "\r\n\r\n\r\n" + B + "\r\n"
                                                     << QStringList{a, b} << true << 0ll << 0;
        QTest::newRow("13 commas: one row of empty cells")
            << QByteArray(",,,,,,,,,,,,,\r\n") << QStringList{",,,,,,,,,,,,,"} << true << 0ll << 0;
        QTest::newRow("15 fields: first 14 kept, log incomplete")
            << A + "\r\n" + B + ",extra\r\n" + C << QStringList{a, b, c} << false << 2ll << 0;
        QTest::newRow("fewer than 14 fields mid-file: rows before kept")
            << C + "\r\n" + A + "\r\n\r\nshort,line\r\n" + B + "\r\n" << QStringList{a, c} << false << 4ll
            << LogErrors::kShortLine;
        QTest::newRow("spaces and quotes kept")
            << QByteArray(" 2002-07-01 , \"A320\" ,,,,,,,,,,,,\"x\r\n")
            << QStringList{" 2002-07-01 , \"A320\" ,,,,,,,,,,,,\"x"} << true << 0ll << 0;
        QTest::newRow("CR alone ends a line, CR CR LF gives an empty line")
            << A + "\r" + B + "\r\r\n" + C << QStringList{a, b, c} << true << 0ll << 0;
        QTest::newRow("LF alone stays in the text of a file with CR")
            << "2002-07-01,A\nB,,,,,,,,,,,,x\ny\r\n" + B << QStringList{"2002-07-01,A\nB,,,,,,,,,,,,x\ny", b} << true
            << 0ll << 0;
        QTest::newRow("file without CR: LF ends a line") << A + "\n" + B + "\n\n" + C + "\n" << QStringList{a, b, c}
                                                         << true << 0ll << 0;
        QTest::newRow("last line without line end") << A + "\r\n" + B << QStringList{a, b} << true << 0ll << 0;
        QTest::newRow("rows come back ordered by date")
            << C + "\r\n" + A + "\r\nnot a date,,,,,,,,,,,,,\r\n" + B + "\r\n"
            << QStringList{a, b, c, "not a date,,,,,,,,,,,,,"} << true << 0ll << 0;
        QTest::newRow("short first line counts lines as an editor does")
            << QByteArray("x\ny\r\nshort") << QStringList{} << false << 1ll << LogErrors::kShortLine;
    }

    void load()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, rows);
        QFETCH(bool, complete);
        QFETCH(qsizetype, failedLine);
        QFETCH(qint32, errorNumber);
        writeFile(path(), file);
        LogTable table;
        const LoadResult result = Load_XArray(table, path());
        QCOMPARE(rowsOf(table), rows);
        QCOMPARE(result.rowsKept, rows.size());
        QCOMPARE(result.complete, complete);
        QCOMPARE(result.failedLine, failedLine);
        QCOMPARE(result.errorNumber, errorNumber);
        QCOMPARE(bool(table.incompleteLoad()), !complete);
        if (errorNumber)
            QVERIFY(result.errorDescription.contains(QString("Line %1 ").arg(failedLine)));
    }

    void noFileGivesAnEmptyLogAndNoMessage()
    {
        LogTable table;
        table.resize(3);
        const LoadResult result = Load_XArray(table, path());
        QCOMPARE(table.rowCount(), 0);
        QVERIFY(!result.fileFound);
        QVERIFY(result.complete);
        QCOMPARE(result.errorNumber, 0);
        QVERIFY(!QFile::exists(path()));
    }

    void unreadableFileIsReportedAndNotSavedOver()
    {
        QVERIFY(QDir().mkpath(path()));   // a folder where the file should be
        LogTable table;
        const LoadResult result = Load_XArray(table, path());
        QVERIFY(QDir().rmdir(path()));
        QVERIFY(result.fileFound);
        QVERIFY(!result.complete);
        QCOMPARE(result.errorNumber, LogErrors::kUnreadableFile);
        QVERIFY(result.errorDescription.contains(QDir::toNativeSeparators(path())));
        const SaveResult saved = saveLogTable(table, path());
        QCOMPARE(saved.errorNumber, LogErrors::kSaveRefused);
        QVERIFY2(saved.message.contains("Make the file readable"), qPrintable(saved.message));
    }

    void tableGrowsInStepsOf101Rows()
    {
        QByteArray file;
        for (int i = 0; i < 150; ++i)
            file += flight("2002-07-07", i) + "\r\n";
        writeFile(path(), file);
        LogTable table;
        const LoadResult result = Load_XArray(table, path());
        QCOMPARE(result.grownRows, 202);
        QCOMPARE(table.rowCount(), 150);
        QCOMPARE(table.cell(149, 2), std::string_view("G-149"));   // equal dates keep the file's order
    }

    void saveWritesEveryRowInTableOrderWithCrLf()
    {
        const QByteArray file = "\r\n" + flight("2002-07-02", 2) + "\r" + flight("2002-07-01", 1) + "\r"
            + ",,,,,,,,,,,,,";
        writeFile(path(), file);
        LogTable table;
        Load_XArray(table, path());
        table.insertRow(table.rowCount());
        table.setCell(3, 1, "cell with\nLF");
        const SaveResult saved = saveLogTable(table, path());
        QVERIFY2(saved.ok, qPrintable(saved.message));
        QCOMPARE(readFile(path()), flight("2002-07-01", 1) + "\r\n" + flight("2002-07-02", 2) + "\r\n"
                     + ",,,,,,,,,,,,,\r\n" + ",cell with\nLF,,,,,,,,,,,,\r\n");
        LogTable again;
        QVERIFY(Load_XArray(again, path()).complete);
        QCOMPARE(again.cell(3, 1), std::string_view("cell with\nLF"));
    }

    // Lines longer than the writer's buffer, between short ones, come back whole and in order.
    void longLinesRoundTrip()
    {
        LogTable table;
        table.resize(3);
        const std::string longCell(200 * 1024, 'x');
        table.setCell(0, 0, "2002-07-01");
        table.setCell(1, 0, "2002-07-02");
        table.setCell(1, 13, longCell);
        table.setCell(2, 0, "2002-07-03");
        QVERIFY(saveLogTable(table, path()).ok);
        LogTable again;
        QVERIFY(Load_XArray(again, path()).complete);
        QCOMPARE(rowsOf(again), rowsOf(table));
        QCOMPARE(readFile(path()).size(), qsizetype(3 * (10 + 13 + 2) + longCell.size()));
    }

    void saveRefusesALogThatDidNotLoadWhole()
    {
        const QByteArray file = flight("2002-07-01", 1) + "\r\nshort line\r\n" + flight("2002-07-02", 2) + "\r\n";
        writeFile(path(), file);
        LogTable table;
        Load_XArray(table, path());
        const SaveResult saved = saveLogTable(table, path());
        QVERIFY(!saved.ok);
        QCOMPARE(saved.errorNumber, LogErrors::kSaveRefused);
        QVERIFY2(saved.message.contains("line 2 holds 1 fields") && saved.message.contains("Mend that line"),
                 qPrintable(saved.message));
        QCOMPARE(readFile(path()), file);
        // Once mended, a new load checks afresh and saving works.
        writeFile(path(), flight("2002-07-01", 1) + "\r\n");
        QVERIFY(Load_XArray(table, path()).complete);
        QVERIFY(saveLogTable(table, path()).ok);
    }

    void saveReportsACellTheFormatCannotKeep_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QString>("says");
        QTest::newRow("comma") << QByteArray("A,320") << "\",\"";
        QTest::newRow("CR") << QByteArray("A320\r") << "line break";
    }

    void saveReportsACellTheFormatCannotKeep()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QString, says);
        const QByteArray file = flight("2002-07-01", 1) + "\r\n";
        writeFile(path(), file);
        LogTable table;
        Load_XArray(table, path());
        table.insertRow(1);
        table.setCell(1, 1, cell.toStdString());
        const SaveResult saved = saveLogTable(table, path());
        QVERIFY(!saved.ok);
        QCOMPARE(saved.errorNumber, LogErrors::kBadCellCharacter);
        QVERIFY2(saved.message.contains("Row 2, column \"Aircraft Type\"") && saved.message.contains(says),
                 qPrintable(saved.message));
        QCOMPARE(readFile(path()), file);
    }

    // A full disk: the write fails part way (file size limit in a child); the old log stays whole.
    void failedWriteLeavesTheOldFileWhole()
    {
        const QByteArray file = flight("2002-07-01", 1) + "\r\n";
        writeFile(path(), file);
        LogTable table;
        fillLarge(table, 20000);
        const pid_t child = fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64 * 1024, 64 * 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
            const SaveResult saved = saveLogTable(table, path());
            _exit(!saved.ok && saved.errorNumber == LogErrors::kSaveFailed && saved.message.contains(path()) ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(readFile(path()), file);
    }

    // A save killed while it writes: the old log is still complete.
    void killedSaveLeavesTheOldFileWhole()
    {
        const QByteArray file = flight("2002-07-01", 1) + "\r\n" + flight("2002-07-02", 2) + "\r\n";
        writeFile(path(), file);
        LogTable table;
        fillLarge(table, 200000);
        const pid_t child = fork();
        if (child == 0) {
            for (;;)
                saveLogTable(table, path());
        }
        // Wait until the writer holds a new file of some size in the folder, then kill it.
        QDeadlineTimer deadline(20000);
        bool caught = false;
        while (!caught && !deadline.hasExpired()) {
            QThread::msleep(1);
            caught = sizeOfFileBeingWritten(child, m_dir.path()) > 2 * 1024 * 1024;
        }
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        QVERIFY(caught);
        const QByteArray after = readFile(path());
        QVERIFY(after == file || after.size() == qsizetype(200000) * (flight("2002-07-07", 1).size() + 2));
        LogTable reloaded;
        QVERIFY(Load_XArray(reloaded, path()).complete);
    }

    void appDirectoryEndsInOneSeparator_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("expected");
        const QString s = QDir::separator();
        QTest::newRow("root unchanged") << QDir::rootPath() << QDir::toNativeSeparators(QDir::rootPath());
        QTest::newRow("separator added") << "/opt/quillon" << QDir::toNativeSeparators("/opt/quillon") + s;
        QTest::newRow("trailing separator kept single") << "/opt/quillon/" << QDir::toNativeSeparators("/opt/quillon/");
    }

    void appDirectoryEndsInOneSeparator()
    {
        QFETCH(QString, directory);
        QFETCH(QString, expected);
        QCOMPARE(App_Directory_For(directory), expected);
    }

    void flightLogLivesInTheDataFolder()
    {
#ifndef Q_OS_WIN
        const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY2(!dataHome.isEmpty(), "tests run with XDG_DATA_HOME set");
        QDir(dataHome + "/Quillon").removeRecursively();
        QCOMPARE(FlightLog_Path(), dataHome + "/Quillon/flightlog.txt");
        QVERIFY(QFileInfo(dataHome + "/Quillon").isDir());
#else
        QCOMPARE(FlightLog_Path(), App_Directory() + "flightlog.txt");
#endif
    }
};

QTEST_GUILESS_MAIN(tst_LogFile)
#include "tst_logfile.moc"
