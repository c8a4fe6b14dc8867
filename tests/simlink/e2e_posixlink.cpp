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
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
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

class PosixLink : public testing::Test {
protected:
    PosixLink() : m_runtime("e2e") {}

    // Starts quillon-sim with the arguments and opens m_link to it.
    bool startAndOpen(const std::vector<std::string>& simArgs = {})
    {
        m_sim = std::make_unique<SimProcess>(simArgs);
        return m_sim->ok() && m_link.FSUIPC_Open(0, m_dwResult);
    }

    ScratchRuntimeDir m_runtime;
    PosixIpcPlatform m_platform;
    clsFSUIPC m_link{m_platform};
    std::int32_t m_dwResult = -1;
    std::unique_ptr<SimProcess> m_sim;
};

TEST_F(PosixLink, OpensWithTheHandshakeAndLeavesNoSharedMemoryName)
{
    ASSERT_TRUE(startAndOpen()) << m_link.Get_Result(m_dwResult);
    EXPECT_EQ(m_dwResult, FSUIPC_OK);
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
                m_link.FSUIPC_Read(kFreeOffset + 8, 6, text, m_dwResult) &&
                m_link.FSUIPC_Process(m_dwResult));
    EXPECT_EQ(readBack, written) << "a read after a write in one batch sees the write";
    EXPECT_EQ(fuelWeight, 1715u);
    EXPECT_STREQ(text, "GATE");

    ASSERT_TRUE(m_link.FSUIPC_Read(kFreeOffset, 4, &later, m_dwResult) && m_link.FSUIPC_Process(m_dwResult));
    EXPECT_EQ(later, written) << "writes stay in the module";
}

TEST_F(PosixLink, CarriesAFullBlock)
{
    ASSERT_TRUE(startAndOpen());
    std::vector<std::uint32_t> weights(4096, 0);
    std::size_t queued = 0;
    while (m_link.FSUIPC_Read(0x0AF4, 4, &weights[queued], m_dwResult))
        ++queued;
    EXPECT_EQ(queued, (0x7F00 - 4) / 20);
    ASSERT_TRUE(m_link.FSUIPC_Process(m_dwResult)) << m_link.Get_Result(m_dwResult);
    EXPECT_EQ(std::count(weights.begin(), weights.begin() + queued, 1715u), static_cast<long>(queued));

    // One read as large as the block allows returns the module's table as it is.
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
        if (!link.FSUIPC_Open(0, dwResult)) {
            ++failures;
            return;
        }
        for (std::uint32_t i = 0; i < 300; ++i) {
            std::uint32_t value = i * 7 + static_cast<std::uint32_t>(offset), readBack = 0;
            const bool ok = link.FSUIPC_Write(offset, 4, &value, dwResult) &&
                            link.FSUIPC_Read(offset, 4, &readBack, dwResult) && link.FSUIPC_Process(dwResult);
            failures += !ok || readBack != value;
        }
    };
    std::thread first(client, kFreeOffset);
    std::thread second(client, kFreeOffset + 4);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
}

struct VersionCase {
    std::string name;
    std::vector<std::string> simArgs;
    std::int32_t dwFSReq;
    std::int32_t code;
};

void PrintTo(const VersionCase& row, std::ostream* out)
{
    *out << row.name;
}

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
    testing::Values(VersionCase{"SimulatorAsRequested", {}, 6, FSUIPC_OK},
                    VersionCase{"NewerSimulatorCodeOpens", {"--sim-version", "FADE000D"}, 0, FSUIPC_OK},
                    VersionCase{"WrongSimulator", {"--sim-version", "FADE0002"}, 6, FSUIPC_ERR_WRONGFS},
                    VersionCase{"ModuleTooOld", {"--module-version", "19980004"}, 0, FSUIPC_ERR_VERSION},
                    VersionCase{"NoCheckPattern", {"--sim-version", "00000006"}, 0, FSUIPC_ERR_VERSION},
                    VersionCase{"NetworkedStandInWithoutSimulator",
                                {"--class", "FS98MAIN", "--module-version", "0", "--sim-version", "0"},
                                0,
                                FSUIPC_ERR_RUNNING}),
    [](const testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

// The module dies or stops answering while the client waits: a dead module
// costs the ten retries (about one second), a hung one a time-out each.
struct StopCase {
    std::string name;
    std::vector<std::string> simArgs; // each answers the open only
    bool killWhileWaiting;
    std::int32_t code;
    double seconds;
};

void PrintTo(const StopCase& row, std::ostream* out)
{
    *out << row.name;
}

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
    [](const testing::TestParamInfo<StopCase>& info) { return info.param.name; });

TEST_F(PosixLink, StaleSocketOfACrashedModuleIsNoModule)
{
    std::string error;
    ASSERT_TRUE(PosixTransport::prepareSocketDirectory(error)) << error;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, PosixTransport::socketPath("UIPCMAIN").c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd); // the socket file stays, as after a crash

    const auto start = Clock::now();
    EXPECT_FALSE(m_link.FSUIPC_Open(0, m_dwResult));
    EXPECT_EQ(m_dwResult, FSUIPC_ERR_NOFS);
    EXPECT_LT(secondsSince(start), 0.5);
    EXPECT_TRUE(startAndOpen()) << "a new module replaces the stale file";
}

TEST_F(PosixLink, ModuleThatStoppedAcceptingIsNoModuleAndCostsNoHang)
{
    std::string error;
    ASSERT_TRUE(PosixTransport::prepareSocketDirectory(error)) << error;
    const int listenFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, PosixTransport::socketPath("UIPCMAIN").c_str());
    ASSERT_EQ(::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
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

// A module stand-in in a forked process: answers the first request (the
// open's handshake) from real variables and every later one with `reply`.
class RawModule {
public:
    using Reply = std::function<void(int fd, const PosixTransport::Request& request, std::uint8_t* block)>;

    explicit RawModule(const Reply& reply)
    {
        std::string error;
        const int listenFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::strcpy(address.sun_path, PosixTransport::socketPath("UIPCMAIN").c_str());
        if (!PosixTransport::prepareSocketDirectory(error) ||
            ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listenFd, 1) != 0)
            throw std::runtime_error("cannot listen: " + error);
        m_pid = ::fork();
        if (m_pid == 0)
            serve(::accept(listenFd, nullptr, nullptr), reply);
        ::close(listenFd);
    }
    ~RawModule()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }

    static void sendReply(int fd, std::uint32_t sequence, std::uint32_t value)
    {
        const auto bytes = PosixTransport::encodeReply({sequence, value});
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

private:
    [[noreturn]] static void serve(int fd, const Reply& reply)
    {
        SimVariables vars;
        vars.setU32(0x3304, 0x19980005);
        vars.setU32(0x3308, 0xFADE0006);
        std::uint8_t* block = nullptr;
        for (bool first = true;; first = false) {
            std::uint8_t bytes[20 + 255];
            PosixTransport::Request request;
            std::size_t used = 0;
            if (::recv(fd, bytes, 20, MSG_WAITALL) != 20 ||
                ::recv(fd, bytes + 20, bytes[16], MSG_WAITALL) != bytes[16])
                ::_exit(0);
            PosixTransport::parseRequest(bytes, 20 + bytes[16], request, used);
            if (block == nullptr)
                block = static_cast<std::uint8_t*>(::mmap(nullptr, 0x8000, PROT_READ | PROT_WRITE, MAP_SHARED,
                                                          ::shm_open(("/" + request.name).c_str(), O_RDWR, 0),
                                                          0));
            if (first)
                sendReply(fd, request.sequence,
                          static_cast<std::uint32_t>(processRequestBlock(vars, block, 0x8000)));
            else
                reply(fd, request, block);
        }
    }

    pid_t m_pid = -1;
};

struct ReplyCase {
    std::string name;
    RawModule::Reply reply;
    bool processed;
    std::int32_t code;
    std::uint32_t value; // what the read at kFreeOffset received
};

void PrintTo(const ReplyCase& row, std::ostream* out)
{
    *out << row.name;
}

class PosixLinkReplies : public PosixLink, public testing::WithParamInterface<ReplyCase> {};

TEST_P(PosixLinkReplies, AreCheckedBeforeUse)
{
    RawModule module(GetParam().reply);
    ASSERT_TRUE(m_link.FSUIPC_Open(0, m_dwResult)) << m_link.Get_Result(m_dwResult);
    std::uint32_t value = 0;
    ASSERT_TRUE(m_link.FSUIPC_Read(kFreeOffset, 4, &value, m_dwResult));
    EXPECT_EQ(m_link.FSUIPC_Process(m_dwResult), GetParam().processed);
    EXPECT_EQ(m_dwResult, GetParam().code) << m_link.Get_Result(m_dwResult);
    EXPECT_EQ(value, GetParam().value);
}

void putField(std::uint8_t* block, std::size_t position, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        block[position + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void fillRead(std::uint8_t* block)
{
    putField(block, 16, 0x55667788);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PosixLinkReplies,
    testing::Values(ReplyCase{"Good",
                              [](int fd, const PosixTransport::Request& r, std::uint8_t* b) {
                                  fillRead(b);
                                  RawModule::sendReply(fd, r.sequence, 1);
                              },
                              true, FSUIPC_OK, 0x55667788},
                    ReplyCase{"StaleReplyBeforeTheRealOne",
                              [](int fd, const PosixTransport::Request& r, std::uint8_t* b) {
                                  RawModule::sendReply(fd, r.sequence - 1, 0);
                                  fillRead(b);
                                  RawModule::sendReply(fd, r.sequence, 1);
                              },
                              true, FSUIPC_OK, 0x55667788},
                    ReplyCase{"ReplyValueZero",
                              [](int fd, const PosixTransport::Request& r, std::uint8_t*) {
                                  RawModule::sendReply(fd, r.sequence, 0);
                              },
                              false, FSUIPC_ERR_DATA, 0},
                    ReplyCase{"UnknownRecordId",
                              [](int fd, const PosixTransport::Request& r, std::uint8_t* b) {
                                  putField(b, 0, 7);
                                  RawModule::sendReply(fd, r.sequence, 1);
                              },
                              false, FSUIPC_ERR_DATA, 0},
                    ReplyCase{"ReadSizeGrown",
                              [](int fd, const PosixTransport::Request& r, std::uint8_t* b) {
                                  putField(b, 8, 0x7FFFFFFF);
                                  RawModule::sendReply(fd, r.sequence, 1);
                              },
                              false, FSUIPC_ERR_DATA, 0},
                    ReplyCase{"HalfAReplyThenGone",
                              [](int fd, const PosixTransport::Request&, std::uint8_t*) {
                                  ::send(fd, "\1\0\0", 3, MSG_NOSIGNAL);
                                  ::_exit(0);
                              },
                              false, FSUIPC_ERR_SENDMSG, 0}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return info.param.name; });

} // namespace
