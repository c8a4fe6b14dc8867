#pragma once

#include <cstddef>
#include <cstdint>

// The request block shared by client and module, and the 16- and 32-bit
// little-endian fields that every wire format of the link is made of. One place for both, so
// that the client, the module, the transports and the relay agree by construction.
namespace blockformat {

inline constexpr std::size_t kBlockBytes = 0x8000;      // the shared view
inline constexpr std::size_t kBlockLimitBytes = 0x7F00; // space usable by records and the end marker
inline constexpr std::size_t kReadHeaderBytes = 16;     // id, offset, size, destination; then size data bytes
inline constexpr std::size_t kWriteHeaderBytes = 12;    // id, offset, size; then size data bytes
inline constexpr std::size_t kEndMarkerBytes = 4;
inline constexpr std::uint32_t kEndId = 0;
inline constexpr std::uint32_t kReadId = 1;
inline constexpr std::uint32_t kWriteId = 2;

inline std::uint16_t loadU16LE(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

inline void storeU16LE(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline std::uint32_t loadU32LE(const std::uint8_t* at)
{
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

inline void storeU32LE(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace blockformat
