#pragma once

#include <cstddef>
#include <cstdint>

class SimVariables;

// Layout of the request block shared by client and module: records of
// 32-bit little-endian fields, one after the other, ended by a zero id.
namespace RequestBlock {
constexpr std::size_t kBlockBytes = 0x8000;
constexpr std::uint32_t kEndId = 0;
constexpr std::uint32_t kReadId = 1;  // id, offset, size, destination, then size data bytes
constexpr std::uint32_t kWriteId = 2; // id, offset, size, then size data bytes
constexpr std::size_t kReadHeaderBytes = 16;
constexpr std::size_t kWriteHeaderBytes = 12;
} // namespace RequestBlock

// Serves one request block against the variables: fills the data of every
// read record, applies every write record (see SimVariables::writeFromClient
// for the module's own bytes) and leaves all headers as they are.
// The block is checked whole before anything is touched, so a malformed
// block (unknown id, a record or variable range that runs past its end, no
// end marker) changes neither the variables nor the block. Returns the reply
// value: 1 when processed, 0 when malformed.
std::uintptr_t processRequestBlock(SimVariables& vars, std::uint8_t* block, std::size_t blockSize);
