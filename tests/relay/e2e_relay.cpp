// quillon-relay in front of quillon-sim, each in its own process, as a pilot
// runs them: the link survives the module or the relay going away and coming
// back, and the relay opens beyond loopback only when told who may connect.
// (quillon-probe follows the demo flight through the relay in the Wine test.)
#include "../simlink/posixsimprocess.h"
#include "../simlink/scratchruntimedir.h"
#include "clsfsuipc.h"
#include "relayipcplatform.h"
#include "simoffsets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A relay on a loopback port; port 0 lets the system choose, port() tells which.
class RelayProcess : public ChildProcess {
public:
    RelayProcess(const std::string& keyFile, std::uint16_t port = 0)
        : ChildProcess("quillon-relay", {"--listen", "127.0.0.1:" + std::to_string(port), "--key-file", keyFile})
    {
        std::string line;
        while (readLine(line, 5s)) {
            if (line.rfind("Listening on 127.0.0.1:", 0) == 0) {
                m_port = static_cast<std::uint16_t>(std::stoi(line.substr(23)));
                return;
            }
        }
    }
    std::uint16_t port() const { return m_port; }

private:
    std::uint16_t m_port = 0;
};

struct RelayE2e : testing::Test {
    ScratchRuntimeDir runtime{"relay"};
    std::string keyFile = (runtime.path() / "relay.key").string();

    static bool readOnce(clsFSUIPC& link, std::int32_t& dwResult)
    {
        std::uint16_t onGround = 0;
        return link.FSUIPC_Read(SimOffset::kOnGround, 2, &onGround, dwResult) && link.FSUIPC_Process(dwResult);
    }
};

// The module, then the relay, goes away while the link is open and comes back.
TEST_F(RelayE2e, AProcessGoneIsALostLinkAndBackAnOpenOne)
{
    for (const bool restartRelay : {false, true}) {
        auto sim = std::make_unique<SimProcess>();
        ASSERT_TRUE(sim->ok());
        auto relay = std::make_unique<RelayProcess>(keyFile);
        const std::uint16_t port = relay->port();
        RelayIpcPlatform platform({"127.0.0.1", port}, keyFile);
        clsFSUIPC link(platform);
        std::int32_t dwResult = -1;
        ASSERT_TRUE(link.FSUIPC_Open(0, dwResult)) << dwResult;
        ASSERT_TRUE(readOnce(link, dwResult));

        if (restartRelay) // killed
            relay.reset();
        else
            sim.reset();
        EXPECT_FALSE(readOnce(link, dwResult));
        EXPECT_EQ(dwResult, FSUIPC_ERR_SENDMSG) << restartRelay << ": eleven failures at once, as locally";
        link.FSUIPC_Close();
        EXPECT_FALSE(link.FSUIPC_Open(0, dwResult));
        EXPECT_EQ(dwResult, FSUIPC_ERR_NOFS) << restartRelay;

        if (restartRelay)
            relay = std::make_unique<RelayProcess>(keyFile, port);
        else
            sim = std::make_unique<SimProcess>();
        ASSERT_EQ(relay->port(), port);
        ASSERT_TRUE(link.FSUIPC_Open(0, dwResult)) << dwResult;
        EXPECT_TRUE(readOnce(link, dwResult)) << dwResult;
    }
}

TEST_F(RelayE2e, RefusesToListenBeyondLoopbackWithoutAllowAndSaysWhy)
{
    const std::string tool = std::string(std::getenv("QUILLON_BIN_DIR")) + "/quillon-relay";
    const std::string errors = (runtime.path() / "relay.err").string();
    ChildProcess relay([&] { // its standard error in a file, to read the reason
        const int file = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, STDERR_FILENO);
        ::execl(tool.c_str(), tool.c_str(), "--listen", "0.0.0.0:0", "--key-file", keyFile.c_str(), nullptr);
    });
    EXPECT_EQ(relay.waitExit(3s), 1);
    std::stringstream reason;
    reason << std::ifstream(errors).rdbuf();
    EXPECT_NE(reason.str().find("name the clients allowed in with --allow"), std::string::npos) << reason.str();
    ChildProcess allowed("quillon-relay", {"--listen", "0.0.0.0:0", "--allow", "192.0.2.0/24", "--key-file", keyFile});
    std::string line;
    EXPECT_TRUE(allowed.readLine(line, 3s) && line.rfind("Key file: ", 0) == 0) << line;
    EXPECT_TRUE(allowed.readLine(line, 3s) && line.rfind("Listening on 0.0.0.0:", 0) == 0) << line;
}

} // namespace
