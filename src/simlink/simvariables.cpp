#include "simvariables.h"

#include "blockformat.h"

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
    checkRange(offset, 1);
    m_bytes[offset] = value;
}
void SimVariables::setU16(std::uint32_t offset, std::uint16_t value)
{
    checkRange(offset, 2);
    blockformat::storeU16LE(m_bytes.data() + offset, value);
}
void SimVariables::setU32(std::uint32_t offset, std::uint32_t value)
{
    checkRange(offset, 4);
    blockformat::storeU32LE(m_bytes.data() + offset, value);
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
    checkRange(offset, 1);
    return m_bytes[offset];
}

std::uint16_t SimVariables::u16(std::uint32_t offset) const
{
    checkRange(offset, 2);
    return blockformat::loadU16LE(m_bytes.data() + offset);
}

std::uint32_t SimVariables::u32(std::uint32_t offset) const
{
    checkRange(offset, 4);
    return blockformat::loadU32LE(m_bytes.data() + offset);
}
