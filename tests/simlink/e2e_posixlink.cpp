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

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class PosixLink : public testing::Test {
protected:
    PosixLink() : m_runtime("e2e") {}

    ScratchRuntimeDir m_runtime;
    PosixIpcPlatform m_platform;
};

TEST_F(PosixLink, OpensWithTheHandshakeAndLeavesNoSharedMemoryName)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    ASSERT_TRUE(link.FSUIPC_Open(0, dwResult)) << link.Get_Result(dwResult);
    EXPECT_EQ(dwResult, FSUIPC_OK);
    EXPECT_EQ(link.Version_FSUIPC(), "1.998e");
    EXPECT_EQ(link.Version_FS(), "FS2002");
    EXPECT_FALSE(std::filesystem::exists("/dev/shm/" + link.mappingName()))
        << "the name is removed after the first exchange, so a crash leaves nothing";

    // A second open in the same process maps a new name and works beside the first.
    clsFSUIPC second(m_platform);
    ASSERT_TRUE(second.FSUIPC_Open(6, dwResult)) << second.Get_Result(dwResult);
    EXPECT_NE(second.mappingName(), link.mappingName());
}

TEST_F(PosixLink, BatchesReadsAndWritesInOrder)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    ASSERT_TRUE(link.FSUIPC_Open(0, dwResult));

    const std::uint32_t written = 0xA1B2C3D4;
    std::uint32_t readBack = 0, fuelWeight = 0;
    std::uint16_t brake = 0;
    char text[8] = {};
    ASSERT_TRUE(link.FSUIPC_Write(kFreeOffset, 4, &written, dwResult));
    ASSERT_TRUE(link.FSUIPC_Read(kFreeOffset, 4, &readBack, dwResult));
    ASSERT_TRUE(link.FSUIPC_Read(0x0AF4, 4, &fuelWeight, dwResult));
    ASSERT_TRUE(link.FSUIPC_Read(0x0BC8, 2, &brake, dwResult));
    ASSERT_TRUE(link.FSUIPC_WriteS(kFreeOffset + 8, 6, "GATE", dwResult));
    ASSERT_TRUE(link.FSUIPC_Read(kFreeOffset + 8, 6, text, dwResult));
    ASSERT_TRUE(link.FSUIPC_Process(dwResult)) << link.Get_Result(dwResult);

    EXPECT_EQ(readBack, written) << "a read after a write in one batch sees the write";
    EXPECT_EQ(fuelWeight, 1715u);
    EXPECT_NE(brake, 0) << "the demo starts at the gate with the brake set";
    EXPECT_STREQ(text, "GATE");

    std::uint32_t later = 0;
    ASSERT_TRUE(link.FSUIPC_Read(kFreeOffset, 4, &later, dwResult));
    ASSERT_TRUE(link.FSUIPC_Process(dwResult));
    EXPECT_EQ(later, written) << "writes stay in the module";
}

TEST_F(PosixLink, CarriesAFullBlock)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    ASSERT_TRUE(link.FSUIPC_Open(0, dwResult));

    std::vector<std::uint32_t> weights(4096, 0);
    std::size_t queued = 0;
    while (link.FSUIPC_Read(0x0AF4, 4, &weights[queued], dwResult))
        ++queued;
    EXPECT_EQ(dwResult, FSUIPC_ERR_SIZE);
    EXPECT_EQ(queued, (0x7F00 - 4) / 20);
    ASSERT_TRUE(link.FSUIPC_Process(dwResult)) << link.Get_Result(dwResult);
    EXPECT_EQ(std::count(weights.begin(), weights.begin() + queued, 1715u), static_cast<long>(queued));

    // One read as large as the block allows returns the module's table as it is.
    std::vector<std::uint8_t> table(0x7F00 - 20, 0);
    ASSERT_TRUE(link.FSUIPC_Read(0, static_cast<std::int32_t>(table.size()), table.data(), dwResult));
    ASSERT_TRUE(link.FSUIPC_Process(dwResult)) << link.Get_Result(dwResult);
    EXPECT_EQ(table[0x3304] | table[0x3305] << 8 | table[0x3306] << 16 | table[0x3307] << 24, 0x19980005);
}

// Each client writes and reads back its own variable many times while the other does the same.
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

void PrintTo(const VersionCase& row, std::ostream* out) { *out << row.name; }

class PosixLinkVersions : public PosixLink, public testing::WithParamInterface<VersionCase> {};

TEST_P(PosixLinkVersions, GiveTheRightCode)
{
    SimProcess sim(GetParam().simArgs);
    ASSERT_TRUE(sim.ok());
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    EXPECT_EQ(link.FSUIPC_Open(GetParam().dwFSReq, dwResult), GetParam().code == FSUIPC_OK);
    EXPECT_EQ(dwResult, GetParam().code) << link.Get_Result(dwResult);
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

// The module dies while the client waits for its answer: the client gives up
// after its retries (about one second), not after a time-out each.
TEST_F(PosixLink, ModuleKilledInTheMiddleOfABatch)
{
    SimProcess sim({"--hang-after", "1"}); // answers the open, then swallows the batch
    ASSERT_TRUE(sim.ok());
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    ASSERT_TRUE(link.FSUIPC_Open(0, dwResult));
    std::uint16_t brake = 0;
    ASSERT_TRUE(link.FSUIPC_Read(0x0BC8, 2, &brake, dwResult));
    std::thread killer([&sim] {
        std::this_thread::sleep_for(300ms);
        sim.signal(SIGKILL);
    });
    const auto start = Clock::now();
    EXPECT_FALSE(link.FSUIPC_Process(dwResult));
    const double seconds = secondsSince(start);
    killer.join();
    EXPECT_EQ(dwResult, FSUIPC_ERR_SENDMSG) << link.Get_Result(dwResult);
    EXPECT_LT(seconds, 0.3 + 1.0 + 0.7);
    EXPECT_GT(seconds, 0.3 + 0.9) << "ten retries 100 ms apart";
}

TEST_F(PosixLink, ModuleExitingOnARequestIsASendFailure)
{
    SimProcess sim({"--exit-after", "1"});
    ASSERT_TRUE(sim.ok());
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    ASSERT_TRUE(link.FSUIPC_Open(0, dwResult));
    std::uint16_t brake = 0;
    ASSERT_TRUE(link.FSUIPC_Read(0x0BC8, 2, &brake, dwResult));
    const auto start = Clock::now();
    EXPECT_FALSE(link.FSUIPC_Process(dwResult));
    EXPECT_EQ(dwResult, FSUIPC_ERR_SENDMSG);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(sim.waitExit(5s), 3);
}

TEST_F(PosixLink, HungModuleTimesOutEveryAttempt)
{
    SimProcess sim({"--hang-after", "1"});
    ASSERT_TRUE(sim.ok());
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    ASSERT_TRUE(link.FSUIPC_Open(0, dwResult));
    std::uint16_t brake = 0;
    ASSERT_TRUE(link.FSUIPC_Read(0x0BC8, 2, &brake, dwResult));
    const auto start = Clock::now();
    EXPECT_FALSE(link.FSUIPC_Process(dwResult));
    EXPECT_EQ(dwResult, FSUIPC_ERR_TIMEOUT);
    EXPECT_NEAR(secondsSince(start), 11 * 2.0 + 1.0, 1.5);
}

TEST_F(PosixLink, StaleSocketOfACrashedModuleIsNoModule)
{
    std::string error;
    ASSERT_TRUE(PosixTransport::prepareSocketDirectory(error)) << error;
    const std::string path = PosixTransport::socketPath("UIPCMAIN");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd); // the socket file stays, as after a crash

    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    const auto start = Clock::now();
    EXPECT_FALSE(link.FSUIPC_Open(0, dwResult));
    EXPECT_EQ(dwResult, FSUIPC_ERR_NOFS);
    EXPECT_LT(secondsSince(start), 0.5);

    SimProcess sim; // a new module replaces the stale file
    ASSERT_TRUE(sim.ok());
    EXPECT_TRUE(link.FSUIPC_Open(0, dwResult)) << link.Get_Result(dwResult);
}

TEST_F(PosixLink, SocketDirectoryOpenToOthersIsNotUsed)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    std::filesystem::permissions(m_runtime.socketDir(), std::filesystem::perms::owner_all |
                                                            std::filesystem::perms::group_all |
                                                            std::filesystem::perms::others_all);
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    EXPECT_FALSE(link.FSUIPC_Open(0, dwResult));
    EXPECT_EQ(dwResult, FSUIPC_ERR_NOFS) << "a socket anyone could have planted is not trusted";
}

// A module stand-in in a forked process: answers the first request (the
// open's handshake) from real variables and every later one with `reply`.
class RawModule {
public:
    using Reply = std::function<void(int fd, const PosixTransport::Request& request, std::uint8_t* block)>;

    explicit RawModule(Reply reply)
    {
        std::string error;
        const std::string path = PosixTransport::socketPath("UIPCMAIN");
        const int listenFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        if (!PosixTransport::prepareSocketDirectory(error) ||
            ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listenFd, 1) != 0)
            throw std::runtime_error("cannot listen on " + path);
        m_pid = ::fork();
        if (m_pid == 0)
            serve(listenFd, reply);
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
    [[noreturn]] static void serve(int listenFd, const Reply& reply)
    {
        SimVariables vars;
        vars.setU32(0x3304, 0x19980005);
        vars.setU32(0x3308, 0xFADE0006);
        vars.setU32(kFreeOffset, 0x11223344);
        const int fd = ::accept(listenFd, nullptr, nullptr);
        std::uint8_t* block = nullptr;
        for (bool first = true;; first = false) {
            std::uint8_t header[PosixTransport::kRequestHeaderBytes + PosixTransport::kMaxNameBytes];
            if (::recv(fd, header, PosixTransport::kRequestHeaderBytes, MSG_WAITALL) != 20)
                ::_exit(0);
            const std::uint32_t nameBytes = header[16];
            ::recv(fd, header + 20, nameBytes, MSG_WAITALL);
            PosixTransport::Request request;
            std::size_t consumed = 0;
            PosixTransport::parseRequest(header, 20 + nameBytes, request, consumed);
            if (block == nullptr) {
                const int shm = ::shm_open(("/" + request.name).c_str(), O_RDWR, 0);
                block = static_cast<std::uint8_t*>(
                    ::mmap(nullptr, 0x8000, PROT_READ | PROT_WRITE, MAP_SHARED, shm, 0));
            }
            if (first)
                sendReply(fd, request.sequence, static_cast<std::uint32_t>(processRequestBlock(vars, block, 0x8000)));
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

void PrintTo(const ReplyCase& row, std::ostream* out) { *out << row.name; }

class PosixLinkReplies : public PosixLink, public testing::WithParamInterface<ReplyCase> {};

TEST_P(PosixLinkReplies, AreCheckedBeforeUse)
{
    RawModule module(GetParam().reply);
    clsFSUIPC link(m_platform);
    std::int32_t dwResult = -1;
    ASSERT_TRUE(link.FSUIPC_Open(0, dwResult)) << link.Get_Result(dwResult);
    std::uint32_t value = 0;
    ASSERT_TRUE(link.FSUIPC_Read(kFreeOffset, 4, &value, dwResult));
    EXPECT_EQ(link.FSUIPC_Process(dwResult), GetParam().processed);
    EXPECT_EQ(dwResult, GetParam().code) << link.Get_Result(dwResult);
    EXPECT_EQ(value, GetParam().value);
}

void putField(std::uint8_t* block, std::size_t position, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        block[position + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void fillRead(std::uint8_t* block) { putField(block, 16, 0x55667788); }

INSTANTIATE_TEST_SUITE_P(
    Rows, PosixLinkReplies,
    testing::Values(
        ReplyCase{"Good",
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
                  [](int fd, const PosixTransport::Request& r, std::uint8_t*) { RawModule::sendReply(fd, r.sequence, 0); },
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
