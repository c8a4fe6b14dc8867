#include "paneltitle.h"

#include "colors.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "twips.h"

#include <algorithm>

PanelTitle::PanelTitle(QWidget* parent) : QWidget(parent), m_links(new LinkLabelGroup(this))
{
    setAutoFillBackground(true);
    setBackColor(kDefaultBackColor);
}

LinkLabel* PanelTitle::addLink(const QString& caption, int leftTwips, int widthTwips)
{
    LinkLabel* link = m_links->add(caption, this);
    m_placements.append({link, leftTwips, widthTwips});
    connect(link, &LinkLabel::captionChanged, this, &PanelTitle::placeLinks);
    placeLinks();
    return link;
}

void PanelTitle::setBackColor(qint32 bgr)
{
    m_backColor = bgr;
    QPalette strip = palette();
    strip.setColor(QPalette::Window, colorFromBgr(bgr));
    setPalette(strip);
}

int PanelTitle::heightPixels() const
{
    return twipsToPixelsY(kHeightTwips, this);
}

void PanelTitle::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeLinks();
}

// A link is at least as wide as its caption, so a larger font never cuts it.
void PanelTitle::placeLinks()
{
    const int top = twipsToPixelsY(kLinkTopTwips, this);
    for (const Placement& p : m_placements) {
        const int width = std::max(twipsToPixelsX(p.widthTwips, this), p.link->sizeHint().width());
        p.link->setGeometry(twipsToPixelsX(p.leftTwips, this), top, width, p.link->sizeHint().height());
    }
}
