// The flight log panel as the pilot and the ACARS panel use it: logging,
// editing with checks, sorting, saving and undo. Closing is tried from the
// main window.

#include "clslogentry.h"
#include "logpaneltesting.h"
#include "recordingdialogs.h"
#include "ucflightlog.h"

using namespace logpanel;

namespace {
const QByteArray kFlightA = flight("2002-07-05", "B737", "G-AAAA", "1.5");
const QByteArray kFlightB = flight("2002-07-06", "A320", "G-BBBB", "2.0");
const QByteArray kFlightC = flight("2002-07-07", "C172", "G-CCCC", "0.7");
const QString kSavedBox = QStringLiteral("Flight Log Saved");
const QString kSaveError = QStringLiteral("Error Source: ucFlightLog.Grid_Save()");

// The aircraft IDs of the table's rows, in order.
QStringList idsOf(const LogTable& table)
{
    QStringList ids;
    for (qsizetype row = 0; row < table.rowCount(); ++row)
        ids << table.cellText(row, clsLogEntry::AIRCRAFT_ID_FIELD);
    return ids;
}

struct CellEdit {
    int column = 0;
    QString typed, stored, message;   // stored: the cell afterwards; message: empty when accepted
};

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

    void openPanel(const QByteArray& file = QByteArray())
    {
        if (!file.isNull())
            writeLogFile(file);
        m_panel = std::make_unique<ucFlightLog>(m_record, m_dialogs);
        m_panel->resize(1000, 500);
        m_panel->show();
    }
    FlightLogView& grid() { return *m_panel->grid(); }
    bool boxShown(const QString& text) const
    {
        return std::any_of(m_dialogs.shown.begin(), m_dialogs.shown.end(),
                           [&](const MessageRequest& box) { return box.text.contains(text); });
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

    // After a sort by type the file is written in the grid's order, the new flight last.
    void loggedFlightIsSavedAtOnce()
    {
        openPanel(linesOf({kFlightA, kFlightB, kFlightC}));
        clickHeading(grid(), clsLogEntry::AIRCRAFT_TYPE_FIELD);
        QSignalSpy ok(m_record.get(), &clsLogEntry::NewLogEntrySaveOK);
        const QByteArray logged = flight("2002-07-08", "A300", "G-DDDD", "3.0");
        fillRecord(*m_record, logged);
        bool busyWithBox = false;
        m_dialogs.whileShown = [&](const MessageRequest&) { busyWithBox |= QGuiApplication::overrideCursor() != nullptr; };

        m_record->New_Log_Entry_Save();

        QVERIFY(!busyWithBox);
        QCOMPARE(ok.count(), 1);
        QCOMPARE(readLogFile(), linesOf({kFlightB, kFlightA, kFlightC, logged}));
        QVERIFY(!m_panel->isChanged());
        QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 7.2"));
        QCOMPARE(m_dialogs.lastText(), kSavedBox);
        QCOMPARE(m_dialogs.lastTitle(), QStringLiteral("Quillon Save Flight Log"));
    }

    // A retry of "Log Flight" after a failed save must not log the flight twice.
    void failedSaveOfLoggedFlightLeavesNoExtraRow()
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
        QVERIFY(boxShown(kSaveError) && !boxShown(kSavedBox));

        removeLogFile();
        m_record->New_Log_Entry_Save();
        QCOMPARE(ok.count(), 1);
        QCOMPARE(readLogFile(), kFlightA + "\r\n");
    }

    // The checks themselves, in several locales, are tried in tst_cellvalidation.
    void cellEdits_data()
    {
        QTest::addColumn<CellEdit>("edit");
        QTest::newRow("month-first date") << CellEdit{0, "7/7/2002", "2002-07-07", ""};
        QTest::newRow("fuel used with unit") << CellEdit{13, "850 lbs", "1000 lbs", "Please enter a numeric value"};
        // Logged flights hold "1000 lbs": leaving such a cell as it was is no edit, so nothing is checked.
        QTest::newRow("unchanged fuel used not checked") << CellEdit{13, "1000 lbs", "1000 lbs", ""};
    }
    void cellEdits()
    {
        QFETCH(CellEdit, edit);
        openPanel(linesOf({kFlightA}));
        const QString loaded = m_panel->table().cellText(0, edit.column);

        enterInto(grid(), 0, edit.column, edit.typed);

        QCOMPARE(m_panel->table().cellText(0, edit.column), edit.stored);
        QCOMPARE(m_panel->isChanged(), edit.stored != loaded);
        QCOMPARE(m_dialogs.lastText(), edit.message);
        QCOMPARE(grid().cellEditor() != nullptr, !edit.message.isEmpty());
        if (!edit.message.isEmpty()) {
            QCOMPARE(m_dialogs.lastTitle(), QStringLiteral("Quillon Invalid Field Entry"));
            QCOMPARE(grid().cellEditor()->text(), edit.typed);
        }
    }

    // Each click follows a sort by type, so a heading that did anything would
    // show. The selected flight (G-AAAA) and the current cell move with it.
    void headingClicks_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("Date sorts by date") << 0 << QStringList{"G-AAAA", "G-BBBB", "G-CCCC"};
        QTest::newRow("Aircraft Type sorts by type") << 1 << QStringList{"G-BBBB", "G-AAAA", "G-CCCC"};
        QTest::newRow("Aircraft ID does nothing") << 2 << QStringList{"G-BBBB", "G-AAAA", "G-CCCC"};
    }
    void headingClicks()
    {
        QFETCH(int, column);
        QFETCH(QStringList, ids);
        openPanel(linesOf({kFlightC, kFlightA, kFlightB}));
        clickHeading(grid(), clsLogEntry::AIRCRAFT_TYPE_FIELD);
        grid().selectRow(1);
        const auto cell = [this](int row) { return grid().model()->index(row, clsLogEntry::FLIGHT_ORIGIN_FIELD); };
        grid().selectionModel()->setCurrentIndex(cell(1), QItemSelectionModel::NoUpdate);

        clickHeading(grid(), column);

        QCOMPARE(idsOf(m_panel->table()), ids);
        const int row = int(ids.indexOf("G-AAAA"));
        QCOMPARE(grid().currentIndex(), cell(row));
        QCOMPARE(grid().selectionModel()->selectedRows(), QModelIndexList{grid().model()->index(row, 0)});
        QVERIFY(!m_panel->isChanged());
    }

    // A clean file starts out of order and with an empty line, so a save shows.
    // Saving over a log that did not load whole would lose what was not loaded.
    void save_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("typed");   // into the first date, left in editing; null: nothing
        QTest::addColumn<QByteArray>("saved");   // null: the file is kept
        QTest::addColumn<QString>("lastBox");
        const QByteArray untidy = kFlightC + "\r\n\r\n" + kFlightA + "\r\n";
        const QByteArray editedA = flight("2002-07-09", "B737", "G-AAAA", "1.5");
        QTest::newRow("no change still writes") << untidy << QString() << linesOf({kFlightA, kFlightC}) << kSavedBox;
        QTest::newRow("value in editing saved first") << untidy << "7/9/2002" << linesOf({editedA, kFlightC}) << kSavedBox;
        QTest::newRow("refused value stops the save") << untidy << "someday" << QByteArray() << "Please enter a valid date";
        QTest::newRow("short line: the flights after it are not loaded")
            << linesOf({kFlightA, "2002-07-06,A320,short line", kFlightC}) << "7/9/2002" << QByteArray() << kSaveError;
        QTest::newRow("extra field: only the first 14 would be kept")
            << linesOf({kFlightA, kFlightB + ",extra", kFlightC}) << "7/9/2002" << QByteArray() << kSaveError;
    }
    void save()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, typed);
        QFETCH(QByteArray, saved);
        QFETCH(QString, lastBox);
        openPanel(file);
        const bool broken = lastBox == kSaveError;
        QCOMPARE(boxShown("Error Source: modFunctions.Load_XArray()") && boxShown("Line 2 "), broken);
        if (!typed.isNull())
            typeInto(grid(), 0, clsLogEntry::FLIGHT_DATE_FIELD, typed);

        clickLink(*m_panel, ucFlightLog::LINK_SAVE);

        QCOMPARE(readLogFile(), saved.isNull() ? file : saved);
        QVERIFY2(m_dialogs.lastText().contains(lastBox), qPrintable(m_dialogs.lastText()));
        QCOMPARE(boxShown(kSavedBox), !saved.isNull());
        QCOMPARE(m_dialogs.shown.size(), broken ? 2 : 1);
        QCOMPARE(m_dialogs.shown.last().icon, broken ? QMessageBox::Warning : QMessageBox::Information);
        const bool refusedEdit = saved.isNull() && !broken;
        QCOMPARE(grid().cellEditor() != nullptr, refusedEdit);
        QCOMPARE(m_panel->queryClose(), !refusedEdit);   // a refused edit keeps the window open too
    }

    // The total follows every change; a row typed into the empty bottom row is
    // a flight, and a second entry in it adds no further row. Undo reloads the
    // file and clears the selection, which would land on other flights; the
    // closing question is still asked.
    void totalFollowsEditsAndUndo()
    {
        const QByteArray file = linesOf({flight("2002-07-04", "A320", "G-4", "2.2"), flight("2002-07-02", "C172", "G-2", ""),
                                         flight("2002-07-03", "B737", "G-3", "n/a"), flight("2002-07-01", "A320", "G-1", "1.5")});
        openPanel(file);
        QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 3.7"));

        enterInto(grid(), 2, clsLogEntry::FLIGHT_TIME_FIELD, QStringLiteral("1"));
        enterInto(grid(), 4, clsLogEntry::FLIGHT_TIME_FIELD, QStringLiteral("0.5"));
        enterInto(grid(), 4, clsLogEntry::AIRCRAFT_TYPE_FIELD, QStringLiteral("DHC2"));
        QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 5.2"));
        QCOMPARE(m_panel->table().rowCount(), 5);
        QCOMPARE(grid().model()->rowCount(), 6);
        grid().selectRow(3);
        grid().deleteSelectedRows();
        clickHeading(grid(), clsLogEntry::AIRCRAFT_TYPE_FIELD);
        QCOMPARE(idsOf(m_panel->table()), (QStringList{"G-1", "G-3", "G-2", ""}));
        QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 3.0"));
        grid().selectRow(1);

        clickLink(*m_panel, ucFlightLog::LINK_UNDO);

        QVERIFY(!grid().selectionModel()->hasSelection() && !grid().currentIndex().isValid());
        QCOMPARE(idsOf(m_panel->table()), (QStringList{"G-1", "G-2", "G-3", "G-4"}));
        QCOMPARE(m_panel->caption(), QStringLiteral("Total Flight Time: 3.7"));
        QCOMPARE(m_dialogs.lastText(), QStringLiteral("Flight Log Changes Undone"));
        QVERIFY(m_panel->isChanged());
        QCOMPARE(readLogFile(), file);
    }
};

QTEST_MAIN(tst_ucFlightLog)
#include "tst_ucflightlog.moc"
