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
    static constexpr std::uint32_t kModuleOwnedFirst = 0x3304;
    static constexpr std::uint32_t kModuleOwnedEnd = 0x330C; // one past the last module-owned byte

    SimVariables(); // all zero

    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* data() const { return m_bytes.data(); }

    void setU8(std::uint32_t offset, std::uint8_t value);
    void setU16(std::uint32_t offset, std::uint16_t value);
    void setU32(std::uint32_t offset, std::uint32_t value);

    // Applies a client's write record. The version words at 0x3304..0x330B
    // belong to the module: as the real module keeps the library version that
    // clients write at 0x330A apart, writes there leave them unchanged (else
    // the next client would no longer find the 0xFADE pattern at 0x3308).
    // The caller has checked that the range lies inside the table.
    void writeFromClient(std::uint32_t offset, const std::uint8_t* bytes, std::size_t sizeBytes);

    std::uint8_t u8(std::uint32_t offset) const;
    std::uint16_t u16(std::uint32_t offset) const;
    std::uint32_t u32(std::uint32_t offset) const;

private:
    std::array<std::uint8_t, kSize> m_bytes{};
};
