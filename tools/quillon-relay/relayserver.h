#pragma once

#include "framereader.h"
#include "ipcplatform.h"
#include "relayaddress.h"
#include "relaykey.h"
#include "relaysocket.h"

#include <chrono>
#include <list>
#include <ostream>
#include <string>
#include <vector>

// How a relay is opened up: by default to loopback clients only and for reads only.
struct RelayConfig {
    RelayKey key;
    std::vector<AllowRule> allow = loopbackRules(); // the peers let in
    bool readWrite = false;       // otherwise only the client's version word may be written
    std::chrono::milliseconds greetingTimeout{5000};    // for a new connection's key
    std::chrono::milliseconds keepAliveInterval{15000}; // of silence towards a client before a keep-alive
    // A keyed client whose replies and keep-alives stay unacknowledged this long is gone.
    std::chrono::milliseconds deadAfter{120000};
};

// Serves relay clients over TCP and passes their blocks to the module through
// the machine's own link platform. One thread: frames are read without
// blocking from every client as they come, and complete requests are served
// one block at a time, in turn, so that no client holds the others for longer
// than one block. Every refusal and every closed connection is one line on log.
class RelayServer {
public:
    static constexpr std::uint32_t kTimeoutMarginMs = 250; // left for the network out of the client's time-out
    static constexpr std::size_t kMaxClients = 32;       // that have shown the key
    static constexpr std::size_t kMaxUngreetedClients = 16; // that have not yet; the oldest makes room for a newer one
    static constexpr std::chrono::milliseconds kGreetingGrace{250}; // a greeting is given before that is evicted

    RelayServer(IpcPlatform& module, RelayConfig config, std::ostream& log);
    ~RelayServer();
    RelayServer(const RelayServer&) = delete;
    RelayServer& operator=(const RelayServer&) = delete;

    bool listen(const relaysocket::Address& address, std::string& error);
    relaysocket::Address listeningAddress() const;
    // Serves for about the given time (one poll of at most that long, then the work it brought).
    void serveFor(std::chrono::milliseconds wait);
    std::size_t clientCount() const { return m_clients.size(); }

    // The module's time-out for a client's: the client's less the margin, at least half of it.
    static std::uint32_t moduleTimeoutMs(std::uint32_t clientTimeoutMs);

private:
    using Clock = std::chrono::steady_clock;

    // The module's side of one client: its window and a block of the relay's own.
    struct Upstream {
        IpcPlatform::WindowHandle window = 0;
        std::uint32_t message = 0;
        std::uint16_t atom = 0;
        IpcPlatform::MappingHandle mapping = 0;
        std::uint8_t* view = nullptr;
    };
    struct Client {
        relaysocket::Socket socket;
        std::string name; // the peer's address, for the log
        FrameReader reader{relayframe::Reader::Relay};
        std::vector<std::uint8_t> unread; // received bytes the reader has not taken yet
        std::vector<std::uint8_t> outgoing;
        bool greeted = false;
        bool closing = false;
        Clock::time_point connectedAt;
        Clock::time_point lastSentAt;
        Clock::time_point lastDrainedAt; // when outgoing was last empty or took bytes
        Upstream upstream;
    };

    void acceptClients();
    bool admit(const relaysocket::Address& peer, const std::string& name);
    std::size_t keyedClients() const;
    void receive(Client& client);
    // Serves the client's next complete frame, if it has one.
    void serveFrame(Client& client);
    void findWindow(Client& client, const relayframe::Frame& frame);
    void exchange(Client& client, const relayframe::Frame& frame);
    bool openUpstream(Upstream& upstream, const std::string& className);
    void closeUpstream(Upstream& upstream);
    void queue(Client& client, std::vector<std::uint8_t> frame);
    void flush(Client& client);
    void drop(Client& client, const std::string& reason);
    void keepAliveAndExpire();

    IpcPlatform& m_module;
    RelayConfig m_config;
    std::ostream& m_log;
    relaysocket::Socket m_listener;
    std::list<Client> m_clients;
    bool m_acceptStalled = false;   // out of descriptors: accepts wait a while, logged once
    Clock::time_point m_acceptAgainAt;
    std::vector<std::uint8_t> m_receiveBuffer;
};
