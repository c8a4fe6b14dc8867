// quillon-log as the pilot runs it: the report and the check, on good and broken logs.

#include <QtTest>

namespace {

const QByteArray kA320 = "2002-07-07,A320,G-ABCD,EGLL,1000Z,1010Z,9000 lbs,LFPG,1100Z,1110Z,8000 lbs,2.5,2:30,1000 lbs";
const QByteArray kB737 = "2002-07-06,B737,G-EFGH,LFPG,1000Z,1010Z,9000 lbs,EGLL,1100Z,1110Z,8000 lbs,1.2,1:12,1000 lbs";

} // namespace

class tst_QuillonLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariableIsEmpty("XDG_DATA_HOME"));
        qputenv("LC_ALL", "C");
        qputenv("QUILLON_TODAY", "2002-07-31");
    }

    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");   // without FILE, the program's own log is used
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");   // FILE stands for the log's path
        QTest::addColumn<QByteArray>("warning");  // the start of standard error
        QTest::newRow("check, FILE defaults to the program's log") << QStringList{"check"} << kB737 + "\r\n" << 0
            << QByteArray("File: FILE\nFlights: 1\nTotal Flight Time: 1.2\n") << QByteArray();
        QTest::newRow("check, short line") << QStringList{"check", "FILE"} << kA320 + "\r\n\r\nA320,1.0\r\n" + kB737 << 1
            << QByteArray("File: FILE\nFlights: 1\nTotal Flight Time: 2.5\n"
                          "Incomplete: line 3 holds 2 fields; a flight needs 14\n"
                          "Mend line 3 of the file; the program will not save over it until then.\n") << QByteArray();
        QTest::newRow("stats, extra field: the report exactly, and a warning") << QStringList{"stats", "FILE"}
            << kB737 + "\r\n" + kA320 + ",x\r\n" << 1
            << QByteArray("\r\n  Flight Time by Aircraft Type:\r\n\r\n"
                          "       Aircraft Type: A320          Total Time: 2.5\r\n\r\n"
                          "       Aircraft Type: B737          Total Time: 1.2\r\n\r\n\r\n  Total Flight Time : 3.7")
            << QByteArray("quillon-log: Line 2 of the flight log FILE holds 15 fields");
        QTest::newRow("chart by year, with the undated line") << QStringList{"chart", "--by", "year", "FILE"}
            << kA320 + "\r\n" + kB737 + "\r\n" + QByteArray(kB737).replace("2002-07-06", "someday") + "\r\n" << 0
            << QByteArray("Year               Flights     Hours    Running hours\n"
                          "2002                     2       3.7              3.7\n"
                          "1 flight without a readable date is not shown\n") << QByteArray();
        QTest::newRow("chart by type, undated flights counted") << QStringList{"chart", "--by", "type", "FILE"}
            << kA320 + "\r\n" + QByteArray(kB737).replace("2002-07-06", "someday") + "\r\n" << 0
            << QByteArray("Type               Flights     Hours    Flights 12 mo      Hours 12 mo\n"
                          "A320                     1       2.5                1              2.5\n"
                          "B737                     1       1.2                0              0.0\n") << QByteArray();
        QByteArray months = "Month              Flights     Hours\n";
        for (QDate month(2000, 8, 1); month < QDate(2002, 7, 1); month = month.addMonths(1))
            months += month.toString("yyyy-MM").toLatin1() + "                  0       0.0\n";
        QTest::newRow("chart by month, the 24 months to today's") << QStringList{"chart", "--by", "month", "FILE"}
            << kA320 + "\r\n" + kB737 + "\r\n" << 0 << months + "2002-07                  2       3.7\n" << QByteArray();
        QTest::newRow("chart by an unknown figure") << QStringList{"chart", "--by", "week", "FILE"} << kA320 << 2
            << QByteArray() << QByteArray("usage:");
        QTest::newRow("usage error") << QStringList{"frobnicate"} << QByteArray() << 2 << QByteArray() << QByteArray();
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, file);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, warning);
#ifdef _WIN32
        const QString programLog = QFileInfo(qEnvironmentVariable("QUILLON_BIN_DIR") + "/flightlog.txt").absoluteFilePath();
#else
        const QString programLog = qEnvironmentVariable("XDG_DATA_HOME") + "/Quillon/flightlog.txt";
#endif
        const QString path = arguments.contains("FILE") ? m_dir.filePath("log.txt") : programLog;
        QFile log(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && log.open(QIODevice::WriteOnly));
        QVERIFY(log.write(file) == file.size() && log.flush());
        QProcess process;
        process.start(qEnvironmentVariable("QUILLON_BIN_DIR") + "/quillon-log", arguments.replaceInStrings("FILE", path));
        QVERIFY(process.waitForFinished(30000));
        QFile::remove(path);
        QCOMPARE(process.exitCode(), exitCode);
        const QByteArray nativePath = QDir::toNativeSeparators(path).toLocal8Bit();
        QCOMPARE(process.readAllStandardOutput(), output.replace("FILE", nativePath));
        const QByteArray error = process.readAllStandardError();
        QVERIFY2(error.startsWith(warning.replace("FILE", nativePath)), error.constData());
    }
};

QTEST_GUILESS_MAIN(tst_QuillonLog)
#include "tst_quillonlog.moc"
