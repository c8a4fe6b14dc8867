#include "logerrors.h"
#include "logpaneltesting.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using logpanel::readLogFile;
using logpanel::writeLogFile;

namespace {

// A flight line of 14 fields, dated and numbered so that order and content show.
QByteArray flight(const char* date, int number)
{
    return logpanel::flight(date, "A320", "G-" + QByteArray::number(number));
}

QByteArrayList rowsOf(const LogTable& table)
{
    QByteArrayList rows;
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        QByteArrayList cells;
        for (int column = 0; column < LogTable::kColumnCount; ++column)
            cells << table.cellBytes(row, column);
        rows << cells.join(',');
    }
    return rows;
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
        QTest::addColumn<QByteArray>("file");   // null: no file at all
        QTest::addColumn<QByteArrayList>("rows");
        QTest::addColumn<qsizetype>("failedLine");   // 0: the log loaded whole
        QTest::addColumn<qint32>("errorNumber");
        const QByteArray a = flight("2002-07-01", 1), b = flight("2002-07-02", 2), c = flight("2002-07-03", 3);
        const QByteArray quoted = " 2002-07-01 , \"A320\" ,,,,,,,,,,,,\"x";
        const QByteArray withLf = "2002-07-01,A\nB,,,,,,,,,,,,x\ny";
        const QByteArray longLine = "2002-07-02,,,,,,,,,,,,," + QByteArray(200 * 1024, 'x');
        QByteArrayList many;
        for (int i = 0; i < 150; ++i)
            many << flight("2002-07-07", i);
        QTest::newRow("no file: empty log, no message") << QByteArray() << QByteArrayList{} << 0ll << 0;
        QTest::newRow("empty lines between flights")
            << "\r\n" + a + "\r\n\r\n\r\n" + b + "\r\n" << QByteArrayList{a, b} << 0ll << 0;
        QTest::newRow("13 commas: one row of empty cells")
            << QByteArray(",,,,,,,,,,,,,\r\n") << QByteArrayList{",,,,,,,,,,,,,"} << 0ll << 0;
        QTest::newRow("15 fields: first 14 kept, reported")
            << a + "\r\n" + b + ",extra\r\n" + c << QByteArrayList{a, b, c} << 2ll << LogErrors::kExtraFields;
        QTest::newRow("LF alone in a CR LF file: named at the line it ends")
            << a + "\r\n" + b + "\n" + c + "\r\n" << QByteArrayList{a, b + "\n2002-07-03"} << 2ll
            << LogErrors::kExtraFields;
        QTest::newRow("LF alone ends the last line of a CR LF file: named there")
            << a + "\r\n" + b + "\n" << QByteArrayList{a, b} << 2ll << LogErrors::kMixedLineEnds;
        QTest::newRow("fewer than 14 fields mid-file: rows before kept")
            << c + "\r\n" + a + "\r\n\r\nshort,line\r\n" + b << QByteArrayList{a, c} << 4ll
            << LogErrors::kShortLine;
        QTest::newRow("spaces and quotes kept") << quoted + "\r\n" << QByteArrayList{quoted} << 0ll << 0;
        QTest::newRow("CR alone ends a line, CR CR LF gives an empty line")
            << a + "\r" + b + "\r\r\n" + c << QByteArrayList{a, b, c} << 0ll << 0;
        QTest::newRow("LF alone stays in the text of a file with CR")
            << withLf + "\r\n" + b << QByteArrayList{withLf, b} << 0ll << 0;
        QTest::newRow("file without CR: LF ends a line")
            << a + "\n" + b + "\n\n" + c + "\n" << QByteArrayList{a, b, c} << 0ll << 0;
        QTest::newRow("150 flights in file order") << many.join("\r\n") << many << 0ll << 0;
        QTest::newRow("line longer than the writer's buffer")
            << a + "\r\n" + longLine + "\r\n" + c << QByteArrayList{a, longLine, c} << 0ll << 0;
        QTest::newRow("short first line counts lines as an editor does")
            << QByteArray("x\ny\r\nshort") << QByteArrayList{} << 1ll << LogErrors::kShortLine;
    }

    void load()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArrayList, rows);
        QFETCH(qsizetype, failedLine);
        QFETCH(qint32, errorNumber);
        if (!file.isNull())
            writeLogFile(file, path());
        LogTable table;
        table.resize(3);   // a load (Undo) replaces what the table held
        const LoadResult result = Load_XArray(table, path());
        QCOMPARE(rowsOf(table), rows);
        QCOMPARE(result.rowsKept, rows.size());
        QCOMPARE(result.fileFound, !file.isNull());
        QCOMPARE(result.complete, failedLine == 0);
        QCOMPARE(bool(table.incompleteLoad()), failedLine != 0);
        QCOMPARE(result.failedLine, failedLine);
        QCOMPARE(result.errorNumber, errorNumber);
        if (errorNumber)
            QVERIFY(result.errorDescription.contains(QString("line %1 ").arg(failedLine), Qt::CaseInsensitive));
        if (failedLine == 0) {   // what loads saves back in table order, CR LF after every line
            table.resize(table.rowCount() + 1);
            QByteArray lines;
            for (const QByteArray& row : rows + QByteArrayList{",,,,,,,,,,,,,"})
                lines += row + "\r\n";
            QVERIFY(saveLogTable(table, path()).ok);
            QCOMPARE(readLogFile(path()), lines);
        }
    }

    void saveIsRefusedAndTheFileKept_data()
    {
        QTest::addColumn<QByteArray>("file");   // null: a folder where the file should be
        QTest::addColumn<QByteArray>("cell");   // put in a new last row before saving
        QTest::addColumn<qint32>("errorNumber");
        QTest::addColumn<QString>("says");
        const QByteArray one = flight("2002-07-01", 1) + "\r\n";
        QTest::newRow("short line mid-file") << one + "short line\r\n" + flight("2002-07-02", 2) << QByteArray()
                                             << LogErrors::kSaveRefused
                                             << "(line 2 holds 1 fields; a flight needs 14). Mend that line";
        QTest::newRow("unreadable file") << QByteArray() << QByteArray() << LogErrors::kSaveRefused
                                         << "). Make the file readable";
        QTest::newRow("cell with a comma") << one << QByteArray("A,320") << LogErrors::kBadCellCharacter
                                           << "Row 2, column \"Aircraft Type\" holds a \",\"";
        QTest::newRow("cell with a CR") << one << QByteArray("A320\r") << LogErrors::kBadCellCharacter
                                        << "Row 2, column \"Aircraft Type\" holds a line break";
    }

    // Nothing is lost or corrupted; once mended, a new load (Undo) checks afresh and saving works.
    void saveIsRefusedAndTheFileKept()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, cell);
        QFETCH(qint32, errorNumber);
        QFETCH(QString, says);
        if (file.isNull())
            QVERIFY(QDir().mkpath(path()));   // a folder where the file should be cannot be read
        else
            writeLogFile(file, path());
        LogTable table;
        const LoadResult loaded = Load_XArray(table, path());
        QVERIFY(!file.isNull() || (loaded.errorNumber == LogErrors::kUnreadableFile && QDir().rmdir(path())));
        QVERIFY(loaded.complete || loaded.errorDescription.contains(QDir::toNativeSeparators(path())));
        table.resize(table.rowCount() + 1);
        table.setCell(table.rowCount() - 1, 1, cell.toStdString());
        const SaveResult saved = saveLogTable(table, path());
        QCOMPARE(saved.errorNumber, errorNumber);
        QVERIFY2(!saved.ok && saved.message.contains(says), qPrintable(saved.message));
        QCOMPARE(readLogFile(path()), file);
        writeLogFile(flight("2002-07-01", 1) + "\r\n", path());
        QVERIFY(Load_XArray(table, path()).complete);
        QVERIFY(saveLogTable(table, path()).ok);
    }

    // A file too large for memory (sparse, so it takes no space): nothing
    // escapes, and the empty table cannot be saved over it.
    void failedLoadLeavesTheTableIncomplete()
    {
        QTemporaryDir shm("/dev/shm/quillon-XXXXXX");
        QFile huge(shm.filePath("flightlog.txt"));
        if (!shm.isValid() || !huge.open(QIODevice::WriteOnly) || !huge.resize(qint64(1) << 60))
            QSKIP("needs a file system with sparse files of 1 EiB (tmpfs in /dev/shm)");
        huge.close();
        LogTable table;
        const LoadResult result = Load_XArray(table, huge.fileName());
        QCOMPARE(result.errorNumber, LogErrors::kLoadFailed);
        QVERIFY(!result.complete && table.incompleteLoad());
        QCOMPARE(saveLogTable(table, huge.fileName()).errorNumber, LogErrors::kSaveRefused);
        QCOMPARE(QFileInfo(huge).size(), qint64(1) << 60);
    }

    // Each save keeps the file it replaces; the ten newest stay. A backup that
    // cannot be made stops the save.
    void savesKeepTheLastTenBackups()
    {
        const QString folder = m_dir.filePath("backups");
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(folder)); // named while the clock was ahead: the oldest all the same
        QFile ahead(folder + "/flightlog-2099-01-01_000000.000Z.txt");
        QVERIFY(ahead.open(QIODevice::WriteOnly));
        QVERIFY(ahead.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        ahead.close();
        LogTable table;
        table.resize(1);
        for (int save = 0; save < 12; ++save) {
            table.setCell(0, 1, std::to_string(save));
            QVERIFY(saveLogTable(table, path()).ok);
        }
        const QStringList backups = QDir(folder).entryList(QDir::Files, QDir::Name);
        QCOMPARE(backups.size(), 10);
        QVERIFY(backups.first().startsWith("flightlog-"));
        QCOMPARE(readLogFile(folder + "/" + backups.first()), QByteArray(",1,,,,,,,,,,,,\r\n"));
        QCOMPARE(readLogFile(folder + "/" + backups.last()), QByteArray(",10,,,,,,,,,,,,\r\n"));

        QVERIFY(QDir(folder).removeRecursively());
        writeLogFile("a file in the folder's place", folder);
        const SaveResult refused = saveLogTable(table, path());
        QVERIFY2(!refused.ok && refused.message.contains(QDir::toNativeSeparators(folder)),
                 qPrintable(refused.message));
        QCOMPARE(readLogFile(path()), QByteArray(",11,,,,,,,,,,,,\r\n"));
        QFile::remove(folder);
    }

#ifndef _WIN32
    // Disk full part way (a file size limit): reported, never shown as saved, and the old log stays whole.
    void failedWriteKeepsTheOldFile()
    {
        const QByteArray file = flight("2002-07-01", 1) + "\r\n" + flight("2002-07-02", 2) + "\r\n";
        writeLogFile(file, path());
        LogTable table;
        QVERIFY(loadLogBytes(table, (flight("2002-07-07", 1) + "\r\n").repeated(5000), "large").complete);
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
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(readLogFile(path()), file);
    }
#endif

    // The program's directory (a drive root too) ends in one separator; the log lives in the data folder,
    // created when needed, and on Windows beside the program.
    void whereTheLogLives()
    {
        QCOMPARE(App_Directory_For(QDir::rootPath()), QDir::toNativeSeparators(QDir::rootPath()));
        QCOMPARE(App_Directory_For("/opt/quillon"), QDir::toNativeSeparators("/opt/quillon/"));
        QCOMPARE(App_Directory_For("/opt/quillon/"), QDir::toNativeSeparators("/opt/quillon/"));
#ifdef _WIN32
        QCOMPARE(FlightLog_Path(), QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/flightlog.txt"));
#else
        const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + "/Quillon";
        QDir(folder).removeRecursively();
        QCOMPARE(FlightLog_Path(), folder + "/flightlog.txt");
        QVERIFY(QFileInfo(folder).isDir());
#endif
    }
};

QTEST_GUILESS_MAIN(tst_LogFile)
#include "tst_logfile.moc"
