#pragma once

#include <QWidget>

#include <functional>

class Dialogs;
class LogTable;
class PanelFrame;
class QPlainTextEdit;

// Flight time per aircraft type and in total, read from the saved log file on
// every click of its link; edits not yet saved in the log panel do not count.
//
// Child widgets carry object names for tests and tools: "Frame", "Title",
// "txtStats"; the one link is Title's group, index 0.
class ucStats : public QWidget {
    Q_OBJECT

public:
    // Builds the report from the loaded table, appending to the text as it goes.
    using ReportBuilder = std::function<void(LogTable&, QString&)>;

    // `build` defaults to appendFlightStatsReport.
    explicit ucStats(Dialogs& dialogs, QWidget* parent = nullptr, ReportBuilder build = {});

    // Background colour of the title strip, 0x00BBGGRR.
    void setTitle_BackColor(qint32 vData);

    // The report last shown (empty until the link is clicked).
    QString statsText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeControls();
    void Display_Flight_Stats();

    Dialogs& m_dialogs;
    ReportBuilder m_build;
    PanelFrame* m_frame = nullptr;
    QPlainTextEdit* m_txtStats = nullptr;
};
