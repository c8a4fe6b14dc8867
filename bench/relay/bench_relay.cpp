// One link exchange (a 2-byte read: queue + process) through quillon-relay's
// server on loopback, beside its floor measured in the same run: the same
// exchange straight to the module, and a bare TCP round trip of the relay's
// frame sizes. The relay's exchange should cost at most 1.5 x (local + TCP).
// The module, the relay and the echo each run in a process of their own. On a
// busy machine with few cores, run it pinned to one core (taskset -c 0) with
// --benchmark_enable_random_interleaving=true: the relay's exchange wakes three
// processes in turn, and otherwise measures the scheduler more than the relay.
#include "clsfsuipc.h"
#include "moduleserver.h"
#include "posixipcplatform.h"
#include "relayipcplatform.h"
#include "relayserver.h"
#include "simvariables.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The relay's frames for one 2-byte read: request block 16 + 2 + 4 bytes.
constexpr std::size_t kBlockBytes = 16 + 2 + 4;
constexpr std::size_t kRequestBytes = relayframe::kHeaderBytes + relayframe::kExchangeHeaderBytes + kBlockBytes;
constexpr std::size_t kReplyBytes = relayframe::kHeaderBytes + relayframe::kResultHeaderBytes + kBlockBytes;

// A child process running body(); killed when the object ends.
class Child {
public:
    explicit Child(const std::function<void()>& body)
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            body();
            ::_exit(0);
        }
    }
    ~Child()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

std::uint16_t portOf(const relaysocket::Socket& socket)
{
    const relaysocket::Address bound = relaysocket::localAddress(socket.native());
    return ntohs(reinterpret_cast<const sockaddr_in&>(bound.storage).sin_port);
}

relaysocket::Address loopback(std::uint16_t port)
{
    relaysocket::Address address;
    std::string error;
    resolveEndpoint({"127.0.0.1", port}, true, address, error);
    return address;
}

// The module, a relay in front of it and a bare TCP echo, for the life of one benchmark.
struct Setup {
    std::string keyPath = (std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "bench-relay.key").string();
    std::unique_ptr<Child> module, relay, echo;
    std::uint16_t relayPort = 0, echoPort = 0;

    Setup()
    {
        module = std::make_unique<Child>([] {
            SimVariables vars;
            vars.setU32(0x3304, 0x19980005);
            vars.setU32(0x3308, 0xFADE0006);
            std::string error;
            auto server = makeModuleServer(vars, "UIPCMAIN");
            if (server->start(error))
                while (server->serveFor(std::chrono::seconds(1))) {
                }
        });
        RelayConfig config;
        bool created = false;
        std::string error;
        if (!RelayKey::loadOrCreate(keyPath, config.key, created, error))
            throw std::runtime_error(error);
        // Both listening sockets are made here, so their ports are known before the children serve them.
        relaysocket::Socket relayListener = relaysocket::listenOn(loopback(0), error);
        relaysocket::Socket echoListener = relaysocket::listenOn(loopback(0), error);
        relayPort = portOf(relayListener);
        echoPort = portOf(echoListener);
        relayListener.close();
        relay = std::make_unique<Child>([this, config] {
            std::ostringstream log;
            RelayServer server(systemIpcPlatform(), config, log);
            std::string error;
            if (server.listen(loopback(relayPort), error))
                for (;;)
                    server.serveFor(std::chrono::milliseconds(1000));
        });
        echo = std::make_unique<Child>([&echoListener] { echoLoop(echoListener); });
        echoListener.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // time to start serving
    }

    // Answers every kRequestBytes received with kReplyBytes, as plainly as possible.
    static void echoLoop(const relaysocket::Socket& listener)
    {
        relaysocket::PollEntry waiting{listener.native(), POLLIN, 0};
        relaysocket::pollSockets(&waiting, 1, -1);
        relaysocket::Address peer;
        relaysocket::Socket socket = relaysocket::acceptOne(listener.native(), peer);
        relaysocket::setLowLatencyKeepAlive(socket.native());
        std::uint8_t request[kRequestBytes], reply[kReplyBytes] = {};
        for (std::size_t got = 0;;) {
            relaysocket::PollEntry entry{socket.native(), POLLIN, 0};
            relaysocket::pollSockets(&entry, 1, -1);
            const long count = relaysocket::receiveSome(socket.native(), request + got, sizeof request - got);
            if (count < 0)
                return;
            got += static_cast<std::size_t>(count);
            if (got == sizeof request) {
                relaysocket::sendSome(socket.native(), reply, sizeof reply);
                got = 0;
            }
        }
    }
};

void exchangeOneRead(benchmark::State& state, IpcPlatform& platform)
{
    clsFSUIPC link(platform);
    std::int32_t dwResult = 0;
    if (!link.FSUIPC_Open(0, dwResult)) {
        state.SkipWithError(link.Get_Result(dwResult).c_str());
        return;
    }
    std::uint16_t brake = 0;
    for (auto _ : state) {
        link.FSUIPC_Read(0x0BC8, 2, &brake, dwResult);
        if (!link.FSUIPC_Process(dwResult)) {
            state.SkipWithError(link.Get_Result(dwResult).c_str());
            break;
        }
        benchmark::DoNotOptimize(brake);
    }
}

void RelayExchangeOneRead(benchmark::State& state)
{
    Setup setup;
    RelayIpcPlatform platform({"127.0.0.1", setup.relayPort}, setup.keyPath);
    exchangeOneRead(state, platform);
}
BENCHMARK(RelayExchangeOneRead)->UseRealTime();

void FloorLocalExchangeOneRead(benchmark::State& state)
{
    Setup setup;
    PosixIpcPlatform platform;
    exchangeOneRead(state, platform);
}
BENCHMARK(FloorLocalExchangeOneRead)->UseRealTime();

void FloorTcpRoundTrip(benchmark::State& state)
{
    Setup setup;
    relaysocket::Socket socket = relaysocket::startConnect(loopback(setup.echoPort));
    relaysocket::PollEntry connected{socket.native(), POLLOUT, 0};
    relaysocket::pollSockets(&connected, 1, 2000);
    relaysocket::setLowLatencyKeepAlive(socket.native());
    std::uint8_t request[kRequestBytes] = {}, reply[kReplyBytes];
    for (auto _ : state) {
        relaysocket::sendSome(socket.native(), request, sizeof request);
        for (std::size_t got = 0; got < sizeof reply;) {
            relaysocket::PollEntry entry{socket.native(), POLLIN, 0};
            relaysocket::pollSockets(&entry, 1, 2000);
            const long count = relaysocket::receiveSome(socket.native(), reply + got, sizeof reply - got);
            if (count < 0) {
                state.SkipWithError("the echo ended");
                return;
            }
            got += static_cast<std::size_t>(count);
        }
    }
}
BENCHMARK(FloorTcpRoundTrip)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
