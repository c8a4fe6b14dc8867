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

// One read through the link, as a tracker tick does.
bool readBrake(clsFSUIPC& link)
{
    std::uint16_t brake = 0;
    std::int32_t dwResult = 0;
    const bool done = link.FSUIPC_Read(0x0BC8, 2, &brake, dwResult) && link.FSUIPC_Process(dwResult);
    benchmark::DoNotOptimize(brake);
    return done;
}

// A bare TCP exchange of a request's and a reply's size with the echo.
struct TcpFloor {
    relaysocket::Socket socket;

    explicit TcpFloor(std::uint16_t port) : socket(relaysocket::startConnect(loopback(port)))
    {
        relaysocket::PollEntry connected{socket.native(), POLLOUT, 0};
        relaysocket::pollSockets(&connected, 1, 2000);
        relaysocket::setLowLatencyKeepAlive(socket.native());
    }
    bool roundTrip()
    {
        std::uint8_t request[kRequestBytes] = {}, reply[kReplyBytes];
        relaysocket::sendSome(socket.native(), request, sizeof request);
        for (std::size_t got = 0; got < sizeof reply;) {
            relaysocket::PollEntry entry{socket.native(), POLLIN, 0};
            relaysocket::pollSockets(&entry, 1, 2000);
            const long count = relaysocket::receiveSome(socket.native(), reply + got, sizeof reply - got);
            if (count < 0)
                return false;
            got += static_cast<std::size_t>(count);
        }
        return true;
    }
};

// Runs the benchmark's loop over step; false (the benchmark skipped) when a step fails.
template <class Step>
bool run(benchmark::State& state, Step step)
{
    for (auto _ : state) {
        if (!step()) {
            state.SkipWithError("an exchange failed");
            return false;
        }
    }
    return true;
}

// Seconds per step over a fixed number of steps, for a floor measured beside the relay.
template <class Step>
double secondsPerStep(Step step)
{
    constexpr int kSteps = 500;
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kSteps; ++i)
        step();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / kSteps;
}

bool openLink(benchmark::State& state, clsFSUIPC& link)
{
    std::int32_t dwResult = 0;
    if (!link.FSUIPC_Open(0, dwResult))
        state.SkipWithError(link.Get_Result(dwResult).c_str());
    return link.isOpen();
}

// Also reports vs_floors: the relay's time over the local link's and bare TCP's together,
// both measured in the same run, which is what the relay adds beyond what it must do.
void RelayExchangeOneRead(benchmark::State& state)
{
    Setup setup;
    RelayIpcPlatform platform({"127.0.0.1", setup.relayPort}, setup.keyPath);
    clsFSUIPC link(platform);
    if (!openLink(state, link))
        return;
    const auto started = std::chrono::steady_clock::now();
    if (!run(state, [&] { return readBrake(link); }) || state.iterations() == 0)
        return;
    const double relay = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() /
                         static_cast<double>(state.iterations());
    PosixIpcPlatform localPlatform;
    clsFSUIPC local(localPlatform);
    TcpFloor tcp(setup.echoPort);
    if (!openLink(state, local))
        return;
    const double floors =
        secondsPerStep([&] { return readBrake(local); }) + secondsPerStep([&] { return tcp.roundTrip(); });
    state.counters["vs_floors"] = relay / floors;
}
BENCHMARK(RelayExchangeOneRead)->UseRealTime();

void FloorLocalExchangeOneRead(benchmark::State& state)
{
    Setup setup;
    PosixIpcPlatform platform;
    clsFSUIPC link(platform);
    if (openLink(state, link))
        run(state, [&] { return readBrake(link); });
}
BENCHMARK(FloorLocalExchangeOneRead)->UseRealTime();

void FloorTcpRoundTrip(benchmark::State& state)
{
    Setup setup;
    TcpFloor tcp(setup.echoPort);
    run(state, [&] { return tcp.roundTrip(); });
}
BENCHMARK(FloorTcpRoundTrip)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
