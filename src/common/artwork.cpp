#include "artwork.h"

namespace Artwork {
QIcon icon(const QString& name)
{
    return QIcon(QStringLiteral(":/quillon/icons/%1." QUILLON_ART_SUFFIX).arg(name));
}

QIcon splash()
{
    return QIcon(QStringLiteral(":/quillon/splash." QUILLON_ART_SUFFIX));
}
} // namespace Artwork
