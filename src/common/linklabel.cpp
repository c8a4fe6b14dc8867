#include "linklabel.h"

#include "colors.h"

#include <QMouseEvent>

LinkLabel::LinkLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent)
{
    QFont linkFont(QStringLiteral("Arial"));
    linkFont.setPointSizeF(8.25);
    setFont(linkFont);
    setFocusPolicy(Qt::NoFocus);
    setTextFormat(Qt::PlainText);
    setTextColor(kActiveColor);
    setActive(true);
}

void LinkLabel::setCaption(const QString& caption)
{
    setText(caption);
    emit captionChanged();
}

void LinkLabel::setActive(bool active)
{
    m_active = active;
    setCursor(active ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (!active)
        setHovered(false);
}

void LinkLabel::setTextColor(qint32 bgr)
{
    m_textColor = bgr;
    QPalette linkPalette = palette();
    linkPalette.setColor(QPalette::WindowText, colorFromBgr(bgr));
    setPalette(linkPalette);
}

void LinkLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasPressed = m_pressed;
    m_pressed = false;
    event->accept();
    if (wasPressed && m_active && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void LinkLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    setHovered(m_active);
}

void LinkLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    setHovered(false);
}

void LinkLabel::setHovered(bool hovered)
{
    QFont linkFont = font();
    linkFont.setUnderline(hovered);
    setFont(linkFont);
}
