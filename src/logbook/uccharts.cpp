#include "uccharts.h"

#include "apperror.h"
#include "busycursor.h"
#include "dialogs.h"
#include "errorreport.h"
#include "flightchartbuilder.h"
#include "flightlogpreview.h"
#include "linklabelgroup.h"
#include "modfunctions.h"
#include "panelframe.h"
#include "paneltitle.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <QShowEvent>
#include <QTabWidget>
#include <QToolTip>

namespace {
const QString kSourceRefresh = QStringLiteral("ucCharts.refresh()");
const QString kSourcePageSetup = QStringLiteral("ucCharts.pageSetup()");
const QString kSourcePrintPreview = QStringLiteral("ucCharts.printPreview()");
const QString kSourcePrint = QStringLiteral("ucCharts.printCharts()");
const QString kSourceSaveAs = QStringLiteral("ucCharts.saveAs()");
const QString kPageHeaderPrefix = QStringLiteral("Flight Log Charts: ");
const QString kSaveTitle = QStringLiteral("Save Charts as PNG or PDF");
const QString kSaveFilters = QStringLiteral("PDF document (*.pdf);;PNG image (*.png)");
const QString kCannotWrite = QStringLiteral("Cannot write file %1:\n%2.");

// Not a printer's failure but the file's: the disk is full, the folder cannot be written, ...
constexpr qint32 kErrCannotWrite = 75;
constexpr int kPngDpi = 150;
constexpr QSize kPngSize{1240, 1754};   // A4 at kPngDpi
constexpr int kPngMarginPx = 60;
constexpr int kPdfDpi = 1200;

// Left to right in index order (see ucCharts::Link).
constexpr std::array<PanelLink, 4> kLinks{{
    {"Page Setup", 240, 1020},
    {"Print Preview", 1500, 1140},
    {"Print", 2880, 480},
    {"Save as PNG/PDF", 3600, 1500},
}};

struct ViewPlacement {
    ChartKind kind;
    const char* name;
    const char* tab;
};
constexpr std::array<ViewPlacement, 3> kViews{{
    {ChartKind::Month, "chtMonths", "By Month"},
    {ChartKind::Type, "chtTypes", "By Type"},
    {ChartKind::Year, "chtYears", "By Year"},
}};

void writeWhole(const QString& path, const std::function<bool(QSaveFile&)>& write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.commit()) {
        const QString reason = file.error() == QFileDevice::NoError ? QStringLiteral("the picture could not be made")
                                                                    : file.errorString();
        throw AppError(kErrCannotWrite, kCannotWrite.arg(QDir::toNativeSeparators(path), reason));
    }
}
} // namespace

ucCharts::ucCharts(Dialogs& dialogs, QWidget* parent, std::function<QDate()> today)
    : QWidget(parent), m_dialogs(dialogs), m_today(today ? std::move(today) : chartToday)
{
    buildControls();
}

// The preview paints from the figures; it goes before them.
ucCharts::~ucCharts()
{
    delete FlightLogPreview::of(*this);
}

void ucCharts::buildControls()
{
    m_frame = new PanelFrame(kLinks, this);
    connect(m_frame->title()->links(), &LinkLabelGroup::clicked, this, &ucCharts::hypCharts_Click);

    m_tabs = new QTabWidget(m_frame);
    m_tabs->setObjectName(QStringLiteral("tabCharts"));
    for (const auto& [kind, name, tab] : kViews) {
        auto* view = new QChartView(m_tabs);
        view->setObjectName(QString::fromLatin1(name));
        view->setRenderHint(QPainter::Antialiasing);
        m_views[static_cast<int>(kind)] = view;
        m_tabs->addTab(view, QString::fromLatin1(tab));
    }
    connect(m_tabs, &QTabWidget::currentChanged, this, &ucCharts::showUndatedLine);
    m_lblUndated = new QLabel(m_frame);
    m_lblUndated->setObjectName(QStringLiteral("lblUndated"));
    m_lblUndated->setIndent(6);
    m_lblEmpty = new QLabel(FlightChartBuilder::kEmptyLogText, m_frame);
    m_lblEmpty->setObjectName(QStringLiteral("lblEmpty"));
    m_lblEmpty->setAlignment(Qt::AlignCenter);
    m_lblEmpty->setWordWrap(true);
    showCharts();
}

QPrinter& ucCharts::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void ucCharts::setTitle_BackColor(qint32 vData)
{
    m_frame->title()->setBackColor(vData);
}

void ucCharts::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

// Not when the window comes back from the task bar: the panel has not been away.
void ucCharts::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        refresh();
}

void ucCharts::placeControls()
{
    const QRect body = m_frame->fillPanel();
    const int undatedHeight =
        std::min(body.height(), m_lblUndated->text().isEmpty() ? 0 : m_lblUndated->sizeHint().height() + 4);
    m_tabs->setGeometry(body.adjusted(0, 0, 0, -undatedHeight));
    m_lblUndated->setGeometry(body.x(), body.bottom() + 1 - undatedHeight, body.width(), undatedHeight);
    m_lblEmpty->setGeometry(body);
}

void ucCharts::logSaved()
{
    if (isVisible())
        refresh();
}

// A load that fails part way is reported with the load's own source, once
// for each state of the file rather than each time the panel is shown; the
// charts then show the flights that were read.
void ucCharts::refresh()
{
    try {
        BusyCursor busy;
        LogTable table;
        const LoadResult loaded = Load_XArray(table);
        const QFileInfo file(FlightLog_Path());
        const QString failure = loaded.errorNumber == 0
            ? QString()
            : QStringLiteral("%1 %2 %3").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch())
                  .arg(loaded.errorDescription);
        if (!failure.isEmpty() && failure != m_reportedFailure)
            Error_Report(m_dialogs, QString::fromLatin1(kLoadXArraySource), loaded.errorNumber,
                         loaded.errorDescription);
        m_reportedFailure = failure;
        m_data = computeFlightCharts(table, m_today());
        m_table = std::move(table);
        m_pageHeader = kPageHeaderPrefix + QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceRefresh, e);
    }
    showCharts();
}

void ucCharts::showCharts()
{
    for (const auto& [kind, name, tab] : kViews) {
        QChartView* view = chartView(kind);
        QChart* old = view->chart();
        view->setChart(FlightChartBuilder::build(kind, m_data).release());
        delete old;
        connectBars(kind);
    }
    const bool empty = m_data.flights == 0;
    m_tabs->setVisible(!empty);
    m_lblEmpty->setVisible(empty);
    m_lblUndated->setText(notShownLine(m_data));
    showUndatedLine();
}

// Flights without a charted date are left out of the month and year charts only; the type chart counts them.
void ucCharts::showUndatedLine()
{
    const bool typeChart = m_tabs->currentWidget() == chartView(ChartKind::Type);
    m_lblUndated->setVisible(m_data.flights > 0 && !m_lblUndated->text().isEmpty() && !typeChart);
    placeControls();
}

void ucCharts::connectBars(ChartKind kind)
{
    for (QAbstractSeries* series : chartView(kind)->chart()->series()) {
        auto* bars = qobject_cast<QBarSeries*>(series);
        if (!bars)
            continue;
        const QList<QBarSet*> sets = bars->barSets();
        for (qsizetype n = 0; n < sets.size(); ++n) {
            connect(sets[n], &QBarSet::clicked, this,
                    [this, kind, recent = n == 1](int index) { barClicked({kind, index, recent}); });
        }
        if (kind == ChartKind::Month) {
            connect(sets.constFirst(), &QBarSet::hovered, this, [this](bool over, int index) {
                QToolTip::showText(QCursor::pos(), over ? monthToolTip(m_data.months.at(index)) : QString());
            });
        }
    }
}

void ucCharts::barClicked(const ChartBar& bar)
{
    QToolTip::hideText();
    QList<QByteArray> flights;
    for (qsizetype row : flightsOfBar(m_table, m_data, bar))
        flights.append(flightKey(m_table, row));
    if (!flights.isEmpty())
        emit flightsChosen(flights);
}

void ucCharts::hypCharts_Click(int index)
{
    switch (index) {
    case LINK_PAGE_SETUP:
        pageSetup();
        break;
    case LINK_PRINT_PREVIEW:
        printPreview();
        break;
    case LINK_PRINT:
        printCharts();
        break;
    case LINK_SAVE_AS:
        saveAs();
        break;
    default:
        break;
    }
}

void ucCharts::pageSetup()
{
    try {
        m_dialogs.pageSetup(this, printer());
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourcePageSetup, e);
    }
}

void ucCharts::printPreview()
{
    try {
        FlightLogPreview::openFor(*this, printer(), [this](QPrinter& target) { paint(target); },
                                  [this] { return printCharts(); });
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourcePrintPreview, e);
    }
}

// True when the page went to the printer.
bool ucCharts::printCharts()
{
    try {
        QWidget* preview = FlightLogPreview::of(*this);
        if (!m_dialogs.printSetup(preview ? preview : this, printer()))
            return false;
        BusyCursor busy;
        paint(printer());
        return true;
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourcePrint, e);
    }
    return false;
}

void ucCharts::paint(QPrinter& printer) const
{
    FlightChartBuilder::print(printer, m_data, m_pageHeader);
}

// A name without ".png" or ".pdf" becomes a PDF.
void ucCharts::saveAs()
{
    try {
        const QString suggested = QDir::home().filePath(
            QStringLiteral("Flight Log Charts %1.pdf").arg(m_data.today.toString(Qt::ISODate)));
        QString path = m_dialogs.saveFileName(this, kSaveTitle, suggested, kSaveFilters);
        if (path.isEmpty())
            return;
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != QLatin1String("png") && suffix != QLatin1String("pdf"))
            path += QStringLiteral(".pdf");
        BusyCursor busy;
        exportTo(path);
    } catch (const std::exception& e) {
        Error_Report(m_dialogs, kSourceSaveAs, e);
    }
}

void ucCharts::exportTo(const QString& path)
{
    if (QFileInfo(path).suffix().toLower() == QLatin1String("png")) {
        QImage image(kPngSize, QImage::Format_RGB32);
        image.fill(Qt::white);
        image.setDotsPerMeterX(qRound(kPngDpi / 0.0254));
        image.setDotsPerMeterY(qRound(kPngDpi / 0.0254));
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            FlightChartBuilder::paintPage(painter, QRectF(image.rect()).adjusted(kPngMarginPx, kPngMarginPx,
                                                                                 -kPngMarginPx, -kPngMarginPx),
                                          m_data, m_pageHeader);
        }
        writeWhole(path, [&image](QSaveFile& file) { return image.save(&file, "PNG"); });
        return;
    }
    writeWhole(path, [this](QSaveFile& file) {
        QPdfWriter pdf(&file);
        pdf.setResolution(kPdfDpi);
        pdf.setPageLayout(printer().pageLayout());
        pdf.setTitle(m_pageHeader);
        QPainter painter;
        if (!painter.begin(&pdf))
            return false;
        const QRect page = pdf.pageLayout().paintRectPixels(kPdfDpi);
        FlightChartBuilder::paintPage(painter, QRectF(0, 0, page.width(), page.height()), m_data, m_pageHeader);
        return painter.end();
    });
}
