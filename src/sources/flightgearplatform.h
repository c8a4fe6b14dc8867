#pragma once

#include "netsocket.h"
#include "propsprotocol.h"
#include "sourcechoice.h"
#include "sourceplatform.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// FlightGear as a source: one TCP connection to its property server. The
// first exchange of each poll sends one pipelined batch of reads and waits for
// its answer, which FlightGear gives from its main loop a frame or a few later;
// the poll's other exchanges are answered from the same values. Batches are
// answered in order, so each answer goes with the oldest batch in flight.
class FlightGearPlatform final : public SourcePlatform {
public:
    // choice: a source of this kind, with its host and port.
    FlightGearPlatform(const SourceChoice& choice, int openWaitMs);
    ~FlightGearPlatform() override;

    std::string simulatorDescription() const override;
    std::string resultText(std::int32_t code) const override;

protected:
    bool openFeed(std::string& strError) override;
    void closeFeed() override;
    bool pumpFeed(int waitMs) override;
    bool requestValues(Clock::time_point since) override;
    Clock::duration silence() const override;

private:
    std::string startAgain() const; // what a pilot who lost FlightGear does

    std::string m_host;
    std::uint16_t m_port;
    std::string m_endpoint; // "host:port" for messages
    int m_openWaitMs;
    net::Socket m_socket;
    props::LineReader m_reader;
    std::vector<std::string> m_values;
    std::deque<Clock::time_point> m_batchesSentAt; // the batches in flight, oldest first
    std::optional<Clock::time_point> m_owedSince; // since when a usable answer is owed; none while none is
    std::string m_version;
    std::string m_lostReason;
};
