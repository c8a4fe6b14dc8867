#pragma once

#include "relaysocket.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::uint16_t kDefaultRelayPort = 5230;

// Where a relay listens or a client connects: a host name or address and a port.
struct RelayEndpoint {
    std::string host = "127.0.0.1";
    std::uint16_t port = kDefaultRelayPort;
};

// "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT" (the port defaults to the
// relay's); false with the reason on a malformed text.
bool parseEndpoint(const std::string& text, RelayEndpoint& endpoint, std::string& error);

// One --allow entry: an address and how many leading bits of it must match
// (IPv4 is kept as an IPv4-mapped IPv6 address, so one rule fits both families).
class AllowRule {
public:
    // "192.168.1.0/24", "10.0.0.7", "fd00::/8"; false with the reason otherwise.
    static bool parse(const std::string& text, AllowRule& rule, std::string& error);
    bool matches(const relaysocket::Address& peer) const;

private:
    std::array<std::uint8_t, 16> m_address{};
    unsigned m_bits = 128;
};

// The peer's address as 16 bytes (IPv4 mapped); false for another family.
bool ipv6Bytes(const relaysocket::Address& peer, std::array<std::uint8_t, 16>& bytes);
bool isLoopback(const relaysocket::Address& peer);
// Rules for this machine's own addresses (127.0.0.0/8 and ::1), which a relay always lets in.
std::vector<AllowRule> loopbackRules();

// Resolves an endpoint for connect() or bind(); false with the reason.
bool resolveEndpoint(const RelayEndpoint& endpoint, bool forListening, relaysocket::Address& address,
                     std::string& error);
