#include "xplaneserver.h"

#include "flightplayer.h"
#include "rrefprotocol.h"
#include "simoffsets.h"
#include "simvariables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr double kLbsPerKg = 2.20462262;
constexpr std::size_t kPairsPerPacket = 183; // what fits X-Plane's own replies

// The index of a byte-array element ("sim/aircraft/view/acf_ICAO[2]" -> 2), or -1.
int elementOf(const std::string& dataref, const std::string& array)
{
    if (dataref.rfind(array + "[", 0) != 0 || dataref.back() != ']')
        return -1;
    try {
        return std::stoi(dataref.substr(array.size() + 1));
    } catch (const std::exception&) {
        return -1;
    }
}

float characterAt(const char* text, int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < std::strlen(text) ? static_cast<float>(text[index]) : 0.0f;
}

} // namespace

XPlaneServer::XPlaneServer(SimVariables& vars, const FlightPlayer& player, std::uint16_t port)
    : m_vars(vars), m_player(player), m_port(port)
{
}

bool XPlaneServer::start(std::string& strError)
{
    net::Address local;
    if (!net::resolve("127.0.0.1", m_port, local, strError) || !m_socket.bindDatagram(local, strError)) {
        strError = "cannot serve X-Plane's interface on 127.0.0.1:" + std::to_string(m_port) + ": " + strError;
        return false;
    }
    m_port = m_socket.localPort();
    return true;
}

std::string XPlaneServer::endpoint() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

bool XPlaneServer::serveFor(std::chrono::milliseconds duration)
{
    const auto deadline = Clock::now() + duration;
    std::array<unsigned char, 2048> packet{};
    do {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        net::Address sender;
        const long length = m_socket.receiveFrom(packet.data(), packet.size(),
                                                 static_cast<int>(std::clamp<long long>(left.count(), 0, 10)), sender);
        if (length > 0 && !takeRequest(packet.data(), static_cast<std::size_t>(length), sender))
            return false;
        if (!m_hanging)
            sendDue();
    } while (Clock::now() < deadline);
    return true;
}

// False when the stand-in is to exit.
bool XPlaneServer::takeRequest(const unsigned char* bytes, std::size_t length, const net::Address& sender)
{
    const auto request = rref::decodeRequest(bytes, length);
    if (!request)
        return true; // not a subscription: X-Plane ignores it too
    switch (nextRequest()) {
    case Disposition::Exit:
        return false;
    case Disposition::Hang:
        m_hanging = true;
        return true;
    case Disposition::Answer:
        break;
    }
    const std::string key(reinterpret_cast<const char*>(sender.storage), static_cast<std::size_t>(sender.length));
    Subscriber& subscriber = m_subscribers[key];
    subscriber.address = sender;
    if (request->frequency <= 0) {
        subscriber.datarefs.erase(request->index);
        subscriber.frequencies.erase(request->index);
        if (subscriber.datarefs.empty())
            m_subscribers.erase(key);
        return true;
    }
    subscriber.datarefs[request->index] = request->name;
    subscriber.frequencies[request->index] = request->frequency;
    return true;
}

// Each subscriber gets all its datarefs at the highest frequency it asked for.
void XPlaneServer::sendDue()
{
    const auto now = Clock::now();
    for (auto& [key, subscriber] : m_subscribers) {
        if (now < subscriber.nextSend)
            continue;
        std::int32_t perSecond = 1;
        for (const auto& [index, frequency] : subscriber.frequencies)
            perSecond = std::max(perSecond, frequency);
        subscriber.nextSend = now + std::chrono::milliseconds(1000 / perSecond);
        std::vector<std::pair<std::int32_t, float>> pairs;
        for (const auto& [index, name] : subscriber.datarefs) {
            pairs.emplace_back(index, valueOf(name));
            if (pairs.size() == kPairsPerPacket) {
                const auto reply = rref::encodeReply(pairs);
                m_socket.sendTo(subscriber.address, reply.data(), reply.size());
                pairs.clear();
            }
        }
        if (!pairs.empty()) {
            const auto reply = rref::encodeReply(pairs);
            m_socket.sendTo(subscriber.address, reply.data(), reply.size());
        }
    }
}

float XPlaneServer::valueOf(const std::string& dataref) const
{
    // As X-Plane sends them: the clock with its fraction, the fuel in kilograms (not whole pounds).
    if (dataref == "sim/time/zulu_time_sec")
        return static_cast<float>(m_player.secondOfDay());
    if (dataref == "sim/flightmodel/failures/onground_any")
        return m_vars.u16(SimOffset::kOnGround) != 0 ? 1.0f : 0.0f;
    if (dataref == "sim/cockpit2/controls/parking_brake_ratio")
        return m_vars.u16(SimOffset::kParkingBrake) != 0 ? 1.0f : 0.0f;
    if (dataref == "sim/flightmodel/weight/m_fuel_total")
        return static_cast<float>(fuelOnBoardExactLbs(m_vars) / kLbsPerKg);
    if (dataref == "sim/time/is_in_replay")
        return m_vars.u16(SimOffset::kSlew) != 0 ? 1.0f : 0.0f;
    if (const int i = elementOf(dataref, "sim/aircraft/view/acf_ICAO"); i >= 0)
        return characterAt(kIcaoType, i);
    if (const int i = elementOf(dataref, "sim/aircraft/view/acf_tailnum"); i >= 0)
        return characterAt(kTailNumber, i);
    return 0.0f; // a dataref the stand-in does not fly
}

std::unique_ptr<ModuleServer> makeXPlaneServer(SimVariables& vars, const FlightPlayer& player, std::uint16_t port)
{
    return std::make_unique<XPlaneServer>(vars, player, port);
}
