#include "flightlogprinter.h"

#include "apperror.h"
#include "modfunctions.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {
constexpr double kRowHeightFactor = 1.35;   // of the font's line height
constexpr QColor kRuleColor{160, 160, 160};
constexpr double kRuleWidthInch = 1.0 / 200;   // thin, yet still seen in a preview

QFont boldOf(QFont font)
{
    font.setBold(true);
    return font;
}

qsizetype rowsThatFit(double heightPx, double rowHeightPx)
{
    return std::max<qsizetype>(1, static_cast<qsizetype>(heightPx / rowHeightPx));
}
} // namespace

FlightLogPrinter::FlightLogPrinter(const LogTable& table, const QString& pageHeader)
    : m_table(table), m_pageHeader(pageHeader)
{
}

QFont FlightLogPrinter::printFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    // Shaping would join letters into ligatures, which PDF readers then copy as one character.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

FlightLogPrinter::PageLayout FlightLogPrinter::layoutFor(QPrinter& printer) const
{
    const QFontMetricsF metrics(printFont(), &printer);
    const QFontMetricsF headingMetrics(boldOf(printFont()), &printer);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);

    PageLayout layout;
    layout.widthPx = page.width();
    layout.rowHeightPx = metrics.height() * kRowHeightFactor;
    layout.paddingPx = metrics.averageCharWidth() / 2;
    layout.ruleWidthPx = printer.resolution() * kRuleWidthInch;
    placeColumns(layout, metrics, headingMetrics);
    layout.headingHeightPx = headingLines(layout, headingMetrics) * headingMetrics.height()
                             + layout.rowHeightPx - metrics.height();
    layout.tableTopPx = layout.rowHeightPx * 2;   // the header line and a blank line
    const double tableHeightPx = page.height() - layout.tableTopPx;
    layout.otherPageRows = rowsThatFit(tableHeightPx, layout.rowHeightPx);
    layout.firstPageRows = rowsThatFit(tableHeightPx - layout.headingHeightPx, layout.rowHeightPx);
    return layout;
}

// Each column as wide as its longest text (a heading may take two lines, so
// only its longest word counts), then all of them stretched or narrowed
// alike to fill the page width exactly.
void FlightLogPrinter::placeColumns(PageLayout& layout, const QFontMetricsF& metrics,
                                    const QFontMetricsF& headingMetrics) const
{
    std::array<double, LogTable::kColumnCount> natural{};
    for (int column = 0; column < LogTable::kColumnCount; ++column) {
        double widest = metrics.horizontalAdvance(longestCell(column));
        for (const QString& word : columnHeading(column).split(QLatin1Char(' ')))
            widest = std::max(widest, headingMetrics.horizontalAdvance(word));
        natural[column] = widest + 2 * layout.paddingPx;
    }
    const double scale = layout.widthPx / std::accumulate(natural.begin(), natural.end(), 0.0);
    double x = 0;
    for (int column = 0; column < LogTable::kColumnCount; ++column) {
        layout.columnX[column] = x;
        x += natural[column] * scale;
    }
    layout.columnX[LogTable::kColumnCount] = layout.widthPx;
}

// The column's longest text by length: one pass over the byte lengths, one
// text decoded, so that a large log is laid out quickly.
QString FlightLogPrinter::longestCell(int column) const
{
    qsizetype longestRow = -1;
    std::size_t longest = 0;
    for (qsizetype row = 0; row < m_table.rowCount(); ++row) {
        const std::size_t size = m_table.cell(row, column).size();
        if (size > longest) {
            longest = size;
            longestRow = row;
        }
    }
    return longestRow < 0 ? QString() : m_table.cellText(longestRow, column);
}

int FlightLogPrinter::headingLines(const PageLayout& layout, const QFontMetricsF& headingMetrics)
{
    int lines = 1;
    for (int column = 0; column < LogTable::kColumnCount; ++column) {
        const QRectF room(0, 0, layout.columnX[column + 1] - layout.columnX[column] - 2 * layout.paddingPx, 1e6);
        const QRectF used = headingMetrics.boundingRect(room, Qt::TextWordWrap, columnHeading(column));
        lines = std::max(lines, static_cast<int>(std::lround(used.height() / headingMetrics.height())));
    }
    return lines;
}

int FlightLogPrinter::pageCount(QPrinter& printer) const
{
    const PageLayout layout = layoutFor(printer);
    const qsizetype after = std::max<qsizetype>(0, m_table.rowCount() - layout.firstPageRows);
    return static_cast<int>(1 + (after + layout.otherPageRows - 1) / layout.otherPageRows);
}

void FlightLogPrinter::print(QPrinter& printer) const
{
    const PageLayout layout = layoutFor(printer);
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString target = printer.outputFileName().isEmpty() ? printer.printerName()
                                                                   : QDir::toNativeSeparators(printer.outputFileName());
        throw AppError(kErrPrinterNotReady, QStringLiteral("Cannot start printing on %1.").arg(target));
    }
    painter.setFont(printFont());

    qsizetype row = 0;
    bool firstPage = true;
    do {
        if (!firstPage)
            printer.newPage();
        paintPageHeader(painter, layout);
        const double tableTop = layout.tableTopPx;
        double top = firstPage ? paintHeadings(painter, layout, tableTop) : paintTopRule(painter, layout, tableTop);
        const qsizetype pageRows = firstPage ? layout.firstPageRows : layout.otherPageRows;
        for (qsizetype n = 0; n < pageRows && row < m_table.rowCount(); ++n, ++row)
            top = paintRow(painter, layout, row, top);
        paintColumnLines(painter, layout, tableTop, top);
        firstPage = false;
    } while (row < m_table.rowCount());
    painter.end();
}

void FlightLogPrinter::paintPageHeader(QPainter& painter, const PageLayout& layout) const
{
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, 0, layout.widthPx, layout.rowHeightPx), Qt::AlignLeft | Qt::AlignVCenter,
                     m_pageHeader);
}

double FlightLogPrinter::paintHeadings(QPainter& painter, const PageLayout& layout, double top) const
{
    painter.save();
    painter.setFont(boldOf(printFont()));
    const double gap = (layout.rowHeightPx - QFontMetricsF(printFont(), painter.device()).height()) / 2;
    for (int column = 0; column < LogTable::kColumnCount; ++column) {
        const QRectF cell(layout.columnX[column] + layout.paddingPx, top + gap,
                          layout.columnX[column + 1] - layout.columnX[column] - 2 * layout.paddingPx,
                          layout.headingHeightPx - 2 * gap);
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, columnHeading(column));
    }
    painter.restore();
    const double bottom = top + layout.headingHeightPx;
    painter.setPen(QPen(Qt::black, layout.ruleWidthPx));
    painter.drawLine(QPointF(0, top), QPointF(layout.widthPx, top));
    painter.drawLine(QPointF(0, bottom), QPointF(layout.widthPx, bottom));
    return bottom;
}

double FlightLogPrinter::paintRow(QPainter& painter, const PageLayout& layout, qsizetype row, double top) const
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    painter.setPen(Qt::black);
    for (int column = 0; column < LogTable::kColumnCount; ++column) {
        const QRectF cell(layout.columnX[column] + layout.paddingPx, top,
                          layout.columnX[column + 1] - layout.columnX[column] - 2 * layout.paddingPx,
                          layout.rowHeightPx);
        const QString text = m_table.cellText(row, column);
        if (!text.isEmpty())
            painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                             metrics.elidedText(text, Qt::ElideRight, cell.width()));
    }
    const double bottom = top + layout.rowHeightPx;
    painter.setPen(QPen(kRuleColor, layout.ruleWidthPx));
    painter.drawLine(QPointF(0, bottom), QPointF(layout.widthPx, bottom));
    return bottom;
}

double FlightLogPrinter::paintTopRule(QPainter& painter, const PageLayout& layout, double top) const
{
    painter.setPen(QPen(kRuleColor, layout.ruleWidthPx));
    painter.drawLine(QPointF(0, top), QPointF(layout.widthPx, top));
    return top;
}

void FlightLogPrinter::paintColumnLines(QPainter& painter, const PageLayout& layout, double top, double bottom) const
{
    painter.setPen(QPen(kRuleColor, layout.ruleWidthPx));
    for (double x : layout.columnX)
        painter.drawLine(QPointF(x, top), QPointF(x, bottom));
}
