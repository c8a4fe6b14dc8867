#pragma once

#include "netsocket.h"
#include "propsprotocol.h"
#include "sourceplatform.h"
#include "sourcechoice.h"

#include <cstdint>
#include <string>
#include <vector>

// FlightGear as a source: one TCP connection to its property server and
// always one pipelined batch of reads in flight. FlightGear answers a batch
// from its main loop, a few frames later; the next batch goes out as soon as
// an answer is taken, so a 500 ms poll finds the answer to the batch sent at
// the previous poll waiting, and waits for FlightGear only when it is slower
// than the poll.
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

private:
    bool sendBatch();

    std::string m_host;
    std::uint16_t m_port;
    std::string m_endpoint; // "host:port" for messages
    int m_openWaitMs;
    net::Socket m_socket;
    props::LineReader m_reader;
    std::vector<std::string> m_values;
    bool m_batchInFlight = false;
    std::string m_version;
    std::string m_lostReason;
};
