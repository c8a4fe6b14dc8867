#include "dialogs.h"
#include "frmmain.h"
#include "modmain.h"
#include "terminationwatcher.h"

#include <QApplication>
#include <QFont>

#ifdef Q_OS_WIN
#include <windows.h>

namespace {
bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Wine's GDI text loses thin strokes at small sizes (the capital I of the
// Arial stand-in at 8 pt), so Qt's own FreeType renderer draws the text
// unless the pilot chose a platform; and the system's dialog font, which
// menus and captions take, is a name Wine may not have. Windows itself keeps
// its native text and fonts.
void adaptToWine()
{
    if (!runningUnderWine())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "windows:fontengine=freetype");
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"),
                               {QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans")});
}
} // namespace
#endif

int main(int argc, char* argv[])
{
#ifdef Q_OS_WIN
    adaptToWine();
#endif
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
