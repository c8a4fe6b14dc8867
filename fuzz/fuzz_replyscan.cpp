// The client's reply scan against any block a module could hand back.
// Input: one byte with the number of reads (low 3 bits), one size byte per
// read, then bytes that overwrite the block as the client laid it out.
// Every destination is its own heap buffer of exactly the queued size, so
// AddressSanitizer sees any copy beyond it; the block is exactly one view long.
#include "blockformat.h"
#include "clsfsuipc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace blockformat;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t readCount = data[0] & 7;
    if (size < 1 + readCount)
        return 0;

    std::vector<std::uint8_t> block(kBlockBytes);
    std::vector<std::vector<std::uint8_t>> destinations(readCount);
    std::vector<fsuipc::QueuedRead> reads;
    std::size_t position = 0;
    for (std::size_t i = 0; i < readCount; ++i) {
        const std::size_t sizeBytes = data[1 + i];
        destinations[i].resize(sizeBytes);
        reads.push_back({position, sizeBytes, destinations[i].data()});
        storeU32LE(&block[position], kReadId);
        storeU32LE(&block[position + 8], static_cast<std::uint32_t>(sizeBytes));
        position += kReadHeaderBytes + sizeBytes;
    }

    const std::uint8_t* reply = data + 1 + readCount;
    const std::size_t replyBytes = std::min(size - 1 - readCount, block.size());
    std::memcpy(block.data(), reply, replyBytes);

    if (fsuipc::scanReplyBlock(block.data(), block.size(), reads)) {
        // A clean scan delivers each read's own bytes from its own place.
        for (std::size_t i = 0; i < readCount; ++i) {
            const std::uint8_t* source = &block[reads[i].position + kReadHeaderBytes];
            if (reads[i].sizeBytes != 0 &&
                std::memcmp(destinations[i].data(), source, reads[i].sizeBytes) != 0)
                std::abort();
        }
    }
    return 0;
}
