#include "imagelist.h"

ImageList::ImageList(const QString& name, const QSize& imageSize, QObject* parent)
    : QObject(parent), m_imageSize(imageSize)
{
    setObjectName(name);
}

void ImageList::add(const QIcon& image)
{
    m_images.append(image);
}

QPixmap ImageList::image(int index, qreal devicePixelRatio) const
{
    if (index < 1 || index > count())
        return {};
    return m_images.at(index - 1).pixmap(m_imageSize, devicePixelRatio);
}
