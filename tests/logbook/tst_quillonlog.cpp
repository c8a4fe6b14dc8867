// quillon-log as the pilot runs it: the report and the check, on good and broken logs.

#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run quillonLog(const QStringList& arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("QUILLON_BIN_DIR") + "/quillon-log", arguments);
    process.waitForFinished(30000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QByteArray kFlightA320 = "2002-07-07,A320,G-ABCD,EGLL,1000Z,1010Z,9000 lbs,LFPG,1100Z,1110Z,8000 lbs,2.5,2:30,1000 lbs";
const QByteArray kFlightB737 = "2002-07-06,B737,G-EFGH,LFPG,1000Z,1010Z,9000 lbs,EGLL,1100Z,1110Z,8000 lbs,1.2,1:12,1000 lbs";

} // namespace

class tst_QuillonLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo(qEnvironmentVariable("QUILLON_BIN_DIR") + "/quillon-log").isExecutable());
        qputenv("LANG", "C");
        qputenv("LC_ALL", "C");
    }

    void statsPrintsTheReportExactly()
    {
        const QString path = m_dir.filePath("good.txt");
        writeFile(path, kFlightA320 + "\r\n" + kFlightB737 + "\r\n");
        const Run run = quillonLog({"stats", path});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("\r\n  Flight Time by Aircraft Type:\r\n\r\n"
                                     "       Aircraft Type: A320          Total Time: 2.5\r\n\r\n"
                                     "       Aircraft Type: B737          Total Time: 1.2\r\n\r\n"
                                     "\r\n  Total Flight Time : 3.7"));
    }

    void checkCountsFlightsAndTotal()
    {
        const QString path = m_dir.filePath("good.txt");
        writeFile(path, kFlightA320 + "\n" + kFlightB737 + "\n");
        const Run run = quillonLog({"check", path});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("Flights: 2\nTotal Flight Time: 3.7\n"), run.out);
    }

    void checkNamesTheBrokenLine_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("says");
        QTest::newRow("short line") << kFlightA320 + "\r\n\r\nA320,1.0\r\n" + kFlightB737
                                    << QByteArray("Flights: 1\nTotal Flight Time: 2.5\n"
                                                  "Incomplete: line 3 holds 2 fields; a flight needs 14\n");
        QTest::newRow("extra field") << kFlightA320 + ",x\r\n" + kFlightB737
                                     << QByteArray("Flights: 2\nTotal Flight Time: 3.7\n"
                                                   "Incomplete: line 1 holds 15 fields; only the first 14 are kept\n");
    }

    void checkNamesTheBrokenLine()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, says);
        const QString path = m_dir.filePath("broken.txt");
        writeFile(path, file);
        const Run run = quillonLog({"check", path});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.contains(says), run.out);
    }

    void defaultFileIsTheProgramsLog()
    {
        const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY(!dataHome.isEmpty());
        QDir().mkpath(dataHome + "/Quillon");
        writeFile(dataHome + "/Quillon/flightlog.txt", kFlightB737 + "\r\n");
        const Run run = quillonLog({"check"});
        QFile::remove(dataHome + "/Quillon/flightlog.txt");
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("Flights: 1\n"), run.out);
    }

    void usageErrorExitsWithTwo()
    {
        QCOMPARE(quillonLog({"frobnicate"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(tst_QuillonLog)
#include "tst_quillonlog.moc"
