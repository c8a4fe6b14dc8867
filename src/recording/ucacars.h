#pragma once

#include "clsacars.h"
#include "ipcplatform.h"

#include <QWidget>

#include <array>
#include <memory>

class clsLogEntry;
class Dialogs;
class LinkLabel;
class PanelTitle;
class QLabel;
class QLineEdit;
class QTimer;

// The panel on which the pilot records a flight while flying it: it drives
// one phase tracker with a 500 ms timer, shows the times and fuel the tracker
// reports, takes the aircraft and route typed by the pilot and hands the
// finished flight to the shared log entry record.
//
// Child widgets carry object names for tests and tools: "Frame", "Title",
// "tmr", "lblACARS_0".."lblACARS_9", "lblCaption_0".."lblCaption_12",
// "txtACARS_0".."txtACARS_3", "lblHint"; the links are Title's group, index 0..3.
class ucACARS : public QWidget, private clsACARSEvents {
    Q_OBJECT

public:
    static constexpr int kTimerIntervalMs = 500;
    static constexpr int kHintShownMs = 5000;

    // Link indexes of the title strip.
    enum Link { LINK_ON = 0, LINK_MODE = 1, LINK_LOG = 2, LINK_RESET = 3 };

    ucACARS(std::shared_ptr<clsLogEntry> record, Dialogs& dialogs, QWidget* parent = nullptr,
            IpcPlatform& platform = systemIpcPlatform());
    ~ucACARS() override;

    // Background colour of the title strip, 0x00BBGGRR.
    void setTitle_BackColor(qint32 vData);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int kValueCount = 10;
    static constexpr int kCaptionCount = 13;
    static constexpr int kTextCount = 4;
    static constexpr int kLiveValueCount = 9;   // lblACARS(0..8); (9) is the date
    static constexpr int kLiveCaptionCount = 8; // lblCaption(0..7) go with them

    // Value label indexes.
    enum Value {
        VAL_OUT = 0, VAL_OFF = 1, VAL_ON = 2, VAL_IN = 3, VAL_FLIGHT_TIME = 4,
        VAL_FUEL_OUT = 5, VAL_FUEL_IN = 6, VAL_FUEL_USED = 7, VAL_FLIGHT_TIME_HHMM = 8, VAL_DATE = 9,
    };
    // Text box indexes.
    enum Text { TXT_TYPE = 0, TXT_ID = 1, TXT_ORIGIN = 2, TXT_DESTINATION = 3 };

    void buildControls();
    void placeControls();
    QLabel* makeCaption(int index, const QString& caption);
    QLabel* makeValue(int index);
    QLineEdit* makeTextBox(int index);

    void UCI(IpcPlatform& platform);
    void ACARS_CLEAR();
    void ACARS_ENABLE(bool bln);
    void ACARS_LINKS();
    void ACARS_ON();
    void ACARS_MODE();
    void tmr_Timer();
    void ACARS_RESET();
    void ACARS_LOG();
    void Link_Lost();

    void hypACARS_Click(int index);
    void Set_Link_State(bool blnState, LinkLabel* link);
    void Select_Text(QLineEdit* textBox);
    void Show_Refused_Character();
    void Set_Flight_Date();

    void m_objNewLogEntry_NewLogEntrySaveOK();
    void m_objNewLogEntry_NewLogEntrySaveFail();

    // Tracker events.
    void FlightOUT(const std::string& strOUT) override;
    void FlightOFF(const std::string& strOFF) override;
    void FlightON(const std::string& strON) override;
    void FlightIN(const std::string& strIN) override;
    void FlightTime(const std::string& strFlightTime) override;
    void FlightTimeHHMM(const std::string& strFlightTimeHHMM) override;
    void FuelOut(const std::string& strFuelOut) override;
    void FuelIn(const std::string& strFuelIn) override;
    void FuelUsed(const std::string& strFuelUsed) override;
    void FSClosed(const std::string& strError) override;
    void Error(const std::string& strError) override;

    std::unique_ptr<clsACARS> m_objACARS;
    std::shared_ptr<clsLogEntry> m_objNewLogEntry;
    Dialogs& m_dialogs;

    bool m_blnTracking = false;
    bool m_blnSlewMode = false;
    // A tick (with any box it shows) is still running: later ticks wait.
    bool m_blnTickRunning = false;
    // The first failed-exchange text of the running tick; empty when none.
    QString m_strLinkError;

    QWidget* Frame = nullptr;
    PanelTitle* Title = nullptr;
    std::array<LinkLabel*, 4> hypACARS{};
    std::array<QLineEdit*, kTextCount> txtACARS{};
    std::array<QLabel*, kValueCount> lblACARS{};
    std::array<QLabel*, kCaptionCount> lblCaption{};
    QTimer* tmr = nullptr;
    // Says why a typed character was refused; hides itself after kHintShownMs.
    QLabel* lblHint = nullptr;
    QTimer* m_hintTimer = nullptr;
    // A box focused by a mouse press: select its text once the press is over.
    QLineEdit* m_selectOnRelease = nullptr;
};
