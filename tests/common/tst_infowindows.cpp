#include "appinfo.h"
#include "frmabout.h"
#include "frmsplash.h"
#include "linklabel.h"

#include <QLabel>
#include <QtTest>

class tst_InfoWindows : public QObject {
    Q_OBJECT
private slots:
    void versionLineKeepsZeroRevision();
    void splashTexts();
    void aboutTexts();
};

void tst_InfoWindows::versionLineKeepsZeroRevision()
{
    QCOMPARE(AppInfo::versionText(1, 1, 0), QStringLiteral("Version: 1.1.0"));
    QCOMPARE(AppInfo::versionText(2, 10, 15), QStringLiteral("Version: 2.10.15"));
}

void tst_InfoWindows::splashTexts()
{
    frmSplash splash;
    QCOMPARE(splash.lblAppName()->text(), QStringLiteral("Quillon"));
    QCOMPARE(splash.lblVersion()->text(), QStringLiteral("Version: %1.%2.%3")
                                              .arg(QUILLON_VERSION_MAJOR)
                                              .arg(QUILLON_VERSION_MINOR)
                                              .arg(QUILLON_VERSION_PATCH));
    QCOMPARE(splash.lblCopy()->text(), AppInfo::legalNotice());
    QVERIFY(!splash.lblCopy()->text().isEmpty());
}

// Its modal showing and the "OK" link closing it are tried from the main window.
void tst_InfoWindows::aboutTexts()
{
    frmAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Quillon"));
    QCOMPARE(about.lblAppName()->text(), QStringLiteral("Quillon"));
    QCOMPARE(about.lblVersion()->text(), AppInfo::versionText());
    QCOMPARE(about.lblCopy()->text(), AppInfo::legalNotice());
    QCOMPARE(about.hypAbout()->caption(), QStringLiteral("OK"));
    const auto credits = about.findChildren<QLabel*>(QStringLiteral("lblFSUIPC"));
    QCOMPARE(credits.size(), 2);
    QCOMPARE(credits.first()->text(), QStringLiteral("Credits:"));
    QVERIFY(credits.last()->text().contains(QStringLiteral("FSUIPC")));
}

QTEST_MAIN(tst_InfoWindows)
#include "tst_infowindows.moc"
