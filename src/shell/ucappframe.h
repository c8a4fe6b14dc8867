#pragma once

#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

class ImageList;
class QLabel;
class QPainter;

// One entry of the side bar: its icon, title, heading text and panel.
struct AppFrameItem {
    QString Key;
    QString Title;
    QString Description;
    qint16 IconIndex = 0;     // 1-based, the same in the small and the large list
    QPointer<QWidget> Control; // the panel; nothing when no child had its name
};

// Switches between panels placed inside it: a side bar of large icons with
// titles on the left, a heading with the active item's description and icon
// across the top, and the active item's panel below. Lengths are kept in
// twips and turned into pixels through the screen's DPI.
class ucAppFrame : public QWidget {
    Q_OBJECT
public:
    enum BorderStyle { Sunken = 0, Raised = 1, Flat = 2 };

    // Error numbers raised to the caller, as a keyed collection raises them.
    static constexpr qint32 kErrNoSuchKey = 5;
    static constexpr qint32 kErrObjectNotSet = 91;
    static constexpr qint32 kErrDuplicateKey = 457;

    static constexpr int kSideBarWidthTwips = 1395;
    static constexpr int kHeadingLeftTwips = 1440;
    static constexpr int kHeadingTopTwips = 20;
    static constexpr int kCompactHeightTwips = 5500;
    static constexpr int kItemPitchTwips = 1000;
    static constexpr qint32 kUnsetBackColor = 0xC0FFFF; // light yellow until the host sets colours

    explicit ucAppFrame(QWidget* parent = nullptr);

    void setBackColor(qint32 bgr);
    qint32 backColor() const { return m_lngBackColor; }
    void setForeColor(qint32 bgr);
    qint32 foreColor() const { return m_lngForeColor; }

    // Names of the image lists on the host window.
    QString SmallIcons() const { return m_strSmallIcons; }
    void setSmallIcons(const QString& name) { m_strSmallIcons = name; }
    QString LargeIcons() const { return m_strLargeIcons; }
    void setLargeIcons(const QString& name) { m_strLargeIcons = name; }

    // Binds the first child named `ControlName` (any case) and hides it; the
    // first item added becomes active. Throws AppError on a duplicate key, or
    // when the first item has no panel.
    void AddItem(const QString& Key, const QString& Title, const QString& Description, qint16 IconIndex,
                 const QString& ControlName);
    // Nothing happens for the active key itself (same case). Throws AppError
    // for an unknown key (the old panel is hidden by then) or a missing panel.
    void SetActivePanel(const QString& Key);
    // The active item, or nullptr.
    const AppFrameItem* GetActivePanel() const;
    int itemCount() const { return int(m_colItems.size()); }

    // The frame is compact at an inner height of at most 5500 twips.
    static bool isCompactHeight(int innerHeightTwips) { return innerHeightTwips <= kCompactHeightTwips; }
    bool isCompact() const { return m_blnCompact; }

    // Hot tracking state: the 1-based item under the pointer (0 for none) and
    // the border drawn around its icon.
    int hotItem() const { return m_intHotItem; }
    BorderStyle hotBorder() const { return m_hotBorder; }
    // The icon of item `position` (1-based) on the side bar, in pixels.
    QRect iconRect(int position) const;
    // The item whose icon holds `point` (side bar pixels), edges excluded; 0 for none.
    int itemAt(const QPoint& point) const;

    QWidget* sideBar() const { return m_barSide; }
    QWidget* headingBox() const { return m_boxHeading; }
    QLabel* headingLabel() const { return m_lblHeading; }

signals:
    void ItemSelected(const QString& Key);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int indexOfKey(const QString& key) const;
    QWidget* findControl(const QString& name) const;
    ImageList* FindImageList(const QString& name) const;
    QPixmap GetItemImage(qint16 iconIndex, bool large) const;
    QSize largeIconSize() const;

    void layoutFrame();
    void applyBackground(QWidget* box, qint32 bgr);
    void paintSideBar(QPainter& painter);
    void paintHeading(QPainter& painter);
    void DrawItemBorder(QPainter& painter, const QRect& rect, BorderStyle style) const;
    void trackPointer(const QPoint& point, Qt::MouseButtons buttons);
    void releaseHotItem();

    QVector<AppFrameItem> m_colItems;
    QString m_strActiveKey;
    int m_intHotItem = 0;
    BorderStyle m_hotBorder = Flat;
    QString m_strSmallIcons;
    QString m_strLargeIcons;
    bool m_blnCompact = false;
    qint32 m_lngBackColor = 0;
    qint32 m_lngForeColor = 0;

    QWidget* m_barSide;
    QWidget* m_boxHeading;
    QLabel* m_lblHeading;
};
