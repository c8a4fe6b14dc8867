#include "blockprocessor.h"

#include "blockformat.h"
#include "simvariables.h"

#include <cstring>

namespace {

// Every range is checked in 64-bit arithmetic, so no field value can wrap.
bool fits(std::uint64_t start, std::uint64_t length, std::uint64_t limit)
{
    return start <= limit && length <= limit - start;
}

// One pass over the block. With apply == false it only checks; with apply ==
// true it also moves the data, checking again because the client shares the
// memory and could change it between the passes.
bool scanBlock(SimVariables& vars, std::uint8_t* block, std::size_t blockSize, bool apply)
{
    using namespace blockformat;
    std::size_t position = 0;
    while (fits(position, kEndMarkerBytes, blockSize)) {
        const std::uint32_t id = loadU32LE(block + position);
        if (id == kEndId)
            return true;
        const std::size_t headerBytes = id == kReadId ? kReadHeaderBytes : kWriteHeaderBytes;
        if ((id != kReadId && id != kWriteId) || !fits(position, headerBytes, blockSize))
            return false;
        const std::uint32_t offset = loadU32LE(block + position + 4);
        const std::uint32_t size = loadU32LE(block + position + 8);
        const std::size_t dataPosition = position + headerBytes;
        if (!fits(dataPosition, size, blockSize) || !fits(offset, size, SimVariables::kSize))
            return false;
        if (apply && size > 0) {
            if (id == kReadId)
                std::memcpy(block + dataPosition, vars.data() + offset, size);
            else
                vars.writeFromClient(offset, block + dataPosition, size);
        }
        position = dataPosition + size;
    }
    return false;
}

} // namespace

std::uintptr_t processRequestBlock(SimVariables& vars, std::uint8_t* block, std::size_t blockSize)
{
    if (block == nullptr || !scanBlock(vars, block, blockSize, false))
        return 0;
    return scanBlock(vars, block, blockSize, true) ? 1 : 0;
}
