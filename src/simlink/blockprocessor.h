#pragma once

#include <cstddef>
#include <cstdint>

class SimVariables;

// Serves one request block (its layout in blockformat.h) against the variables: fills the data of every
// read record, applies every write record (see SimVariables::writeFromClient
// for the module's own bytes) and leaves all headers as they are.
// The block is checked whole before anything is touched, so a malformed
// block (unknown id, a record or variable range that runs past its end, no
// end marker) changes neither the variables nor the block. Returns the reply
// value: 1 when processed, 0 when malformed.
std::uintptr_t processRequestBlock(SimVariables& vars, std::uint8_t* block, std::size_t blockSize);
