#include "relayserver.h"

#include "blockformat.h"
#include "clsfsuipc.h"

#include <algorithm>
#include <cstring>

namespace {

using relayframe::Kind;

constexpr const char* kMessageName = "FSASMLIB:IPC";
constexpr std::uint32_t kErrorInvalidWindowHandle = 1400;
constexpr std::size_t kReceiveChunkBytes = 65536;
constexpr std::chrono::seconds kAcceptBackOff{1};

} // namespace

RelayServer::RelayServer(IpcPlatform& module, RelayConfig config, std::ostream& log)
    : m_module(module), m_config(std::move(config)), m_log(log)
{
}

RelayServer::~RelayServer()
{
    for (Client& client : m_clients)
        closeUpstream(client.upstream);
}

bool RelayServer::listen(const relaysocket::Address& address, std::string& error)
{
    if (!relaysocket::startup()) {
        error = "sockets cannot be used on this system";
        return false;
    }
    m_listener = relaysocket::listenOn(address, error);
    return m_listener.valid();
}

relaysocket::Address RelayServer::listeningAddress() const
{
    return relaysocket::localAddress(m_listener.native());
}

std::uint32_t RelayServer::moduleTimeoutMs(std::uint32_t clientTimeoutMs)
{
    if (clientTimeoutMs > 2 * kTimeoutMarginMs)
        return clientTimeoutMs - kTimeoutMarginMs;
    return std::max<std::uint32_t>(clientTimeoutMs / 2, 1);
}

void RelayServer::serveFor(std::chrono::milliseconds wait)
{
    const bool accepting = !m_acceptStalled || Clock::now() >= m_acceptAgainAt;
    std::vector<relaysocket::PollEntry> entries{{m_listener.native(), static_cast<short>(accepting ? POLLIN : 0), 0}};
    bool workWaiting = false;
    for (const Client& client : m_clients) {
        // Nothing more is read from a client until its last frame is served and its answer gone.
        const bool idle = client.unread.empty() && client.outgoing.empty();
        const short events = static_cast<short>((idle ? POLLIN : 0) | (client.outgoing.empty() ? 0 : POLLOUT));
        entries.push_back({client.socket.native(), events, 0});
        workWaiting = workWaiting || (!client.unread.empty() && client.outgoing.empty());
    }
    // Bytes already read may hold whole frames: serve them now rather than after a wait.
    const auto longest = m_acceptStalled ? std::min<std::chrono::milliseconds>(wait, kAcceptBackOff) : wait;
    relaysocket::pollSockets(entries.data(), entries.size(), workWaiting ? 0 : static_cast<int>(longest.count()));

    if (accepting && entries[0].revents != 0)
        acceptClients();
    std::size_t index = 1;
    for (Client& client : m_clients) {
        if (index >= entries.size())
            break;
        const short ready = entries[index++].revents;
        if ((ready & POLLOUT) != 0)
            flush(client);
        if ((ready & POLLIN) != 0 && !client.closing)
            receive(client);
        else if ((ready & (POLLHUP | POLLERR)) != 0 && !client.closing) // gone, with nothing left to read
            drop(client, client.reader.midFrame() ? "disconnected in the middle of a frame" : "disconnected");
    }
    // One frame per client per round: a client with many requests waits its turn like the others.
    for (Client& client : m_clients) {
        if (!client.closing)
            serveFrame(client);
    }
    keepAliveAndExpire();
    m_clients.remove_if([this](Client& client) {
        if (client.closing)
            closeUpstream(client.upstream);
        return client.closing;
    });
}

void RelayServer::acceptClients()
{
    for (;;) {
        relaysocket::Address peer;
        relaysocket::Socket socket = relaysocket::acceptOne(m_listener.native(), peer);
        if (!socket.valid()) {
            const int error = relaysocket::lastError();
            if (relaysocket::outOfDescriptors(error)) {
                if (!m_acceptStalled)
                    m_log << "quillon-relay: cannot accept connections: " << relaysocket::errorText(error)
                          << "; trying again every second" << std::endl;
                m_acceptStalled = true;
                m_acceptAgainAt = Clock::now() + kAcceptBackOff;
            }
            return;
        }
        if (m_acceptStalled)
            m_log << "quillon-relay: accepting connections again" << std::endl;
        m_acceptStalled = false;
        const std::string name = relaysocket::addressText(peer);
        if (!admit(peer, name))
            continue;
        relaysocket::setLowLatencyKeepAlive(socket.native(), m_config.deadAfter);
        Client& client = m_clients.emplace_back();
        client.socket = std::move(socket);
        client.name = name;
        client.connectedAt = client.lastSentAt = client.lastDrainedAt = Clock::now();
    }
}

// Allowed addresses only, and room among keyed clients.
bool RelayServer::admit(const relaysocket::Address& peer, const std::string& name)
{
    const auto& rules = m_config.allow;
    if (std::none_of(rules.begin(), rules.end(), [&](const AllowRule& rule) { return rule.matches(peer); })) {
        m_log << "quillon-relay: " << name << ": refused: address not allowed (see --allow)" << std::endl;
        return false;
    }
    // A stranger's connections must not keep a pilot's out: the oldest still without the key makes room,
    // once it has had time for its greeting; connections arriving together are all given that time.
    const auto keyless = [](const Client& client) { return !client.greeted && !client.closing; };
    if (static_cast<std::size_t>(std::count_if(m_clients.begin(), m_clients.end(), keyless)) >= kMaxUngreetedClients) {
        Client& oldest = *std::find_if(m_clients.begin(), m_clients.end(), keyless);
        if (Clock::now() - oldest.connectedAt < kGreetingGrace) {
            m_log << "quillon-relay: " << name << ": refused: " << kMaxUngreetedClients
                  << " connections are already waiting to show the key" << std::endl;
            return false;
        }
        drop(oldest, "no key yet, and a newer connection came");
    }
    if (keyedClients() >= kMaxClients) {
        m_log << "quillon-relay: " << name << ": refused: already serving " << kMaxClients << " clients" << std::endl;
        return false;
    }
    return true;
}

std::size_t RelayServer::keyedClients() const
{
    return static_cast<std::size_t>(
        std::count_if(m_clients.begin(), m_clients.end(), [](const Client& client) { return client.greeted; }));
}

void RelayServer::receive(Client& client)
{
    std::vector<std::uint8_t>& buffer = m_receiveBuffer;
    buffer.resize(kReceiveChunkBytes);
    const long count = relaysocket::receiveSome(client.socket.native(), buffer.data(), buffer.size());
    if (count < 0) {
        const bool failed = count == -1;
        if (client.reader.midFrame() || !client.unread.empty())
            drop(client, "disconnected in the middle of a frame");
        else if (failed)
            drop(client, "connection failed: " + relaysocket::errorText(relaysocket::lastError()));
        else if (!client.greeted)
            drop(client, "disconnected before greeting");
        else
            client.closing = true; // an orderly goodbye
        return;
    }
    client.unread.insert(client.unread.end(), buffer.begin(), buffer.begin() + count);
}

void RelayServer::serveFrame(Client& client)
{
    const std::size_t taken = client.reader.consume(client.unread);
    client.unread.erase(client.unread.begin(), client.unread.begin() + static_cast<std::ptrdiff_t>(taken));
    if (client.reader.state() == FrameReader::State::Failed)
        return drop(client, "bad frame: " + client.reader.error());
    if (client.reader.state() != FrameReader::State::Complete)
        return;
    const relayframe::Frame frame = client.reader.next();
    if (!client.greeted) {
        if (!m_config.key.matches(frame.payload.data())) // the reader let only a greeting of the key's size through
            return drop(client, "wrong key");
        if (keyedClients() >= kMaxClients)
            return drop(client, "already serving " + std::to_string(kMaxClients) + " clients");
        client.greeted = true;
        client.reader.greeted();
        m_log << "quillon-relay: " << client.name << ": connected" << std::endl;
        return queue(client, relayframe::encode(Kind::Welcome));
    }
    switch (frame.kind) {
    case Kind::LookUpWindow:
        return findWindow(client, frame);
    case Kind::Exchange:
        return exchange(client, frame);
    case Kind::Hello:
        return drop(client, "a second greeting");
    default: // keep-alive; the reader lets no other kind through
        return;
    }
}

void RelayServer::findWindow(Client& client, const relayframe::Frame& frame)
{
    relayframe::FindWindowRequest request;
    std::string reason;
    if (!relayframe::decodeFindWindow(frame, request, reason))
        return drop(client, "bad frame: " + reason);
    closeUpstream(client.upstream);
    // Only the module's own windows: the relay must not message any window a client names.
    const bool moduleWindow = request.className == "UIPCMAIN" || request.className == "FS98MAIN";
    if (!moduleWindow)
        m_log << "quillon-relay: " << client.name << ": refused to look up the window class " << request.className
              << std::endl;
    const bool found = moduleWindow && openUpstream(client.upstream, request.className);
    queue(client, relayframe::encodeWindowFound({request.sequence, found}));
}

void RelayServer::exchange(Client& client, const relayframe::Frame& frame)
{
    relayframe::ExchangeRequest request;
    std::string reason;
    if (!relayframe::decodeExchange(frame, request, reason))
        return drop(client, "bad frame: " + reason);
    relayframe::ExchangeReply reply{request.sequence, false, kErrorInvalidWindowHandle, 0, {}};
    const Upstream& upstream = client.upstream;
    std::string refused;
    if (upstream.view == nullptr) {
        // No window was found on this connection: what sending to a window that is not there gives.
    } else if (!m_config.readWrite && !relayframe::writesOnlyTheVersionWord(request.block, refused)) {
        m_log << "quillon-relay: " << client.name << ": refused a block writing " << refused
              << " (read-only; start the relay with --read-write to allow writes)" << std::endl;
        reply = {request.sequence, true, 0, 0, request.block}; // a module's answer to a block it will not run
    } else {
        std::memcpy(upstream.view, request.block.data(), request.block.size());
        const IpcPlatform::SendResult sent = m_module.sendMessageTimeout(
            upstream.window, upstream.message, upstream.atom, 0, moduleTimeoutMs(request.timeoutMs));
        reply = {request.sequence, sent.delivered, sent.lastError, static_cast<std::uint32_t>(sent.reply), {}};
        if (sent.delivered)
            reply.block = {upstream.view, request.block.size()};
    }
    queue(client, relayframe::encodeExchangeResult(reply));
}

// Finds the module's window and makes a block for it, as the link's own open does.
bool RelayServer::openUpstream(Upstream& upstream, const std::string& className)
{
    upstream.window = m_module.findWindow(className);
    if (upstream.window == 0)
        return false;
    const std::string name = clsFSUIPC::nextMappingName(m_module.currentProcessId());
    upstream.message = m_module.registerMessage(kMessageName);
    upstream.atom = upstream.message == 0 ? 0 : m_module.addAtom(name);
    const IpcPlatform::Mapping mapping =
        upstream.atom == 0 ? IpcPlatform::Mapping{} : m_module.createMapping(name, blockformat::kBlockBytes);
    upstream.mapping = mapping.alreadyExisted ? 0 : mapping.handle;
    upstream.view = upstream.mapping == 0 ? nullptr : m_module.mapView(upstream.mapping);
    if (upstream.view == nullptr) {
        m_log << "quillon-relay: cannot make a request block for the module's window " << className << std::endl;
        if (mapping.alreadyExisted)
            m_module.closeMapping(mapping.handle);
        closeUpstream(upstream);
        return false;
    }
    return true;
}

void RelayServer::closeUpstream(Upstream& upstream)
{
    if (upstream.view != nullptr)
        m_module.unmapView(upstream.view);
    if (upstream.mapping != 0)
        m_module.closeMapping(upstream.mapping);
    if (upstream.atom != 0)
        m_module.deleteAtom(upstream.atom);
    if (upstream.window != 0)
        m_module.releaseWindow(upstream.window);
    upstream = {};
}

void RelayServer::queue(Client& client, std::vector<std::uint8_t> frame)
{
    if (client.outgoing.empty())
        client.outgoing = std::move(frame);
    else
        client.outgoing.insert(client.outgoing.end(), frame.begin(), frame.end());
    client.lastSentAt = Clock::now();
    flush(client);
}

void RelayServer::flush(Client& client)
{
    if (client.outgoing.empty() || client.closing)
        return;
    const long sent = relaysocket::sendSome(client.socket.native(), client.outgoing.data(), client.outgoing.size());
    if (sent < 0)
        return drop(client, "connection failed: " + relaysocket::errorText(relaysocket::lastError()));
    client.outgoing.erase(client.outgoing.begin(), client.outgoing.begin() + sent);
    if (sent > 0 || client.outgoing.empty())
        client.lastDrainedAt = Clock::now();
}

void RelayServer::drop(Client& client, const std::string& reason)
{
    m_log << "quillon-relay: " << client.name << ": closed: " << reason << std::endl;
    client.closing = true;
}

void RelayServer::keepAliveAndExpire()
{
    const auto now = Clock::now();
    for (Client& client : m_clients) {
        if (client.closing)
            continue;
        if (!client.greeted && now - client.connectedAt >= m_config.greetingTimeout)
            drop(client, "no greeting within " + std::to_string(m_config.greetingTimeout.count()) + " ms");
        else if (!client.outgoing.empty() && now - client.lastDrainedAt >= m_config.deadAfter)
            drop(client, "read nothing for " + std::to_string(m_config.deadAfter.count() / 1000) + " s");
        else if (client.greeted && client.outgoing.empty() && now - client.lastSentAt >= m_config.keepAliveInterval)
            queue(client, relayframe::encode(Kind::KeepAlive));
    }
}
