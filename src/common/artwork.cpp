#include "artwork.h"

namespace Artwork {
QIcon icon(const QString& name)
{
    return QIcon(QStringLiteral(":/quillon/icons/%1.svg").arg(name));
}

QIcon splash()
{
    return QIcon(QStringLiteral(":/quillon/splash.svg"));
}
} // namespace Artwork
