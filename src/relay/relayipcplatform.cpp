#include "relayipcplatform.h"

#include "blockformat.h"
#include "clsfsuipc.h"
#include "relaykey.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using relayframe::Kind;

constexpr auto kSlice = std::chrono::milliseconds(50);
constexpr std::uint32_t kErrorInvalidWindowHandle = 1400; // what Windows reports for a window that is gone
constexpr std::uint32_t kRelayMessage = 0xC000;          // any non-zero id: the relay registers its own
constexpr std::uint16_t kFirstAtom = 0xC000;             // the range of string atoms on Windows

int sliceUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, kSlice.count()));
}

std::string endpointText(const RelayEndpoint& endpoint)
{
    const bool ipv6 = endpoint.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" + std::to_string(endpoint.port);
}

} // namespace

RelayIpcPlatform::RelayIpcPlatform(RelayEndpoint endpoint, std::string keyPath, int connectTimeoutMs)
    : m_endpoint(std::move(endpoint)), m_keyPath(std::move(keyPath)), m_connectTimeout(connectTimeoutMs)
{
    relaysocket::startup();
}

RelayIpcPlatform::~RelayIpcPlatform() = default;

IpcPlatform::WindowHandle RelayIpcPlatform::findWindow(const std::string& className)
{
    m_connectProblem.clear();
    const auto deadline = Clock::now() + m_connectTimeout;
    std::unique_ptr<Connection> connection = connect(deadline);
    if (!connection || !greet(*connection, deadline))
        return 0;
    std::uint32_t error = 0;
    relayframe::Frame frame;
    relayframe::WindowReply reply;
    std::string reason;
    const std::uint32_t sequence = ++connection->sequence;
    if (sendFrame(*connection, relayframe::encodeFindWindow({sequence, className}), deadline, error) != Wait::Done ||
        awaitFrame(*connection, Kind::WindowFound, sequence, deadline, frame, error) != Wait::Done ||
        !relayframe::decodeWindowFound(frame, reply, reason)) {
        m_connectProblem = "the relay at " + endpointText(m_endpoint) + " did not answer";
        return 0;
    }
    if (!reply.found)
        return 0;
    const WindowHandle window = ++m_lastWindow;
    m_connections[window] = std::move(connection);
    return window;
}

void RelayIpcPlatform::releaseWindow(WindowHandle window)
{
    m_connections.erase(window);
}

std::uint32_t RelayIpcPlatform::registerMessage(const std::string& name)
{
    return name.empty() ? 0 : kRelayMessage;
}

std::uint32_t RelayIpcPlatform::currentProcessId()
{
    return relaysocket::currentProcessId();
}

std::uint16_t RelayIpcPlatform::addAtom(const std::string& name)
{
    for (auto& [atom, entry] : m_atoms) {
        if (entry.first == name) {
            ++entry.second;
            return atom;
        }
    }
    for (std::uint32_t candidate = kFirstAtom; candidate <= 0xFFFF && !name.empty(); ++candidate) {
        const auto atom = static_cast<std::uint16_t>(candidate);
        if (m_atoms.emplace(atom, std::make_pair(name, 1u)).second)
            return atom;
    }
    return 0;
}

void RelayIpcPlatform::deleteAtom(std::uint16_t atom)
{
    const auto found = m_atoms.find(atom);
    if (found != m_atoms.end() && --found->second.second == 0)
        m_atoms.erase(found);
}

IpcPlatform::Mapping RelayIpcPlatform::createMapping(const std::string& name, std::uint32_t sizeBytes)
{
    for (const auto& [handle, mapping] : m_mappings) {
        if (mapping.first == name)
            return Mapping{0, true};
    }
    if (sizeBytes == 0)
        return {};
    const MappingHandle handle = ++m_lastMapping;
    m_mappings[handle] = {name, std::vector<std::uint8_t>(sizeBytes)};
    return Mapping{handle, false};
}

std::uint8_t* RelayIpcPlatform::mapView(MappingHandle mapping)
{
    const auto found = m_mappings.find(mapping);
    return found == m_mappings.end() ? nullptr : found->second.second.data();
}

void RelayIpcPlatform::unmapView(std::uint8_t*)
{
    // The view is the mapping's own memory; it goes with closeMapping.
}

void RelayIpcPlatform::closeMapping(MappingHandle mapping)
{
    m_mappings.erase(mapping);
}

IpcPlatform::SendResult RelayIpcPlatform::sendMessageTimeout(WindowHandle window, std::uint32_t,
                                                             std::uintptr_t wParam, std::uintptr_t,
                                                             std::uint32_t timeoutMs)
{
    const auto found = m_connections.find(window);
    if (found == m_connections.end() || !found->second)
        return SendResult{false, kErrorInvalidWindowHandle, 0};
    Connection& connection = *found->second;
    std::uint8_t* block = blockOfAtom(static_cast<std::uint16_t>(wParam));
    std::string reason;
    const std::size_t blockBytes =
        block == nullptr ? 0 : relayframe::requestBlockBytes({block, blockformat::kBlockBytes}, reason);
    if (blockBytes == 0) // what a module answers to a block it cannot find or read
        return SendResult{true, 0, 0};

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::uint32_t sequence = ++connection.sequence;
    std::uint32_t error = 0;
    relayframe::Frame frame;
    relayframe::ExchangeReply reply;
    Wait outcome = sendFrame(connection,
                             relayframe::encodeExchange({sequence, timeoutMs, {block, blockBytes}}), deadline, error);
    if (outcome == Wait::Done)
        outcome = awaitFrame(connection, Kind::ExchangeResult, sequence, deadline, frame, error);
    if (outcome == Wait::Done && (!relayframe::decodeExchangeResult(frame, reply, reason) ||
                                  (reply.delivered && reply.block.size() != blockBytes))) {
        outcome = Wait::Broken;
        error = relaysocket::connectionResetError();
    }
    if (outcome == Wait::TimedOut)
        return SendResult{false, 0, 0};
    if (outcome == Wait::Broken) {
        // Nothing more can come on this connection; the link must be opened again.
        found->second.reset();
        return SendResult{false, error != 0 ? error : relaysocket::connectionResetError(), 0};
    }
    if (reply.delivered)
        std::memcpy(block, reply.block.data(), blockBytes);
    return SendResult{reply.delivered, reply.lastError, reply.reply};
}

void RelayIpcPlatform::sleepMs(std::uint32_t milliseconds)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!isCancelled() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, deadline - Clock::now()));
}

std::unique_ptr<RelayIpcPlatform::Connection> RelayIpcPlatform::connect(Clock::time_point deadline)
{
    relaysocket::Address address;
    if (!resolveEndpoint(m_endpoint, false, address, m_connectProblem))
        return nullptr;
    auto connection = std::make_unique<Connection>();
    connection->socket = relaysocket::startConnect(address);
    std::uint32_t error = connection->socket.valid() ? 0 : relaysocket::lastError();
    if (error == 0) {
        bool answered = false;
        while (!answered && !isCancelled() && Clock::now() < deadline)
            answered = waitSlice(*connection, POLLOUT, deadline);
        if (!answered) {
            m_connectProblem = "no answer from a relay at " + endpointText(m_endpoint);
            return nullptr;
        }
        error = relaysocket::connectError(connection->socket.native());
    }
    if (error != 0) {
        m_connectProblem =
            "no relay at " + endpointText(m_endpoint) + " (" + relaysocket::errorText(error) + ")";
        return nullptr;
    }
    relaysocket::setLowLatencyKeepAlive(connection->socket.native());
    return connection;
}

bool RelayIpcPlatform::greet(Connection& connection, Clock::time_point deadline)
{
    RelayKey key;
    if (!RelayKey::load(m_keyPath, key, m_connectProblem))
        return false;
    std::uint32_t error = 0;
    relayframe::Frame welcome;
    if (sendFrame(connection, relayframe::encodeHello(key.bytes()), deadline, error) != Wait::Done ||
        awaitFrame(connection, Kind::Welcome, 0, deadline, welcome, error) != Wait::Done) {
        m_connectProblem = "the relay at " + endpointText(m_endpoint) +
                           " refused the connection (wrong key, address not allowed, or relay full); the key used is " +
                           m_keyPath;
        return false;
    }
    return true;
}

RelayIpcPlatform::Wait RelayIpcPlatform::sendFrame(Connection& connection, const std::vector<std::uint8_t>& frame,
                                                   Clock::time_point deadline, std::uint32_t& error)
{
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const long count = relaysocket::sendSome(connection.socket.native(), frame.data() + sent, frame.size() - sent);
        if (count < 0) {
            error = relaysocket::lastError();
            return Wait::Broken;
        }
        sent += static_cast<std::size_t>(count);
        if (sent < frame.size() && !waitSlice(connection, POLLOUT, deadline) &&
            (Clock::now() >= deadline || isCancelled())) {
            // Half a frame is on its way: the stream cannot be used again.
            error = relaysocket::connectionResetError();
            return Wait::Broken;
        }
    }
    return Wait::Done;
}

RelayIpcPlatform::Wait RelayIpcPlatform::awaitFrame(Connection& connection, Kind kind, std::uint32_t sequence,
                                                    Clock::time_point deadline, relayframe::Frame& frame,
                                                    std::uint32_t& error)
{
    for (;;) {
        const std::size_t taken = connection.reader.consume(connection.unread);
        connection.unread.erase(connection.unread.begin(), connection.unread.begin() + taken);
        if (connection.reader.state() == FrameReader::State::Failed) {
            error = relaysocket::connectionResetError();
            return Wait::Broken;
        }
        if (connection.reader.state() == FrameReader::State::Complete) {
            frame = connection.reader.next();
            const bool sequenced = kind == Kind::WindowFound || kind == Kind::ExchangeResult;
            if (frame.kind == kind && (!sequenced || (frame.payload.size() >= 4 &&
                                                      blockformat::loadU32LE(frame.payload.data()) == sequence)))
                return Wait::Done;
            continue; // a keep-alive, or the answer to an attempt that was given up
        }
        if (!waitSlice(connection, POLLIN, deadline)) {
            if (Clock::now() >= deadline || isCancelled())
                return Wait::TimedOut;
            continue;
        }
        std::uint8_t buffer[16384];
        const long count = relaysocket::receiveSome(connection.socket.native(), buffer, sizeof buffer);
        if (count < 0) {
            error = count == -2 ? relaysocket::connectionResetError() : relaysocket::lastError();
            return Wait::Broken;
        }
        connection.unread.insert(connection.unread.end(), buffer, buffer + count);
    }
}

bool RelayIpcPlatform::waitSlice(const Connection& connection, short events, Clock::time_point deadline)
{
    if (isCancelled() || Clock::now() >= deadline)
        return false;
    relaysocket::PollEntry entry{connection.socket.native(), events, 0};
    return relaysocket::pollSockets(&entry, 1, sliceUntil(deadline)) > 0;
}

std::uint8_t* RelayIpcPlatform::blockOfAtom(std::uint16_t atom)
{
    const auto name = m_atoms.find(atom);
    if (name == m_atoms.end())
        return nullptr;
    for (auto& [handle, mapping] : m_mappings) {
        if (mapping.first == name->second.first && mapping.second.size() >= blockformat::kBlockBytes)
            return mapping.second.data();
    }
    return nullptr;
}

// The module's own texts, except when no relay could be reached: then why.
std::string RelayIpcPlatform::resultText(std::int32_t code) const
{
    if (code != FSUIPC_ERR_NOFS || m_connectProblem.empty())
        return {};
    return "Unable to connect to the relay: " + m_connectProblem + ".\r\n"
           "Start quillon-relay beside the simulator, or check the host, port and key in Options, Simulator.";
}
