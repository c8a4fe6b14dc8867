#pragma once

#include "netsocket.h"
#include "rrefprotocol.h"
#include "sourceplatform.h"
#include "sourcechoice.h"

#include <cstdint>
#include <string>

// X-Plane as a source: subscribes to its datarefs over UDP (RREF) and keeps
// the latest values. Packets from any other host, and packets that are not
// well-formed replies, are ignored. After kSilentMs without a packet the
// subscription is sent again; at close it is cancelled (frequency 0).
class XPlanePlatform final : public SourcePlatform {
public:
    static constexpr std::int32_t kFrequencyPerSecond = 10;

    // choice: a source of this kind, with its host and port.
    XPlanePlatform(const SourceChoice& choice, int openWaitMs);
    ~XPlanePlatform() override;

    std::string simulatorDescription() const override;
    std::string resultText(std::int32_t code) const override;

    // The local UDP port X-Plane answers to (0 before the first open).
    std::uint16_t localPort() const { return m_socket.localPort(); }

protected:
    bool openFeed(std::string& strError) override;
    void closeFeed() override;
    bool pumpFeed(int waitMs) override;

private:
    bool subscribe(std::int32_t frequency);

    std::string m_host;
    std::uint16_t m_port;
    std::string m_endpoint; // "host:port" for messages
    net::Address m_simulator;
    net::Socket m_socket;
    rref::Values m_values;
    Clock::time_point m_subscribedAt{};
};
