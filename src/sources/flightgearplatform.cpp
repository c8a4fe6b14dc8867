#include "flightgearplatform.h"

#include "clsfsuipc.h"

#include <array>
#include <utility>

FlightGearPlatform::FlightGearPlatform(const SourceChoice& choice, int openWaitMs)
    : SourcePlatform(openWaitMs), m_host(choice.host), m_port(choice.port), m_endpoint(choice.endpoint()),
      m_openWaitMs(openWaitMs)
{
}

FlightGearPlatform::~FlightGearPlatform() = default;

std::string FlightGearPlatform::simulatorDescription() const
{
    return "FlightGear" + (m_version.empty() ? std::string{} : " " + m_version) + " at " + m_endpoint;
}

std::string FlightGearPlatform::startAgain() const
{
    return "\r\nIf FlightGear has ended or hangs, start it again with --telnet=" + std::to_string(m_port) +
           ", then click On.";
}

std::string FlightGearPlatform::resultText(std::int32_t code) const
{
    switch (code) {
    case FSUIPC_ERR_NOFS:
        return "Unable to connect to FlightGear at " + m_endpoint + ".  Possible causes:\r\n"
               "1) FlightGear may not be running\r\n"
               "2) FlightGear was started without its property server: add the option --telnet=" +
               std::to_string(m_port) + " (in the launcher: Settings, Additional Settings).";
    case FSUIPC_ERR_TIMEOUT:
        return "FlightGear at " + m_endpoint + " stopped answering (nothing for 2 seconds)." + startAgain();
    case FSUIPC_ERR_SENDMSG:
        return "FlightGear at " + m_endpoint + " closed the connection" +
               (m_lostReason.empty() ? std::string{} : " (" + m_lostReason + ")") + "." + startAgain();
    default:
        return {};
    }
}

bool FlightGearPlatform::openFeed(std::string& strError)
{
    std::vector<net::Address> addresses;
    if (!net::resolveAll(m_host, m_port, addresses, strError) || !m_socket.startConnect(addresses, strError))
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_openWaitMs);
    int connected = 0;
    while (connected == 0 && !isCancelled() && Clock::now() < deadline)
        connected = m_socket.awaitConnected(kSliceMs, strError);
    m_reader.clear();
    m_values.clear();
    m_batchesSentAt.clear();
    m_owedSince.reset();
    m_lostReason.clear();
    if (connected != 1 || !m_socket.sendAll(props::dataModeCommand()) || !requestValues(Clock::now())) {
        m_socket.close();
        return false;
    }
    return true;
}

void FlightGearPlatform::closeFeed()
{
    m_socket.close();
}

bool FlightGearPlatform::requestValues(Clock::time_point since)
{
    if (!m_batchesSentAt.empty() && m_batchesSentAt.back() >= since)
        return true;
    if (!m_socket.sendAll(props::batchRequest())) {
        m_socket.close();
        return false;
    }
    m_batchesSentAt.push_back(Clock::now());
    if (!m_owedSince)
        m_owedSince = m_batchesSentAt.back();
    return true;
}

// Answers without a clock do not count: a FlightGear that sends only those is silent too.
SourcePlatform::Clock::duration FlightGearPlatform::silence() const
{
    return m_owedSince ? Clock::now() - *m_owedSince : Clock::duration::zero();
}

bool FlightGearPlatform::pumpFeed(int waitMs)
{
    if (!m_socket.isOpen())
        return false;
    std::array<unsigned char, 4096> buffer{};
    for (long count = m_socket.receive(buffer.data(), buffer.size(), waitMs); count != 0;
         count = m_socket.receive(buffer.data(), buffer.size(), 0)) {
        if (count < 0) {
            m_lostReason.clear();
            m_socket.close();
            return false;
        }
        if (!m_reader.feed(buffer.data(), static_cast<std::size_t>(count))) {
            m_lostReason = "it sent a line longer than " + std::to_string(props::LineReader::kMaxLineBytes) + " bytes";
            m_socket.close();
            return false;
        }
    }
    for (std::string line; m_reader.nextLine(line);) {
        m_values.push_back(std::move(line));
        if (m_values.size() < props::batchPaths().size())
            continue;
        // Lines nobody asked for are never taken for fresh values.
        Clock::time_point sentAt{};
        if (!m_batchesSentAt.empty()) {
            sentAt = m_batchesSentAt.front();
            m_batchesSentAt.pop_front();
        }
        SimulatorState state;
        if (props::stateFromValues(m_values, state)) {
            m_owedSince = m_batchesSentAt.empty() ? std::nullopt : std::optional(Clock::now());
            m_version = props::versionFromValues(m_values);
            publish(state, sentAt);
        }
        m_values.clear();
    }
    return true;
}
