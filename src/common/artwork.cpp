#include "artwork.h"

#include <QDir>

namespace Artwork {
#ifdef QUILLON_PNG_ART
// Each picture at every size it was drawn at; Qt scales the nearest one.
QIcon icon(const QString& name)
{
    QIcon icon;
    const QDir sizes(QStringLiteral(":/quillon/icons"));
    for (const QString& size : sizes.entryList(QDir::Dirs))
        icon.addFile(sizes.filePath(QStringLiteral("%1/%2.png").arg(size, name)));
    return icon;
}

QIcon splash()
{
    QIcon icon(QStringLiteral(":/quillon/splash.png"));
    icon.addFile(QStringLiteral(":/quillon/splash@2x.png"));
    return icon;
}
#else
QIcon icon(const QString& name)
{
    return QIcon(QStringLiteral(":/quillon/icons/%1.svg").arg(name));
}

QIcon splash()
{
    return QIcon(QStringLiteral(":/quillon/splash.svg"));
}
#endif
} // namespace Artwork
