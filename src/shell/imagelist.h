#pragma once

#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QVector>

// A named list of images of one size that sits on a window, where the side
// bar frame finds it by name (without regard to case) when it paints.
class ImageList : public QObject {
    Q_OBJECT
public:
    ImageList(const QString& name, const QSize& imageSize, QObject* parent = nullptr);

    QSize imageSize() const { return m_imageSize; }
    void add(const QPixmap& image);
    int count() const { return int(m_images.size()); }
    // 1-based; a null pixmap outside the list.
    QPixmap image(int index) const;

private:
    QSize m_imageSize;
    QVector<QPixmap> m_images;
};
