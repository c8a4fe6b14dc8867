#include "flightplayer.h"

#include "simvariables.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

constexpr std::uint32_t kClockHourOffset = 0x023B; // hour, minute, second
constexpr std::uint32_t kOnGroundOffset = 0x0366;
constexpr std::uint32_t kSlewOffset = 0x05DC;
constexpr std::uint32_t kFuelWeightOffset = 0x0AF4;
constexpr std::uint32_t kParkingBrakeOffset = 0x0BC8;
constexpr std::uint32_t kModuleVersionOffset = 0x3304;
constexpr std::uint32_t kSimulatorVersionOffset = 0x3308;
constexpr std::uint16_t kBrakeSetValue = 32767;
constexpr double kFullLevel = 128.0 * 65536.0;
constexpr int kSecondsPerDay = 24 * 60 * 60;

// The tracker's order of the eleven tank level offsets; capacities at +4.
constexpr std::array<std::uint32_t, 11> kTrackerTankOrder{0x0B74, 0x1244, 0x124C, 0x0B7C, 0x0B84, 0x0B8C,
                                                          0x0B94, 0x0B9C, 0x0BA4, 0x1254, 0x125C};

double signedValue(const SimVariables& vars, std::uint32_t offset)
{
    return static_cast<double>(static_cast<std::int32_t>(vars.u32(offset)));
}

} // namespace

FlightPlayer::FlightPlayer(Scenario scenario, SimVariables& vars, Versions versions)
    : m_scenario(std::move(scenario)), m_vars(vars), m_fuelAtState(m_scenario.states.size(), 0)
{
    m_vars.setU32(kModuleVersionOffset, versions.module);
    m_vars.setU32(kSimulatorVersionOffset, versions.simulator);
    m_vars.setU32(kFuelWeightOffset,
                  static_cast<std::uint32_t>(std::lround(m_scenario.fuelWeightLbsPerGallon * 256)));
    for (const SimTank& tank : m_scenario.tanks)
        m_vars.setU32(tank.levelOffset + 4, tank.capacityGallons);
    setClock(0);
}

std::vector<std::size_t> FlightPlayer::advanceTo(double simSeconds)
{
    std::vector<std::size_t> applied;
    while (!finished() && m_scenario.states[m_nextState].minute * 60.0 <= simSeconds) {
        applyState(m_scenario.states[m_nextState]);
        m_fuelAtState[m_nextState] = fuelOnBoardLbs(m_vars);
        applied.push_back(m_nextState++);
    }
    setClock(simSeconds);
    return applied;
}

double FlightPlayer::nextStateSeconds() const
{
    return finished() ? -1.0 : m_scenario.states[m_nextState].minute * 60.0;
}

std::string FlightPlayer::stateLine(std::size_t index) const
{
    const FlightState& state = m_scenario.states.at(index);
    return "state " + clockText(state.minute) + " " + state.name + " brake=" + (state.brakeSet ? "1" : "0") +
           " ground=" + (state.onGround ? "1" : "0") + " slew=" + (state.slew ? "1" : "0") +
           " fuel=" + std::to_string(m_fuelAtState.at(index));
}

std::string FlightPlayer::endLine() const
{
    return "end " + clockText(m_scenario.states.back().minute);
}

std::string FlightPlayer::clockText(int minuteFromStart) const
{
    const int minuteOfDay = (m_scenario.startMinuteOfDay + minuteFromStart) % (24 * 60);
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02d", minuteOfDay / 60, minuteOfDay % 60);
    return text;
}

void FlightPlayer::applyState(const FlightState& state)
{
    m_vars.setU16(kParkingBrakeOffset, state.brakeSet ? kBrakeSetValue : 0);
    m_vars.setU16(kOnGroundOffset, state.onGround ? 1 : 0);
    m_vars.setU16(kSlewOffset, state.slew ? 1 : 0);
    for (std::size_t i = 0; i < m_scenario.tanks.size(); ++i) {
        const double level = state.levelsPercent.at(i) / 100.0 * kFullLevel;
        m_vars.setU32(m_scenario.tanks[i].levelOffset, static_cast<std::uint32_t>(std::lround(level)));
    }
}

void FlightPlayer::setClock(double simSeconds)
{
    const long long second =
        (static_cast<long long>(m_scenario.startMinuteOfDay) * 60 + static_cast<long long>(simSeconds)) %
        kSecondsPerDay;
    m_vars.setU8(kClockHourOffset, static_cast<std::uint8_t>(second / 3600));
    m_vars.setU8(kClockHourOffset + 1, static_cast<std::uint8_t>(second / 60 % 60));
    m_vars.setU8(kClockHourOffset + 2, static_cast<std::uint8_t>(second % 60));
}

std::int64_t fuelOnBoardLbs(const SimVariables& vars)
{
    const double lbsPerGallon = signedValue(vars, kFuelWeightOffset) / 256;
    double gallons = 0;
    for (const std::uint32_t levelOffset : kTrackerTankOrder) {
        const double level = signedValue(vars, levelOffset);
        const double capacity = signedValue(vars, levelOffset + 4);
        if (level > 0 && capacity > 0)
            gallons += level / 65536 / 128 * capacity;
    }
    return static_cast<std::int64_t>(std::round(lbsPerGallon * gallons));
}
