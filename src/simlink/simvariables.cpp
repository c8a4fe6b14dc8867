#include "simvariables.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

void checkRange(std::uint32_t offset, std::size_t sizeBytes)
{
    if (std::size_t{offset} + sizeBytes > SimVariables::kSize)
        throw std::out_of_range("simulator variable at offset " + std::to_string(offset) +
                                " runs past the table");
}

} // namespace

SimVariables::SimVariables() = default;

void SimVariables::setU8(std::uint32_t offset, std::uint8_t value)
{
    setLittleEndian(offset, value, 1);
}
void SimVariables::setU16(std::uint32_t offset, std::uint16_t value)
{
    setLittleEndian(offset, value, 2);
}
void SimVariables::setU32(std::uint32_t offset, std::uint32_t value)
{
    setLittleEndian(offset, value, 4);
}

void SimVariables::writeFromClient(std::uint32_t offset, const std::uint8_t* bytes, std::size_t sizeBytes)
{
    const std::size_t end = offset + sizeBytes;
    if (end <= kModuleOwnedFirst || offset >= kModuleOwnedEnd) {
        std::memcpy(m_bytes.data() + offset, bytes, sizeBytes);
        return;
    }
    // Copy around the module's bytes.
    const std::size_t ownedFirst = std::max<std::size_t>(offset, kModuleOwnedFirst);
    const std::size_t ownedEnd = std::min<std::size_t>(end, kModuleOwnedEnd);
    std::memcpy(m_bytes.data() + offset, bytes, ownedFirst - offset);
    std::memcpy(m_bytes.data() + ownedEnd, bytes + (ownedEnd - offset), end - ownedEnd);
}

std::uint8_t SimVariables::u8(std::uint32_t offset) const
{
    return static_cast<std::uint8_t>(littleEndian(offset, 1));
}

std::uint16_t SimVariables::u16(std::uint32_t offset) const
{
    return static_cast<std::uint16_t>(littleEndian(offset, 2));
}

std::uint32_t SimVariables::u32(std::uint32_t offset) const
{
    return littleEndian(offset, 4);
}

void SimVariables::setLittleEndian(std::uint32_t offset, std::uint32_t value, std::size_t sizeBytes)
{
    checkRange(offset, sizeBytes);
    for (std::size_t i = 0; i < sizeBytes; ++i)
        m_bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t SimVariables::littleEndian(std::uint32_t offset, std::size_t sizeBytes) const
{
    checkRange(offset, sizeBytes);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < sizeBytes; ++i)
        value |= std::uint32_t{m_bytes[offset + i]} << (8 * i);
    return value;
}
