// The module's block processor against arbitrary request blocks: it must
// never read or write outside the block or the variable table, and a refused
// block must change nothing.
#include "blockprocessor.h"
#include "simvariables.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static SimVariables vars;
    // The block is exactly as long as the input, so records running past it are caught by the sanitizer.
    std::vector<std::uint8_t> block(data, data + size);
    const std::vector<std::uint8_t> varsBefore(vars.data(), vars.data() + SimVariables::kSize);

    const std::uintptr_t reply = processRequestBlock(vars, block.data(), block.size());

    if (reply != 0 && reply != 1)
        std::abort();
    if (reply == 0 && (std::memcmp(block.data(), data, size) != 0 ||
                       std::memcmp(varsBefore.data(), vars.data(), SimVariables::kSize) != 0))
        std::abort();
    return 0;
}
