#include "modmain.h"

#include "busycursor.h"
#include "clslogentry.h"
#include "clsutc.h"
#include "errorreport.h"
#include "frmmain.h"
#include "frmsplash.h"
#include "terminationwatcher.h"
#include "ucacars.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>

std::shared_ptr<clsUTC> g_objUTC;
std::shared_ptr<clsLogEntry> g_objLogEntry;
QPointer<frmMain> g_frmMain;

namespace {
constexpr int kSplashExposeWaitMs = 250;

// The splash must be on the screen before the slow part starts: wait briefly
// for the window system to expose it, then paint it at once.
void showAndPaint(QWidget* window)
{
    window->show();
    QElapsedTimer waited;
    waited.start();
    while (!window->windowHandle()->isExposed() && waited.elapsed() < kSplashExposeWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    window->repaint();
}

void releaseProgramObjects()
{
    g_objUTC.reset();
    g_objLogEntry.reset();
}

// The window, built under the hourglass behind the splash; a failure takes
// both away before it is reported.
void buildWindow(Dialogs& dialogs)
{
    BusyCursor busy;
    auto splash = std::make_unique<frmSplash>();
    showAndPaint(splash.get());
    g_objUTC = std::make_shared<clsUTC>();
    g_objLogEntry = std::make_shared<clsLogEntry>();
    g_frmMain = new frmMain(g_objUTC, g_objLogEntry, dialogs);
    g_frmMain->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(g_frmMain, &frmMain::unloading, &releaseProgramObjects);
    splash.reset();
    g_frmMain->show();
}
} // namespace

void Main(Dialogs& dialogs)
{
    try {
        buildWindow(dialogs);
        // Asked with the arrow back: the pilot has a choice to make.
        g_frmMain->acarsPanel()->Offer_Saved_Flight();
    } catch (const std::exception& error) {
        Error_Report(dialogs, QStringLiteral("modMain.Main()"), error);
    }
}

void Main(Dialogs& dialogs, TerminationWatcher& termination)
{
    bool blnEndRequested = false;
    const QMetaObject::Connection early = QObject::connect(&termination, &TerminationWatcher::terminationRequested,
                                                           [&blnEndRequested] { blnEndRequested = true; });
    Main(dialogs);
    QObject::disconnect(early);
    if (!g_frmMain)
        return;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, g_frmMain, &frmMain::closeFromOutside);
    if (blnEndRequested)
        QTimer::singleShot(0, g_frmMain, &frmMain::closeFromOutside);
}
