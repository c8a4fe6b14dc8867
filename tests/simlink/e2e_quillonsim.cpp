// quillon-sim and quillon-probe as a user or a test script meets them.
#include "clsfsuipc.h"
#include "posixipcplatform.h"
#include "posixsimprocess.h"
#include "posixtransport.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class QuillonSim : public testing::Test {
protected:
    QuillonSim() : m_runtime("e2e") {}

    std::string writeScenario(const std::string& text) const
    {
        const fs::path path = m_runtime.path() / "flight.txt";
        std::ofstream(path) << text;
        return path.string();
    }

    ScratchRuntimeDir m_runtime;
};

TEST_F(QuillonSim, FliesAScenarioFileOnWholeMinutes)
{
    SimProcess sim({"--scenario",
                    writeScenario("start 1200\nfuel-weight 6\ntank center 100\n"
                                  "at 0 gate brake=set ground=yes fuel=100\n"
                                  "at 1 out brake=off ground=yes\n"
                                  "at 2 off brake=off ground=no fuel=50\n"),
                    "--speed", "60"});
    ASSERT_TRUE(sim.ok());
    EXPECT_EQ(sim.readyLine(), "ready class=UIPCMAIN socket=" + PosixTransport::socketPath("UIPCMAIN"));
    std::string line;
    ASSERT_TRUE(sim.readLine(line, 1s));
    EXPECT_EQ(line, "state 1200 gate brake=1 ground=1 slew=0 fuel=600");
    const auto gate = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.readLine(line, 2s));
    const double outSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - gate).count();
    EXPECT_EQ(line, "state 1201 out brake=0 ground=1 slew=0 fuel=600");
    EXPECT_NEAR(outSeconds, 1.0, 0.2) << "one simulator minute is one second at speed 60";

    // What a tracker polling now reads is what was printed.
    PosixIpcPlatform platform;
    clsFSUIPC link(platform);
    std::int32_t dwResult = 0;
    std::uint8_t clock[3] = {};
    std::uint16_t brake = 1, onGround = 0;
    ASSERT_TRUE(link.FSUIPC_Open(0, dwResult)) << link.Get_Result(dwResult);
    ASSERT_TRUE(link.FSUIPC_Read(0x023B, 3, clock, dwResult) &&
                link.FSUIPC_Read(0x0BC8, 2, &brake, dwResult) &&
                link.FSUIPC_Read(0x0366, 2, &onGround, dwResult) && link.FSUIPC_Process(dwResult));
    EXPECT_EQ(clock[0], 12);
    EXPECT_EQ(clock[1], 1);
    EXPECT_EQ(brake, 0);
    EXPECT_NE(onGround, 0);

    ASSERT_TRUE(sim.readLine(line, 2s));
    EXPECT_EQ(line, "state 1202 off brake=0 ground=0 slew=0 fuel=300");
    ASSERT_TRUE(sim.readLine(line, 1s));
    EXPECT_EQ(line, "end 1202");
}

struct StopCase {
    std::string name;
    int signalNumber;
};

void PrintTo(const StopCase& row, std::ostream* out)
{
    *out << row.name;
}

class QuillonSimStops : public QuillonSim, public testing::WithParamInterface<StopCase> {};

TEST_P(QuillonSimStops, CleanlyRemovingItsSocket)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    ASSERT_TRUE(fs::exists(PosixTransport::socketPath("UIPCMAIN")));
    sim.signal(GetParam().signalNumber);
    EXPECT_EQ(sim.waitExit(3s), 0);
    EXPECT_FALSE(fs::exists(PosixTransport::socketPath("UIPCMAIN")));
}

INSTANTIATE_TEST_SUITE_P(Signals, QuillonSimStops,
                         testing::Values(StopCase{"Interrupt", SIGINT}, StopCase{"Terminate", SIGTERM}),
                         [](const testing::TestParamInfo<StopCase>& info) { return info.param.name; });

TEST_F(QuillonSim, LeavesTheClassToTheModuleAlreadyServingIt)
{
    SimProcess first;
    ASSERT_TRUE(first.ok());
    ChildProcess second("quillon-sim", {});
    EXPECT_EQ(second.waitExit(3s), 1);
    EXPECT_TRUE(fs::exists(PosixTransport::socketPath("UIPCMAIN"))) << "the first module's socket is kept";
    ChildProcess probe("quillon-probe", {});
    EXPECT_EQ(probe.waitExit(5s), 0);
}

struct UsageCase {
    std::string name;
    std::vector<std::string> args;
};

void PrintTo(const UsageCase& row, std::ostream* out)
{
    *out << row.name;
}

class QuillonSimUsage : public QuillonSim, public testing::WithParamInterface<UsageCase> {};

TEST_P(QuillonSimUsage, IsRefusedBeforeServing)
{
    ChildProcess sim("quillon-sim", GetParam().args);
    EXPECT_EQ(sim.waitExit(3s), 2);
    EXPECT_FALSE(fs::exists(m_runtime.socketDir() / "UIPCMAIN"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QuillonSimUsage,
    testing::Values(UsageCase{"UnknownOption", {"--fast"}}, UsageCase{"MissingValue", {"--speed"}},
                    UsageCase{"SpeedTooHighForTwoPolls", {"--speed", "121"}},
                    UsageCase{"VersionNotHex", {"--module-version", "1.998e"}},
                    UsageCase{"ScenarioMissing", {"--scenario", "/nonexistent/flight.txt"}}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

// A raw connection to the module, to send what no client would.
class RawConnection {
public:
    RawConnection() : m_fd(PosixTransport::connectUnixSocket(PosixTransport::socketPath("UIPCMAIN"))) {}
    ~RawConnection() { ::close(m_fd); }

    void send(const std::vector<std::uint8_t>& bytes) const
    {
        ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // The reply value, or -1 when none came; closed is set when the module hung up.
    long long reply(std::uint32_t sequence, bool& closed) const
    {
        std::uint8_t bytes[8];
        pollfd waiting{m_fd, POLLIN, 0};
        closed = false;
        if (::poll(&waiting, 1, 2000) != 1 || ::recv(m_fd, bytes, 8, MSG_WAITALL) != 8)
            return -1;
        const auto decoded = PosixTransport::decodeReply(bytes);
        std::uint8_t more;
        closed = ::poll(&waiting, 1, 200) == 1 && ::recv(m_fd, &more, 1, 0) == 0;
        return decoded.sequence == sequence ? decoded.value : -1;
    }

private:
    int m_fd;
};

// A block of our own under a name the module can map.
class OwnBlock {
public:
    explicit OwnBlock(std::size_t sizeBytes) : m_name("quillon-test-block-" + std::to_string(::getpid()))
    {
        const int fd = ::shm_open(("/" + m_name).c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
        if (::ftruncate(fd, static_cast<off_t>(sizeBytes)) != 0)
            throw std::runtime_error("ftruncate");
        ::close(fd);
    }
    ~OwnBlock() { ::shm_unlink(("/" + m_name).c_str()); }
    const std::string& name() const { return m_name; }

private:
    std::string m_name;
};

struct RequestCase {
    std::string name;
    std::uint32_t message;
    std::string mappingName; // the name sent; "*" = a block of ours only 4096 bytes long
    std::size_t nameBytes;   // sent name length (300: past the limit)
    bool closesConnection;
};

void PrintTo(const RequestCase& row, std::ostream* out)
{
    *out << row.name;
}

class QuillonSimRequests : public QuillonSim, public testing::WithParamInterface<RequestCase> {};

TEST_P(QuillonSimRequests, MalformedAreAnsweredWithZeroAndServingGoesOn)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    const RequestCase& row = GetParam();
    OwnBlock shortBlock(4096); // filled with zeros: a valid empty batch if only it were long enough
    PosixTransport::Request request{row.message, 0xC000, 0, 9,
                                    row.mappingName == "*" ? shortBlock.name() : row.mappingName};
    std::vector<std::uint8_t> bytes = PosixTransport::encodeRequest(request);
    if (row.nameBytes > request.name.size()) {
        bytes[16] = static_cast<std::uint8_t>(row.nameBytes);
        bytes[17] = static_cast<std::uint8_t>(row.nameBytes >> 8);
        bytes.resize(20 + row.nameBytes, 'x');
    }
    RawConnection raw;
    raw.send(bytes);
    bool closed = false;
    EXPECT_EQ(raw.reply(9, closed), 0);
    EXPECT_EQ(closed, row.closesConnection);

    ChildProcess probe("quillon-probe", {});
    EXPECT_EQ(probe.waitExit(5s), 0) << "the module still serves";
}

INSTANTIATE_TEST_SUITE_P(Rows, QuillonSimRequests,
                         testing::Values(RequestCase{"OtherMessageId", 0xC368, "*", 0, false},
                                         RequestCase{"NoSuchMapping", 0xC367, "FSASMLIB:IPC:0:0", 0, false},
                                         RequestCase{"NameWithASlash", 0xC367, "../etc", 0, false},
                                         RequestCase{"MappingShorterThanTheBlock", 0xC367, "*", 0, false},
                                         RequestCase{"NameLongerThan255Bytes", 0xC367, "", 300, true}),
                         [](const testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

TEST_F(QuillonSim, ProbeReadsARunningSimulator)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    ChildProcess probe("quillon-probe", {});
    const std::string output = probe.readAll(5s);
    EXPECT_EQ(probe.waitExit(5s), 0);
    for (const char* expected :
         {"Result: Okay\n", "Version_FSUIPC: 1.998e\n", "Version_FS: FS2002\n", "UTC: 1400Z\n",
          "Parking brake: 32767\n", "On ground: 1\n", "Slew: 0\n", "Fuel weight: 1715 (6.699 lbs/gal)\n",
          "Tank 0x0B7C: level 8388608 capacity 1500\n", "Tank 0x125C: level 0 capacity 0\n"})
        EXPECT_NE(output.find(expected), std::string::npos) << expected << "\nin:\n" << output;
}

struct ProbeFailure {
    std::string name;
    std::vector<std::string> simArgs; // empty: no simulator at all
    std::int32_t code;
};

void PrintTo(const ProbeFailure& row, std::ostream* out)
{
    *out << row.name;
}

class QuillonProbeFails : public QuillonSim, public testing::WithParamInterface<ProbeFailure> {};

TEST_P(QuillonProbeFails, WithTheResultText)
{
    std::unique_ptr<SimProcess> sim;
    if (!GetParam().simArgs.empty()) {
        sim = std::make_unique<SimProcess>(GetParam().simArgs);
        ASSERT_TRUE(sim->ok());
    }
    ChildProcess probe("quillon-probe", {});
    const std::string output = probe.readAll(5s);
    EXPECT_EQ(probe.waitExit(5s), 1);
    PosixIpcPlatform platform;
    EXPECT_EQ(output, "Result: " + clsFSUIPC(platform).Get_Result(GetParam().code) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, QuillonProbeFails,
                         testing::Values(ProbeFailure{"NoSimulator", {}, FSUIPC_ERR_NOFS},
                                         ProbeFailure{"NetworkedStandInAlone",
                                                      {"--class", "FS98MAIN", "--module-version", "0"},
                                                      FSUIPC_ERR_RUNNING}),
                         [](const testing::TestParamInfo<ProbeFailure>& info) { return info.param.name; });

} // namespace
