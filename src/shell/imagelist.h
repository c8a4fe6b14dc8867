#pragma once

#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QVector>

// A named list of images of one size that sits on a window, where the side
// bar frame finds it by name (without regard to case) when it paints. Each
// image is an icon, drawn for the pixel density of the screen it goes to.
class ImageList : public QObject {
    Q_OBJECT
public:
    ImageList(const QString& name, const QSize& imageSize, QObject* parent = nullptr);

    // Logical pixels.
    QSize imageSize() const { return m_imageSize; }
    void add(const QIcon& image);
    int count() const { return int(m_images.size()); }
    // 1-based, imageSize() for a screen of `devicePixelRatio`; a null pixmap
    // outside the list.
    QPixmap image(int index, qreal devicePixelRatio) const;

private:
    QSize m_imageSize;
    QVector<QIcon> m_images;
};
