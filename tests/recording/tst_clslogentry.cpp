#include "clslogentry.h"

#include <QtTest>

namespace {

using Setter = void (clsLogEntry::*)(const QString&);
using Getter = QString (clsLogEntry::*)() const;

struct Property {
    const char* name;
    int column;
    Setter set;
    Getter get;
};

const Property kProperties[] = {
    {"FLIGHT_DATE", 0, &clsLogEntry::setFLIGHT_DATE, &clsLogEntry::FLIGHT_DATE},
    {"AIRCRAFT_TYPE", 1, &clsLogEntry::setAIRCRAFT_TYPE, &clsLogEntry::AIRCRAFT_TYPE},
    {"AIRCRAFT_ID", 2, &clsLogEntry::setAIRCRAFT_ID, &clsLogEntry::AIRCRAFT_ID},
    {"FLIGHT_ORIGIN", 3, &clsLogEntry::setFLIGHT_ORIGIN, &clsLogEntry::FLIGHT_ORIGIN},
    {"TIME_OUT", 4, &clsLogEntry::setTIME_OUT, &clsLogEntry::TIME_OUT},
    {"TIME_OFF", 5, &clsLogEntry::setTIME_OFF, &clsLogEntry::TIME_OFF},
    {"FUEL_OUT", 6, &clsLogEntry::setFUEL_OUT, &clsLogEntry::FUEL_OUT},
    {"FLIGHT_DESTINATION", 7, &clsLogEntry::setFLIGHT_DESTINATION, &clsLogEntry::FLIGHT_DESTINATION},
    {"TIME_ON", 8, &clsLogEntry::setTIME_ON, &clsLogEntry::TIME_ON},
    {"TIME_IN", 9, &clsLogEntry::setTIME_IN, &clsLogEntry::TIME_IN},
    {"FUEL_IN", 10, &clsLogEntry::setFUEL_IN, &clsLogEntry::FUEL_IN},
    {"FLIGHT_TIME", 11, &clsLogEntry::setFLIGHT_TIME, &clsLogEntry::FLIGHT_TIME},
    {"FLIGHT_TIME_HHMM", 12, &clsLogEntry::setFLIGHT_TIME_HHMM, &clsLogEntry::FLIGHT_TIME_HHMM},
    {"FUEL_USED", 13, &clsLogEntry::setFUEL_USED, &clsLogEntry::FUEL_USED},
};

// Counts the three events as the two panels would see them.
struct Listener {
    int save = 0;
    int ok = 0;
    int fail = 0;
    void listen(clsLogEntry& entry)
    {
        QObject::connect(&entry, &clsLogEntry::NewLogEntrySave, [this] { ++save; });
        QObject::connect(&entry, &clsLogEntry::NewLogEntrySaveOK, [this] { ++ok; });
        QObject::connect(&entry, &clsLogEntry::NewLogEntrySaveFail, [this] { ++fail; });
    }
};

} // namespace

class tst_clsLogEntry : public QObject {
    Q_OBJECT

private slots:
    // A new record is empty; each named property sits in its own column.
    void propertiesMapToTheirColumns()
    {
        clsLogEntry entry;
        for (const Property& p : kProperties)
            QCOMPARE((entry.*p.get)(), QString());
        for (const Property& p : kProperties)
            (entry.*p.set)(QStringLiteral("v%1").arg(p.column));
        for (const Property& p : kProperties) {
            QCOMPARE(entry.field(p.column), QStringLiteral("v%1").arg(p.column));
            QCOMPARE((entry.*p.get)(), QStringLiteral("v%1").arg(p.column));
        }
    }

    void settersTrimSpacesOnly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("stored");
        QTest::newRow("two leading, one trailing space") << "  A320 " << "A320";
        QTest::newRow("placeholder keeps its inner spaces") << "[     ]" << "[     ]";
        QTest::newRow("spaces only") << "     " << "";
        QTest::newRow("leading tab kept") << "\tA320" << "\tA320";
        QTest::newRow("trailing tab after space kept") << "A320 \t" << "A320 \t";
        QTest::newRow("inner spaces kept") << " Boeing 737 " << "Boeing 737";
        QTest::newRow("no-break space kept") << QString(QChar(0xA0)) + "x" << QString(QChar(0xA0)) + "x";
    }

    void settersTrimSpacesOnly()
    {
        QFETCH(QString, value);
        QFETCH(QString, stored);
        for (const Property& p : kProperties) {
            clsLogEntry entry;
            (entry.*p.set)(value);
            QVERIFY2((entry.*p.get)() == stored, p.name);
            entry.setField(p.column, value);
            QVERIFY2(entry.field(p.column) == stored, p.name);
        }
    }

    void resultRaisesExactlyOneOutcome_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::newRow("saved") << true;
        QTest::newRow("not saved") << false;
    }

    void resultRaisesExactlyOneOutcome()
    {
        QFETCH(bool, saved);
        clsLogEntry entry;
        Listener listener;
        listener.listen(entry);
        entry.New_Log_Entry_Save_Result(saved);
        QCOMPARE(listener.ok, saved ? 1 : 0);
        QCOMPARE(listener.fail, saved ? 0 : 1);
        QCOMPARE(listener.save, 0);
    }

    void saveWithoutSubscriberRaisesNoOutcome()
    {
        clsLogEntry entry;
        int outcomes = 0;
        QObject::connect(&entry, &clsLogEntry::NewLogEntrySaveOK, [&] { ++outcomes; });
        QObject::connect(&entry, &clsLogEntry::NewLogEntrySaveFail, [&] { ++outcomes; });
        entry.New_Log_Entry_Save();
        QCOMPARE(outcomes, 0);
    }

    // The log panel answers inside the save request; the recording panel has reacted before the call returns.
    void handshakeCompletesInsideSave()
    {
        clsLogEntry entry;
        QStringList order;
        QObject::connect(
            &entry, &clsLogEntry::NewLogEntrySave, &entry,
            [&] {
                order << "save:" + entry.AIRCRAFT_TYPE();
                entry.New_Log_Entry_Save_Result(true);
                order << "answered";
            },
            Qt::DirectConnection);
        QObject::connect(
            &entry, &clsLogEntry::NewLogEntrySaveOK, &entry, [&] { order << "reset"; }, Qt::DirectConnection);
        entry.setAIRCRAFT_TYPE("A320");
        entry.New_Log_Entry_Save();
        QCOMPARE(order, QStringList({"save:A320", "reset", "answered"}));
        entry.New_Log_Entry_Save();
        QCOMPARE(order.size(), 6);
    }
};

QTEST_GUILESS_MAIN(tst_clsLogEntry)
#include "tst_clslogentry.moc"
