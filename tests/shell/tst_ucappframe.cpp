#include "apperror.h"
#include "colors.h"
#include "imagelist.h"
#include "twips.h"
#include "ucappframe.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QColor kIconColors[] = {Qt::red, Qt::green, Qt::blue};

QPixmap filled(int size, const QColor& color)
{
    QPixmap image(size, size);
    image.fill(color);
    return image;
}

// A host window as the main window is: image lists beside the frame, panels inside it.
struct Host {
    QWidget window;
    ucAppFrame* frame;
    QWidget* panels[3];

    explicit Host(int heightPx = 500)
    {
        auto* small = new ImageList(QStringLiteral("imgSmallIcons"), QSize(16, 16), &window);
        auto* large = new ImageList(QStringLiteral("imgLargeIcons"), QSize(32, 32), &window);
        for (const QColor& color : kIconColors) {
            small->add(filled(16, color));
            large->add(filled(32, color));
        }
        frame = new ucAppFrame(&window);
        frame->setSmallIcons(QStringLiteral("IMGSMALLICONS")); // found without regard to case
        frame->setLargeIcons(QStringLiteral("imgLargeIcons"));
        const char* names[] = {"ucACARS", "ucFlightLog", "ucStats"};
        for (int i = 0; i < 3; ++i) {
            panels[i] = new QWidget(frame);
            panels[i]->setObjectName(QLatin1String(names[i]));
        }
        frame->setGeometry(0, 0, 600, heightPx);
        window.resize(600, heightPx);
        window.show(); // resize events reach only a shown frame
    }

    void addThreeItems()
    {
        frame->AddItem(QStringLiteral("ACARS"), QStringLiteral("ACARS"), QStringLiteral("ACARS"), 1,
                       QStringLiteral("ucacars"));
        frame->AddItem(QStringLiteral("FlightLog"), QStringLiteral("Flight Log"), QStringLiteral("Flight Log"), 2,
                       QStringLiteral("ucFlightLog"));
        frame->AddItem(QStringLiteral("TimebyACType"), QStringLiteral("Time by AC Type"),
                       QStringLiteral("Time by AC Type"), 3, QStringLiteral("ucStats"));
    }

    QVector<bool> visiblePanels() const
    {
        return {panels[0]->isVisibleTo(frame), panels[1]->isVisibleTo(frame), panels[2]->isVisibleTo(frame)};
    }
};

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), target->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

int qrectRight(const QRect& r) { return r.left() + r.width(); }
int qrectBottom(const QRect& r) { return r.top() + r.height(); }
} // namespace

class tst_ucAppFrame : public QObject {
    Q_OBJECT
private slots:
    void activation_data();
    void activation();
    void failures();
    void compactRule_data();
    void compactRule();
    void compactLayoutOnScreen_data();
    void compactLayoutOnScreen();
    void panelPlacement();
    void hitTesting_data();
    void hitTesting();
    void borders_data();
    void borders();
    void releaseOverIconActivates();
    void colours();
    void paintsIconsAndBorder();
};

void tst_ucAppFrame::activation_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("visible");
    QTest::addColumn<QString>("heading");
    QTest::addRow("active key again does nothing") << "ACARS" << 0 << 0 << "ACARS";
    QTest::addRow("active key in other case shows it again") << "acars" << 1 << 0 << "ACARS";
    QTest::addRow("another key switches") << "timebyactype" << 1 << 2 << "Time by AC Type";
}

void tst_ucAppFrame::activation()
{
    QFETCH(QString, key);
    QFETCH(int, events);
    QFETCH(int, visible);
    QFETCH(QString, heading);
    Host host;
    QSignalSpy selected(host.frame, &ucAppFrame::ItemSelected);
    host.addThreeItems(); // the first item added becomes active
    QCOMPARE(host.visiblePanels(), QVector<bool>({true, false, false}));
    QCOMPARE(host.frame->GetActivePanel()->Control.data(), host.panels[0]);
    QCOMPARE(host.frame->headingLabel()->text(), QStringLiteral("ACARS"));
    QCOMPARE(selected.size(), 1);
    selected.clear();
    host.frame->SetActivePanel(key);
    QCOMPARE(selected.size(), events);
    if (events)
        QCOMPARE(selected.first().first().toString(), key);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(host.visiblePanels().at(i), i == visible);
    QCOMPARE(host.frame->headingLabel()->text(), heading);
}

void tst_ucAppFrame::failures()
{
    Host host;
    host.addThreeItems();
    try {
        host.frame->AddItem(QStringLiteral("flightlog"), QStringLiteral("x"), QStringLiteral("x"), 2,
                            QStringLiteral("ucFlightLog"));
        QFAIL("a duplicate key was accepted");
    } catch (const AppError& error) {
        QCOMPARE(error.number(), ucAppFrame::kErrDuplicateKey);
    }
    QCOMPARE(host.frame->itemCount(), 3);

    try {
        host.frame->SetActivePanel(QStringLiteral("Weather"));
        QFAIL("an unknown key was accepted");
    } catch (const AppError& error) {
        QCOMPARE(error.number(), ucAppFrame::kErrNoSuchKey);
    }
    QCOMPARE(host.visiblePanels(), QVector<bool>({false, false, false}));
    QVERIFY(host.frame->GetActivePanel() == nullptr);
    QCOMPARE(host.frame->headingLabel()->text(), QStringLiteral("ACARS"));

    Host empty;
    try {
        empty.frame->AddItem(QStringLiteral("Map"), QStringLiteral("Map"), QStringLiteral("Map"), 1,
                             QStringLiteral("ucMap"));
        QFAIL("an item without a panel was activated");
    } catch (const AppError& error) {
        QCOMPARE(error.number(), ucAppFrame::kErrObjectNotSet);
    }
    QCOMPARE(empty.frame->itemCount(), 1);
}

void tst_ucAppFrame::compactRule_data()
{
    QTest::addColumn<int>("heightTwips");
    QTest::addColumn<bool>("compact");
    QTest::addRow("exactly 5500 is compact") << 5500 << true;
    QTest::addRow("5501 is not") << 5501 << false;
}

void tst_ucAppFrame::compactRule()
{
    QFETCH(int, heightTwips);
    QFETCH(bool, compact);
    QCOMPARE(ucAppFrame::isCompactHeight(heightTwips), compact);
}

void tst_ucAppFrame::compactLayoutOnScreen_data()
{
    QTest::addColumn<int>("heightTwips");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("labelTopTwips");
    QTest::addRow("small window") << 5400 << 12 << 30;
    QTest::addRow("first size") << 5700 << 18 << 100;
}

void tst_ucAppFrame::compactLayoutOnScreen()
{
    QFETCH(int, heightTwips);
    QFETCH(int, points);
    QFETCH(int, labelTopTwips);
    Host host;
    host.addThreeItems();
    host.frame->resize(600, twipsToPixelsY(heightTwips, host.frame));
    QCOMPARE(host.frame->isCompact(), points == 12);
    QCOMPARE(host.frame->headingLabel()->font().pointSize(), points);
    QCOMPARE(host.frame->headingLabel()->y(), twipsToPixelsY(labelTopTwips, host.frame));
}

// A panel that would get a negative height keeps the height it had.
void tst_ucAppFrame::panelPlacement()
{
    Host host;
    host.addThreeItems();
    QWidget* panel = host.panels[0];
    const QRect heading = host.frame->headingBox()->geometry();
    QCOMPARE(heading.x(), twipsToPixelsX(ucAppFrame::kHeadingLeftTwips, host.frame));
    QCOMPARE(heading.width(), host.frame->width() - heading.x());
    QCOMPARE(panel->x(), heading.x());
    QCOMPARE(panel->y(), heading.height() + twipsToPixelsY(50, host.frame));
    QCOMPARE(panel->width(), heading.width());
    QCOMPARE(panel->y() + panel->height(), host.frame->height());

    const int lastHeight = panel->height();
    host.frame->resize(300, 10);
    QCOMPARE(panel->height(), lastHeight);
    QCOMPARE(panel->width(), host.frame->headingBox()->width());
}

void tst_ucAppFrame::hitTesting_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<int>("hit");
    QTest::addRow("one pixel inside the corner") << 1 << 1 << 1 << 1;
    QTest::addRow("left edge is outside") << 1 << 0 << 16 << 0;
    QTest::addRow("top edge is outside") << 1 << 16 << 0 << 0;
    QTest::addRow("right edge is outside") << 1 << 32 << 16 << 0;
    QTest::addRow("bottom edge is outside") << 1 << 16 << 32 << 0;
    QTest::addRow("the title below does not count") << 1 << 16 << 45 << 0;
    QTest::addRow("third icon") << 3 << 10 << 20 << 3;
}

void tst_ucAppFrame::hitTesting()
{
    QFETCH(int, position);
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(int, hit);
    Host host;
    host.addThreeItems();
    const QRect icon = host.frame->iconRect(position);
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(icon.top(), twipsToPixelsY((position - 1) * 1000 + 100, host.frame));
    QCOMPARE(host.frame->itemAt(icon.topLeft() + QPoint(dx, dy)), hit);
}

void tst_ucAppFrame::borders_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::MouseButtons>("buttons");
    QTest::addColumn<int>("border");
    const int move = int(QEvent::MouseMove);
    const int press = int(QEvent::MouseButtonPress);
    QTest::addRow("hovering raises") << move << Qt::NoButton << Qt::MouseButtons() << int(ucAppFrame::Raised);
    QTest::addRow("left button held sinks") << press << Qt::LeftButton << Qt::MouseButtons(Qt::LeftButton)
                                            << int(ucAppFrame::Sunken);
    QTest::addRow("right button held raises") << press << Qt::RightButton << Qt::MouseButtons(Qt::RightButton)
                                              << int(ucAppFrame::Raised);
    QTest::addRow("left pressed while right held sinks")
        << press << Qt::LeftButton << Qt::MouseButtons(Qt::LeftButton | Qt::RightButton) << int(ucAppFrame::Sunken);
    QTest::addRow("left with right is not only left")
        << move << Qt::NoButton << Qt::MouseButtons(Qt::LeftButton | Qt::RightButton) << int(ucAppFrame::Raised);
}

void tst_ucAppFrame::borders()
{
    QFETCH(int, type);
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::MouseButtons, buttons);
    QFETCH(int, border);
    Host host;
    host.addThreeItems();
    QWidget* bar = host.frame->sideBar();
    sendMouse(bar, QEvent::Type(type), host.frame->iconRect(2).center(), button, buttons);
    QCOMPARE(host.frame->hotItem(), 2);
    QCOMPARE(int(host.frame->hotBorder()), border);

    sendMouse(bar, QEvent::MouseMove, host.frame->iconRect(2).topLeft(), Qt::NoButton, buttons);
    QCOMPARE(host.frame->hotItem(), 0);
    QCOMPARE(host.frame->hotBorder(), ucAppFrame::Flat);

    sendMouse(bar, QEvent::MouseMove, host.frame->iconRect(1).center(), Qt::NoButton, {});
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(bar, &leave);
    QCOMPARE(host.frame->hotItem(), 0);
}

void tst_ucAppFrame::releaseOverIconActivates()
{
    Host host;
    host.addThreeItems();
    QSignalSpy selected(host.frame, &ucAppFrame::ItemSelected);
    QWidget* bar = host.frame->sideBar();
    sendMouse(bar, QEvent::MouseButtonPress, host.frame->iconRect(2).center(), Qt::RightButton, Qt::RightButton);
    sendMouse(bar, QEvent::MouseButtonRelease, host.frame->iconRect(2).center(), Qt::RightButton, {});
    QCOMPARE(host.frame->GetActivePanel()->Key, QStringLiteral("FlightLog"));
    QCOMPARE(selected.size(), 1);

    QCOMPARE(host.frame->hotBorder(), ucAppFrame::Raised);

    // The released button counts as held: a left click leaves the icon sunken.
    sendMouse(bar, QEvent::MouseButtonPress, host.frame->iconRect(3).center(), Qt::LeftButton, Qt::LeftButton);
    sendMouse(bar, QEvent::MouseButtonRelease, host.frame->iconRect(3).center(), Qt::LeftButton, {});
    QCOMPARE(host.frame->GetActivePanel()->Key, QStringLiteral("TimebyACType"));
    QCOMPARE(host.frame->hotBorder(), ucAppFrame::Sunken);
    QCOMPARE(selected.size(), 2);

    sendMouse(bar, QEvent::MouseButtonRelease, QPoint(1, 1), Qt::LeftButton, {});
    QCOMPARE(host.frame->GetActivePanel()->Key, QStringLiteral("TimebyACType"));
    QCOMPARE(selected.size(), 2);
}

void tst_ucAppFrame::colours()
{
    Host host;
    const QColor unset = colorFromBgr(ucAppFrame::kUnsetBackColor);
    QCOMPARE(host.frame->sideBar()->palette().color(QPalette::Window), unset);
    QCOMPARE(host.frame->headingBox()->palette().color(QPalette::Window), unset);
    host.frame->setBackColor(0x000000);
    host.frame->setForeColor(0x00FF00);
    QCOMPARE(host.frame->sideBar()->palette().color(QPalette::Window), QColor(Qt::black));
    QCOMPARE(host.frame->headingBox()->palette().color(QPalette::Window), QColor(Qt::black));
    QCOMPARE(host.frame->headingLabel()->palette().color(QPalette::WindowText), QColor(Qt::green));
}

// What the pilot sees: each item's own icon in the side bar, the hot border
// around the icon under the pointer, and the active item's icon in the heading.
void tst_ucAppFrame::paintsIconsAndBorder()
{
    Host host;
    host.addThreeItems();
    host.frame->setBackColor(0xFFFFFF);
    sendMouse(host.frame->sideBar(), QEvent::MouseMove, host.frame->iconRect(3).center(), Qt::NoButton, {});
    const QImage bar = host.frame->sideBar()->grab().toImage();
    for (int position = 1; position <= 3; ++position)
        QCOMPARE(bar.pixel(host.frame->iconRect(position).center()), kIconColors[position - 1].rgb());
    const QRect hot = host.frame->iconRect(3);
    const int gap = twipsToPixelsY(20, host.frame);
    const QPoint bottomEdge(hot.center().x(), qrectBottom(hot) + gap);
    const QPoint topEdge(hot.center().x(), hot.top() - gap);
    QCOMPARE(bar.pixel(topEdge), host.frame->palette().color(QPalette::Light).rgb());
    QCOMPARE(bar.pixel(bottomEdge), host.frame->palette().color(QPalette::Shadow).rgb());
    QCOMPARE(bar.pixel(QPoint(qrectRight(host.frame->iconRect(1)) + gap, host.frame->iconRect(1).center().y())),
             QColor(Qt::white).rgb());

    host.frame->SetActivePanel(QStringLiteral("FlightLog"));
    const QImage heading = host.frame->headingBox()->grab().toImage();
    const int x = heading.width() - 32 - twipsToPixelsX(100, host.frame);
    QCOMPARE(heading.pixel(x + 16, twipsToPixelsY(50, host.frame) + 16), kIconColors[1].rgb());
}

QTEST_MAIN(tst_ucAppFrame)
#include "tst_ucappframe.moc"
