#pragma once

#include "logtable.h"

#include <QWidget>

#include <memory>

class clsLogEntry;
class Dialogs;
class FlightLogModel;
class FlightLogPreview;
class FlightLogView;
class PanelFrame;
class QLabel;
class QPrinter;

// The pilot's log book: the whole flight log in an editable grid with the
// total flight time in its caption. Saves, reverts to the saved file, sorts by
// a click on the "Date" or "Aircraft Type" heading, prints, and answers the
// shared record's save request by appending the logged flight and writing the
// file at once. The log file is FlightLog_Path().
//
// Child widgets carry object names for tests and tools: "Frame", "Title",
// "tdbLog" (the grid), "lblCaption"; the links are Title's group, index 0..4.
class ucFlightLog : public QWidget {
    Q_OBJECT

public:
    // Link indexes of the title strip.
    enum Link { LINK_SAVE = 0, LINK_UNDO = 1, LINK_PAGE_SETUP = 2, LINK_PRINT_PREVIEW = 3, LINK_PRINT = 4 };

    ucFlightLog(std::shared_ptr<clsLogEntry> record, Dialogs& dialogs, QWidget* parent = nullptr);
    ~ucFlightLog() override;

    // Background colour of the title strip, 0x00BBGGRR.
    void setTitle_BackColor(qint32 vData);

    // The closing step: commits a cell still in editing and, when the log has
    // unsaved changes, asks whether to save them. False when the window must
    // stay open: the edit was refused or the save failed.
    bool queryClose();

    // The panel's state, for the window and for tests.
    bool isChanged() const { return m_blnChanged; }
    QString caption() const;
    FlightLogView* grid() const { return m_tdbLog; }
    const LogTable& table() const { return m_xarLog; }
    // The page settings used by page setup, preview and printing; made on
    // first use (asking the system for its printers takes a while).
    QPrinter& printer();
    // The open print preview window, if any.
    FlightLogPreview* previewWindow() const;
    // "Flight Log: " and the date and time at which the panel was initialised.
    QString pageHeader() const { return m_strPageHeader; }

    // Selects the rows whose flightKey() is among `flights` (as many rows as
    // the key is given), makes the first of them current and scrolls to it.
    // Returns the number of rows selected; a box says why when that is fewer.
    qsizetype selectFlights(const QList<QByteArray>& flights);

signals:
    // A refused cell edit is about to be explained in a box, perhaps while the
    // panel is hidden (Log Flight, closing): the host shows the panel now.
    void refusingEdit();
    // The log file has been written.
    void logSaved();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void placeControls();

    void UCI();
    void Grid_Column_Widths();
    void Grid_Load();
    bool Grid_Save();
    void Grid_Undo();
    void Grid_Sort(int column);
    void NewACARS_Entry();
    void Total_FlightTime();
    void Grid_Page_Setup();
    void Grid_Print_Preview();
    bool Grid_Print();
    bool Grid_Save_Prompt();

    void hypACARS_Click(int index);
    void tdbLog_HeadClick(int column);
    void tdbLog_RowsChangedByUser();
    bool commitEditInProgress();
    void writeLog();
    void takeBackFlight(qsizetype row);
    void paintLog(QPrinter& printer) const;

    Dialogs& m_dialogs;
    std::shared_ptr<clsLogEntry> m_objNewLogEntry;
    LogTable m_xarLog;
    bool m_blnChanged = false;
    QString m_strPageHeader;

    PanelFrame* m_frame = nullptr;
    QLabel* m_lblCaption = nullptr;
    FlightLogModel* m_model = nullptr;
    FlightLogView* m_tdbLog = nullptr;
    std::unique_ptr<QPrinter> m_printer;
};
