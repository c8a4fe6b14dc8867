#pragma once

#include <array>
#include <cstdint>

// The simulator variables the program reads (and the one word it writes), by
// offset: one table for the client, the tracker, the stand-in and the probe.
// Multi-byte values are little-endian.
namespace SimOffset {
constexpr std::int32_t kZuluTime = 0x023B;         // UTC hour, minute, second: one byte each
constexpr std::int32_t kOnGround = 0x0366;         // 2 bytes: 0 airborne
constexpr std::int32_t kSlew = 0x05DC;             // 2 bytes: 0 off
constexpr std::int32_t kFuelWeight = 0x0AF4;       // 4 bytes: pounds per gallon x 256
constexpr std::int32_t kParkingBrake = 0x0BC8;     // 2 bytes: 0 released
constexpr std::int32_t kModuleVersion = 0x3304;    // 4 bytes: 0x19980005 shows as 1.998e
constexpr std::int32_t kSimulatorVersion = 0x3308; // 4 bytes: 0xFADE in the high half, the code below
constexpr std::int32_t kLibraryVersion = 0x330A;   // 2 bytes, written by the client at open
// Tank levels (fraction full x 128 x 65536) in the order the fuel is summed;
// each tank's capacity in gallons follows its level.
constexpr std::int32_t kTankCapacityAfterLevel = 4;
constexpr std::array<std::int32_t, 11> kTankLevels{0x0B74, 0x1244, 0x124C, 0x0B7C, 0x0B84, 0x0B8C,
                                                   0x0B94, 0x0B9C, 0x0BA4, 0x1254, 0x125C};
} // namespace SimOffset
