#include "xplaneplatform.h"

#include "clsfsuipc.h"

#include <array>
#include <utility>

XPlanePlatform::XPlanePlatform(const SourceChoice& choice, int openWaitMs)
    : SourcePlatform(openWaitMs), m_host(choice.host), m_port(choice.port), m_endpoint(choice.endpoint())
{
}

XPlanePlatform::~XPlanePlatform()
{
    closeFeed();
}

std::string XPlanePlatform::simulatorDescription() const
{
    return "X-Plane at " + m_endpoint;
}

std::string XPlanePlatform::resultText(std::int32_t code) const
{
    switch (code) {
    case FSUIPC_ERR_NOFS:
        return "Unable to connect to X-Plane at " + m_endpoint + ".  Possible causes:\r\n"
               "1) X-Plane may not be running, or is still loading\r\n"
               "2) X-Plane does not accept network data: in its Network settings, "
               "let it receive on UDP port " + std::to_string(m_port) + ".";
    case FSUIPC_ERR_TIMEOUT:
    case FSUIPC_ERR_SENDMSG:
        return "X-Plane at " + m_endpoint + " stopped sending (nothing for 2 seconds).\r\n"
               "If X-Plane has ended or hangs, start it again, then click On.";
    default:
        return {};
    }
}

bool XPlanePlatform::subscribe(std::int32_t frequency)
{
    bool sent = true;
    const auto& names = rref::datarefs();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto packet = rref::encodeRequest({frequency, static_cast<std::int32_t>(i), names[i]});
        sent = m_socket.sendTo(m_simulator, packet.data(), packet.size()) && sent;
    }
    m_subscribedAt = Clock::now();
    return sent;
}

bool XPlanePlatform::openFeed(std::string& strError)
{
    m_values.clear();
    if (!net::resolve(m_host, m_port, m_simulator, strError) || !m_socket.openDatagram(m_simulator, strError))
        return false;
    if (!subscribe(kFrequencyPerSecond)) {
        strError = "cannot send to " + m_endpoint;
        m_socket.close();
        return false;
    }
    return true;
}

void XPlanePlatform::closeFeed()
{
    if (!m_socket.isOpen())
        return;
    subscribe(0);
    m_socket.close();
}

// UDP has no connection to lose: a silent X-Plane is asked again, never "gone".
bool XPlanePlatform::pumpFeed(int waitMs)
{
    if (!m_socket.isOpen())
        return false;
    std::array<unsigned char, 2048> packet{};
    net::Address sender;
    for (long length = m_socket.receiveFrom(packet.data(), packet.size(), waitMs, sender); length != 0;
         length = m_socket.receiveFrom(packet.data(), packet.size(), 0, sender)) {
        if (length < 0)
            break;
        if (!sender.sameHost(m_simulator))
            continue;
        const auto pairs = rref::decodeReply(packet.data(), static_cast<std::size_t>(length));
        if (pairs && m_values.take(*pairs))
            publish(m_values.state());
    }
    const auto silentFor = std::chrono::milliseconds(kSilentMs);
    if (dataAge() >= silentFor && Clock::now() - m_subscribedAt >= silentFor)
        subscribe(kFrequencyPerSecond);
    return true;
}
