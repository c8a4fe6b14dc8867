#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Which simulator the link is to reach, as the pilot writes it on the command
// line or in the options: "automatic", "fsuipc", "flightgear[:HOST[:PORT]]",
// "xplane[:HOST[:PORT]]" or "relay[:HOST[:PORT]]"; an IPv6 host is written in
// brackets ("xplane:[::1]:49000").
struct SourceChoice {
    enum class Kind { Automatic, Fsuipc, FlightGear, XPlane, Relay };

    static constexpr std::uint16_t kFlightGearPort = 5401;
    static constexpr std::uint16_t kXPlanePort = 49000;
    static constexpr std::uint16_t kRelayPort = 5230;
    static constexpr const char* kLoopbackHost = "127.0.0.1";

    Kind kind = Kind::Automatic;
    std::string host;        // empty for automatic and fsuipc
    std::uint16_t port = 0;  // 0 for automatic and fsuipc
    std::string keyFile;     // the relay's key file; empty: its default place

    static SourceChoice of(Kind kind); // with the kind's default host and port
    bool isNetwork() const { return kind != Kind::Automatic && kind != Kind::Fsuipc; }
    // The choice written back ("flightgear:127.0.0.1:5401", "xplane:[::1]:49000").
    std::string text() const;
    // "127.0.0.1:5401", "[::1]:49000".
    std::string endpoint() const;
    // The relay's key file: keyFile, else the key's default place on this computer.
    std::string relayKeyPath() const;
    bool operator==(const SourceChoice&) const = default;
};

// The keyword of a kind: "automatic", "fsuipc", "flightgear", "xplane", "relay".
const char* sourceKindName(SourceChoice::Kind kind);
// The simulator's name for the pilot: "FlightGear", "X-Plane", "the FSUIPC module", ...
const char* sourceKindTitle(SourceChoice::Kind kind);

// Nothing, with the reason in strError, for a text that is not a source.
std::optional<SourceChoice> parseSourceChoice(std::string_view text, std::string& strError);
