#include "linklabel.h"
#include "linklabelgroup.h"
#include "paneltitle.h"
#include "twips.h"

#include <QSignalSpy>
#include <QtTest>

class tst_LinkLabel : public QObject {
    Q_OBJECT
private slots:
    void clickRules_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("releaseInside");
        QTest::addColumn<int>("clicks");
        QTest::addRow("active, left click") << true << Qt::LeftButton << true << 1;
        QTest::addRow("inactive link does nothing") << false << Qt::LeftButton << true << 0;
        QTest::addRow("right button does nothing") << true << Qt::RightButton << true << 0;
        QTest::addRow("released outside cancels") << true << Qt::LeftButton << false << 0;
    }

    void clickRules()
    {
        QFETCH(bool, active);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, releaseInside);
        QFETCH(int, clicks);
        LinkLabel link(QStringLiteral("Log Flight"));
        link.resize(100, 20);
        link.setActive(active);
        QSignalSpy spy(&link, &LinkLabel::clicked);
        QTest::mousePress(&link, button, {}, QPoint(5, 5));
        QTest::mouseRelease(&link, button, {}, releaseInside ? QPoint(6, 6) : QPoint(500, 6));
        QCOMPARE(spy.size(), clicks);
    }

    void groupPassesIndex()
    {
        QWidget parent;
        LinkLabelGroup group;
        for (const char* caption : {"Save", "Undo", "Page Setup", "Print Preview", "Print"})
            group.add(QLatin1String(caption), &parent)->resize(80, 20);
        QSignalSpy spy(&group, &LinkLabelGroup::clicked);
        QTest::mouseClick(group.link(3), Qt::LeftButton, {}, QPoint(4, 4));
        QTest::mouseClick(group.link(0), Qt::LeftButton, {}, QPoint(4, 4));
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy.at(0).at(0).toInt(), 3);
        QCOMPARE(spy.at(1).at(0).toInt(), 0);
    }

    // The mode link switches its caption while shown; its place widens to fit.
    // The strip takes its colour at once.
    void titleStrip()
    {
        PanelTitle title;
        title.resize(600, title.heightPixels());
        LinkLabel* mode = title.addLink(QStringLiteral("Slew Mode"), 1000, 10);
        title.show();
        QVERIFY(QTest::qWaitForWindowExposed(&title));
        mode->setCaption(QStringLiteral("Normal Flight"));
        QCOMPARE(mode->text(), QStringLiteral("Normal Flight"));
        QVERIFY(mode->width() >= mode->sizeHint().width());
        QCOMPARE(mode->x(), twipsToPixelsX(1000, &title));
        title.setBackColor(0x0000FF);
        QCOMPARE(title.palette().color(QPalette::Window), QColor(Qt::red));
    }
};

QTEST_MAIN(tst_LinkLabel)
#include "tst_linklabel.moc"
