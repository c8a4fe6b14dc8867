#pragma once

#include "clsfsuipc.h"
#include "ipcplatform.h"

#include <cstdint>
#include <optional>
#include <string>

// Receives the tracker's events, synchronously, from inside the call that
// raises them. Every handler does nothing unless overridden.
class clsACARSEvents {
public:
    virtual ~clsACARSEvents() = default;
    virtual void FlightOUT(const std::string& /*strOUT*/) {}
    virtual void FlightOFF(const std::string& /*strOFF*/) {}
    virtual void FlightON(const std::string& /*strON*/) {}
    virtual void FlightIN(const std::string& /*strIN*/) {}
    virtual void FlightTime(const std::string& /*strFlightTime*/) {}
    virtual void FlightTimeHHMM(const std::string& /*strFlightTimeHHMM*/) {}
    virtual void FuelOut(const std::string& /*strFuelOut*/) {}
    virtual void FuelIn(const std::string& /*strFuelIn*/) {}
    virtual void FuelUsed(const std::string& /*strFuelUsed*/) {}
    // The link failed during a Refresh (exchange failed) and has been closed.
    virtual void FSClosed(const std::string& /*strError*/) {}
    // The link refused a read (e.g. it is not open).
    virtual void Error(const std::string& /*strError*/) {}
};

// What a tracker has recorded of one flight: the phase times ("hhmm", empty
// while not recorded) and the fuel on board at OUT and IN (nothing while not
// read; an empty text when every tank was empty).
struct FlightPhases {
    std::string strTimeOut;
    std::string strTimeOff;
    std::string strTimeOn;
    std::string strTimeIn;
    std::optional<std::string> fuelOut;
    std::optional<std::string> fuelIn;
};

// The flight phase tracker: turns polled simulator variables into the OUT,
// OFF, ON and IN times of a flight (the simulator's UTC, "hhmm"), the fuel on
// board at OUT and IN (whole pounds), the block time and the fuel used.
//
// Every read is one exchange with the simulator. A read that fails never
// records a phase: the first failure in a Refresh raises FSClosed (or Error)
// once, closes the link and ends that Refresh; every recorded phase and fuel
// text is kept, and after a new Start tracking goes on where it stopped. A
// fuel reading cut off by the link is taken again when the link is back and
// the aircraft is still where it was measured: fuel out while OFF is not yet
// recorded, fuel in while the brake is still set.
class clsACARS {
public:
    explicit clsACARS(IpcPlatform& platform = systemIpcPlatform());
    clsACARS(const clsACARS&) = delete;
    clsACARS& operator=(const clsACARS&) = delete;

    void setEvents(clsACARSEvents* events); // not owned; nullptr = none

    // Opens the link to any simulator; strResult gets the open's result text.
    bool Start(std::string& strResult);
    // One polling step; always false.
    bool Refresh();
    // Forgets every phase and fuel text; raises nothing.
    void Reset();
    // Takes up a flight recorded earlier (by another run); raises nothing.
    void Restore(const FlightPhases& phases);
    // Closes the link, then Reset.
    void Stop_();
    bool isLinkOpen() const;

    const std::string& FSUIPC_Version() const { return m_strFSUIPCVersion; }
    const std::string& FS_Version() const { return m_strFSVersion; }
    // The simulator behind the link, copied at the last successful Start.
    const std::string& Simulator_Description() const { return m_strDescription; }
    const std::string& TIME_OUT() const { return m_flight.strTimeOut; }
    const std::string& TIME_OFF() const { return m_flight.strTimeOff; }
    const std::string& TIME_ON() const { return m_flight.strTimeOn; }
    const std::string& TIME_IN() const { return m_flight.strTimeIn; }

private:
    using Handler = void (clsACARSEvents::*)(const std::string&);

    void raise(Handler handler, const std::string& text);
    // One read as one exchange; false after reporting the failure and closing the link.
    bool readBytes(std::int32_t dwOffset, std::int32_t dwSize, std::uint8_t* pDest);
    void linkFailed(Handler handler, std::int32_t dwResult);

    std::optional<std::int32_t> Read_Value(std::int32_t dwOffset, std::int32_t dwSize);
    std::optional<bool> Not_Slewing();
    std::optional<std::string> Get_Zulu_Time();
    std::optional<std::string> Get_Fuel();

    // Each returns false when a read failed and the Refresh must end; a phase
    // whose time could not be read stays open.
    // OFF and ON: the phase's time and its event.
    bool Record_Phase_Time(std::string& strTime, Handler timeEvent);
    // OUT and IN: the time, at IN the block time, then the fuel on board.
    bool Record_Gate_Phase(std::string& strTime, Handler timeEvent, bool blnArrival);
    // Fuel at OUT, or at IN followed by the fuel used.
    bool Read_Gate_Fuel(bool blnArrival);
    // A fuel reading that a lost link cut off, taken while it still holds.
    bool Read_Missing_Fuel(std::int32_t brake);
    void Calc_Flight_Time();
    void Calc_Fuel_Used();

    clsFSUIPC m_objFSUIPC;
    clsACARSEvents* m_objEvents = nullptr;
    std::string m_strFSVersion;
    std::string m_strFSUIPCVersion;
    FlightPhases m_flight;
    std::string m_strDescription;
};
