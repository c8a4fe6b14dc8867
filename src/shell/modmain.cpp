#include "modmain.h"

#include <QCursor> // before busycursor.h, which uses it without including it
#include "busycursor.h"
#include "clslogentry.h"
#include "clsutc.h"
#include "errorreport.h"
#include "frmmain.h"
#include "frmsplash.h"

std::shared_ptr<clsUTC> g_objUTC;
std::shared_ptr<clsLogEntry> g_objLogEntry;
QPointer<frmMain> g_frmMain;

namespace {
void releaseProgramObjects()
{
    g_objUTC.reset();
    g_objLogEntry.reset();
}
} // namespace

void Main(Dialogs& dialogs)
{
    BusyCursor busy;
    auto splash = std::make_unique<frmSplash>();
    try {
        splash->show();
        splash->repaint();
        g_objUTC = std::make_shared<clsUTC>();
        g_objLogEntry = std::make_shared<clsLogEntry>();
        g_frmMain = new frmMain(g_objUTC, g_objLogEntry, dialogs);
        g_frmMain->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(g_frmMain, &frmMain::unloading, &releaseProgramObjects);
        splash.reset();
        g_frmMain->show();
    } catch (const std::exception& error) {
        splash.reset();
        Error_Report(dialogs, QStringLiteral("modMain.Main()"), error);
    }
}
