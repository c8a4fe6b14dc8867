// The program as the end-to-end tests of the flight in progress run it: the
// real start-up and main window, with every box answered by script (the
// question at start with Yes, any other with Save or Ok) and printed on
// standard output, one line each:
//   box <text>          a box was shown (line breaks as " / ")
//   values <9 texts>    the panel's live values changed, separated by "|"
//   logged              "Log Flight" was clicked and has answered
// It clicks "On" whenever it is offered, types the flight's details into
// boxes still showing the placeholder and, with --log, clicks "Log Flight"
// when it is offered and then closes the window. SIGTERM ends it as it ends
// the program.
#include "dialogs.h"
#include "frmmain.h"
#include "linklabel.h"
#include "linklabelgroup.h"
#include "modmain.h"
#include "paneltitle.h"
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

class ScriptedDialogs : public Dialogs {
public:
    QMessageBox::StandardButton message(QWidget*, const MessageRequest& request) override
    {
        say(QStringLiteral("box ") + QString(request.text).replace(QStringLiteral("\r\n"), QStringLiteral(" / ")));
        for (QMessageBox::StandardButton button : {QMessageBox::Yes, QMessageBox::Save})
            if (request.buttons.testFlag(button))
                return button;
        return QMessageBox::Ok;
    }
    std::optional<QColor> pickColor(QWidget*, const QColor&, const QString&) override { return std::nullopt; }
    bool pageSetup(QWidget*, QPrinter&) override { return false; }
    bool printSetup(QWidget*, QPrinter&) override { return false; }
};

// What the pilot does, looked at every kLookEveryMs.
class Pilot : public QObject {
public:
    Pilot(ucACARS* panel, bool logAtTheGate) : m_panel(panel), m_logAtTheGate(logAtTheGate)
    {
        connect(&m_look, &QTimer::timeout, this, &Pilot::look);
        m_look.start(kLookEveryMs);
    }

private:
    LinkLabel* link(int index) const { return m_panel->findChild<PanelTitle*>(QStringLiteral("Title"))->links()->link(index); }

    void look()
    {
        QStringList values;
        for (int i = 0; i < 9; ++i)
            values << m_panel->findChild<QLabel*>(QStringLiteral("lblACARS_%1").arg(i))->text();
        // Told once the step that brought them has ended, and so has been kept.
        if (values != m_lastValues && !m_panel->isWaitingForSimulator()) {
            say(QStringLiteral("values ") + values.join(u'|'));
            m_lastValues = values;
        }
        for (int i = 0; i < kDetails.size(); ++i) {
            auto* box = m_panel->findChild<QLineEdit*>(QStringLiteral("txtACARS_%1").arg(i));
            if (box->text() == QStringLiteral("[     ]")) {
                box->selectAll();
                QTest::keyClicks(box, kDetails.at(i));
            }
        }
        if (link(ucACARS::LINK_ON)->isActive() && !m_panel->isWaitingForSimulator())
            QTest::mouseClick(link(ucACARS::LINK_ON), Qt::LeftButton);
        if (m_logAtTheGate && link(ucACARS::LINK_LOG)->isActive()) {
            m_look.stop();
            QTest::mouseClick(link(ucACARS::LINK_LOG), Qt::LeftButton);
            say(QStringLiteral("logged"));
            g_frmMain->close();
        }
    }

    ucACARS* m_panel;
    bool m_logAtTheGate;
    QTimer m_look;
    QStringList m_lastValues;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    ScriptedDialogs dialogs;
    TerminationWatcher termination;
    Main(dialogs, termination);
    if (!g_frmMain)
        return 1;
    Pilot pilot(g_frmMain->acarsPanel(), app.arguments().contains(QStringLiteral("--log")));
    return app.exec();
}
