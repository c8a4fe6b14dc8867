#include "frmabout.h"

#include "appinfo.h"
#include "artwork.h"
#include "linklabel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
const QString kDisclaimer = QStringLiteral(
    "For flight simulation purposes only. Quillon records flights flown in a desktop flight "
    "simulator; it is not a pilot's logbook for real flying and must not be used for real-world "
    "flight planning, navigation or records of experience.");
const QString kCreditTitle = QStringLiteral("Credits:");
const QString kCreditFSUIPC = QStringLiteral(
    "The simulator link talks to the FSUIPC module through its published interface; the permission "
    "of the module's author to use it is gratefully acknowledged.");

QFont makeFont(const QString& family, double points, bool bold = false)
{
    QFont result(family);
    result.setPointSizeF(points);
    result.setBold(bold);
    return result;
}

QLabel* label(const QString& name, const QString& text, const QFont& font, QWidget* parent)
{
    auto* result = new QLabel(text, parent);
    result->setObjectName(name);
    result->setFont(font);
    result->setTextFormat(Qt::PlainText);
    return result;
}

QLabel* picture(const QString& name, const QIcon& art, const QSize& size, QWidget* parent)
{
    auto* result = new QLabel(parent);
    result->setObjectName(name);
    result->setPixmap(art.pixmap(size, parent->devicePixelRatioF()));
    result->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    return result;
}
} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent),
      m_lblAppName(label(QStringLiteral("lblAppName"), AppInfo::title(), makeFont(QStringLiteral("Arial"), 18, true), this)),
      m_lblVersion(label(QStringLiteral("lblVersion"), AppInfo::versionText(), makeFont(QStringLiteral("Arial"), 10), this)),
      m_lblCopy(label(QStringLiteral("lblCopy"), AppInfo::legalNotice(), makeFont(QStringLiteral("Arial"), 8.25), this)),
      m_hypAbout(new LinkLabel(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + AppInfo::title());
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    const QFont sansSerif = makeFont(QStringLiteral("MS Sans Serif"), 8.25);
    auto* disclaimer = label(QStringLiteral("lblDisclaimer"), kDisclaimer, sansSerif, this);
    disclaimer->setWordWrap(true);
    auto* creditTitle = label(QStringLiteral("lblFSUIPC"), kCreditTitle, makeFont(QStringLiteral("Arial"), 8.25, true), this);
    auto* credit = label(QStringLiteral("lblFSUIPC"), kCreditFSUIPC, makeFont(QStringLiteral("Arial"), 8.25), this);
    credit->setWordWrap(true);
    m_hypAbout->setObjectName(QStringLiteral("hypAbout"));
    QFont linkFont = m_hypAbout->font();
    linkFont.setPointSizeF(10);
    linkFont.setBold(true);
    m_hypAbout->setFont(linkFont);
    connect(m_hypAbout, &LinkLabel::clicked, this, &QDialog::accept);

    auto* heading = new QHBoxLayout;
    heading->addWidget(
        picture(QStringLiteral("Picture2"), Artwork::icon(QStringLiteral("quillon")), QSize(32, 32), this));
    auto* titles = new QVBoxLayout;
    titles->addWidget(m_lblAppName);
    titles->addWidget(m_lblVersion);
    titles->addWidget(m_lblCopy);
    heading->addLayout(titles, 1);

    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 12, 0, 0);
    texts->setSpacing(8);
    texts->addLayout(heading);
    texts->addWidget(disclaimer);
    texts->addWidget(creditTitle);
    texts->addWidget(credit);
    texts->addStretch(1);
    texts->addWidget(m_hypAbout, 0, Qt::AlignRight);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 16, 12);
    layout->setSpacing(16);
    layout->addWidget(picture(QStringLiteral("Picture1"), Artwork::splash(), Artwork::kSplashSize, this));
    layout->addLayout(texts, 1);
    setFixedWidth(560);
}
