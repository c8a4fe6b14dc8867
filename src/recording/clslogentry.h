#pragma once

#include <QObject>
#include <QString>

#include <array>

// One flight of the log as fourteen texts, in the column order of the log
// file, and the save handshake between the panel that records a flight and
// the panel that keeps the log. The record stores text only; setters strip
// leading and trailing spaces (code 32) and nothing else. Events are plain
// signals: connect with Qt::DirectConnection so that the whole handshake has
// run when New_Log_Entry_Save() returns.
class clsLogEntry : public QObject {
    Q_OBJECT

public:
    static constexpr int kFieldCount = 14;

    // Column index of each property in a log row.
    enum Field {
        FLIGHT_DATE_FIELD = 0,
        AIRCRAFT_TYPE_FIELD = 1,
        AIRCRAFT_ID_FIELD = 2,
        FLIGHT_ORIGIN_FIELD = 3,
        TIME_OUT_FIELD = 4,
        TIME_OFF_FIELD = 5,
        FUEL_OUT_FIELD = 6,
        FLIGHT_DESTINATION_FIELD = 7,
        TIME_ON_FIELD = 8,
        TIME_IN_FIELD = 9,
        FUEL_IN_FIELD = 10,
        FLIGHT_TIME_FIELD = 11,
        FLIGHT_TIME_HHMM_FIELD = 12,
        FUEL_USED_FIELD = 13,
    };

    explicit clsLogEntry(QObject* parent = nullptr);

    void setFLIGHT_DATE(const QString& vData) { setField(FLIGHT_DATE_FIELD, vData); }
    QString FLIGHT_DATE() const { return field(FLIGHT_DATE_FIELD); }
    void setAIRCRAFT_TYPE(const QString& vData) { setField(AIRCRAFT_TYPE_FIELD, vData); }
    QString AIRCRAFT_TYPE() const { return field(AIRCRAFT_TYPE_FIELD); }
    void setAIRCRAFT_ID(const QString& vData) { setField(AIRCRAFT_ID_FIELD, vData); }
    QString AIRCRAFT_ID() const { return field(AIRCRAFT_ID_FIELD); }
    void setFLIGHT_ORIGIN(const QString& vData) { setField(FLIGHT_ORIGIN_FIELD, vData); }
    QString FLIGHT_ORIGIN() const { return field(FLIGHT_ORIGIN_FIELD); }
    void setTIME_OUT(const QString& vData) { setField(TIME_OUT_FIELD, vData); }
    QString TIME_OUT() const { return field(TIME_OUT_FIELD); }
    void setTIME_OFF(const QString& vData) { setField(TIME_OFF_FIELD, vData); }
    QString TIME_OFF() const { return field(TIME_OFF_FIELD); }
    void setFUEL_OUT(const QString& vData) { setField(FUEL_OUT_FIELD, vData); }
    QString FUEL_OUT() const { return field(FUEL_OUT_FIELD); }
    void setFLIGHT_DESTINATION(const QString& vData) { setField(FLIGHT_DESTINATION_FIELD, vData); }
    QString FLIGHT_DESTINATION() const { return field(FLIGHT_DESTINATION_FIELD); }
    void setTIME_ON(const QString& vData) { setField(TIME_ON_FIELD, vData); }
    QString TIME_ON() const { return field(TIME_ON_FIELD); }
    void setTIME_IN(const QString& vData) { setField(TIME_IN_FIELD, vData); }
    QString TIME_IN() const { return field(TIME_IN_FIELD); }
    void setFUEL_IN(const QString& vData) { setField(FUEL_IN_FIELD, vData); }
    QString FUEL_IN() const { return field(FUEL_IN_FIELD); }
    void setFLIGHT_TIME(const QString& vData) { setField(FLIGHT_TIME_FIELD, vData); }
    QString FLIGHT_TIME() const { return field(FLIGHT_TIME_FIELD); }
    void setFLIGHT_TIME_HHMM(const QString& vData) { setField(FLIGHT_TIME_HHMM_FIELD, vData); }
    QString FLIGHT_TIME_HHMM() const { return field(FLIGHT_TIME_HHMM_FIELD); }
    void setFUEL_USED(const QString& vData) { setField(FUEL_USED_FIELD, vData); }
    QString FUEL_USED() const { return field(FUEL_USED_FIELD); }

    // By column 0..13; std::out_of_range outside.
    QString field(int column) const;
    void setField(int column, const QString& vData);

    // Raises NewLogEntrySave; returns after every subscriber has handled it.
    void New_Log_Entry_Save();
    // Raises NewLogEntrySaveOK for true, NewLogEntrySaveFail for false.
    void New_Log_Entry_Save_Result(bool blnResult);

signals:
    void NewLogEntrySave();
    void NewLogEntrySaveOK();
    void NewLogEntrySaveFail();

private:
    std::array<QString, kFieldCount> m_fields;
};

// Whether text is written to the log file unchanged. The file is in the
// system's 8-bit encoding (UTF-8 on Linux, the ANSI code page on Windows),
// which may have no byte for a character and would silently store "?".
bool storableInLog(const QString& text);
