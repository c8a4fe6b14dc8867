#include "apperror.h"
#include "imagelist.h"
#include "twips.h"
#include "ucappframe.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

namespace {
const QColor kIconColors[] = {Qt::red, Qt::green, Qt::blue};

// A host window as the main window is: image lists beside the frame, panels inside it.
struct Host {
    QWidget window;
    ucAppFrame* frame = new ucAppFrame(&window);
    QWidget* panels[3] = {panel("ucACARS"), panel("ucFlightLog"), panel("ucStats")};

    explicit Host(bool withItems = true)
    {
        auto* small = new ImageList(QStringLiteral("imgSmallIcons"), QSize(16, 16), &window);
        auto* large = new ImageList(QStringLiteral("imgLargeIcons"), QSize(32, 32), &window);
        for (const QColor& color : kIconColors) {
            QPixmap icon(32, 32);
            icon.fill(color);
            large->add(icon);
            small->add(icon.scaled(16, 16));
        }
        frame->setSmallIcons(QStringLiteral("IMGSMALLICONS")); // found without regard to case
        frame->setLargeIcons(QStringLiteral("imgLargeIcons"));
        frame->setGeometry(0, 0, 600, 500);
        window.resize(600, 500);
        window.show(); // resize events reach only a shown frame
        if (withItems)
            addThreeItems();
    }

    QWidget* panel(const char* name)
    {
        auto* widget = new QWidget(frame);
        widget->setObjectName(QLatin1String(name));
        return widget;
    }

    void addThreeItems()
    {
        frame->AddItem("ACARS", "ACARS", "ACARS", 1, "ucacars");
        frame->AddItem("FlightLog", "Flight Log", "Flight Log", 2, "ucFlightLog");
        frame->AddItem("TimebyACType", "Time by AC Type", "Time by AC Type", 3, "ucStats");
    }

    QVector<bool> visiblePanels() const
    {
        return {panels[0]->isVisibleTo(frame), panels[1]->isVisibleTo(frame), panels[2]->isVisibleTo(frame)};
    }

    void mouse(QEvent::Type type, const QPoint& pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QWidget* bar = frame->sideBar();
        QMouseEvent event(type, QPointF(pos), bar->mapToGlobal(QPointF(pos)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    }
};

qint32 errorNumber(const std::function<void()>& action)
{
    try {
        action();
    } catch (const AppError& error) {
        return error.number();
    }
    return 0;
}
} // namespace

class tst_ucAppFrame : public QObject {
    Q_OBJECT
private slots:
    void activation_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("events");
        QTest::addColumn<int>("visible");
        QTest::addRow("active key again does nothing") << "ACARS" << 0 << 0;
        QTest::addRow("active key in other case shows it again") << "acars" << 1 << 0;
        QTest::addRow("another key switches") << "timebyactype" << 1 << 2;
    }

    void activation()
    {
        QFETCH(QString, key);
        QFETCH(int, events);
        QFETCH(int, visible);
        Host host(false);
        QSignalSpy selected(host.frame, &ucAppFrame::ItemSelected);
        host.addThreeItems(); // the first item added becomes active
        QCOMPARE(host.visiblePanels(), QVector<bool>({true, false, false}));
        QCOMPARE(selected.size(), 1);
        selected.clear();
        host.frame->SetActivePanel(key);
        QCOMPARE(selected.size(), events);
        if (events)
            QCOMPARE(selected.first().first().toString(), key);
        QCOMPARE(host.visiblePanels(), QVector<bool>({visible == 0, visible == 1, visible == 2}));
        QCOMPARE(host.frame->GetActivePanel()->Control.data(), host.panels[visible]);
        QCOMPARE(host.frame->headingLabel()->text(),
                 visible ? QStringLiteral("Time by AC Type") : QStringLiteral("ACARS"));
    }

    void failures()
    {
        Host host;
        QCOMPARE(errorNumber([&] { host.frame->AddItem("flightlog", "x", "x", 2, "ucFlightLog"); }),
                 ucAppFrame::kErrDuplicateKey);
        QCOMPARE(host.frame->itemCount(), 3);

        QCOMPARE(errorNumber([&] { host.frame->SetActivePanel(QStringLiteral("Weather")); }),
                 ucAppFrame::kErrNoSuchKey);
        QCOMPARE(host.visiblePanels(), QVector<bool>({false, false, false}));
        QVERIFY(host.frame->GetActivePanel() == nullptr);

        Host empty(false);
        QCOMPARE(errorNumber([&] { empty.frame->AddItem("Map", "Map", "Map", 1, "ucMap"); }),
                 ucAppFrame::kErrObjectNotSet);
        QCOMPARE(empty.frame->itemCount(), 1);
    }

    // Compact at 5500 twips high and below: a smaller heading.
    void compactRule()
    {
        QVERIFY(ucAppFrame::isCompactHeight(5500) && !ucAppFrame::isCompactHeight(5501));
        Host host; // its first size
        QVERIFY(!host.frame->isCompact());
        QCOMPARE(host.frame->headingLabel()->font().pointSize(), 18);
        host.frame->resize(600, twipsToPixelsY(5400, host.frame));
        QVERIFY(host.frame->isCompact());
        QCOMPARE(host.frame->headingLabel()->font().pointSize(), 12);
    }

    // An icon's edges and the title below it are outside it.
    void hitTesting()
    {
        Host host;
        const QRect icon = host.frame->iconRect(3);
        QCOMPARE(host.frame->itemAt(icon.topLeft() + QPoint(1, 1)), 3);
        QCOMPARE(host.frame->itemAt(icon.bottomRight()), 3);
        for (const QPoint outside : {QPoint(0, 16), QPoint(16, 0), QPoint(32, 16), QPoint(16, 32), QPoint(16, 45)})
            QCOMPARE(host.frame->itemAt(icon.topLeft() + outside), 0);
    }

    // The border of the icon under the pointer follows the buttons held; a
    // release over the icon activates its item, and the released button still
    // counts as held for the border. No button: the pointer only moves.
    void bordersAndClicks_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<Qt::MouseButtons>("buttons");
        QTest::addColumn<bool>("released");
        QTest::addColumn<int>("border");
        const Qt::MouseButtons none, left = Qt::LeftButton, right = Qt::RightButton, both = left | right;
        const int raised = ucAppFrame::Raised, sunken = ucAppFrame::Sunken;
        QTest::addRow("hovering raises") << Qt::NoButton << none << false << raised;
        QTest::addRow("left button held sinks") << Qt::LeftButton << left << false << sunken;
        QTest::addRow("right button held raises") << Qt::RightButton << right << false << raised;
        QTest::addRow("left pressed while right held sinks") << Qt::LeftButton << both << false << sunken;
        QTest::addRow("left with right is not only left") << Qt::NoButton << both << false << raised;
        QTest::addRow("right click activates, raised") << Qt::RightButton << right << true << raised;
        QTest::addRow("left click activates, sunken") << Qt::LeftButton << left << true << sunken;
    }

    void bordersAndClicks()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(Qt::MouseButtons, buttons);
        QFETCH(bool, released);
        QFETCH(int, border);
        Host host;
        QSignalSpy selected(host.frame, &ucAppFrame::ItemSelected);
        const QPoint centre = host.frame->iconRect(2).center();
        host.mouse(button == Qt::NoButton ? QEvent::MouseMove : QEvent::MouseButtonPress, centre, button, buttons);
        if (released)
            host.mouse(QEvent::MouseButtonRelease, centre, button, {});
        QCOMPARE(host.frame->hotItem(), 2);
        QCOMPARE(int(host.frame->hotBorder()), border);
        host.mouse(QEvent::MouseButtonRelease, QPoint(1, 1), Qt::LeftButton, {}); // away from every icon
        QCOMPARE(host.frame->GetActivePanel()->Key, released ? QStringLiteral("FlightLog") : QStringLiteral("ACARS"));
        QCOMPARE(selected.size(), released ? 1 : 0);

        host.mouse(QEvent::MouseMove, host.frame->iconRect(2).topLeft(), Qt::NoButton, buttons);
        QCOMPARE(host.frame->hotItem(), 0);
        QCOMPARE(host.frame->hotBorder(), ucAppFrame::Flat);

        host.mouse(QEvent::MouseMove, host.frame->iconRect(1).center(), Qt::NoButton, {});
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(host.frame->sideBar(), &leave);
        QCOMPARE(host.frame->hotItem(), 0);
    }

    // What the pilot sees: each item's own icon in the side bar on its colour, the raised
    // border around the icon under the pointer, the active item's icon in the heading.
    void paintsIconsBorderAndColours()
    {
        Host host;
        host.frame->setBackColor(0xFFFFFF);
        host.frame->setForeColor(0x00FF00);
        QCOMPARE(host.frame->headingLabel()->palette().color(QPalette::WindowText), QColor(Qt::green));
        host.mouse(QEvent::MouseMove, host.frame->iconRect(3).center(), Qt::NoButton, {});
        const QImage bar = host.frame->sideBar()->grab().toImage();
        for (int position = 1; position <= 3; ++position)
            QCOMPARE(bar.pixel(host.frame->iconRect(position).center()), kIconColors[position - 1].rgb());
        const QRect hot = host.frame->iconRect(3);
        const int gap = twipsToPixelsY(20, host.frame);
        QCOMPARE(bar.pixel(hot.center().x(), hot.top() - gap),
                 host.frame->palette().color(QPalette::Light).rgb());
        const QRect cold = host.frame->iconRect(1);
        QCOMPARE(bar.pixel(cold.left() + cold.width() + gap, cold.center().y()), QColor(Qt::white).rgb());

        host.frame->SetActivePanel(QStringLiteral("FlightLog"));
        const QImage heading = host.frame->headingBox()->grab().toImage();
        const int x = heading.width() - 32 - twipsToPixelsX(100, host.frame);
        QCOMPARE(heading.pixel(x + 16, twipsToPixelsY(50, host.frame) + 16), kIconColors[1].rgb());
    }
};

QTEST_MAIN(tst_ucAppFrame)
#include "tst_ucappframe.moc"
