#include "relayaddress.h"

#include <cstring>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netdb.h>
#endif

namespace {

constexpr std::array<std::uint8_t, 12> kMappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

bool parsePort(const std::string& text, std::uint16_t& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(text);
    if (value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// An IPv4 or IPv6 literal as 16 bytes, IPv4 mapped; false for anything else.
bool parseAddressLiteral(const std::string& text, std::array<std::uint8_t, 16>& bytes, bool& wasIpv4)
{
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        std::memcpy(bytes.data(), kMappedPrefix.data(), kMappedPrefix.size());
        std::memcpy(bytes.data() + 12, &v4, 4);
        wasIpv4 = true;
        return true;
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        std::memcpy(bytes.data(), &v6, 16);
        wasIpv4 = false;
        return true;
    }
    return false;
}

} // namespace

bool parseEndpoint(const std::string& text, RelayEndpoint& endpoint, std::string& error)
{
    std::string host = text, port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
            error = "bad address " + text + " (an IPv6 address goes in brackets: [::1]:5230)";
            return false;
        }
        host = text.substr(1, close - 1);
        port = close + 1 < text.size() ? text.substr(close + 2) : "";
        if (close + 1 < text.size() && port.empty()) {
            error = "bad port in " + text;
            return false;
        }
    } else if (const auto colon = text.find(':'); colon != std::string::npos) {
        if (text.find(':', colon + 1) != std::string::npos) {
            error = "bad address " + text + " (an IPv6 address goes in brackets: [::1]:5230)";
            return false;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) {
            error = "bad port in " + text;
            return false;
        }
    }
    if (host.empty()) {
        error = "no host in " + text;
        return false;
    }
    endpoint.host = host;
    endpoint.port = kDefaultRelayPort;
    if (!port.empty() && !parsePort(port, endpoint.port)) {
        error = "bad port in " + text + " (0 to 65535; 0 lets the system choose)";
        return false;
    }
    return true;
}

bool AllowRule::parse(const std::string& text, AllowRule& rule, std::string& error)
{
    const auto slash = text.find('/');
    const std::string address = text.substr(0, slash);
    bool wasIpv4 = false;
    if (!parseAddressLiteral(address, rule.m_address, wasIpv4)) {
        error = "bad --allow address " + text + " (an IPv4 or IPv6 address, optionally /BITS)";
        return false;
    }
    const unsigned familyBits = wasIpv4 ? 32 : 128;
    unsigned bits = familyBits;
    if (slash != std::string::npos) {
        const std::string count = text.substr(slash + 1);
        if (count.empty() || count.size() > 3 || count.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(count) > familyBits) {
            error = "bad prefix length in --allow " + text + " (0 to " + std::to_string(familyBits) + ")";
            return false;
        }
        bits = static_cast<unsigned>(std::stoul(count));
    }
    rule.m_bits = bits + (128 - familyBits);
    return true;
}

bool AllowRule::matches(const relaysocket::Address& peer) const
{
    std::array<std::uint8_t, 16> bytes{};
    if (!ipv6Bytes(peer, bytes))
        return false;
    for (unsigned bit = 0; bit < m_bits; ++bit) {
        const unsigned mask = 0x80u >> (bit % 8);
        if ((bytes[bit / 8] & mask) != (m_address[bit / 8] & mask))
            return false;
    }
    return true;
}

bool ipv6Bytes(const relaysocket::Address& peer, std::array<std::uint8_t, 16>& bytes)
{
    if (peer.storage.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(peer.storage);
        std::memcpy(bytes.data(), kMappedPrefix.data(), kMappedPrefix.size());
        std::memcpy(bytes.data() + 12, &in.sin_addr, 4);
        return true;
    }
    if (peer.storage.ss_family == AF_INET6) {
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in6&>(peer.storage).sin6_addr, 16);
        return true;
    }
    return false;
}

bool isLoopback(const relaysocket::Address& peer)
{
    std::array<std::uint8_t, 16> bytes{};
    if (!ipv6Bytes(peer, bytes))
        return false;
    static const std::array<std::uint8_t, 16> kIpv6Loopback{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const bool ipv4Loopback = std::memcmp(bytes.data(), kMappedPrefix.data(), 12) == 0 && bytes[12] == 127;
    return ipv4Loopback || bytes == kIpv6Loopback;
}

std::vector<AllowRule> loopbackRules()
{
    std::vector<AllowRule> rules(2);
    std::string ignored;
    AllowRule::parse("127.0.0.0/8", rules[0], ignored);
    AllowRule::parse("::1", rules[1], ignored);
    return rules;
}

bool resolveEndpoint(const RelayEndpoint& endpoint, bool forListening, relaysocket::Address& address,
                     std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = forListening ? AI_PASSIVE : 0;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(endpoint.port);
    const int status = ::getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &found);
    if (status != 0 || found == nullptr) {
        error = "cannot resolve " + endpoint.host;
        return false;
    }
    std::memcpy(&address.storage, found->ai_addr, found->ai_addrlen);
    address.length = static_cast<socklen_t>(found->ai_addrlen);
    ::freeaddrinfo(found);
    return true;
}
