#pragma once

#include "acarsworker.h"
#include "flightinprogress.h"
#include "ipcplatform.h"

#include <QWidget>

#include <array>
#include <memory>

class clsLogEntry;
class Dialogs;
class LinkLabel;
class PanelTitle;
class QLabel;
class QEventLoop;
class QLineEdit;
class QThread;
class QTimer;

// The panel on which the pilot records a flight while flying it: a 500 ms
// timer drives one phase tracker, which runs on a worker thread so that a
// busy simulator never freezes the window; the panel shows the times and fuel
// the tracker reports, takes the aircraft and route typed by the pilot and
// hands the finished flight to the shared log entry record. The flight in
// progress is kept in a file beside the log until it is logged or reset.
//
// Child widgets carry object names for tests and tools: "Frame", "Title",
// "tmr", "lblACARS_0".."lblACARS_9", "lblCaption_0".."lblCaption_12",
// "txtACARS_0".."txtACARS_3", "lblHint", "lblLink"; the links are Title's
// group, index 0..3.
class ucACARS : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTimerIntervalMs = 500;
    static constexpr int kHintShownMs = 5000;
    // An exchange waiting this long is shown as "Waiting for the simulator...".
    static constexpr int kWaitingShownAfterMs = 2000;
    // Typing is gathered this long before the flight's file is written.
    static constexpr int kTypingKeptAfterMs = 1000;
    // Closing waits at most this long for the worker to end its exchange
    // (a cancelled exchange ends within 50 ms on POSIX).
    static constexpr int kWorkerStopWaitMs = 1000;

    // Link indexes of the title strip.
    enum Link { LINK_ON = 0, LINK_MODE = 1, LINK_LOG = 2, LINK_RESET = 3 };

    ucACARS(std::shared_ptr<clsLogEntry> record, Dialogs& dialogs, QWidget* parent = nullptr,
            IpcPlatform& platform = systemIpcPlatform());
    ~ucACARS() override;

    // Background colour of the title strip, 0x00BBGGRR.
    void setTitle_BackColor(qint32 vData);

    // At start: a flight kept from an earlier run is offered once (continue
    // or discard); a damaged file is reported and set aside.
    void Offer_Saved_Flight();
    // The closing question: an arrived flight is logged, discarded or the
    // close cancelled; a flight in progress is kept for the next start.
    // False when the pilot cancels.
    bool queryClose();
    // Every panel agreed to close: a flight the pilot chose to discard goes
    // now, not before another panel could still cancel the close.
    void Close_Agreed();
    // The tracker has a request in hand (tests wait for it to be answered).
    bool isWaitingForSimulator() const { return m_blnRequestOutstanding; }
    // The flight's file: FlightInProgress::defaultPath() unless set.
    void setFlightFilePath(const QString& path) { m_strFlightPath = path; }

signals:
    // A short state of the link for the status bar; empty when there is nothing to say.
    void linkStatusChanged(const QString& text);

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

    void UCI();
    void startWorker();
    void stopWorker();
    void ACARS_CLEAR();
    void ACARS_ENABLE(bool bln);
    void ACARS_LINKS();
    void ACARS_ON();
    void ACARS_MODE();
    void tmr_Timer();
    void ACARS_RESET();
    void ACARS_LOG();
    void Reset_Flight();
    void Link_Lost(const QString& strError);
    void Show_Link_Status(const QString& strPanel, const QString& strStatusBar);
    void Show_Flight();
    void Keep_Flight();
    void Forget_Flight();
    QString Flight_Summary() const;

    // Requests to the worker, one at a time, and their answers.
    template <typename Request>
    void Ask_Worker(Request request);
    void Answered();
    void End_Step();
    void Worker_Started(int generation, bool ok, const QString& strResult, const QString& strSimulator);
    void Worker_Event(int generation, AcarsWorker::Event event, const QString& text);
    void Worker_Refreshed(int generation, bool blnLinkOpen, const QString& strError);
    void Worker_Failed(int generation, const QString& strDescription);
    void Worker_Details(int generation, const QString& strType, const QString& strId, const QString& strOrigin,
                        const QString& strDestination);

    void hypACARS_Click(int index);
    void Set_Link_State(bool blnState, LinkLabel* link);
    void Select_Text(QLineEdit* textBox);
    void Show_Refused_Character(const QString& hint);
    void Set_Flight_Date();

    void m_objNewLogEntry_NewLogEntrySaveOK();
    void m_objNewLogEntry_NewLogEntrySaveFail();

    std::shared_ptr<clsLogEntry> m_objNewLogEntry;
    Dialogs& m_dialogs;
    IpcPlatform& m_platform;
    // The worker and its thread; the worker is deleted once the thread has ended.
    QThread* m_workerThread = nullptr;
    AcarsWorker* m_worker = nullptr;
    // Raised by every Reset: answers to older requests are dropped.
    int m_generation = 0;
    bool m_blnRequestOutstanding = false;
    QTimer* m_waitTimer = nullptr;
    // Runs while End_Step waits for the step's answer.
    QEventLoop* m_stepLoop = nullptr;
    // The simulator tracked, as its open described it.
    QString m_strSimulator;

    FlightInProgress m_flight;
    QString m_strFlightPath;
    // Something is not yet in the flight's file.
    bool m_blnFlightChanged = false;
    // The closing question was answered "Discard".
    bool m_blnDiscardOnClose = false;
    QTimer* m_keepTimer = nullptr;

    bool m_blnTracking = false;
    bool m_blnSlewMode = false;
    // An error box of a failed step is open: ticks wait until it is closed.
    bool m_blnErrorShown = false;

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
    // The state of the link: waiting, lost, or the simulator tracked.
    QLabel* lblLink = nullptr;
    // A box focused by a mouse press: select its text once the press is over.
    QLineEdit* m_selectOnRelease = nullptr;
};
