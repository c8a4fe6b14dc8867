#pragma once

#include "clsacars.h"
#include "ipcplatform.h"

#include <QObject>
#include <QString>

#include <atomic>

// Runs the flight phase tracker away from the window: it lives on its own
// thread (moveToThread) and owns the tracker and, through it, the link, so
// that no exchange with the simulator ever blocks the window. The panel calls
// its slots queued and hears back through its signals, which carry plain
// values only. Every request carries the panel's generation number and every
// answer repeats it, so that the panel can drop answers to requests it has
// since overtaken (a Reset).
class AcarsWorker : public QObject, private clsACARSEvents {
    Q_OBJECT

public:
    // The tracker's events that carry a value for the panel.
    enum class Event { FlightOUT, FlightOFF, FlightON, FlightIN, FlightTime, FlightTimeHHMM, FuelOut, FuelIn, FuelUsed };
    Q_ENUM(Event)

    // The platform must outlive the worker.
    explicit AcarsWorker(IpcPlatform& platform);
    ~AcarsWorker() override;

    // Opens the link; answers with started().
    void start(int generation);
    // One polling step; answers with the step's events, then refreshed().
    void refresh(int generation);
    // Closes the link, forgets the flight and resumes.
    void stop();
    // Lifts a cancel raised for the request before it (never closing's).
    void resume();
    // Takes up a flight recorded in an earlier run (the link stays as it is).
    void restore(const FlightPhases& phases);
    // Called directly from the window's thread when the panel closes: cancels
    // the exchange in hand for good; requests still queued do nothing.
    void close();

signals:
    // simulator: the simulator's description after a successful open.
    void started(int generation, bool ok, const QString& result, const QString& simulator);
    void trackerEvent(int generation, AcarsWorker::Event event, const QString& text);
    // linkError: the first failure's text in this step; empty when none.
    void refreshed(int generation, bool linkOpen, const QString& linkError);
    // A run-time failure ended a start or a step: the answer in place of the two above.
    void failed(int generation, const QString& description);
    // What the simulator tells for the pilot's boxes, each empty where there is
    // nothing to fill: the aircraft at a start and at OUT, the closest airport
    // as the origin at OUT and as the destination at IN.
    void detailsTold(int generation, const QString& aircraftType, const QString& aircraftId, const QString& origin,
                     const QString& destination);

private:
    enum class Moment { Start, Out, In };

    void report(Event event, const std::string& text);
    void tellDetails(int generation, Moment moment);

    void FlightOUT(const std::string& s) override { report(Event::FlightOUT, s); }
    void FlightOFF(const std::string& s) override { report(Event::FlightOFF, s); }
    void FlightON(const std::string& s) override { report(Event::FlightON, s); }
    void FlightIN(const std::string& s) override { report(Event::FlightIN, s); }
    void FlightTime(const std::string& s) override { report(Event::FlightTime, s); }
    void FlightTimeHHMM(const std::string& s) override { report(Event::FlightTimeHHMM, s); }
    void FuelOut(const std::string& s) override { report(Event::FuelOut, s); }
    void FuelIn(const std::string& s) override { report(Event::FuelIn, s); }
    void FuelUsed(const std::string& s) override { report(Event::FuelUsed, s); }
    void FSClosed(const std::string& strError) override;
    void Error(const std::string& strError) override;

    IpcPlatform& m_platform;
    clsACARS m_objACARS;
    int m_generation = 0; // of the request being served
    std::atomic<bool> m_closing{false};
    QString m_strLinkError;
};
