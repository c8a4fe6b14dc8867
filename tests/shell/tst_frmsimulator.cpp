#include "frmmain.h"
#include "frmsimulator.h"
#include "clslogentry.h"
#include "clsutc.h"
#include "recordingdialogs.h"
#include "clsacars.h"
#include "propsserverstub.h"
#include "relaykey.h"
#include "sourceselector.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <thread>

// Options, "Simulator...": the choice of source, kept with the other options.
class tst_frmSimulator : public QObject {
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Quillon"), QStringLiteral("Quillon")).clear(); }

    void choosingAKindStartsFromItsDefaultsAndTheHostIsChecked()
    {
        frmSimulator dialog(SourceChoice::of(SourceChoice::Kind::Automatic));
        auto* source = dialog.findChild<QComboBox*>(QStringLiteral("cboSource"));
        auto* host = dialog.findChild<QLineEdit*>(QStringLiteral("txtHost"));
        auto* port = dialog.findChild<QSpinBox*>(QStringLiteral("spnPort"));
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(!host->isEnabled());
        source->setCurrentText(QStringLiteral("X-Plane"));
        QCOMPARE(dialog.source().text(), std::string("xplane:127.0.0.1:49000"));
        host->setText(QStringLiteral("[::1]"));
        port->setValue(49001);
        QCOMPARE(dialog.source().text(), std::string("xplane:[::1]:49001"));
        host->setText(QStringLiteral("two words"));
        QVERIFY(!ok->isEnabled());
        host->setText(QString());
        QVERIFY(!ok->isEnabled());
        source->setCurrentText(QStringLiteral("FSUIPC module"));
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.source().text(), std::string("fsuipc"));
    }

    // A key pasted for a relay on another computer replaces the key file's,
    // private to the user; the next dialog shows it as the key file's own.
    void aRelaysKeyIsCheckedAndKeptInTheKeyFile()
    {
        const QString keyPath = QString::fromStdString(defaultRelayKeyPath());
        QFile::remove(keyPath);
        frmSimulator dialog(SourceChoice::of(SourceChoice::Kind::Automatic));
        auto* key = dialog.findChild<QLineEdit*>(QStringLiteral("txtKey"));
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(!key->isEnabled() && key->text().isEmpty());
        dialog.findChild<QComboBox*>(QStringLiteral("cboSource"))->setCurrentText(QStringLiteral("Relay"));
        QCOMPARE(dialog.source().text(), std::string("relay:127.0.0.1:5230"));
        key->setText(QStringLiteral("0123456789abcdef0123456789abcdeg"));
        QVERIFY(!ok->isEnabled());
        key->setText(QStringLiteral(" 0123456789ABCDEF0123456789abcdef "));
        QVERIFY(ok->isEnabled());
        QString error;
        QVERIFY2(dialog.storeKey(error), qPrintable(error));
        QFile file(keyPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("0123456789abcdef0123456789abcdef\n"));
        QCOMPARE(file.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());

        std::string parseError;
        QVERIFY(frmSimulator::storeSource(*parseSourceChoice("relay:simpc:5231", parseError)));
        frmSimulator again(frmSimulator::storedSource());
        QCOMPARE(again.findChild<QComboBox*>(QStringLiteral("cboSource"))->currentText(), QStringLiteral("Relay"));
        QCOMPARE(again.source().text(), std::string("relay:simpc:5231"));
        QCOMPARE(again.findChild<QLineEdit*>(QStringLiteral("txtKey"))->text(), QStringLiteral("0123456789abcdef0123456789abcdef"));
    }

    void theChoiceIsKeptAndAnUnreadableOneMeansAutomatic()
    {
        QCOMPARE(frmSimulator::storedSource().kind, SourceChoice::Kind::Automatic);
        QVERIFY(frmSimulator::storeSource(SourceChoice{SourceChoice::Kind::FlightGear, "fgbox", 5500}));
        QCOMPARE(QSettings(QStringLiteral("Quillon"), QStringLiteral("Quillon")).value("Options/Simulator").toString(),
                 QStringLiteral("flightgear:fgbox:5500"));
        frmSimulator dialog(frmSimulator::storedSource());
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("txtHost"))->text(), QStringLiteral("fgbox"));
        QSettings(QStringLiteral("Quillon"), QStringLiteral("Quillon")).setValue("Options/Simulator", "flightsim:1");
        QCOMPARE(frmSimulator::storedSource().kind, SourceChoice::Kind::Automatic);
    }

    void theWindowOpensTheStoredSourceAndNamesTheSimulatorInItsStatusBar()
    {
        PropsServerStub fg;
        for (const char* path : {"/sim/time/utc/hour", "/sim/time/utc/minute", "/sim/time/utc/second"})
            fg.set(path, "12");
        fg.set("/sim/version/flightgear", "2020.3.16");
        frmSimulator::storeSource(SourceChoice{SourceChoice::Kind::FlightGear, "127.0.0.1", fg.port()});
        RecordingDialogs dialogs;
        frmMain window(std::make_shared<clsUTC>(), std::make_shared<clsLogEntry>(), dialogs);
        QLabel* panel = window.statusPanel(1);
        const QString notice = panel->text();

        // The tracker opens and closes the link on a thread of its own.
        clsACARS tracker(window.sourceSelector());
        std::string result;
        std::thread([&] { tracker.Start(result); }).join();
        QCOMPARE(result, std::string("Okay"));
        QTRY_COMPARE(panel->text(), "Simulator: FlightGear 2020.3.16 at 127.0.0.1:" + QString::number(fg.port()));
        std::thread([&] { tracker.Stop_(); }).join();
        QTRY_COMPARE(panel->text(), notice);
    }
};

QTEST_MAIN(tst_frmSimulator)
#include "tst_frmsimulator.moc"
