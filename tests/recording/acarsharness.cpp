// The program as the end-to-end tests of the flight in progress run it: the
// real start-up and main window, with every box printed on standard output
// and answered by script (the first with Yes when --log is given, the others
// with Ok), and a pilot who looks at the ACARS panel every kLookEveryMs.
// Printed, one line each:
//   box <text>          a box was shown (line breaks as " / ")
//   values <9 texts>    the panel's live values changed, separated by "|"
//   logged              "Log Flight" was clicked and has answered
// The pilot clicks "On" whenever it is offered, types the flight's details
// into boxes still showing the placeholder and, with --log, clicks "Log
// Flight" when it is offered and then closes the window. SIGTERM ends it as
// it ends the program.
#include "frmmain.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "modmain.h"
#include "paneltitle.h"
#include "recordingdialogs.h"
#include "terminationwatcher.h"
#include "ucacars.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <cstdio>

namespace {

constexpr int kLookEveryMs = 100;
const QStringList kDetails = {QStringLiteral("B737-800"), QStringLiteral("N737QL"), QStringLiteral("KJFK"),
                              QStringLiteral("KBOS")};

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// One look of the pilot; false once the flight is logged.
bool look(ucACARS* panel, bool logAtTheGate, QStringList& lastValues)
{
    const auto link = [panel](int index) { return panel->findChild<PanelTitle*>(QStringLiteral("Title"))->links()->link(index); };
    QStringList values;
    for (int i = 0; i < 9; ++i)
        values << panel->findChild<QLabel*>(QStringLiteral("lblACARS_%1").arg(i))->text();
    // Told once the step that brought them has ended, and so has been kept.
    if (values != lastValues && !panel->isWaitingForSimulator()) {
        say(QStringLiteral("values ") + values.join(u'|'));
        lastValues = values;
    }
    for (int i = 0; i < kDetails.size(); ++i) {
        auto* box = panel->findChild<QLineEdit*>(QStringLiteral("txtACARS_%1").arg(i));
        if (box->text() == QStringLiteral("[     ]")) {
            box->selectAll();
            QTest::keyClicks(box, kDetails.at(i));
        }
    }
    if (link(ucACARS::LINK_ON)->isActive() && !panel->isWaitingForSimulator())
        QTest::mouseClick(link(ucACARS::LINK_ON), Qt::LeftButton);
    if (!logAtTheGate || !link(ucACARS::LINK_LOG)->isActive())
        return true;
    QTest::mouseClick(link(ucACARS::LINK_LOG), Qt::LeftButton);
    say(QStringLiteral("logged"));
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    const bool logAtTheGate = app.arguments().contains(QStringLiteral("--log"));
    RecordingDialogs dialogs;
    if (logAtTheGate)
        dialogs.answers = {QMessageBox::Yes};
    dialogs.whileShown = [](const MessageRequest& request) {
        say(QStringLiteral("box ") + QString(request.text).replace(QStringLiteral("\r\n"), QStringLiteral(" / ")));
    };
    TerminationWatcher termination;
    Main(dialogs, termination);
    if (!g_frmMain)
        return 1;
    ucACARS* panel = g_frmMain->acarsPanel();
    QTimer pilot;
    QStringList lastValues;
    QObject::connect(&pilot, &QTimer::timeout, [&] {
        if (!look(panel, logAtTheGate, lastValues)) {
            pilot.stop();
            g_frmMain->close();
        }
    });
    pilot.start(kLookEveryMs);
    return app.exec();
}
