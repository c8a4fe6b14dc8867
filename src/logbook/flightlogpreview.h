#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPrinter;
class QPrintPreviewWidget;

// The print preview of the flight log in a window of its own: the pages as
// they will print, zoom and page buttons, and the page indicator
// "Page 1 of 3" that follows the page in view.
class FlightLogPreview : public QDialog {
    Q_OBJECT

public:
    // `paint` draws every page on the printer it is given; the printer is not
    // owned and must outlive the window.
    FlightLogPreview(QPrinter& printer, std::function<void(QPrinter&)> paint, QWidget* parent = nullptr);

    // The open preview of `panel`, if any.
    static FlightLogPreview* of(const QWidget& panel);
    // Opens the preview of `panel`'s pages unless one is open: modal for the
    // pilot but not blocking the caller, deleted when closed, and a child of
    // the panel so that it never outlives what it paints. Its Print runs
    // `print`; the window closes when that returns true.
    static void openFor(QWidget& panel, QPrinter& printer, std::function<void(QPrinter&)> paint,
                        std::function<bool()> print);

    QString pageIndicator() const;
    // Shows page `page` (1-based; clamped to the pages there are).
    void goToPage(int page);
    QPrintPreviewWidget* previewWidget() const { return m_preview; }

signals:
    // The pilot chose Print in the window.
    void printRequested();

private:
    void addToolBar();
    void updatePageIndicator();

    std::function<void(QPrinter&)> m_paint;
    QPrintPreviewWidget* m_preview;
    QLabel* m_lblPage;
};
