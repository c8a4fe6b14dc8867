#include "frmsplash.h"

#include "appinfo.h"
#include "artwork.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {
QFont arial(double points, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}
} // namespace

frmSplash::frmSplash(QWidget* parent)
    : QFrame(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_lblAppName(new QLabel(AppInfo::title(), this)), m_lblVersion(new QLabel(AppInfo::versionText(), this)),
      m_lblCopy(new QLabel(AppInfo::legalNotice(), this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, QColor(0x1a, 0x2a, 0x4a));
    setPalette(white);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(Artwork::splash().pixmap(Artwork::kSplashSize, devicePixelRatioF()));

    m_lblAppName->setObjectName(QStringLiteral("lblAppName"));
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblCopy->setObjectName(QStringLiteral("lblCopy"));
    m_lblAppName->setFont(arial(28, true));
    m_lblVersion->setFont(arial(11));
    m_lblCopy->setFont(arial(8.25));

    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(24, 32, 24, 20);
    texts->addWidget(m_lblAppName);
    texts->addWidget(m_lblVersion);
    texts->addStretch(1);
    texts->addWidget(m_lblCopy);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(picture);
    layout->addLayout(texts, 1);

    resize(sizeHint().expandedTo(QSize(520, 300)));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QCoreApplication::instance()->installEventFilter(this);
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched != this && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->isWindow())
        close();
    return QFrame::eventFilter(watched, event);
}
