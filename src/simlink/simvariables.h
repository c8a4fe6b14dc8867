#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The module's table of simulator variables: 64 KiB addressed by offset,
// multi-byte values little-endian. Accessors throw std::out_of_range for a
// value that does not fit inside the table.
class SimVariables {
public:
    static constexpr std::size_t kSize = 0x10000;

    SimVariables(); // all zero

    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* data() const { return m_bytes.data(); }

    void setU8(std::uint32_t offset, std::uint8_t value);
    void setU16(std::uint32_t offset, std::uint16_t value);
    void setU32(std::uint32_t offset, std::uint32_t value);

    std::uint8_t u8(std::uint32_t offset) const;
    std::uint16_t u16(std::uint32_t offset) const;
    std::uint32_t u32(std::uint32_t offset) const;

private:
    void setLittleEndian(std::uint32_t offset, std::uint32_t value, std::size_t sizeBytes);
    std::uint32_t littleEndian(std::uint32_t offset, std::size_t sizeBytes) const;

    std::array<std::uint8_t, kSize> m_bytes{};
};
