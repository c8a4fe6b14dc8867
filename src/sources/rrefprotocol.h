#pragma once

#include "simulatorstate.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// X-Plane's UDP dataref subscription as X-Plane documents it ("Exchanging
// Data with X-Plane"; docs/xplane.md). Request, 413 bytes: "RREF", a zero
// byte, int32 frequency (per second; 0 cancels), int32 index of the client's
// choosing, the dataref's name zero-padded to 400 bytes. Reply: "RREF", one
// byte of any value, then (int32 index, float32 value) pairs. All
// little-endian.
namespace rref {

constexpr std::size_t kRequestBytes = 413;
constexpr std::size_t kNameBytes = 400;
constexpr std::size_t kReplyHeaderBytes = 5;
constexpr std::size_t kPairBytes = 8;

struct Request {
    std::int32_t frequency = 0;
    std::int32_t index = 0;
    std::string name;
};

std::array<unsigned char, kRequestBytes> encodeRequest(const Request& request);
// Nothing unless the packet is exactly one well-formed request.
std::optional<Request> decodeRequest(const unsigned char* bytes, std::size_t length);

// Pairs of a reply; nothing when the packet is not a reply (too short, wrong
// header, a trailing partial pair).
std::optional<std::vector<std::pair<std::int32_t, float>>> decodeReply(const unsigned char* bytes, std::size_t length);
// A reply packet holding the pairs.
std::vector<unsigned char> encodeReply(const std::vector<std::pair<std::int32_t, float>>& pairs);

// The datarefs Quillon asks for, index = position.
const std::vector<std::string>& datarefs();

// The latest value of each dataref, as replies bring them.
class Values {
public:
    Values();
    // Takes a reply's pairs; unknown indices are ignored. True when the
    // values Quillon needs have all arrived at least once.
    bool take(const std::vector<std::pair<std::int32_t, float>>& pairs);
    bool complete() const;
    void clear();
    // The flight from the values (call when complete).
    SimulatorState state() const;

private:
    std::string text(std::size_t first, std::size_t count) const;
    std::vector<std::optional<float>> m_values;
};

} // namespace rref
