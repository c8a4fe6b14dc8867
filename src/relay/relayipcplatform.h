#pragma once

#include "framereader.h"
#include "ipcplatform.h"
#include "relayaddress.h"
#include "relaysocket.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The link's platform across a network: the simulator's module is reached
// through a quillon-relay (docs/relay.md). Finding a window opens a TCP
// connection, presents the key and asks the relay for the window class; each
// message sends the request block to the relay and takes back the send's
// whole result and the block as the module left it. Atoms, the mapping and
// the view are this object's own memory. Waits run in slices of at most
// 50 ms and end at once when the platform is cancelled.
class RelayIpcPlatform final : public IpcPlatform {
public:
    static constexpr int kConnectTimeoutMs = 2000;

    // keyPath: the relay's key file, read at every connect (the relay may create it later).
    // connectTimeoutMs bounds findWindow: connecting, presenting the key and the relay's answer.
    RelayIpcPlatform(RelayEndpoint endpoint, std::string keyPath, int connectTimeoutMs = kConnectTimeoutMs);
    ~RelayIpcPlatform() override;
    RelayIpcPlatform(const RelayIpcPlatform&) = delete;
    RelayIpcPlatform& operator=(const RelayIpcPlatform&) = delete;

    WindowHandle findWindow(const std::string& className) override;
    void releaseWindow(WindowHandle window) override;
    std::uint32_t registerMessage(const std::string& name) override;
    std::uint32_t currentProcessId() override;
    std::uint16_t addAtom(const std::string& name) override;
    void deleteAtom(std::uint16_t atom) override;
    Mapping createMapping(const std::string& name, std::uint32_t sizeBytes) override;
    std::uint8_t* mapView(MappingHandle mapping) override;
    void unmapView(std::uint8_t* view) override;
    void closeMapping(MappingHandle mapping) override;
    // wParam names the block by its atom; message and lParam are not carried:
    // the relay sends the module its own registered message with lParam 0.
    SendResult sendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::uintptr_t lParam, std::uint32_t timeoutMs) override;
    void sleepMs(std::uint32_t milliseconds) override;

    // Why the last findWindow found no window, for a user ("" when it did, or the relay said no).
    const std::string& connectProblem() const { return m_connectProblem; }
    std::string resultText(std::int32_t code) const override;

private:
    using Clock = std::chrono::steady_clock;

    struct Connection {
        relaysocket::Socket socket;
        FrameReader reader{relayframe::Reader::Client};
        std::vector<std::uint8_t> unread; // received bytes the reader has not taken yet
        std::uint32_t sequence = 0;
    };
    enum class Wait { Done, TimedOut, Broken };

    std::unique_ptr<Connection> connect(Clock::time_point deadline);
    bool greet(Connection& connection, Clock::time_point deadline);
    Wait sendFrame(Connection& connection, const std::vector<std::uint8_t>& frame, Clock::time_point deadline,
                   std::uint32_t& error);
    // The next frame of the kind (with the sequence, if it carries one), passing over keep-alives and late replies.
    Wait awaitFrame(Connection& connection, relayframe::Kind kind, std::uint32_t sequence, Clock::time_point deadline,
                    relayframe::Frame& frame, std::uint32_t& error);
    // Waits for the socket to be readable (or writable) for one slice; false once past the deadline or cancelled.
    bool waitSlice(const Connection& connection, short events, Clock::time_point deadline);
    std::uint8_t* blockOfAtom(std::uint16_t atom);

    RelayEndpoint m_endpoint;
    std::string m_keyPath;
    std::chrono::milliseconds m_connectTimeout;
    std::string m_connectProblem;
    std::map<WindowHandle, std::unique_ptr<Connection>> m_connections;
    WindowHandle m_lastWindow = 0;
    std::map<std::uint16_t, std::pair<std::string, unsigned>> m_atoms; // atom -> name, references
    std::map<MappingHandle, std::pair<std::string, std::vector<std::uint8_t>>> m_mappings; // -> name, block
    MappingHandle m_lastMapping = 0;
};
