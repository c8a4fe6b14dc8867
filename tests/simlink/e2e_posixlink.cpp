// The client over the real POSIX link, against quillon-sim and against raw
// module stand-ins that misbehave, each in its own process.
#include "blockprocessor.h"
#include "clsfsuipc.h"
#include "posixipcplatform.h"
#include "posixsimprocess.h"
#include "posixtransport.h"
#include "scratchruntimedir.h"
#include "simvariables.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kFreeOffset = 0x4000; // no meaning to the simulator; free for tests

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

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
    // Starts quillon-sim with the arguments and opens m_link to it.
    bool startAndOpen(const std::vector<std::string>& simArgs = {})
    {
        m_sim = std::make_unique<SimProcess>(simArgs);
        return m_sim->ok() && m_link.FSUIPC_Open(0, m_dwResult);
    }

    ScratchRuntimeDir m_runtime{"e2e"};
    PosixIpcPlatform m_platform;
    clsFSUIPC m_link{m_platform};
    std::int32_t m_dwResult = -1;
    std::unique_ptr<SimProcess> m_sim;
};

TEST_F(PosixLink, OpensWithTheHandshakeAndLeavesNoSharedMemoryName)
{
    ASSERT_TRUE(startAndOpen()) << m_link.Get_Result(m_dwResult);
    EXPECT_EQ(m_link.Version_FSUIPC(), "1.998e");
    EXPECT_EQ(m_link.Version_FS(), "FS2002");
    EXPECT_FALSE(std::filesystem::exists("/dev/shm/" + m_link.mappingName()))
        << "the name is removed after the first exchange, so a crash leaves nothing";
    clsFSUIPC second(m_platform);
    ASSERT_TRUE(second.FSUIPC_Open(6, m_dwResult)) << "a second open beside the first finds 0xFADE still";
    EXPECT_NE(second.mappingName(), m_link.mappingName());
}

TEST_F(PosixLink, BatchesReadsAndWritesInOrder)
{
    ASSERT_TRUE(startAndOpen());
    const std::uint32_t written = 0xA1B2C3D4;
    std::uint32_t readBack = 0, fuelWeight = 0, later = 0;
    char text[8] = {};
    ASSERT_TRUE(m_link.FSUIPC_Write(kFreeOffset, 4, &written, m_dwResult) &&
                m_link.FSUIPC_Read(kFreeOffset, 4, &readBack, m_dwResult) &&
                m_link.FSUIPC_Read(0x0AF4, 4, &fuelWeight, m_dwResult) &&
                m_link.FSUIPC_WriteS(kFreeOffset + 8, 6, "GATE", m_dwResult) &&
                m_link.FSUIPC_Read(kFreeOffset + 8, 6, text, m_dwResult) && m_link.FSUIPC_Process(m_dwResult));
    EXPECT_EQ(readBack, written) << "a read after a write in one batch sees the write";
    EXPECT_EQ(fuelWeight, 1715u);
    EXPECT_STREQ(text, "GATE");
    ASSERT_TRUE(m_link.FSUIPC_Read(kFreeOffset, 4, &later, m_dwResult) && m_link.FSUIPC_Process(m_dwResult));
    EXPECT_EQ(later, written) << "writes stay in the module";
}

TEST_F(PosixLink, CarriesAFullBlockOfReadsAndTheLargestRead)
{
    ASSERT_TRUE(startAndOpen());
    std::vector<std::uint32_t> weights(4096, 0);
    std::size_t queued = 0;
    while (m_link.FSUIPC_Read(0x0AF4, 4, &weights[queued], m_dwResult))
        ++queued;
    EXPECT_EQ(queued, (0x7F00 - 4) / 20);
    ASSERT_TRUE(m_link.FSUIPC_Process(m_dwResult)) << m_link.Get_Result(m_dwResult);
    EXPECT_EQ(std::count(weights.begin(), weights.begin() + queued, 1715u), static_cast<long>(queued));

    std::vector<std::uint8_t> table(0x7F00 - 20, 0);
    ASSERT_TRUE(m_link.FSUIPC_Read(0, static_cast<std::int32_t>(table.size()), table.data(), m_dwResult) &&
                m_link.FSUIPC_Process(m_dwResult));
    EXPECT_EQ(table[0x3304] | table[0x3305] << 8 | table[0x3306] << 16 | table[0x3307] << 24, 0x19980005);
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
            failures += !(link.FSUIPC_Write(offset, 4, &value, dwResult) &&
                          link.FSUIPC_Read(offset, 4, &readBack, dwResult) && link.FSUIPC_Process(dwResult)) ||
                        readBack != value;
        }
    };
    std::thread first(client, kFreeOffset), second(client, kFreeOffset + 4);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
}

// quillon-sim's options reach every code the versions can give.
struct VersionCase {
    std::string name;
    std::vector<std::string> simArgs;
    std::int32_t dwFSReq, code;
    friend void PrintTo(const VersionCase& row, std::ostream* out) { *out << row.name; }
};
class PosixLinkVersions : public PosixLink, public testing::WithParamInterface<VersionCase> {};

TEST_P(PosixLinkVersions, GiveTheRightCode)
{
    SimProcess sim(GetParam().simArgs);
    ASSERT_TRUE(sim.ok());
    EXPECT_EQ(m_link.FSUIPC_Open(GetParam().dwFSReq, m_dwResult), GetParam().code == FSUIPC_OK);
    EXPECT_EQ(m_dwResult, GetParam().code) << m_link.Get_Result(m_dwResult);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PosixLinkVersions,
    testing::Values(VersionCase{"NewerSimulatorCodeOpens", {"--sim-version", "FADE000D"}, 0, FSUIPC_OK},
                    VersionCase{"WrongSimulator", {"--sim-version", "FADE0002"}, 6, FSUIPC_ERR_WRONGFS},
                    VersionCase{"ModuleTooOld", {"--module-version", "19980004"}, 0, FSUIPC_ERR_VERSION},
                    VersionCase{"NetworkedStandInWithoutSimulator",
                                {"--class", "FS98MAIN", "--module-version", "0", "--sim-version", "0"},
                                0,
                                FSUIPC_ERR_RUNNING}),
    [](const auto& info) { return info.param.name; });

// The module dies or stops answering while the client waits: a dead module
// costs the ten retries (about one second), a hung one a time-out each.
struct StopCase {
    std::string name;
    std::vector<std::string> simArgs; // each answers the open only
    bool killWhileWaiting;
    std::int32_t code;
    double seconds;
    friend void PrintTo(const StopCase& row, std::ostream* out) { *out << row.name; }
};
class PosixLinkModuleStops : public PosixLink, public testing::WithParamInterface<StopCase> {};

TEST_P(PosixLinkModuleStops, InTheMiddleOfABatch)
{
    ASSERT_TRUE(startAndOpen(GetParam().simArgs));
    std::uint16_t brake = 0;
    ASSERT_TRUE(m_link.FSUIPC_Read(0x0BC8, 2, &brake, m_dwResult));
    std::thread killer([this] {
        if (GetParam().killWhileWaiting) {
            std::this_thread::sleep_for(300ms);
            m_sim->signal(SIGKILL);
        }
    });
    const auto start = Clock::now();
    EXPECT_FALSE(m_link.FSUIPC_Process(m_dwResult));
    const double seconds = secondsSince(start) - (GetParam().killWhileWaiting ? 0.3 : 0.0);
    killer.join();
    EXPECT_EQ(m_dwResult, GetParam().code) << m_link.Get_Result(m_dwResult);
    EXPECT_NEAR(seconds, GetParam().seconds, 0.1 + GetParam().seconds / 10);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PosixLinkModuleStops,
    testing::Values(StopCase{"Killed", {"--hang-after", "1"}, true, FSUIPC_ERR_SENDMSG, 1.0},
                    StopCase{"ExitsOnTheRequest", {"--exit-after", "1"}, false, FSUIPC_ERR_SENDMSG, 1.0},
                    StopCase{"Hangs", {"--hang-after", "1"}, false, FSUIPC_ERR_TIMEOUT, 11 * 2.0 + 1.0}),
    [](const auto& info) { return info.param.name; });

TEST_F(PosixLink, StaleSocketOfACrashedModuleIsNoModule)
{
    sockaddr_un address;
    ::close(bindModuleSocket(address)); // the socket file stays, as after a crash
    const auto start = Clock::now();
    EXPECT_FALSE(m_link.FSUIPC_Open(0, m_dwResult));
    EXPECT_EQ(m_dwResult, FSUIPC_ERR_NOFS);
    EXPECT_LT(secondsSince(start), 0.5);
    EXPECT_TRUE(startAndOpen()) << "a new module replaces the stale file";
}

TEST_F(PosixLink, ModuleThatStoppedAcceptingIsNoModuleAndCostsNoHang)
{
    sockaddr_un address;
    const int listenFd = bindModuleSocket(address);
    ASSERT_EQ(::listen(listenFd, 0), 0);
    std::vector<int> pending; // fill the backlog of a module that never accepts
    for (int fd = -1; pending.size() < 8; pending.push_back(fd)) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            break;
        }
    }
    const auto start = Clock::now();
    EXPECT_FALSE(m_link.FSUIPC_Open(0, m_dwResult));
    EXPECT_EQ(m_dwResult, FSUIPC_ERR_NOFS);
    EXPECT_LT(secondsSince(start), PosixTransport::kConnectTimeoutMs / 1000.0 + 1.0);
    for (const int fd : pending)
        ::close(fd);
    ::close(listenFd);
}

TEST_F(PosixLink, SocketDirectoryOpenToOthersIsNotUsed)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    std::filesystem::permissions(m_runtime.socketDir(), std::filesystem::perms::all);
    EXPECT_FALSE(m_link.FSUIPC_Open(0, m_dwResult));
    EXPECT_EQ(m_dwResult, FSUIPC_ERR_NOFS) << "a socket anyone could have planted is not trusted";
}

// How a raw module stand-in answers every request after the open's handshake.
struct ReplyCase {
    std::string name;
    bool staleFirst;          // a reply with the previous sequence number comes first
    std::uint32_t replyValue; // after the read's data 0x55667788 is filled in
    std::uint32_t readSize;   // written over the read's size field; 0 leaves it
    bool hangUpHalfway;       // three bytes of a reply, then the module exits
    std::int32_t code;
    std::uint32_t value; // what the read received
    friend void PrintTo(const ReplyCase& row, std::ostream* out) { *out << row.name; }
};

void putField(std::uint8_t* block, std::size_t position, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        block[position + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void sendReply(int fd, std::uint32_t sequence, std::uint32_t value)
{
    const auto bytes = PosixTransport::encodeReply({sequence, value});
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void answer(int fd, std::uint32_t sequence, std::uint8_t* block, const ReplyCase& row)
{
    if (row.hangUpHalfway) {
        ::send(fd, "\1\0\0", 3, MSG_NOSIGNAL);
        ::_exit(0);
    }
    if (row.staleFirst)
        sendReply(fd, sequence - 1, 0);
    putField(block, 16, 0x55667788);
    if (row.readSize != 0)
        putField(block, 8, row.readSize);
    sendReply(fd, sequence, row.replyValue);
}

// Serves one connection in this (forked) process: the open's handshake from real variables, then row.
[[noreturn]] void serveRaw(int fd, const ReplyCase& row)
{
    SimVariables vars;
    vars.setU32(0x3304, 0x19980005);
    vars.setU32(0x3308, 0xFADE0006);
    std::uint8_t* block = nullptr;
    for (bool first = true;; first = false) {
        std::uint8_t bytes[20 + 255];
        PosixTransport::Request request;
        std::size_t used = 0;
        if (::recv(fd, bytes, 20, MSG_WAITALL) != 20 || ::recv(fd, bytes + 20, bytes[16], MSG_WAITALL) != bytes[16])
            ::_exit(0);
        PosixTransport::parseRequest(bytes, 20 + bytes[16], request, used);
        if (block == nullptr)
            block = static_cast<std::uint8_t*>(::mmap(nullptr, 0x8000, PROT_READ | PROT_WRITE, MAP_SHARED,
                                                      ::shm_open(("/" + request.name).c_str(), O_RDWR, 0), 0));
        if (first)
            sendReply(fd, request.sequence, static_cast<std::uint32_t>(processRequestBlock(vars, block, 0x8000)));
        else
            answer(fd, request.sequence, block, row);
    }
}

class PosixLinkReplies : public PosixLink, public testing::WithParamInterface<ReplyCase> {};

TEST_P(PosixLinkReplies, AreCheckedBeforeUse)
{
    sockaddr_un address;
    const int listenFd = bindModuleSocket(address);
    ASSERT_EQ(::listen(listenFd, 1), 0);
    const pid_t module = ::fork();
    if (module == 0)
        serveRaw(::accept(listenFd, nullptr, nullptr), GetParam());
    ::close(listenFd);

    ASSERT_TRUE(m_link.FSUIPC_Open(0, m_dwResult)) << m_link.Get_Result(m_dwResult);
    std::uint32_t value = 0;
    ASSERT_TRUE(m_link.FSUIPC_Read(kFreeOffset, 4, &value, m_dwResult));
    EXPECT_EQ(m_link.FSUIPC_Process(m_dwResult), GetParam().code == FSUIPC_OK);
    EXPECT_EQ(m_dwResult, GetParam().code) << m_link.Get_Result(m_dwResult);
    EXPECT_EQ(value, GetParam().value);
    ::kill(module, SIGKILL);
    ::waitpid(module, nullptr, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PosixLinkReplies,
    testing::Values(ReplyCase{"StaleReplyBeforeTheRealOne", true, 1, 0, false, FSUIPC_OK, 0x55667788},
                    ReplyCase{"ReplyValueZero", false, 0, 0, false, FSUIPC_ERR_DATA, 0},
                    ReplyCase{"ReadSizeGrown", false, 1, 0x7FFFFFFF, false, FSUIPC_ERR_DATA, 0},
                    ReplyCase{"HalfAReplyThenGone", false, 1, 0, true, FSUIPC_ERR_SENDMSG, 0}),
    [](const auto& info) { return info.param.name; });

} // namespace
