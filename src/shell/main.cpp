#include "dialogs.h"
#include "frmmain.h"
#include "modmain.h"
#include "terminationwatcher.h"

#include <QApplication>
#include <QFont>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The windows are drawn in Arial; where it is missing (Wine, a desktop
    // without it) its metric-compatible stand-in keeps the layout.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(QUILLON_VERSION_MAJOR)
                                            .arg(QUILLON_VERSION_MINOR)
                                            .arg(QUILLON_VERSION_PATCH));
    QApplication::setDesktopFileName(QStringLiteral("quillon"));

    QtDialogs dialogs;
    TerminationWatcher termination;
    Main(dialogs, termination);
    if (!g_frmMain || !g_frmMain->isVisible())
        return 0;
    return app.exec();
}
