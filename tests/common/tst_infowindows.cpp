#include "appinfo.h"
#include "frmabout.h"
#include "frmsplash.h"
#include "linklabel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QtTest>

class tst_InfoWindows : public QObject {
    Q_OBJECT
private slots:
    void versionLine_data();
    void versionLine();
    void splashTexts();
    void aboutTexts();
    void aboutClosesByItsOkLink();
};

void tst_InfoWindows::versionLine_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    QTest::addRow("zero revision is written") << 1 << 1 << 0 << "Version: 1.1.0";
    QTest::addRow("all zero") << 0 << 0 << 0 << "Version: 0.0.0";
    QTest::addRow("two digits") << 2 << 10 << 15 << "Version: 2.10.15";
}

void tst_InfoWindows::versionLine()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(AppInfo::versionText(major, minor, revision), expected);
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

// Shown modally, as Help, About shows it; a click on "OK" ends the modal loop.
void tst_InfoWindows::aboutClosesByItsOkLink()
{
    frmAbout about;
    bool clicked = false;
    QTimer::singleShot(0, &about, [&] {
        QVERIFY(about.isVisible());
        QTest::mouseClick(about.hypAbout(), Qt::LeftButton);
        clicked = true;
    });
    QTimer::singleShot(5000, &about, &QDialog::reject); // a safety net, not the expected path
    QCOMPARE(about.exec(), int(QDialog::Accepted));
    QVERIFY(clicked);
    QVERIFY(!about.isVisible());
}

QTEST_MAIN(tst_InfoWindows)
#include "tst_infowindows.moc"
