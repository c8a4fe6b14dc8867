#pragma once

#include <QWidget>

#include <span>

class PanelTitle;

// A link of a panel's title strip, placed in twips.
struct PanelLink {
    const char* caption;
    int leftTwips;
    int widthTwips;
};

// The white frame that fills a side-bar panel ("Frame"), with the title strip
// ("Title") across its top holding the panel's links: the group's indexes
// follow the order of `links`. The panel's other controls are its children.
class PanelFrame : public QWidget {
    Q_OBJECT
public:
    PanelFrame(std::span<const PanelLink> links, QWidget* panel);

    PanelTitle* title() const { return m_title; }
    // Fills the panel and lays the title strip across the top; returns the
    // room left below it (no height on a panel lower than the strip).
    QRect fillPanel();

private:
    PanelTitle* m_title;
};
