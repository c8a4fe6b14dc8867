#pragma once

#include "flightcharts.h"
#include "logtable.h"

#include <QList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class Dialogs;
class PanelFrame;
class QChartView;
class QLabel;
class QPrinter;
class QTabWidget;

// The log book at a glance: block hours per month, hours per aircraft type
// and flights and hours per year, read from the saved log file each time the
// panel is shown and whenever the log is saved while it is in view. A click
// on a bar asks for those flights to be shown in the flight log panel.
//
// Child widgets carry object names for tests and tools: "Frame", "Title",
// "tabCharts", the chart views "chtMonths", "chtTypes", "chtYears",
// "lblUndated" and "lblEmpty"; the links are Title's group, index 0..3.
class ucCharts : public QWidget {
    Q_OBJECT

public:
    enum Link { LINK_PAGE_SETUP = 0, LINK_PRINT_PREVIEW = 1, LINK_PRINT = 2, LINK_SAVE_AS = 3 };

    // `today` gives the day the charts end with; chartToday() by default.
    explicit ucCharts(Dialogs& dialogs, QWidget* parent = nullptr, std::function<QDate()> today = {});
    ~ucCharts() override;

    // Background colour of the title strip, 0x00BBGGRR.
    void setTitle_BackColor(qint32 vData);

    // Reads the saved log again when the panel is in view (the next showing reads it otherwise).
    void logSaved();
    // Reads the saved log and redraws the charts.
    void refresh();

    const FlightChartData& data() const { return m_data; }
    QChartView* chartView(ChartKind kind) const { return m_views[static_cast<int>(kind)]; }
    QPrinter& printer();
    // "Flight Log Charts: " and the date and time the log was last read.
    QString pageHeader() const { return m_pageHeader; }
    // Writes the charts' page to `path`: a PNG image for ".png", else a PDF. AppError on failure.
    void exportTo(const QString& path);

signals:
    // The flights of a clicked bar, each as flightKey() gives it.
    void flightsChosen(const QList<QByteArray>& flights);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void placeControls();
    void showCharts();
    void showUndatedLine();
    void connectBars(ChartKind kind);
    void barClicked(const ChartBar& bar);
    void hypCharts_Click(int index);
    void pageSetup();
    void printPreview();
    bool printCharts();
    void saveAs();
    void paint(QPrinter& printer) const;

    Dialogs& m_dialogs;
    std::function<QDate()> m_today;
    LogTable m_table;
    FlightChartData m_data;
    QString m_pageHeader;
    QString m_reportedFailure;   // the log file's size, time and load error last reported; empty when it loaded whole

    PanelFrame* m_frame = nullptr;
    QTabWidget* m_tabs = nullptr;
    std::array<QChartView*, 3> m_views{};
    QLabel* m_lblUndated = nullptr;
    QLabel* m_lblEmpty = nullptr;
    std::unique_ptr<QPrinter> m_printer;
};
