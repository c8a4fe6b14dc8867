// The flight log panel as the pilot and the ACARS panel use it: logging,
// editing with checks, sorting, saving, undo, deleting and closing.

#include "clslogentry.h"
#include "logpaneltesting.h"
#include "recordingdialogs.h"
#include "ucflightlog.h"

#include <QtTest>

using namespace logpanel;

namespace {
const QByteArray kFlightA = flight("2002-07-05", "B737", "G-AAAA", "1.5");
const QByteArray kFlightB = flight("2002-07-06", "A320", "G-BBBB", "2.0");
const QByteArray kFlightC = flight("2002-07-07", "C172", "G-CCCC", "0.7");
const QString kSavedBox = QStringLiteral("Flight Log Saved");
const QString kErrorTitle = QStringLiteral("Quillon Error");

// The aircraft IDs of the table's rows, in order.
QStringList idsOf(const LogTable& table)
{
    QStringList ids;
    for (qsizetype row = 0; row < table.rowCount(); ++row)
        ids << table.cellText(row, clsLogEntry::AIRCRAFT_ID_FIELD);
    return ids;
}

QStringList rowOf(const LogTable& table, qsizetype row)
{
    QStringList cells;
    for (int column = 0; column < LogTable::kColumnCount; ++column)
        cells << table.cellText(row, column);
    return cells;
}

void fillRecord(clsLogEntry& record, const QByteArray& line)
{
    const QList<QByteArray> fields = line.split(',');
    for (int column = 0; column < clsLogEntry::kFieldCount; ++column)
        record.setField(column, QString::fromLatin1(fields[column]));
}
} // namespace

class tst_ucFlightLog : public QObject {
    Q_OBJECT

    RecordingDialogs m_dialogs;
    std::shared_ptr<clsLogEntry> m_record;
    std::unique_ptr<ucFlightLog> m_panel;

    ucFlightLog& openPanel()
    {
        m_panel = std::make_unique<ucFlightLog>(m_record, m_dialogs);
        m_panel->resize(1000, 500);
        m_panel->show();
        return *m_panel;
    }
    FlightLogView& grid() { return *m_panel->grid(); }
    bool boxShown(const QString& text) const
    {
        return std::any_of(m_dialogs.shown.begin(), m_dialogs.shown.end(),
                           [&](const MessageRequest& box) { return box.text == text; });
    }
    bool errorShownFrom(const QString& source) const
    {
        return std::any_of(m_dialogs.shown.begin(), m_dialogs.shown.end(), [&](const MessageRequest& box) {
            return box.title == kErrorTitle && box.text.contains(QStringLiteral("Error Source: ") + source);
        });
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init()
    {
        removeLogFile();
        m_dialogs = RecordingDialogs();
        m_record = std::make_shared<clsLogEntry>();
    }
    void cleanup() { m_panel.reset(); }

    void loggedFlight_data();
    void loggedFlight();
    void failedSaveOfLoggedFlightLeavesNoExtraRow();
    void cellEdits_data();
    void cellEdits();
    void headingClicks_data();
    void headingClicks();
    void save_data();
    void save();
    void refusedSaveOverIncompleteLoad();
    void totalAddsNumericTimesOnly();
    void deleteSelectedRows();
    void undoRestoresTheFileAndKeepsTheQuestion();
    void closingQuestion_data();
    void closingQuestion();
    void layoutNeverGoesNegative();
};

void tst_ucFlightLog::loggedFlight_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("sortedByType");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("caption");
    const QByteArray logged = flight("2002-07-08", "A300", "G-DDDD", "3.0");
    QTest::newRow("into an empty log") << QByteArray() << false << linesOf({logged})
                                       << "Total Flight Time: 3.0";
    QTest::newRow("sorted by type: appended last") << linesOf({kFlightA, kFlightB, kFlightC}) << true
                                                   << linesOf({kFlightB, kFlightA, kFlightC, logged})
                                                   << "Total Flight Time: 7.2";
}

void tst_ucFlightLog::loggedFlight()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, sortedByType);
    QFETCH(QByteArray, after);
    QFETCH(QString, caption);
    if (!before.isNull())
        writeLogFile(before);
    openPanel();
    if (sortedByType)
        clickHeading(grid(), clsLogEntry::AIRCRAFT_TYPE_FIELD);
    QSignalSpy ok(m_record.get(), &clsLogEntry::NewLogEntrySaveOK);
    fillRecord(*m_record, flight("2002-07-08", "A300", "G-DDDD", "3.0"));

    m_record->New_Log_Entry_Save();

    QCOMPARE(ok.count(), 1);
    QCOMPARE(readLogFile(), after);
    QCOMPARE(m_panel->table().cellText(m_panel->table().rowCount() - 1, clsLogEntry::AIRCRAFT_ID_FIELD),
             QStringLiteral("G-DDDD"));
    QVERIFY(!m_panel->isChanged());
    QCOMPARE(m_panel->caption(), caption);
    QCOMPARE(m_dialogs.lastText(), kSavedBox);
    QCOMPARE(m_dialogs.lastTitle(), QStringLiteral("Quillon Save Flight Log"));
}

// A retry of "Log Flight" after a failed save must not log the flight twice.
void tst_ucFlightLog::failedSaveOfLoggedFlightLeavesNoExtraRow()
{
    openPanel();
    QVERIFY(QDir().mkpath(FlightLog_Path()));   // a folder in the file's place: the save cannot replace it
    QSignalSpy ok(m_record.get(), &clsLogEntry::NewLogEntrySaveOK);
    QSignalSpy fail(m_record.get(), &clsLogEntry::NewLogEntrySaveFail);
    fillRecord(*m_record, kFlightA);

    m_record->New_Log_Entry_Save();
    m_record->New_Log_Entry_Save();
    QCOMPARE(fail.count(), 2);
    QCOMPARE(m_panel->table().rowCount(), 0);
    QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 0.0"));
    QVERIFY(errorShownFrom(QStringLiteral("ucFlightLog.Grid_Save()")));
    QVERIFY(!boxShown(kSavedBox));

    removeLogFile();
    m_record->New_Log_Entry_Save();
    QCOMPARE(ok.count(), 1);
    QCOMPARE(m_panel->table().rowCount(), 1);
    QCOMPARE(readLogFile(), kFlightA + "\r\n");
}

void tst_ucFlightLog::cellEdits_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");    // when accepted
    QTest::addColumn<QString>("message");   // empty: accepted

    // The checks themselves, in several locales, are tried in tst_cellvalidation.
    QTest::newRow("month-first date") << 0 << "7/7/2002" << "2002-07-07" << "";
    QTest::newRow("time gets one decimal") << 11 << "2" << "2.0" << "";
    QTest::newRow("fuel used numeric kept") << 13 << "850" << "850" << "";
    QTest::newRow("emptying a date") << 0 << "" << "" << "";
    QTest::newRow("HH:MM not computed from time") << 12 << "9:99" << "9:99" << "";
    QTest::newRow("fuel used with unit") << 13 << "850 lbs" << "" << "Please enter a numeric value";
    // Logged flights hold "1000 lbs": leaving such a cell as it was is no edit, so nothing is checked.
    QTest::newRow("unchanged fuel used not checked") << 13 << "1000 lbs" << "1000 lbs" << "";
}

void tst_ucFlightLog::cellEdits()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, message);
    writeLogFile(linesOf({kFlightA}));
    openPanel();
    const QStringList loadedRow = rowOf(m_panel->table(), 0);
    QStringList expectedRow = loadedRow;

    typeInto(grid(), 0, column, typed);
    pressEnter(grid());

    if (message.isEmpty()) {
        expectedRow[column] = stored;
        QVERIFY(m_dialogs.shown.isEmpty());
        QVERIFY(!grid().cellEditor());
        QCOMPARE(m_panel->isChanged(), expectedRow != loadedRow);
    } else {
        QCOMPARE(m_dialogs.lastText(), message);
        QCOMPARE(m_dialogs.lastTitle(), QStringLiteral("Quillon Invalid Field Entry"));
        QCOMPARE(m_dialogs.shown.last().icon, QMessageBox::Information);
        QVERIFY(grid().cellEditor());
        QCOMPARE(grid().cellEditor()->text(), typed);
        QVERIFY(!m_panel->isChanged());
    }
    QCOMPARE(rowOf(m_panel->table(), 0), expectedRow);
}

void tst_ucFlightLog::headingClicks_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ids");
    const QStringList byType{"G-BBBB", "G-AAAA", "G-CCCC"};
    QTest::newRow("Date sorts by date") << 0 << QStringList{"G-AAAA", "G-BBBB", "G-CCCC"};
    QTest::newRow("Aircraft Type sorts by type") << 1 << byType;
    QTest::newRow("Aircraft ID does nothing") << 2 << byType;
}

// Each click follows a sort by type, so a heading that did anything would show.
void tst_ucFlightLog::headingClicks()
{
    QFETCH(int, column);
    QFETCH(QStringList, ids);
    writeLogFile(linesOf({kFlightC, kFlightA, kFlightB}));
    openPanel();
    QCOMPARE(idsOf(m_panel->table()), (QStringList{"G-AAAA", "G-BBBB", "G-CCCC"}));
    clickHeading(grid(), clsLogEntry::AIRCRAFT_TYPE_FIELD);

    clickHeading(grid(), column);

    QCOMPARE(idsOf(m_panel->table()), ids);
    QVERIFY(!m_panel->isChanged());
    QCOMPARE(grid().model()->rowCount(), 4);
}

void tst_ucFlightLog::save_data()
{
    QTest::addColumn<QString>("typed");   // null: no cell in editing
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("lastBox");
    const QByteArray tidied = linesOf({kFlightA, kFlightC});
    QTest::newRow("no change still writes") << QString() << tidied << kSavedBox;
    QTest::newRow("value in editing saved first")
        << "7/9/2002" << linesOf({flight("2002-07-09", "B737", "G-AAAA", "1.5"), kFlightC}) << kSavedBox;
    QTest::newRow("refused value stops the save") << "someday" << QByteArray() << "Please enter a valid date";
}

// The file starts out of order and with an empty line, so a save shows.
void tst_ucFlightLog::save()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, file);
    QFETCH(QString, lastBox);
    const QByteArray untidy = kFlightC + "\r\n\r\n" + kFlightA + "\r\n";
    writeLogFile(untidy);
    openPanel();
    if (!typed.isNull())
        typeInto(grid(), 0, clsLogEntry::FLIGHT_DATE_FIELD, typed);

    clickLink(*m_panel, ucFlightLog::LINK_SAVE);

    const bool refused = lastBox != kSavedBox;
    QCOMPARE(readLogFile(), refused ? untidy : file);
    QCOMPARE(m_dialogs.lastText(), lastBox);
    QCOMPARE(m_dialogs.shown.last().icon, QMessageBox::Information);
    QCOMPARE(m_dialogs.shown.size(), 1);
    QCOMPARE(grid().cellEditor() != nullptr, refused);
    QCOMPARE(m_panel->queryClose(), !refused);   // a refused edit keeps the window open too
}

// A log that stopped loading at a broken line must not be saved over: the
// lines after it would be lost.
void tst_ucFlightLog::refusedSaveOverIncompleteLoad()
{
    const QByteArray file = linesOf({kFlightA, "2002-07-06,A320,short line", kFlightC});
    writeLogFile(file);
    openPanel();
    QVERIFY(errorShownFrom(QStringLiteral("modFunctions.Load_XArray()")));
    QCOMPARE(idsOf(m_panel->table()), QStringList{"G-AAAA"});

    typeInto(grid(), 0, clsLogEntry::AIRCRAFT_TYPE_FIELD, QStringLiteral("B738"));
    pressEnter(grid());
    clickLink(*m_panel, ucFlightLog::LINK_SAVE);

    QVERIFY(errorShownFrom(QStringLiteral("ucFlightLog.Grid_Save()")));
    QVERIFY(!boxShown(kSavedBox));
    QCOMPARE(readLogFile(), file);
    QVERIFY(m_panel->isChanged());
}

// The total follows every change; a row typed into the empty bottom row is a
// flight, and a second entry in it adds no further row.
void tst_ucFlightLog::totalAddsNumericTimesOnly()
{
    writeLogFile(linesOf({flight("2002-07-01", "A320", "G-1", "1.5"), flight("2002-07-02", "A320", "G-2", ""),
                          flight("2002-07-03", "A320", "G-3", "n/a"), flight("2002-07-04", "A320", "G-4", "2.2")}));
    openPanel();
    QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 3.7"));

    typeInto(grid(), 2, clsLogEntry::FLIGHT_TIME_FIELD, QStringLiteral("1"));
    pressEnter(grid());
    typeInto(grid(), 4, clsLogEntry::FLIGHT_TIME_FIELD, QStringLiteral("0.5"));
    pressEnter(grid());
    typeInto(grid(), 4, clsLogEntry::AIRCRAFT_TYPE_FIELD, QStringLiteral("DHC2"));
    pressEnter(grid());

    QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 5.2"));
    QCOMPARE(m_panel->table().rowCount(), 5);
    QCOMPARE(grid().model()->rowCount(), 6);
    QCOMPARE(m_panel->table().cellText(4, clsLogEntry::AIRCRAFT_TYPE_FIELD), QStringLiteral("DHC2"));
    QVERIFY(m_panel->isChanged());
}

void tst_ucFlightLog::deleteSelectedRows()
{
    writeLogFile(linesOf({kFlightA, kFlightB, kFlightC}));
    openPanel();
    QItemSelectionModel* selection = grid().selectionModel();
    const QAbstractItemModel* model = grid().model();
    selection->select(model->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(model->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);   // the empty row
    QApplication::setActiveWindow(m_panel.get());
    QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
    grid().setFocus();

    QTest::keyClick(&grid(), Qt::Key_Delete);

    QCOMPARE(idsOf(m_panel->table()), QStringList{"G-BBBB"});
    QCOMPARE(model->rowCount(), 2);
    QVERIFY(m_panel->isChanged());
    QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 2.0"));
    QVERIFY(!grid().deleteRowsAction()->isEnabled());
}

void tst_ucFlightLog::undoRestoresTheFileAndKeepsTheQuestion()
{
    const QByteArray file = linesOf({kFlightC, kFlightA, kFlightB});
    writeLogFile(file);
    openPanel();
    typeInto(grid(), 0, clsLogEntry::FLIGHT_TIME_FIELD, QStringLiteral("9"));
    pressEnter(grid());
    grid().selectRow(1);
    grid().deleteSelectedRows();
    clickHeading(grid(), clsLogEntry::AIRCRAFT_TYPE_FIELD);
    QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 9.7"));

    clickLink(*m_panel, ucFlightLog::LINK_UNDO);

    QCOMPARE(idsOf(m_panel->table()), (QStringList{"G-AAAA", "G-BBBB", "G-CCCC"}));
    QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 4.2"));
    QCOMPARE(m_dialogs.lastText(), QStringLiteral("Flight Log Changes Undone"));
    QCOMPARE(m_dialogs.lastTitle(), QStringLiteral("Quillon Undo Flight Log Changes"));
    QVERIFY(m_panel->isChanged());
    m_dialogs.answers = {QMessageBox::No};
    QVERIFY(m_panel->queryClose());
    QCOMPARE(m_dialogs.lastTitle(), QStringLiteral("Flight Log Changed"));
    QCOMPARE(readLogFile(), file);
}

void tst_ucFlightLog::closingQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QByteArray>("file");
    const QByteArray edited = linesOf({flight("2002-07-05", "B737", "G-AAAA", "4.0")});
    QTest::newRow("No leaves the file as last saved") << int(QMessageBox::No) << false << true << linesOf({kFlightA});
    QTest::newRow("Yes saves") << int(QMessageBox::Yes) << false << true << edited;
    QTest::newRow("failed save keeps the window open") << int(QMessageBox::Yes) << true << false << QByteArray();
}

void tst_ucFlightLog::closingQuestion()
{
    QFETCH(int, answer);
    QFETCH(bool, saveFails);
    QFETCH(bool, closes);
    QFETCH(QByteArray, file);
    writeLogFile(linesOf({kFlightA}));
    openPanel();
    QVERIFY(m_panel->queryClose());
    QVERIFY(m_dialogs.shown.isEmpty());   // nothing changed, nothing asked
    if (saveFails) {
        removeLogFile();
        QVERIFY(QDir().mkpath(FlightLog_Path()));
    }

    typeInto(grid(), 0, clsLogEntry::FLIGHT_TIME_FIELD, QStringLiteral("4"));   // still in editing at closing
    m_dialogs.answers = {QMessageBox::StandardButton(answer)};
    QCOMPARE(m_panel->queryClose(), closes);

    QCOMPARE(m_dialogs.shown.first().text, QStringLiteral("Would you like to save the changes made to the Flight Log?"));
    QCOMPARE(m_dialogs.shown.first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(m_dialogs.shown.first().icon, QMessageBox::NoIcon);
    QCOMPARE(errorShownFrom(QStringLiteral("ucFlightLog.Grid_Save()")), saveFails);
    QCOMPARE(readLogFile(), file);
}

void tst_ucFlightLog::layoutNeverGoesNegative()
{
    openPanel();
    m_panel->resize(300, 10);
    QCOMPARE(m_panel->findChild<QWidget*>(QStringLiteral("Title"))->width(), 300);
    QCOMPARE(grid().height(), 0);
    m_panel->resize(800, 600);
    QCOMPARE(grid().geometry().bottom(), 599);
    QCOMPARE(grid().width(), 800);
}

QTEST_MAIN(tst_ucFlightLog)
#include "tst_ucflightlog.moc"
