#include "flightplayer.h"

#include "simoffsets.h"
#include "simvariables.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

constexpr std::uint16_t kBrakeSetValue = 32767;
constexpr double kFullLevel = 128.0 * 65536.0;
constexpr int kSecondsPerDay = 24 * 60 * 60;

double signedValue(const SimVariables& vars, std::uint32_t offset)
{
    return static_cast<double>(static_cast<std::int32_t>(vars.u32(offset)));
}

} // namespace

FlightPlayer::FlightPlayer(Scenario scenario, SimVariables& vars, Versions versions)
    : m_scenario(std::move(scenario)), m_vars(vars), m_fuelAtState(m_scenario.states.size(), 0)
{
    m_vars.setU32(SimOffset::kModuleVersion, versions.module);
    m_vars.setU32(SimOffset::kSimulatorVersion, versions.simulator);
    m_vars.setU32(SimOffset::kFuelWeight,
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
    m_vars.setU16(SimOffset::kParkingBrake, state.brakeSet ? kBrakeSetValue : 0);
    m_vars.setU16(SimOffset::kOnGround, state.onGround ? 1 : 0);
    m_vars.setU16(SimOffset::kSlew, state.slew ? 1 : 0);
    for (std::size_t i = 0; i < m_scenario.tanks.size(); ++i) {
        const double level = state.levelsPercent.at(i) / 100.0 * kFullLevel;
        m_vars.setU32(m_scenario.tanks[i].levelOffset, static_cast<std::uint32_t>(std::lround(level)));
    }
}

void FlightPlayer::setClock(double simSeconds)
{
    m_secondOfDay = std::fmod(m_scenario.startMinuteOfDay * 60.0 + simSeconds, kSecondsPerDay);
    const auto second = static_cast<long long>(m_secondOfDay);
    m_vars.setU8(SimOffset::kZuluTime, static_cast<std::uint8_t>(second / 3600));
    m_vars.setU8(SimOffset::kZuluTime + 1, static_cast<std::uint8_t>(second / 60 % 60));
    m_vars.setU8(SimOffset::kZuluTime + 2, static_cast<std::uint8_t>(second % 60));
}

double fuelOnBoardExactLbs(const SimVariables& vars)
{
    const double lbsPerGallon = signedValue(vars, SimOffset::kFuelWeight) / 256;
    double gallons = 0;
    for (const std::int32_t levelOffset : SimOffset::kTankLevels) {
        const double level = signedValue(vars, levelOffset);
        const double capacity = signedValue(vars, levelOffset + SimOffset::kTankCapacityAfterLevel);
        if (level > 0 && capacity > 0)
            gallons += level / 65536 / 128 * capacity;
    }
    return lbsPerGallon * gallons;
}

std::int64_t fuelOnBoardLbs(const SimVariables& vars)
{
    return static_cast<std::int64_t>(std::round(fuelOnBoardExactLbs(vars)));
}
