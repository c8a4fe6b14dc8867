#pragma once

#include "flightcharts.h"

#include <QString>

#include <memory>

class QPainter;
class QPrinter;
class QRectF;

class QChart;

// Draws the figures it is given as Qt charts; adds nothing up itself.
namespace FlightChartBuilder {

// Shown instead of the charts while the log has no flights.
inline const QString kEmptyLogText =
    QStringLiteral("No flights in the log yet: the charts appear here once a flight has been saved.");

// The chart's bars are QBarSet objects; for ChartKind::Type the first set is
// all time and the second the last 12 months. A chart without bars has no
// series: its emptyChartLine() stands in the middle instead.
std::unique_ptr<QChart> build(ChartKind kind, const FlightChartData& data);
QString title(ChartKind kind);

// One page: `header` in the top line, the three charts one under another, and
// the undated line at the foot; the empty-log sentence instead for an empty log.
void paintPage(QPainter& painter, const QRectF& page, const FlightChartData& data, const QString& header);
// The page on the printer; AppError when the printer cannot be started.
void print(QPrinter& printer, const FlightChartData& data, const QString& header);

} // namespace FlightChartBuilder
