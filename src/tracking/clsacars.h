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

// The flight phase tracker: turns polled simulator variables into the OUT,
// OFF, ON and IN times of a flight (the simulator's UTC, "hhmm"), the fuel on
// board at OUT and IN (whole pounds), the block time and the fuel used.
//
// Every read is one exchange with the simulator. A read that fails never
// records a phase: the first failure in a Refresh raises FSClosed (or Error)
// once, closes the link and ends that Refresh; every recorded phase and fuel
// text is kept, and after a new Start tracking goes on where it stopped.
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
    // Closes the link, then Reset.
    void Stop_();
    bool isLinkOpen() const;

    const std::string& FSUIPC_Version() const { return m_strFSUIPCVersion; }
    const std::string& FS_Version() const { return m_strFSVersion; }
    // The simulator behind the link, copied at the last successful Start.
    const std::string& Simulator_Description() const { return m_strDescription; }
    const std::string& TIME_OUT() const { return m_strTimeOut; }
    const std::string& TIME_OFF() const { return m_strTimeOff; }
    const std::string& TIME_ON() const { return m_strTimeOn; }
    const std::string& TIME_IN() const { return m_strTimeIn; }

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

    // Each records its phase and raises its events; a phase whose time could
    // not be read stays open. OUT and IN return false when a read failed and
    // the Refresh must end.
    bool Record_OUT();
    bool Record_IN();
    void Record_OFF();
    void Record_ON();
    void Calc_Flight_Time();
    void Calc_Fuel_Used();

    clsFSUIPC m_objFSUIPC;
    clsACARSEvents* m_objEvents = nullptr;
    std::string m_strFSVersion;
    std::string m_strFSUIPCVersion;
    std::string m_strDescription;
    std::string m_strTimeOut;
    std::string m_strTimeOff;
    std::string m_strTimeOn;
    std::string m_strTimeIn;
    std::string m_strFuelOut;
    std::string m_strFuelIn;
};
