#pragma once

#include <QVector>
#include <QWidget>

class LinkLabel;
class LinkLabelGroup;

// The strip across the top of a panel that holds its links (the group
// `hypACARS`). Positions are given in twips and follow the screen's DPI.
class PanelTitle : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeightTwips = 495;
    static constexpr int kLinkTopTwips = 120;
    static constexpr qint32 kDefaultBackColor = 0xFFC0C0; // light blue, 0x00BBGGRR

    explicit PanelTitle(QWidget* parent = nullptr);

    // Adds the next link of the group at `leftTwips`, `widthTwips` wide.
    LinkLabel* addLink(const QString& caption, int leftTwips, int widthTwips);
    LinkLabelGroup* links() const { return m_links; }

    void setBackColor(qint32 bgr);
    qint32 backColor() const { return m_backColor; }

    // The strip's height in pixels on this screen.
    int heightPixels() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Placement {
        LinkLabel* link;
        int leftTwips;
        int widthTwips;
    };
    void placeLinks();

    LinkLabelGroup* m_links;
    QVector<Placement> m_placements;
    qint32 m_backColor = kDefaultBackColor;
};
