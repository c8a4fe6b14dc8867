// The client over the real POSIX link, against quillon-sim and against raw
// module stand-ins that misbehave, each in its own process.
#include "clsfsuipc.h"
#include "posixipcplatform.h"
#include "posixsimprocess.h"
#include "posixtransport.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}


constexpr std::int32_t kFreeOffset = 0x4000; // no meaning to the simulator; free for tests

// A socket bound where the module of "UIPCMAIN" listens, as a module that is not quillon-sim.
int bindModuleSocket(sockaddr_un& address)
{
    std::string error;
    if (!PosixTransport::prepareSocketDirectory(error))
        throw std::runtime_error(error);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    address = {AF_UNIX, {}};
    std::strcpy(address.sun_path, PosixTransport::socketPath("UIPCMAIN").c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind");
    return fd;
}

class PosixLink : public testing::Test {
protected:
    // Starts quillon-sim with the arguments and opens link to it.
    bool startAndOpen(const std::vector<std::string>& simArgs = {})
    {
        m_sim = std::make_unique<SimProcess>(simArgs);
        return m_sim->ok() && link.FSUIPC_Open(0, rc);
    }

    ScratchRuntimeDir m_runtime{"e2e"};
    PosixIpcPlatform m_platform;
    clsFSUIPC link{m_platform};
    std::int32_t rc = -1;
    std::unique_ptr<SimProcess> m_sim;
};

TEST_F(PosixLink, OpensWithTheHandshakeAndLeavesNoSharedMemoryName)
{
    ASSERT_TRUE(startAndOpen()) << link.Get_Result(rc);
    EXPECT_EQ(link.Version_FSUIPC(), "1.998e");
    EXPECT_EQ(link.Version_FS(), "FS2002");
    EXPECT_FALSE(std::filesystem::exists("/dev/shm/" + link.mappingName()))
        << "the name is removed after the first exchange, so a crash leaves nothing";
}

TEST_F(PosixLink, CarriesAFullBlockOfReadsEachIntoItsDestination)
{
    ASSERT_TRUE(startAndOpen());
    std::vector<std::uint16_t> written(2000), values(2000, 0xFFFF);
    for (std::size_t i = 0; i < written.size(); ++i)
        written[i] = static_cast<std::uint16_t>(i * 7);
    ASSERT_TRUE(link.FSUIPC_Write(kFreeOffset, 4000, written.data(), rc) && link.FSUIPC_Process(rc));
    std::size_t queued = 0;
    while (link.FSUIPC_Read(kFreeOffset + static_cast<std::int32_t>(2 * queued), 2, &values[queued], rc))
        ++queued;
    EXPECT_EQ(queued, (32512u - 4) / 18);
    ASSERT_TRUE(link.FSUIPC_Process(rc)) << link.Get_Result(rc);
    EXPECT_TRUE(std::equal(values.begin(), values.begin() + queued, written.begin()));
    EXPECT_EQ(values[queued], 0xFFFF);
}

TEST_F(PosixLink, ServesTwoClientsAtOnce)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    std::atomic<int> failures{0};
    auto client = [&failures](std::int32_t offset) {
        PosixIpcPlatform platform;
        clsFSUIPC link(platform);
        std::int32_t dwResult = 0;
        failures += !link.FSUIPC_Open(0, dwResult);
        for (std::uint32_t i = 0; i < 300 && link.isOpen(); ++i) {
            std::uint32_t value = i * 7 + static_cast<std::uint32_t>(offset), readBack = 0;
            failures +=
                !(link.FSUIPC_Write(offset, 4, &value, dwResult) &&
                  link.FSUIPC_Read(offset, 4, &readBack, dwResult) && link.FSUIPC_Process(dwResult)) ||
                readBack != value;
        }
    };
    std::thread first(client, kFreeOffset), second(client, kFreeOffset + 4);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
}

// The module exits on the request the client waits for: the ten retries fail at
// once (a send failure, not a time-out), and a new module is found at the next open.
TEST_F(PosixLink, ModuleExitingInTheMiddleOfABatchFailsItsDeliveryUntilANewOne)
{
    ASSERT_TRUE(startAndOpen({"--exit-after", "1"}));
    std::uint16_t brake = 0;
    ASSERT_TRUE(link.FSUIPC_Read(0x0BC8, 2, &brake, rc));
    EXPECT_FALSE(link.FSUIPC_Process(rc));
    EXPECT_EQ(rc, FSUIPC_ERR_SENDMSG) << link.Get_Result(rc);
    link.FSUIPC_Close();
    m_sim.reset();
    ASSERT_TRUE(startAndOpen()) << link.Get_Result(rc);
    EXPECT_TRUE(link.FSUIPC_Read(0x0BC8, 2, &brake, rc) && link.FSUIPC_Process(rc)) << link.Get_Result(rc);
    EXPECT_EQ(brake, 32767);
}

// What can sit where the module's socket should be, and none of it may cost a hang.
enum class NoModule { StaleSocket, BacklogFull, BacklogFullCancelled, DirectoryOpenToOthers };

struct NoModuleCase {
    std::string name;
    NoModule found;
    friend void PrintTo(const NoModuleCase& row, std::ostream* out) { *out << row.name; }
};
class PosixLinkNoModule : public PosixLink, public testing::WithParamInterface<NoModuleCase> {};

TEST_P(PosixLinkNoModule, GivesCode2)
{
    sockaddr_un address;
    std::vector<int> fds;
    if (GetParam().found == NoModule::DirectoryOpenToOthers) { // anyone could have planted the socket
        ASSERT_TRUE((m_sim = std::make_unique<SimProcess>())->ok());
        std::filesystem::permissions(m_runtime.socketDir(), std::filesystem::perms::all);
    } else {
        fds.push_back(bindModuleSocket(address));
    }
    if (GetParam().found == NoModule::StaleSocket)
        ::close(fds.back());                         // the socket file stays, as after a crash
    const bool cancelled = GetParam().found == NoModule::BacklogFullCancelled;
    if (GetParam().found == NoModule::BacklogFull || cancelled) { // a module that never accepts
        ASSERT_EQ(::listen(fds.back(), 0), 0);
        while (fds.size() < 9) {
            fds.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
            if (::connect(fds.back(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                break;
        }
    }
    const auto start = Clock::now();
    std::jthread canceller;
    if (cancelled)
        canceller = std::jthread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_platform.cancel();
        });
    EXPECT_FALSE(link.FSUIPC_Open(0, rc));
    EXPECT_EQ(rc, FSUIPC_ERR_NOFS);
    EXPECT_LT(secondsSince(start), cancelled ? 0.4 : PosixTransport::kConnectTimeoutMs / 1000.0 + 0.5);
    for (const int fd : fds)
        ::close(fd);
    if (GetParam().found == NoModule::StaleSocket) {
        EXPECT_TRUE(startAndOpen()) << "a new module replaces the stale file";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PosixLinkNoModule,
                         testing::Values(NoModuleCase{"StaleSocketOfACrashedModule", NoModule::StaleSocket},
                                         NoModuleCase{"ModuleThatStoppedAccepting", NoModule::BacklogFull},
                                         NoModuleCase{"CancelledWhileBacklogFull", NoModule::BacklogFullCancelled},
                                         NoModuleCase{"SocketDirectoryOpenToOthers",
                                                      NoModule::DirectoryOpenToOthers}),
                         [](const auto& info) { return info.param.name; });

void sendReply(int fd, std::uint32_t sequence, std::uint32_t value)
{
    const auto bytes = PosixTransport::encodeReply({sequence, value});
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// Serves one connection in this (forked) process: the handshake's two reads get a
// module the client accepts, every later batch one read's data after a reply
// with the previous sequence number, or (hangUpHalfway) half a reply and an exit.
[[noreturn]] void serveRaw(int fd, bool hangUpHalfway)
{
    std::uint32_t* block = nullptr; // little-endian fields, as on the machines we run on
    for (bool first = true;; first = false) {
        std::uint8_t bytes[20 + 255];
        PosixTransport::Request request;
        std::size_t used = 0;
        if (::recv(fd, bytes, 20, MSG_WAITALL) != 20 ||
            ::recv(fd, bytes + 20, bytes[16], MSG_WAITALL) != bytes[16])
            ::_exit(0);
        PosixTransport::parseRequest(bytes, 20 + bytes[16], request, used);
        if (block == nullptr)
            block =
                static_cast<std::uint32_t*>(::mmap(nullptr, 0x8000, PROT_READ | PROT_WRITE, MAP_SHARED,
                                                   ::shm_open(("/" + request.name).c_str(), O_RDWR, 0), 0));
        if (first) {
            block[4] = 0x19980005;
            block[9] = 0xFADE0006;
            sendReply(fd, request.sequence, 1);
            continue;
        }
        if (hangUpHalfway) {
            ::send(fd, "\1\0\0", 3, MSG_NOSIGNAL);
            ::_exit(0);
        }
        sendReply(fd, request.sequence - 1, 0);
        block[4] = 0x55667788;
        sendReply(fd, request.sequence, 1);
    }
}

class PosixLinkReplies : public PosixLink, public testing::WithParamInterface<bool> {};

TEST_P(PosixLinkReplies, AreCheckedBeforeUse)
{
    const bool hangUpHalfway = GetParam();
    sockaddr_un address;
    const int listenFd = bindModuleSocket(address);
    ASSERT_EQ(::listen(listenFd, 1), 0);
    const ChildProcess module([&] { serveRaw(::accept(listenFd, nullptr, nullptr), hangUpHalfway); });
    ::close(listenFd);
    std::uint32_t value = 0;
    ASSERT_TRUE(link.FSUIPC_Open(0, rc) && link.FSUIPC_Read(kFreeOffset, 4, &value, rc))
        << link.Get_Result(rc);
    EXPECT_EQ(link.FSUIPC_Process(rc), !hangUpHalfway);
    EXPECT_EQ(rc, hangUpHalfway ? FSUIPC_ERR_SENDMSG : FSUIPC_OK) << link.Get_Result(rc);
    EXPECT_EQ(value, hangUpHalfway ? 0u : 0x55667788u);
}

INSTANTIATE_TEST_SUITE_P(Rows, PosixLinkReplies, testing::Bool(), [](const auto& info) {
    return info.param ? "HalfAReplyThenGone" : "StaleReplyBeforeTheRealOne";
});

} // namespace
