#pragma once

#include <QLabel>

// A line of text that acts as a command button. An inactive link shows its
// text colour but does not act on a click: a greyed command does nothing.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr qint32 kActiveColor = 0xFF0000; // blue, 0x00BBGGRR
    static constexpr qint32 kInactiveColor = 0;      // black

    explicit LinkLabel(const QString& caption, QWidget* parent = nullptr);

    QString caption() const { return text(); }
    void setCaption(const QString& caption);

    bool isActive() const { return m_active; }
    void setActive(bool active);

    qint32 textColor() const { return m_textColor; }
    void setTextColor(qint32 bgr);

signals:
    void clicked();
    void captionChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovered(bool hovered);

    bool m_active = true;
    bool m_pressed = false;
    qint32 m_textColor = kActiveColor;
};
