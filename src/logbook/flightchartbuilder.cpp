#include "flightchartbuilder.h"

#include "apperror.h"
#include "flightlogprinter.h"
#include "flightstats.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDir>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QValueAxis>

#include <algorithm>

namespace FlightChartBuilder {

namespace {

constexpr double kSceneWidth = 900;   // charts are laid out at this width, then scaled to the page
constexpr int kManyLabels = 8;        // more bar labels than this stand upright

QBarCategoryAxis* categoryAxis(const QStringList& categories)
{
    auto* axis = new QBarCategoryAxis;
    axis->append(categories);
    if (categories.size() > kManyLabels) {
        axis->setLabelsAngle(-90);
        QFont small = axis->labelsFont();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        axis->setLabelsFont(small);
        axis->setTruncateLabels(false);
    }
    return axis;
}

// Whole hours on the labels, unless the ticks are closer than an hour: a
// log of a few short flights would read "0, 1, 1, 2".
QValueAxis* hoursAxis(const QString& title, double maxHours)
{
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setRange(0, std::max(1.0, maxHours));
    axis->applyNiceNumbers();
    const double tickHours = (axis->max() - axis->min()) / std::max(1, axis->tickCount() - 1);
    axis->setLabelFormat(tickHours < 1 ? QStringLiteral("%.1f") : QStringLiteral("%.0f"));
    return axis;
}

std::unique_ptr<QChart> newChart(ChartKind kind)
{
    auto chart = std::make_unique<QChart>();
    chart->setTitle(title(kind));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

// No axes to draw: the title, and `line` in the middle of the chart.
std::unique_ptr<QChart> sentenceChart(ChartKind kind, const QString& line)
{
    auto chart = newChart(kind);
    chart->legend()->hide();
    auto* text = new QGraphicsSimpleTextItem(line, chart.get());
    text->setBrush(chart->titleBrush());
    QChart* raw = chart.get();
    QObject::connect(raw, &QGraphicsWidget::geometryChanged, raw,
                     [raw, text] { text->setPos(raw->rect().center() - text->boundingRect().center()); });
    return chart;
}

// Bars over the categories, with the hours axis on the left.
QBarSeries* addBars(QChart& chart, const QStringList& categories, std::initializer_list<QBarSet*> sets)
{
    auto* series = new QBarSeries;
    double most = 0;
    for (QBarSet* set : sets) {
        series->append(set);
        for (int i = 0; i < set->count(); ++i)
            most = std::max(most, set->at(i));
    }
    chart.addSeries(series);
    QBarCategoryAxis* x = categoryAxis(categories);
    QValueAxis* y = hoursAxis(QStringLiteral("Hours"), most);
    chart.addAxis(x, Qt::AlignBottom);
    chart.addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    return series;
}

QBarSet* hoursSet(const QString& name, const std::vector<PeriodTotal>& periods)
{
    auto* set = new QBarSet(name);
    for (const PeriodTotal& period : periods)
        set->append(period.hours);
    return set;
}

std::unique_ptr<QChart> monthChart(const FlightChartData& data)
{
    auto chart = newChart(ChartKind::Month);
    QStringList months;
    for (const PeriodTotal& month : data.months)
        months << month.first.toString(QStringLiteral("MM/yy"));   // short, to stand upright in a small panel
    addBars(*chart, months, {hoursSet(QStringLiteral("Block hours"), data.months)});
    chart->legend()->hide();
    return chart;
}

std::unique_ptr<QChart> typeChart(const FlightChartData& data)
{
    auto chart = newChart(ChartKind::Type);
    auto* allTime = new QBarSet(QStringLiteral("All time"));
    // The calendar months, this one included, not the 365 days up to today.
    const auto month = [](QDate date) { return QLocale().toString(date, QStringLiteral("MMM yyyy")); };
    auto* recent = new QBarSet(QStringLiteral("Last 12 months (%1 to %2)")
                                   .arg(month(data.today.addMonths(1 - FlightChartData::kRecentMonths)),
                                        month(data.today)));
    QStringList types;
    for (const TypeTotal& type : data.types) {
        types << type.label;
        *allTime << type.hours;
        *recent << type.recentHours;
    }
    addBars(*chart, types, {allTime, recent});
    return chart;
}

// Hours per year as bars, the running total as a line on its own axis on the right.
std::unique_ptr<QChart> yearChart(const FlightChartData& data)
{
    auto chart = newChart(ChartKind::Year);
    QStringList years;
    for (const PeriodTotal& year : data.years)
        years << QStringLiteral("%1 (%2)").arg(yearLabel(year)).arg(year.flights);
    QBarSeries* bars = addBars(*chart, years, {hoursSet(QStringLiteral("Hours"), data.years)});

    auto* line = new QLineSeries;
    line->setName(QStringLiteral("Running total of hours"));
    line->setPointsVisible(true);
    for (std::size_t i = 0; i < data.years.size(); ++i)
        line->append(double(i), data.years[i].runningHours);
    chart->addSeries(line);
    const double total = data.years.empty() ? 0 : data.years.back().runningHours;
    QValueAxis* right = hoursAxis(QStringLiteral("Running total"), total);
    chart->addAxis(right, Qt::AlignRight);
    line->attachAxis(bars->attachedAxes().constFirst());   // the years
    line->attachAxis(right);
    chart->axes(Qt::Horizontal).constFirst()->setTitleText(QStringLiteral("Year (flights)"));
    return chart;
}

void paintChart(QPainter& painter, const QRectF& target, std::unique_ptr<QChart> chart)
{
    QGraphicsScene scene;
    const QRectF source(0, 0, kSceneWidth, kSceneWidth * target.height() / target.width());
    chart->setGeometry(source);
    scene.addItem(chart.release());
    scene.setSceneRect(source);
    scene.render(&painter, target, source);
}

} // namespace

QString title(ChartKind kind)
{
    switch (kind) {
    case ChartKind::Month:
        return QStringLiteral("Block hours per month");
    case ChartKind::Type:
        return QStringLiteral("Hours per aircraft type");
    case ChartKind::Year:
        return QStringLiteral("Flights and hours per year");
    }
    return {};
}

std::unique_ptr<QChart> build(ChartKind kind, const FlightChartData& data)
{
    if (const QString line = emptyChartLine(data, kind); !line.isEmpty())
        return sentenceChart(kind, line);
    switch (kind) {
    case ChartKind::Month:
        return monthChart(data);
    case ChartKind::Type:
        return typeChart(data);
    case ChartKind::Year:
        return yearChart(data);
    }
    return {};
}

void paintPage(QPainter& painter, const QRectF& page, const FlightChartData& data, const QString& header)
{
    painter.save();
    painter.setFont(FlightLogPrinter::printFont());
    painter.setPen(Qt::black);
    const double lineHeight = QFontMetricsF(painter.font(), painter.device()).height() * 1.35;
    painter.drawText(QRectF(page.left(), page.top(), page.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     header);
    const double top = page.top() + 2 * lineHeight;
    if (data.flights == 0) {
        painter.drawText(QRectF(page.left(), top, page.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         kEmptyLogText);
        painter.restore();
        return;
    }
    const QString notShown = notShownLine(data);
    const double footer = notShown.isEmpty() ? 0 : 2 * lineHeight;
    const double chartHeight = (page.bottom() - top - footer) / 3;
    int slot = 0;
    for (ChartKind kind : {ChartKind::Month, ChartKind::Type, ChartKind::Year})
        paintChart(painter, QRectF(page.left(), top + chartHeight * slot++, page.width(), chartHeight), build(kind, data));
    if (footer > 0)
        painter.drawText(QRectF(page.left(), page.bottom() - lineHeight, page.width(), lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, notShown);
    painter.restore();
}

void print(QPrinter& printer, const FlightChartData& data, const QString& header)
{
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString target = printer.outputFileName().isEmpty() ? printer.printerName()
                                                                   : QDir::toNativeSeparators(printer.outputFileName());
        throw AppError(FlightLogPrinter::kErrPrinterNotReady, QStringLiteral("Cannot start printing on %1.").arg(target));
    }
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    paintPage(painter, QRectF(0, 0, page.width(), page.height()), data, header);
    painter.end();
}

} // namespace FlightChartBuilder
