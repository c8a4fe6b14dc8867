#include "clslogentry.h"

#include <QtTest>

namespace {

using Setter = void (clsLogEntry::*)(const QString&);
using Getter = QString (clsLogEntry::*)() const;
#define PROPERTY(name) {&clsLogEntry::set##name, &clsLogEntry::name}

// Each named property, in the order of its column.
const std::pair<Setter, Getter> kProperties[clsLogEntry::kFieldCount] = {
    PROPERTY(FLIGHT_DATE),      PROPERTY(AIRCRAFT_TYPE), PROPERTY(AIRCRAFT_ID), PROPERTY(FLIGHT_ORIGIN),
    PROPERTY(TIME_OUT),         PROPERTY(TIME_OFF),      PROPERTY(FUEL_OUT),    PROPERTY(FLIGHT_DESTINATION),
    PROPERTY(TIME_ON),          PROPERTY(TIME_IN),       PROPERTY(FUEL_IN),     PROPERTY(FLIGHT_TIME),
    PROPERTY(FLIGHT_TIME_HHMM), PROPERTY(FUEL_USED),
};
#undef PROPERTY

} // namespace

class tst_clsLogEntry : public QObject {
    Q_OBJECT

private slots:
    void settersTrimSpacesOnly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("stored");
        QTest::newRow("two leading, one trailing space") << "  A320 " << "A320";
        QTest::newRow("placeholder keeps its inner spaces") << "[     ]" << "[     ]";
        QTest::newRow("spaces only") << "     " << "";
        QTest::newRow("leading tab kept") << "\tA320" << "\tA320";
        QTest::newRow("trailing tab after space kept") << "A320 \t" << "A320 \t";
        QTest::newRow("no-break space kept") << QString(QChar(0xA0)) + "x" << QString(QChar(0xA0)) + "x";
    }

    // Each named property and setField trim alike, and each property sits in its own column only.
    void settersTrimSpacesOnly()
    {
        QFETCH(QString, value);
        QFETCH(QString, stored);
        for (int column = 0; column < clsLogEntry::kFieldCount; ++column) {
            const auto [set, get] = kProperties[column];
            clsLogEntry byProperty, byField;
            (byProperty.*set)(value);
            byField.setField(column, value);
            QCOMPARE((byField.*get)(), stored);
            for (int other = 0; other < clsLogEntry::kFieldCount; ++other)
                QCOMPARE(byProperty.field(other), other == column ? stored : QString());
        }
    }

    // The log panel answers inside the save request; the recording panel has reacted before the call
    // returns, every time. Without a log panel listening there is no outcome.
    void handshakeCompletesInsideSave()
    {
        clsLogEntry entry;
        QStringList order;
        // Functors connected without a receiver are called directly, as the panels' handlers are.
        QObject::connect(&entry, &clsLogEntry::NewLogEntrySaveOK, [&] { order << "ok"; });
        QObject::connect(&entry, &clsLogEntry::NewLogEntrySaveFail, [&] { order << "fail"; });
        entry.New_Log_Entry_Save();   // nobody to answer yet
        int saves = 0;
        QObject::connect(&entry, &clsLogEntry::NewLogEntrySave, [&] {
            order << "save:" + entry.AIRCRAFT_TYPE();
            entry.New_Log_Entry_Save_Result(++saves == 1);   // saved the first time, not the second
            order << "answered";
        });
        entry.setAIRCRAFT_TYPE("A320");
        entry.New_Log_Entry_Save();
        entry.New_Log_Entry_Save();
        QCOMPARE(order, QStringList({"save:A320", "ok", "answered", "save:A320", "fail", "answered"}));
    }
};

QTEST_GUILESS_MAIN(tst_clsLogEntry)
#include "tst_clslogentry.moc"
