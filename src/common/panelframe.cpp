#include "panelframe.h"

#include "paneltitle.h"

#include <algorithm>

PanelFrame::PanelFrame(std::span<const PanelLink> links, QWidget* panel) : QWidget(panel), m_title(new PanelTitle(this))
{
    setObjectName(QStringLiteral("Frame"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    m_title->setObjectName(QStringLiteral("Title"));
    for (const PanelLink& link : links)
        m_title->addLink(QString::fromLatin1(link.caption), link.leftTwips, link.widthTwips);
}

QRect PanelFrame::fillPanel()
{
    setGeometry(parentWidget()->rect());
    const int titleHeight = m_title->heightPixels();
    m_title->setGeometry(0, 0, width(), titleHeight);
    return {0, titleHeight, width(), std::max(0, height() - titleHeight)};
}
