#pragma once

#include "moduleserver.h"
#include "netsocket.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class FlightPlayer;
class SimVariables;

// X-Plane's UDP dataref interface, as X-Plane documents it, answered from the
// stand-in's variables: it takes RREF subscriptions on a loopback port and
// sends each subscriber its datarefs at the frequency it asked for (frequency
// 0 cancels). Every subscription counts as a request for --hang-after and
// --exit-after; a hanging stand-in stops sending.
class XPlaneServer final : public ModuleServer {
public:
    // The aircraft the stand-in says it flies.
    static constexpr const char* kIcaoType = "B738";
    static constexpr const char* kTailNumber = "N738QL";

    // The clock is the player's, with its fraction of a second.
    XPlaneServer(SimVariables& vars, const FlightPlayer& player, std::uint16_t port);

    bool start(std::string& strError) override;
    bool serveFor(std::chrono::milliseconds duration) override;
    std::string endpoint() const override; // "127.0.0.1:PORT"

private:
    using Clock = std::chrono::steady_clock;
    struct Subscriber {
        net::Address address;
        std::map<std::int32_t, std::string> datarefs; // index -> name
        std::map<std::int32_t, std::int32_t> frequencies; // index -> per second
        Clock::time_point nextSend{};
    };

    bool takeRequest(const unsigned char* bytes, std::size_t length, const net::Address& sender);
    void sendDue();
    float valueOf(const std::string& dataref) const;

    SimVariables& m_vars;
    const FlightPlayer& m_player;
    std::uint16_t m_port;
    net::Socket m_socket;
    std::map<std::string, Subscriber> m_subscribers; // by sender address bytes
    bool m_hanging = false;
};

std::unique_ptr<ModuleServer> makeXPlaneServer(SimVariables& vars, const FlightPlayer& player, std::uint16_t port);
