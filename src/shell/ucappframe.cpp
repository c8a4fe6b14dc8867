#include "ucappframe.h"

#include "apperror.h"
#include "colors.h"
#include "imagelist.h"
#include "twips.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {
constexpr int kFirstIconTopTwips = 100;
constexpr int kTitleGapTwips = 40;
constexpr int kBorderGapTwips = 20;
constexpr int kHeadingIconRightTwips = 100;
constexpr int kHeadingIconTopTwips = 50;
constexpr int kPanelGapTwips = 50;
constexpr int kLabelLeftTwips = 240;

struct HeadingStyle {
    int fontPoints;
    int labelTopTwips;
    int bottomGapTwips;
};
constexpr HeadingStyle kCompactHeading{12, 30, 30};
constexpr HeadingStyle kFullHeading{18, 100, 50};

QFont arial(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    return font;
}
} // namespace

ucAppFrame::ucAppFrame(QWidget* parent)
    : QWidget(parent), m_barSide(new QWidget(this)), m_boxHeading(new QWidget(this)),
      m_lblHeading(new QLabel(m_boxHeading))
{
    m_barSide->setObjectName(QStringLiteral("barSide"));
    m_boxHeading->setObjectName(QStringLiteral("boxHeading"));
    m_lblHeading->setObjectName(QStringLiteral("lblHeading"));
    m_barSide->setFont(arial(8.25));
    m_barSide->setMouseTracking(true);
    m_barSide->installEventFilter(this);
    m_boxHeading->installEventFilter(this);
    m_lblHeading->setTextFormat(Qt::PlainText);
    applyBackground(m_barSide, kUnsetBackColor);
    applyBackground(m_boxHeading, kUnsetBackColor);
    layoutFrame();
}

void ucAppFrame::setBackColor(qint32 bgr)
{
    m_lngBackColor = bgr;
    applyBackground(m_barSide, bgr);
    applyBackground(m_boxHeading, bgr);
    m_barSide->update();
}

void ucAppFrame::setForeColor(qint32 bgr)
{
    m_lngForeColor = bgr;
    QPalette text = m_lblHeading->palette();
    text.setColor(QPalette::WindowText, colorFromBgr(bgr));
    m_lblHeading->setPalette(text);
    m_barSide->update();
}

void ucAppFrame::applyBackground(QWidget* box, qint32 bgr)
{
    QPalette back = box->palette();
    back.setColor(QPalette::Window, colorFromBgr(bgr));
    box->setPalette(back);
    box->setAutoFillBackground(true);
}

void ucAppFrame::AddItem(const QString& Key, const QString& Title, const QString& Description,
                         qint16 IconIndex, const QString& ControlName)
{
    AppFrameItem item{Key, Title, Description, IconIndex, findControl(ControlName)};
    if (item.Control)
        item.Control->setVisible(false);
    if (indexOfKey(Key) >= 0)
        throw AppError(kErrDuplicateKey, QStringLiteral("This key is already associated with an element of this collection"));
    m_colItems.append(item);
    m_barSide->update();
    if (!GetActivePanel())
        SetActivePanel(Key);
}

void ucAppFrame::SetActivePanel(const QString& Key)
{
    if (Key == m_strActiveKey)
        return;
    if (const AppFrameItem* previous = GetActivePanel(); previous && previous->Control)
        previous->Control->setVisible(false);
    m_strActiveKey = Key;
    const int index = indexOfKey(Key);
    if (index < 0)
        throw AppError(kErrNoSuchKey, QStringLiteral("Invalid procedure call or argument"));
    m_lblHeading->setText(m_colItems.at(index).Description);
    layoutFrame();
    m_boxHeading->update();
    emit ItemSelected(Key);
    QWidget* panel = m_colItems.at(index).Control;
    if (!panel)
        throw AppError(kErrObjectNotSet, QStringLiteral("Object variable or With block variable not set"));
    panel->setVisible(true);
}

const AppFrameItem* ucAppFrame::GetActivePanel() const
{
    const int index = indexOfKey(m_strActiveKey);
    return index < 0 ? nullptr : &m_colItems.at(index);
}

int ucAppFrame::indexOfKey(const QString& key) const
{
    if (key.isEmpty())
        return -1;
    for (int i = 0; i < m_colItems.size(); ++i) {
        if (m_colItems.at(i).Key.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QWidget* ucAppFrame::findControl(const QString& name) const
{
    const auto children = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child != m_barSide && child != m_boxHeading && child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return child;
    }
    return nullptr;
}

// The lists sit on the host window beside the frame; looked up on every call.
ImageList* ucAppFrame::FindImageList(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    const auto lists = window()->findChildren<ImageList*>();
    for (ImageList* list : lists) {
        if (list->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return list;
    }
    return nullptr;
}

QPixmap ucAppFrame::GetItemImage(qint16 iconIndex, bool large) const
{
    const ImageList* list = FindImageList(large ? m_strLargeIcons : m_strSmallIcons);
    return list ? list->image(iconIndex, devicePixelRatioF()) : QPixmap();
}

QSize ucAppFrame::largeIconSize() const
{
    const ImageList* list = FindImageList(m_strLargeIcons);
    return list ? list->imageSize() : QSize();
}

QRect ucAppFrame::iconRect(int position) const
{
    const QSize icon = largeIconSize();
    const int left = (m_barSide->width() - icon.width()) / 2;
    const int top = twipsToPixelsY((position - 1) * kItemPitchTwips + kFirstIconTopTwips, this);
    return {QPoint(left, top), icon};
}

int ucAppFrame::itemAt(const QPoint& point) const
{
    for (int position = 1; position <= m_colItems.size(); ++position) {
        const QRect icon = iconRect(position);
        const bool inside = icon.left() < point.x() && point.x() < icon.left() + icon.width()
                            && icon.top() < point.y() && point.y() < icon.top() + icon.height();
        if (inside)
            return position;
    }
    return 0;
}

void ucAppFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutFrame();
}

// A panel taller than the frame allows keeps its previous height.
void ucAppFrame::layoutFrame()
{
    m_barSide->setGeometry(0, 0, twipsToPixelsX(kSideBarWidthTwips, this), height());
    m_blnCompact = isCompactHeight(pixelsToTwipsY(height(), this));
    const HeadingStyle& style = m_blnCompact ? kCompactHeading : kFullHeading;

    m_lblHeading->setFont(arial(style.fontPoints));
    m_lblHeading->adjustSize();
    m_lblHeading->move(twipsToPixelsX(kLabelLeftTwips, this), twipsToPixelsY(style.labelTopTwips, this));
    const int headingLeft = twipsToPixelsX(kHeadingLeftTwips, this);
    const int headingHeight = m_lblHeading->y() + m_lblHeading->height() + twipsToPixelsY(style.bottomGapTwips, this);
    m_boxHeading->setGeometry(headingLeft, twipsToPixelsY(kHeadingTopTwips, this), std::max(0, width() - headingLeft),
                              headingHeight);

    const AppFrameItem* active = GetActivePanel();
    if (!active || !active->Control)
        return;
    QWidget* panel = active->Control;
    const int top = headingHeight + twipsToPixelsY(kPanelGapTwips, this);
    const int panelHeight = m_barSide->height() - top;
    panel->setGeometry(headingLeft, top, m_boxHeading->width(), panelHeight < 0 ? panel->height() : panelHeight);
}

bool ucAppFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_barSide) {
        switch (event->type()) {
        case QEvent::Paint: {
            QPainter painter(m_barSide);
            paintSideBar(painter);
            return true;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            trackPointer(mouse->position().toPoint(), mouse->buttons());
            return true;
        }
        // A press or a release is judged by its own button alone, as a move
        // with only that button held: a left click leaves the icon sunken.
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            trackPointer(mouse->position().toPoint(), mouse->button());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            trackPointer(mouse->position().toPoint(), mouse->button());
            if (m_intHotItem != 0)
                SetActivePanel(m_colItems.at(m_intHotItem - 1).Key);
            return true;
        }
        case QEvent::Leave:
            releaseHotItem();
            return false;
        default:
            return false;
        }
    }
    if (watched == m_boxHeading && event->type() == QEvent::Paint) {
        QPainter painter(m_boxHeading);
        paintHeading(painter);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ucAppFrame::paintSideBar(QPainter& painter)
{
    painter.setFont(m_barSide->font());
    const QFontMetrics metrics(m_barSide->font());
    for (int position = 1; position <= m_colItems.size(); ++position) {
        const AppFrameItem& item = m_colItems.at(position - 1);
        const QRect icon = iconRect(position);
        painter.drawPixmap(icon.topLeft(), GetItemImage(item.IconIndex, true));
        painter.setPen(colorFromBgr(m_lngForeColor));
        const int titleX = (m_barSide->width() - metrics.horizontalAdvance(item.Title)) / 2;
        const int titleTop = icon.top() + icon.height() + twipsToPixelsY(kTitleGapTwips, this);
        painter.drawText(titleX, titleTop + metrics.ascent(), item.Title);
    }
    if (m_intHotItem != 0) {
        const int gapX = twipsToPixelsX(kBorderGapTwips, this);
        const int gapY = twipsToPixelsY(kBorderGapTwips, this);
        DrawItemBorder(painter, iconRect(m_intHotItem).adjusted(-gapX, -gapY, gapX, gapY), m_hotBorder);
    }
}

// The heading icon keeps the large icon's right margin also when the small one is drawn.
void ucAppFrame::paintHeading(QPainter& painter)
{
    const AppFrameItem* active = GetActivePanel();
    if (!active)
        return;
    const QPixmap image = GetItemImage(active->IconIndex, !m_blnCompact);
    const int x = m_boxHeading->width() - largeIconSize().width() - twipsToPixelsX(kHeadingIconRightTwips, this);
    painter.drawPixmap(x, twipsToPixelsY(kHeadingIconTopTwips, this), image);
}

// Flat draws nothing: the side bar's background is the back colour already.
void ucAppFrame::DrawItemBorder(QPainter& painter, const QRect& rect, BorderStyle style) const
{
    if (style == Flat)
        return;
    const QColor highlight = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Shadow);
    const QColor topLeft = style == Sunken ? shadow : highlight;
    const QColor bottomRight = style == Sunken ? highlight : shadow;
    const QPoint tl = rect.topLeft();
    const QPoint br(rect.left() + rect.width(), rect.top() + rect.height());
    painter.setPen(topLeft);
    painter.drawLine(tl, QPoint(br.x(), tl.y()));
    painter.drawLine(tl, QPoint(tl.x(), br.y()));
    painter.setPen(bottomRight);
    painter.drawLine(br, QPoint(br.x(), tl.y()));
    painter.drawLine(br, QPoint(tl.x(), br.y()));
}

void ucAppFrame::trackPointer(const QPoint& point, Qt::MouseButtons buttons)
{
    const int hot = itemAt(point);
    const BorderStyle border = hot == 0 ? Flat : (buttons == Qt::LeftButton ? Sunken : Raised);
    if (hot == m_intHotItem && border == m_hotBorder)
        return;
    m_intHotItem = hot;
    m_hotBorder = border;
    m_barSide->update();
}

// Leaving the side bar removes the border, as releasing the capture did.
void ucAppFrame::releaseHotItem()
{
    trackPointer(QPoint(-1, -1), Qt::NoButton);
}
