// One exchange over the real link (a 2-byte read: queue + process) against
// the module's block processor in another process, and beside it the floor:
// a bare Unix-socket round trip of the same message sizes between the same
// two processes. The exchange should cost at most twice the floor. Sockets
// live in the program's scratch runtime folder, never a pilot's.
#include "clsfsuipc.h"
#include "moduleserver.h"
#include "posixipcplatform.h"
#include "posixtransport.h"
#include "simvariables.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kEchoClass = "QUILLON-ECHO";
// A request as the client sends it: 20 bytes and a mapping name of this length.
constexpr std::size_t kNameBytes = sizeof("FSASMLIB:IPC:3F2A:1") - 1;
constexpr std::size_t kRequestBytes = PosixTransport::kRequestHeaderBytes + kNameBytes;

// Reads requests of kRequestBytes and answers each with kReplyBytes, as plainly as possible.
void echoLoop(int listenFd)
{
    const int fd = ::accept(listenFd, nullptr, nullptr);
    std::uint8_t request[kRequestBytes];
    std::uint8_t reply[PosixTransport::kReplyBytes] = {};
    while (::recv(fd, request, sizeof request, MSG_WAITALL) == static_cast<ssize_t>(sizeof request)) {
        std::memcpy(reply, request + 12, 4);
        ::send(fd, reply, sizeof reply, MSG_NOSIGNAL);
    }
    ::close(fd);
}

int listenOn(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0)
        throw std::runtime_error("cannot listen on " + path);
    return fd;
}

// The other process: the module serving "UIPCMAIN" with the demo's versions,
// and a bare echo on a second socket.
class ModuleProcess {
public:
    ModuleProcess()
    {
        std::string error;
        if (!PosixTransport::prepareSocketDirectory(error))
            throw std::runtime_error(error);
        const int echoFd = listenOn(PosixTransport::socketPath(kEchoClass));
        m_pid = ::fork();
        if (m_pid == 0) {
            std::thread(echoLoop, echoFd).detach();
            SimVariables vars;
            vars.setU32(0x3304, 0x19980005);
            vars.setU32(0x3308, 0xFADE0006);
            vars.setU16(0x0BC8, 32767);
            auto server = makeModuleServer(vars, "UIPCMAIN");
            if (!server->start(error))
                ::_exit(1);
            while (server->serveFor(std::chrono::seconds(1))) {
            }
            ::_exit(0);
        }
        ::close(echoFd);
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // time to start serving
    }
    ~ModuleProcess()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        ::unlink(PosixTransport::socketPath(kEchoClass).c_str());
    }

private:
    pid_t m_pid = -1;
};

void LinkExchangeOneRead(benchmark::State& state)
{
    ModuleProcess module;
    PosixIpcPlatform platform;
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
BENCHMARK(LinkExchangeOneRead)->UseRealTime();

void SocketRoundTripFloor(benchmark::State& state)
{
    ModuleProcess module;
    const int fd = PosixTransport::connectUnixSocket(PosixTransport::socketPath(kEchoClass));
    std::uint8_t request[kRequestBytes] = {};
    std::uint8_t reply[PosixTransport::kReplyBytes];
    for (auto _ : state) {
        if (::send(fd, request, sizeof request, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request) ||
            ::recv(fd, reply, sizeof reply, MSG_WAITALL) != static_cast<ssize_t>(sizeof reply)) {
            state.SkipWithError("echo failed");
            break;
        }
    }
    ::close(fd);
}
BENCHMARK(SocketRoundTripFloor)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
