#include "simulatorstate.h"

#include "simoffsets.h"
#include "simvariables.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t kModuleVersion = 0x19980005; // the lowest version the client accepts
constexpr std::uint32_t kSimulatorVersionWord = 0xFADE0000; // check pattern, code 0 ("Any")
constexpr std::uint32_t kFuelWeightWord = 1715;    // 6.7 lb per gallon x 256, rounded
constexpr double kFullLevel = 128.0 * 65536.0;
constexpr std::uint16_t kBrakeSet = 32767;
constexpr double kMaxGallons = 2147483646.0; // a capacity must fit the table's signed 32 bits

// An absurd content is held at the most a tank of the table can hold.
void writeTank(SimVariables& vars, std::int32_t levelOffset, double lbs)
{
    const double gallons = std::min(lbs / (kFuelWeightWord / 256.0), kMaxGallons);
    const double capacity = gallons > 0 ? std::ceil(gallons) : 0;
    const double level = capacity > 0 ? std::round(gallons / capacity * kFullLevel) : 0;
    vars.setU32(static_cast<std::uint32_t>(levelOffset), static_cast<std::uint32_t>(level));
    vars.setU32(static_cast<std::uint32_t>(levelOffset + SimOffset::kTankCapacityAfterLevel),
                static_cast<std::uint32_t>(capacity));
}

} // namespace

void writeSimulatorState(const SimulatorState& state, SimVariables& vars)
{
    vars.setU32(SimOffset::kModuleVersion, kModuleVersion);
    vars.setU32(SimOffset::kSimulatorVersion, kSimulatorVersionWord);
    vars.setU8(SimOffset::kZuluTime, static_cast<std::uint8_t>(state.utcHour));
    vars.setU8(SimOffset::kZuluTime + 1, static_cast<std::uint8_t>(state.utcMinute));
    vars.setU8(SimOffset::kZuluTime + 2, static_cast<std::uint8_t>(state.utcSecond));
    vars.setU16(SimOffset::kOnGround, state.onGround ? 1 : 0);
    vars.setU16(SimOffset::kSlew, state.replay ? 1 : 0);
    vars.setU16(SimOffset::kParkingBrake, state.parkingBrakeSet ? kBrakeSet : 0);
    vars.setU32(SimOffset::kFuelWeight, kFuelWeightWord);

    const std::size_t slots = SimOffset::kTankLevels.size();
    std::vector<double> slotLbs(slots, 0.0);
    for (std::size_t i = 0; i < state.tankLbs.size(); ++i)
        if (std::isfinite(state.tankLbs[i])) // a value that is not a number counts as empty
            slotLbs[std::min(i, slots - 1)] += std::max(state.tankLbs[i], 0.0);
    for (std::size_t i = 0; i < slots; ++i)
        writeTank(vars, SimOffset::kTankLevels[i], slotLbs[i]);
}
