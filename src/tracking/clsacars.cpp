#include "clsacars.h"

#include "blockformat.h"
#include "simoffsets.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMinutesPerDay = 24 * 60;

std::string twoDigits(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// Whole number text of an integral double, without separators; empty for 0.
std::string wholeNumberText(double value)
{
    if (value == 0.0)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

// Minutes since midnight of an "hhmm" time; nothing unless it is a valid time of day.
std::optional<int> minutesOfDay(const std::string& strTime)
{
    if (strTime.size() != 4)
        return std::nullopt;
    for (char c : strTime)
        if (c < '0' || c > '9')
            return std::nullopt;
    const int hours = std::stoi(strTime.substr(0, 2));
    const int minutes = std::stoi(strTime.substr(2, 2));
    if (hours > 23 || minutes > 59)
        return std::nullopt;
    return hours * 60 + minutes;
}

} // namespace

clsACARS::clsACARS(IpcPlatform& platform)
    : m_objFSUIPC(platform)
{
}

void clsACARS::setEvents(clsACARSEvents* events)
{
    m_objEvents = events;
}

bool clsACARS::Start(std::string& strResult)
{
    std::int32_t dwResult = FSUIPC_OK;
    const bool opened = m_objFSUIPC.FSUIPC_Open(0, dwResult);
    strResult = m_objFSUIPC.Get_Result(dwResult);
    if (!opened)
        return false;
    m_strFSVersion = m_objFSUIPC.Version_FS();
    m_strFSUIPCVersion = m_objFSUIPC.Version_FSUIPC();
    m_strDescription = m_objFSUIPC.Description();
    return true;
}

bool clsACARS::Refresh()
{
    if (!Not_Slewing().value_or(false))
        return false;
    const std::optional<std::int32_t> brake = Read_Value(SimOffset::kParkingBrake, 2);
    if (!brake)
        return false;
    FlightPhases& f = m_flight;
    bool readsOk = true;
    if (f.strTimeOut.empty() && *brake == 0)
        readsOk = Record_Gate_Phase(f.strTimeOut, &clsACARSEvents::FlightOUT, false);
    else if (!f.strTimeOut.empty() && !f.strTimeOff.empty() && !f.strTimeOn.empty() && f.strTimeIn.empty()
             && *brake != 0)
        readsOk = Record_Gate_Phase(f.strTimeIn, &clsACARSEvents::FlightIN, true);
    else
        readsOk = Read_Missing_Fuel(*brake);
    if (!readsOk)
        return false;

    // Slew is asked again: it may have been switched on since.
    if (!Not_Slewing().value_or(false))
        return false;
    const std::optional<std::int32_t> onGround = Read_Value(SimOffset::kOnGround, 2);
    if (!onGround)
        return false;
    if (f.strTimeOff.empty() && *onGround == 0)
        Record_Phase_Time(f.strTimeOff, &clsACARSEvents::FlightOFF);
    else if (!f.strTimeOff.empty() && f.strTimeOn.empty() && *onGround != 0)
        Record_Phase_Time(f.strTimeOn, &clsACARSEvents::FlightON);
    return false;
}

void clsACARS::Reset()
{
    m_flight = FlightPhases{};
}

void clsACARS::Restore(const FlightPhases& phases)
{
    m_flight = phases;
}

void clsACARS::Stop_()
{
    m_objFSUIPC.FSUIPC_Close();
    Reset();
}

bool clsACARS::isLinkOpen() const
{
    return m_objFSUIPC.isOpen();
}

void clsACARS::raise(Handler handler, const std::string& text)
{
    if (m_objEvents)
        (m_objEvents->*handler)(text);
}

bool clsACARS::readBytes(std::int32_t dwOffset, std::int32_t dwSize, std::uint8_t* pDest)
{
    std::int32_t dwResult = FSUIPC_OK;
    if (!m_objFSUIPC.FSUIPC_Read(dwOffset, dwSize, pDest, dwResult)) {
        linkFailed(&clsACARSEvents::Error, dwResult);
        return false;
    }
    if (!m_objFSUIPC.FSUIPC_Process(dwResult)) {
        linkFailed(&clsACARSEvents::FSClosed, dwResult);
        return false;
    }
    return true;
}

void clsACARS::linkFailed(Handler handler, std::int32_t dwResult)
{
    // Closed before the event, so that a handler sees the link as it now is.
    m_objFSUIPC.FSUIPC_Close();
    raise(handler, m_objFSUIPC.Get_Result(dwResult));
}

std::optional<std::int32_t> clsACARS::Read_Value(std::int32_t dwOffset, std::int32_t dwSize)
{
    std::array<std::uint8_t, 4> bytes{};
    if (!readBytes(dwOffset, dwSize, bytes.data()))
        return std::nullopt;
    // Little-endian, as the simulator stores it; 2-byte values arrive as 0..65535.
    return static_cast<std::int32_t>(blockformat::loadU32LE(bytes.data()));
}

std::optional<bool> clsACARS::Not_Slewing()
{
    const std::optional<std::int32_t> slew = Read_Value(SimOffset::kSlew, 2);
    if (!slew)
        return std::nullopt;
    return *slew == 0;
}

std::optional<std::string> clsACARS::Get_Zulu_Time()
{
    std::array<std::uint8_t, 3> clock{};
    if (!readBytes(SimOffset::kZuluTime, 3, clock.data()))
        return std::nullopt;
    return twoDigits(clock[0]) + twoDigits(clock[1]);
}

std::optional<std::string> clsACARS::Get_Fuel()
{
    const std::optional<std::int32_t> weight = Read_Value(SimOffset::kFuelWeight, 4);
    if (!weight)
        return std::nullopt;
    const double lbsPerGallon = *weight / 256.0;
    double gallons = 0.0;
    for (const std::int32_t levelOffset : SimOffset::kTankLevels) {
        const std::optional<std::int32_t> level = Read_Value(levelOffset, 4);
        if (!level)
            return std::nullopt;
        const std::optional<std::int32_t> capacity = Read_Value(levelOffset + SimOffset::kTankCapacityAfterLevel, 4);
        if (!capacity)
            return std::nullopt;
        if (*level > 0 && *capacity > 0)
            gallons += static_cast<double>(*level) / 65536.0 / 128.0 * static_cast<double>(*capacity);
    }
    return wholeNumberText(std::round(lbsPerGallon * gallons));
}

bool clsACARS::Record_Phase_Time(std::string& strTime, Handler timeEvent)
{
    const std::optional<std::string> time = Get_Zulu_Time();
    if (!time)
        return false;
    strTime = *time;
    raise(timeEvent, strTime);
    return true;
}

bool clsACARS::Record_Gate_Phase(std::string& strTime, Handler timeEvent, bool blnArrival)
{
    if (!Record_Phase_Time(strTime, timeEvent))
        return false;
    if (blnArrival)
        Calc_Flight_Time();
    return Read_Gate_Fuel(blnArrival);
}

// A failed reading leaves the fuel unknown and raises nothing: a partial sum is never reported.
bool clsACARS::Read_Gate_Fuel(bool blnArrival)
{
    const std::optional<std::string> fuel = Get_Fuel();
    if (!fuel)
        return false;
    (blnArrival ? m_flight.fuelIn : m_flight.fuelOut) = *fuel;
    raise(blnArrival ? &clsACARSEvents::FuelIn : &clsACARSEvents::FuelOut, *fuel);
    if (blnArrival)
        Calc_Fuel_Used();
    return true;
}

bool clsACARS::Read_Missing_Fuel(std::int32_t brake)
{
    const FlightPhases& f = m_flight;
    if (!f.strTimeIn.empty() && !f.fuelIn && brake != 0)
        return Read_Gate_Fuel(true);
    if (!f.strTimeOut.empty() && !f.fuelOut && f.strTimeOff.empty())
        return Read_Gate_Fuel(false);
    return true;
}

void clsACARS::Calc_Flight_Time()
{
    std::string strFlightTime;
    std::string strFlightTimeHHMM;
    const std::optional<int> out = minutesOfDay(m_flight.strTimeOut);
    const std::optional<int> in = minutesOfDay(m_flight.strTimeIn);
    if (out && in) {
        const int minutes = (*in - *out + kMinutesPerDay) % kMinutesPerDay; // across midnight UTC
        const int hours = minutes / 60;
        const int rest = minutes % 60;
        const int tenths = (rest + 3) / 6; // nearest tenth, halves up
        strFlightTime = tenths == 10 ? std::to_string(hours + 1) + ".0"
                                     : std::to_string(hours) + "." + std::to_string(tenths);
        strFlightTimeHHMM = std::to_string(hours) + ":" + twoDigits(rest);
    }
    raise(&clsACARSEvents::FlightTime, strFlightTime);
    raise(&clsACARSEvents::FlightTimeHHMM, strFlightTimeHHMM);
}

void clsACARS::Calc_Fuel_Used()
{
    std::string strFuelUsed;
    const std::string strFuelOut = m_flight.fuelOut.value_or(std::string{});
    const std::string strFuelIn = m_flight.fuelIn.value_or(std::string{});
    if (!strFuelOut.empty() && !strFuelIn.empty()) {
        // In doubles, as the fuel texts were made: a module reporting absurd
        // tank values must not overflow a whole-number type.
        char text[64];
        std::snprintf(text, sizeof text, "%.0f",
                      std::strtod(strFuelOut.c_str(), nullptr) - std::strtod(strFuelIn.c_str(), nullptr));
        strFuelUsed = text;
    }
    raise(&clsACARSEvents::FuelUsed, strFuelUsed);
}
