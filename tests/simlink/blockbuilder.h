#pragma once

#include "blockformat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Lays records into a 32768-byte block as a client does.
class BlockBuilder {
public:
    BlockBuilder& read(std::uint32_t offset, std::uint32_t size, std::uint32_t destination = 0xDEADBEEF)
    {
        field(blockformat::kReadId).field(offset).field(size).field(destination);
        m_position += size;
        return *this;
    }
    BlockBuilder& write(std::uint32_t offset, const std::vector<std::uint8_t>& data)
    {
        field(blockformat::kWriteId).field(offset).field(static_cast<std::uint32_t>(data.size()));
        for (const std::uint8_t byte : data)
            block.at(m_position++) = byte;
        return *this;
    }
    BlockBuilder& field(std::uint32_t value)
    {
        block.at(m_position + 3); // inside the block
        blockformat::storeU32LE(&block[m_position], value);
        m_position += 4;
        return *this;
    }
    // One read filling the space up to position, to put the next record at the block's end.
    BlockBuilder& padTo(std::size_t position)
    {
        return read(0, static_cast<std::uint32_t>(position - m_position - 16));
    }

    // The records laid so far, as a client sends them.
    std::vector<std::uint8_t> used() const { return {block.begin(), block.begin() + static_cast<std::ptrdiff_t>(m_position)}; }

    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(blockformat::kBlockBytes, 0);

private:
    std::size_t m_position = 0;
};
