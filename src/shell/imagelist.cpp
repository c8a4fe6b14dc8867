#include "imagelist.h"

ImageList::ImageList(const QString& name, const QSize& imageSize, QObject* parent)
    : QObject(parent), m_imageSize(imageSize)
{
    setObjectName(name);
}

void ImageList::add(const QPixmap& image)
{
    m_images.append(image.size() == m_imageSize ? image : image.scaled(m_imageSize, Qt::KeepAspectRatio,
                                                                       Qt::SmoothTransformation));
}

QPixmap ImageList::image(int index) const
{
    if (index < 1 || index > count())
        return {};
    return m_images.at(index - 1);
}
