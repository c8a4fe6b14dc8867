#pragma once

#include "logtable.h"

#include <QFont>
#include <QString>

#include <array>

class QFontMetricsF;
class QPainter;
class QPrinter;

// Prints the flight log: the page header on every page, the column headings
// once at the top of the first page, then every row in the table's order.
// Each column is as wide as its longest text, and together they are fitted
// to the page width; should they not fit, a text too long for its narrowed
// column is cut with "...". Arial 8.25 throughout.
class FlightLogPrinter {
public:
    // The printer could not be started (no printer, or its file cannot be written).
    static constexpr qint32 kErrPrinterNotReady = 30201;

    // The table is not copied and must outlive the printer object.
    FlightLogPrinter(const LogTable& table, const QString& pageHeader);

    // Pages needed on the printer's current paper and margins.
    int pageCount(QPrinter& printer) const;
    // Paints every page; AppError when the printer cannot be started.
    void print(QPrinter& printer) const;

    static QFont printFont();

private:
    struct PageLayout {
        double widthPx = 0;
        double rowHeightPx = 0;
        double headingHeightPx = 0;     // one or two lines
        double paddingPx = 0;
        double ruleWidthPx = 0;
        double tableTopPx = 0;          // below the page header
        qsizetype firstPageRows = 1;    // rows below the headings of page 1
        qsizetype otherPageRows = 1;
        std::array<double, LogTable::kColumnCount + 1> columnX{};   // left edges, then the right end
    };

    PageLayout layoutFor(QPrinter& printer) const;
    void placeColumns(PageLayout& layout, const QFontMetricsF& metrics, const QFontMetricsF& headingMetrics) const;
    QString longestCell(int column) const;
    static int headingLines(const PageLayout& layout, const QFontMetricsF& headingMetrics);
    void paintPageHeader(QPainter& painter, const PageLayout& layout) const;
    double paintHeadings(QPainter& painter, const PageLayout& layout, double top) const;
    double paintTopRule(QPainter& painter, const PageLayout& layout, double top) const;
    double paintRow(QPainter& painter, const PageLayout& layout, qsizetype row, double top) const;
    void paintColumnLines(QPainter& painter, const PageLayout& layout, double top, double bottom) const;

    const LogTable& m_table;
    QString m_pageHeader;
};
