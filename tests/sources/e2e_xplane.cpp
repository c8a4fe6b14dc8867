// X-Plane through its stand-in (quillon-sim --xplane) over real UDP: the
// probe follows a whole flight, a simulator that stops sending is a lost link
// that "On" continues, and stray packets change nothing.
#include "clsacars.h"
#include "netsocket.h"
#include "posixsimprocess.h"
#include "recordingevents.h"
#include "rrefprotocol.h"
#include "sourceselector.h"
#include "xplaneplatform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string kScenario = QUILLON_SOURCES_TEST_DIR "/hop.scenario";

// The stand-in, serving on a port of its own; address() is "127.0.0.1:PORT".
struct XPlaneStandIn : ChildProcess {
    std::string address;
    XPlaneStandIn() : ChildProcess("quillon-sim", {"--xplane", "0", "--speed", "60", "--scenario", kScenario})
    {
        std::string line;
        if (readLine(line, 10s) && line.rfind("ready xplane address=", 0) == 0)
            address = line.substr(line.find('=') + 1);
    }
};

// "state hhmm name ... fuel=N" lines of the stand-in, by state name.
std::map<std::string, std::pair<std::string, std::string>> standInStates(ChildProcess& sim)
{
    std::map<std::string, std::pair<std::string, std::string>> states;
    std::string line;
    while (sim.readLine(line, 2s) && line.rfind("end", 0) != 0) {
        std::istringstream words(line);
        std::string state, hhmm, name;
        words >> state >> hhmm >> name;
        states[name] = {hhmm, line.substr(line.find("fuel=") + 5)};
    }
    return states;
}

TEST(XPlaneStandInTest, ProbeFollowsTheFlightWithTheSimulatorsTimesAndFuel)
{
    XPlaneStandIn sim;
    ASSERT_FALSE(sim.address.empty());
    ChildProcess probe("quillon-probe", {"--track", "--source", "xplane:" + sim.address});
    const std::string output = probe.readAll(20s);
    EXPECT_EQ(probe.waitExit(2s), 0) << output;
    const auto states = standInStates(sim);
    const auto [out, fuelOut] = states.at("pushback");
    const auto [in, fuelIn] = states.at("parked");
    EXPECT_EQ(output, "Result: Okay\nSimulator: X-Plane at " + sim.address + "\nFlightOUT: " + out +
                          "\nAircraft type: B738\nAircraft ID: N738QL\nFuelOut: " + fuelOut +
                          "\nFlightOFF: " + states.at("takeoff").first + "\nFlightON: " + states.at("landing").first +
                          "\nFlightIN: " + in + "\nFlightTime: 0.1\nFlightTimeHHMM: 0:05\nFuelIn: " + fuelIn +
                          "\nFuelUsed: " + std::to_string(std::stoi(fuelOut) - std::stoi(fuelIn)) + "\n");
}

TEST(XPlaneStandInTest, ASimulatorThatStopsSendingIsALostLinkThatOnContinues)
{
    XPlaneStandIn sim;
    ASSERT_FALSE(sim.address.empty());
    SourceSelector selector;
    std::string error;
    selector.setSource(*parseSourceChoice("xplane:" + sim.address, error));
    clsACARS tracker(selector);
    RecordingEvents events;
    tracker.setEvents(&events);
    std::string result;
    ASSERT_TRUE(tracker.Start(result)) << result;
    for (int poll = 0; poll < 30 && tracker.TIME_OFF().empty(); ++poll) {
        std::this_thread::sleep_for(200ms);
        tracker.Refresh();
    }
    ASSERT_FALSE(tracker.TIME_OFF().empty());

    sim.signal(SIGSTOP);
    std::this_thread::sleep_for(600ms);
    tracker.Refresh();
    EXPECT_FALSE(tracker.isLinkOpen());
    EXPECT_EQ(events.events.back(), "FSClosed X-Plane at " + sim.address + " stopped sending (nothing for 2 seconds).");
    sim.signal(SIGCONT);

    ASSERT_TRUE(tracker.Start(result)) << result;
    for (int poll = 0; poll < 40 && tracker.TIME_IN().empty(); ++poll) {
        std::this_thread::sleep_for(200ms);
        tracker.Refresh();
    }
    EXPECT_FALSE(tracker.TIME_IN().empty()) << "the flight goes on after the gap";
    EXPECT_FALSE(tracker.TIME_OUT().empty());
}

// A fake X-Plane on a loopback port: the platform's subscriptions come in,
// answers go out from here or from another loopback address.
TEST(XPlaneSourceTest, IgnoresShortMalformedAndForeignPackets)
{
    std::string error;
    net::Address simAddress, foreignAddress;
    net::Socket simSocket, foreignSocket;
    ASSERT_TRUE(net::resolve("127.0.0.1", 0, simAddress, error) && simSocket.bindDatagram(simAddress, error));
    ASSERT_TRUE(net::resolve("127.0.0.2", 0, foreignAddress, error) && foreignSocket.bindDatagram(foreignAddress, error));
    XPlanePlatform platform(SourceChoice{SourceChoice::Kind::XPlane, "127.0.0.1", simSocket.localPort()}, 3000);

    std::thread simulator([&] {
        unsigned char packet[512];
        net::Address client;
        for (std::size_t received = 0; received < rref::datarefs().size();)
            received += simSocket.receiveFrom(packet, sizeof packet, 50, client) == rref::kRequestBytes;
        const auto good = rref::encodeReply({{0, 3600.0f}, {1, 1}, {2, 1}, {3, 100}, {4, 0}});
        const auto foreign = rref::encodeReply({{0, 7200.0f}, {1, 0}, {2, 0}, {3, 999}, {4, 0}});
        foreignSocket.sendTo(client, foreign.data(), foreign.size());
        for (const std::size_t cut : {std::size_t{3}, good.size() - 1})
            simSocket.sendTo(client, good.data(), cut);
        const unsigned char junk[] = "DATA*junk";
        simSocket.sendTo(client, junk, sizeof junk);
        std::this_thread::sleep_for(300ms);
        simSocket.sendTo(client, good.data(), good.size());
    });
    const auto before = std::chrono::steady_clock::now();
    const auto window = platform.findWindow("UIPCMAIN");
    simulator.join();
    ASSERT_NE(window, 0u);
    EXPECT_GT(std::chrono::steady_clock::now() - before, 250ms) << "only the good packet opened the link";
    platform.releaseWindow(window);
}

} // namespace
