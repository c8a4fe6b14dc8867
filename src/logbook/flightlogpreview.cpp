#include "flightlogpreview.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPrintPreviewWidget>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>

namespace {
const QString kWindowTitle = QStringLiteral("Quillon Print Preview");
const QString kPageIndicator = QStringLiteral("Page %1 of %2");
constexpr QSize kNormalSize{820, 960};
constexpr double kZoomStep = 1.25;
}

FlightLogPreview* FlightLogPreview::of(const QWidget& panel)
{
    return panel.findChild<FlightLogPreview*>(QString(), Qt::FindDirectChildrenOnly);
}

void FlightLogPreview::openFor(QWidget& panel, QPrinter& printer, std::function<void(QPrinter&)> paint,
                               std::function<bool()> print)
{
    if (of(panel))
        return;
    auto* preview = new FlightLogPreview(printer, std::move(paint), &panel);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowModality(Qt::ApplicationModal);
    connect(preview, &FlightLogPreview::printRequested, preview, [preview, print = std::move(print)] {
        if (print())
            preview->close();
    });
    preview->show();
}

FlightLogPreview::FlightLogPreview(QPrinter& printer, std::function<void(QPrinter&)> paint, QWidget* parent)
    : QDialog(parent), m_paint(std::move(paint)), m_preview(new QPrintPreviewWidget(&printer, this)),
      m_lblPage(new QLabel(this))
{
    setWindowTitle(kWindowTitle);
    setObjectName(QStringLiteral("FlightLogPreview"));
    m_lblPage->setObjectName(QStringLiteral("lblPage"));
    m_lblPage->setContentsMargins(8, 0, 8, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    addToolBar();
    layout->addWidget(m_preview, 1);

    connect(m_preview, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* target) { m_paint(*target); });
    connect(m_preview, &QPrintPreviewWidget::previewChanged, this, &FlightLogPreview::updatePageIndicator);
    m_preview->fitToWidth();
    m_preview->updatePreview();
    updatePageIndicator();

    QSize size = kNormalSize;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);
}

QString FlightLogPreview::pageIndicator() const
{
    return m_lblPage->text();
}

void FlightLogPreview::addToolBar()
{
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("tbrPreview"));
    bar->addAction(tr("Print..."), this, [this] { emit printRequested(); });
    bar->addSeparator();
    bar->addAction(tr("First"), this, [this] { goToPage(1); });
    bar->addAction(tr("Previous"), this, [this] { goToPage(m_preview->currentPage() - 1); });
    bar->addWidget(m_lblPage);
    bar->addAction(tr("Next"), this, [this] { goToPage(m_preview->currentPage() + 1); });
    bar->addAction(tr("Last"), this, [this] { goToPage(m_preview->pageCount()); });
    bar->addSeparator();
    bar->addAction(tr("Fit Width"), m_preview, &QPrintPreviewWidget::fitToWidth);
    bar->addAction(tr("Whole Page"), m_preview, &QPrintPreviewWidget::fitInView);
    bar->addAction(tr("Zoom In"), this, [this] { m_preview->zoomIn(kZoomStep); });
    bar->addAction(tr("Zoom Out"), this, [this] { m_preview->zoomOut(kZoomStep); });
    bar->addSeparator();
    bar->addAction(tr("Close"), this, &QDialog::close);
    static_cast<QVBoxLayout*>(layout())->addWidget(bar);
}

void FlightLogPreview::goToPage(int page)
{
    m_preview->setCurrentPage(page);
    updatePageIndicator();
}

void FlightLogPreview::updatePageIndicator()
{
    m_lblPage->setText(kPageIndicator.arg(m_preview->currentPage()).arg(m_preview->pageCount()));
}
