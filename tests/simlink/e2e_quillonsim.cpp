// quillon-sim and quillon-probe as a user or a test script meets them.
#include "clsfsuipc.h"
#include "posixipcplatform.h"
#include "posixsimprocess.h"
#include "posixtransport.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct QuillonSim : testing::Test {
    ScratchRuntimeDir m_runtime{"e2e"};
};

TEST_F(QuillonSim, StopsCleanlyOnInterruptOrTerminateRemovingItsSocket)
{
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        SimProcess sim;
        ASSERT_TRUE(sim.ok());
        ASSERT_TRUE(fs::exists(PosixTransport::socketPath("UIPCMAIN")));
        sim.signal(signalNumber);
        EXPECT_EQ(sim.waitExit(3s), 0) << signalNumber;
        EXPECT_FALSE(fs::exists(PosixTransport::socketPath("UIPCMAIN"))) << signalNumber;
    }
}

TEST_F(QuillonSim, LeavesTheClassToTheModuleAlreadyServingIt)
{
    SimProcess first;
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(ChildProcess("quillon-sim", {}).waitExit(3s), 1);
    EXPECT_EQ(ChildProcess("quillon-probe", {}).waitExit(5s), 0) << "the first module's socket is kept";
}

TEST_F(QuillonSim, RefusesABadCommandLineBeforeServing)
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
struct QuillonSimRequests : QuillonSim, testing::WithParamInterface<RequestCase> {};

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

// The probe prints the result's text alone without a module, and the module's variables with one.
TEST_F(QuillonSim, ProbePrintsTheResultAndTheVariables)
{
    PosixIpcPlatform platform;
    ChildProcess alone("quillon-probe", {});
    EXPECT_EQ(alone.readAll(5s), "Result: " + clsFSUIPC(platform).Get_Result(FSUIPC_ERR_NOFS) + "\n");
    EXPECT_EQ(alone.waitExit(5s), 1);

    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    ChildProcess probe("quillon-probe", {});
    const std::string output = probe.readAll(5s);
    EXPECT_EQ(probe.waitExit(5s), 0);
    for (const char* expected :
         {"Result: Okay\n", "Simulator: FS2002\n", "Version_FSUIPC: 1.998e\n", "Version_FS: FS2002\n", "UTC: 1400Z\n",
          "Parking brake: 32767\n", "On ground: 1\n", "Slew: 0\n", "Fuel weight: 1715 (6.699 lbs/gal)\n",
          "Tank 0x0B7C: level 8388608 capacity 1500\n", "Tank 0x125C: level 0 capacity 0\n"})
        EXPECT_NE(output.find(expected), std::string::npos) << expected << "\nin:\n" << output;
}

} // namespace
