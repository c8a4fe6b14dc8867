// The client over the real POSIX link against quillon-sim in its own process,
// and quillon-sim and quillon-probe as a user or a test script meets them.
#include "clsfsuipc.h"
#include "posixipcplatform.h"
#include "posixsimprocess.h"
#include "posixtransport.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr std::int32_t kFreeOffset = 0x4000; // no meaning to the simulator; free for tests

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

TEST_F(PosixLink, CarriesAFullBlockOfReadsEachIntoItsDestination)
{
    ASSERT_TRUE(startAndOpen()) << link.Get_Result(rc);
    EXPECT_FALSE(fs::exists("/dev/shm/" + link.mappingName()))
        << "the name is removed after the first exchange, so a crash leaves nothing";
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

// The probe prints the result's text alone without a module. A crashed
// module's socket is replaced; a second module leaves the class to the first,
// whose variables the probe prints, and which stops cleanly on either signal.
TEST_F(PosixLink, ServesItsClassAloneToTheProbeAndStopsCleanlyOnInterruptOrTerminate)
{
    ChildProcess alone("quillon-probe", {});
    EXPECT_EQ(alone.readAll(5s), "Result: " + link.Get_Result(FSUIPC_ERR_NOFS) + "\n");
    EXPECT_EQ(alone.waitExit(5s), 1);
    {
        const SimProcess crashed; // killed at the end of the block, its socket left behind
        ASSERT_TRUE(crashed.ok());
    }
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        SimProcess sim;
        ASSERT_TRUE(sim.ok());
        EXPECT_EQ(ChildProcess("quillon-sim", {}).waitExit(3s), 1);
        ChildProcess probe("quillon-probe", {});
        const std::string output = probe.readAll(5s);
        EXPECT_EQ(probe.waitExit(5s), 0);
        for (const char* expected :
             {"Result: Okay\n", "Simulator: FS2002\n", "Version_FSUIPC: 1.998e\n", "Version_FS: FS2002\n",
              "UTC: 1400Z\n", "Parking brake: 32767\n", "On ground: 1\n", "Slew: 0\n",
              "Fuel weight: 1715 (6.699 lbs/gal)\n", "Tank 0x0B7C: level 8388608 capacity 1500\n",
              "Tank 0x125C: level 0 capacity 0\n"})
            EXPECT_NE(output.find(expected), std::string::npos) << expected << "\nin:\n" << output;
        sim.signal(signalNumber);
        EXPECT_EQ(sim.waitExit(3s), 0) << signalNumber;
        EXPECT_FALSE(fs::exists(PosixTransport::socketPath("UIPCMAIN"))) << signalNumber;
    }
}

TEST_F(PosixLink, RefusesABadCommandLineBeforeServing)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--fast"},
                                               {"--speed"},
                                               {"--speed", "121"}, // too fast for two polls per state
                                               {"--module-version", "1.998e"},
                                               {"--scenario", "/nonexistent/flight.txt"}}) {
        EXPECT_EQ(ChildProcess("quillon-sim", args).waitExit(3s), 2) << args[0];
        EXPECT_FALSE(fs::exists(m_runtime.socketDir() / "UIPCMAIN"));
    }
}

// What no client would send, on a raw connection.
struct RequestCase {
    std::string name;
    std::uint32_t message;
    std::size_t blockBytes; // of a block of ours, all zeros (an empty batch); 0: a name nobody mapped
    std::size_t nameBytes;  // sent name length (300: past the limit)
    bool closesConnection;
    friend void PrintTo(const RequestCase& row, std::ostream* out) { *out << row.name; }
};
class QuillonSimRequests : public PosixLink, public testing::WithParamInterface<RequestCase> {};

TEST_P(QuillonSimRequests, MalformedAreAnsweredWithZeroAndServingGoesOn)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    const RequestCase& row = GetParam();
    const std::string block = "quillon-test-block-" + std::to_string(::getpid());
    if (row.blockBytes > 0) {
        const int shm = ::shm_open(("/" + block).c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
        ASSERT_EQ(::ftruncate(shm, static_cast<off_t>(row.blockBytes)), 0);
        ::close(shm);
    }
    std::vector<std::uint8_t> bytes = PosixTransport::encodeRequest({row.message, 0xC000, 0, 9, block});
    if (row.nameBytes > 255) {
        bytes[16] = static_cast<std::uint8_t>(row.nameBytes);
        bytes[17] = static_cast<std::uint8_t>(row.nameBytes >> 8);
        bytes.resize(20 + row.nameBytes, 'x');
    }
    const int fd = PosixTransport::connectUnixSocket(PosixTransport::socketPath("UIPCMAIN"));
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    std::uint8_t reply[8], more = 0;
    pollfd waiting{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 2000), 1);
    ASSERT_EQ(::recv(fd, reply, 8, MSG_WAITALL), 8);
    EXPECT_EQ(PosixTransport::decodeReply(reply).sequence, 9u);
    EXPECT_EQ(PosixTransport::decodeReply(reply).value, 0u);
    EXPECT_EQ(::poll(&waiting, 1, 200) == 1 && ::recv(fd, &more, 1, 0) == 0, row.closesConnection);
    ::close(fd);
    ::shm_unlink(("/" + block).c_str());
    EXPECT_EQ(ChildProcess("quillon-probe", {}).waitExit(5s), 0) << "the module still serves";
}

INSTANTIATE_TEST_SUITE_P(Rows, QuillonSimRequests,
                         testing::Values(RequestCase{"OtherMessageId", 0xC368, 0x8000, 0, false},
                                         RequestCase{"NoSuchMapping", 0xC367, 0, 0, false},
                                         RequestCase{"MappingShorterThanTheBlock", 0xC367, 4096, 0, false},
                                         RequestCase{"NameLongerThan255Bytes", 0xC367, 0, 300, true}),
                         [](const auto& info) { return info.param.name; });

} // namespace
