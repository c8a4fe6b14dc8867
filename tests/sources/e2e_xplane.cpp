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

#include <algorithm>
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

// A fake X-Plane on a loopback port that records the requests it receives;
// answers go out from its port, another port of its address or another address.
struct FakeXPlane {
    net::Socket socket, otherPort, foreign;
    net::Address client;
    std::vector<rref::Request> requests;

    FakeXPlane()
    {
        std::string error;
        net::Address local, other;
        EXPECT_TRUE(net::resolve("127.0.0.1", 0, local, error) && socket.bindDatagram(local, error) &&
                    otherPort.bindDatagram(local, error));
        EXPECT_TRUE(net::resolve("127.0.0.2", 0, other, error) && foreign.bindDatagram(other, error));
    }
    SourceChoice choice() { return {SourceChoice::Kind::XPlane, "127.0.0.1", socket.localPort(), {}}; }
    // Records the requests that come within waitMs; the count of those with this frequency.
    std::size_t take(int waitMs, std::int32_t frequency)
    {
        requests.clear();
        unsigned char packet[512];
        for (long length; (length = socket.receiveFrom(packet, sizeof packet, waitMs, client)) > 0;)
            if (const auto request = rref::decodeRequest(packet, static_cast<std::size_t>(length)))
                requests.push_back(*request);
        return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                                                      [&](const auto& r) { return r.frequency == frequency; }));
    }
    void send(net::Socket& from, const std::vector<unsigned char>& packet, std::size_t length)
    {
        from.sendTo(client, packet.data(), length);
    }
};

const auto kGood = rref::encodeReply({{0, 3600.0f}, {1, 1}, {2, 1}, {3, 100}, {4, 0}, {5, 'R'}});
const auto kForeign = rref::encodeReply({{0, 7200.0f}, {1, 0}, {2, 0}, {3, 999}, {4, 0}, {5, 'F'}});

TEST(XPlaneSourceTest, AcceptsItsSimulatorsAddressFromAnyPortAndNothingElse)
{
    struct Row {
        const char* what;
        net::Socket FakeXPlane::*from;
        bool cut; // the packet is cut short by a byte
        bool opens;
    } const rows[] = {
        {"from the simulator's port", &FakeXPlane::socket, false, true},
        {"from another port of its address", &FakeXPlane::otherPort, false, true},
        {"from another address", &FakeXPlane::foreign, false, false},
        {"cut mid-pair", &FakeXPlane::socket, true, false},
    };
    for (const Row& row : rows) {
        FakeXPlane sim;
        XPlanePlatform platform(sim.choice(), 800);
        std::thread simulator([&] {
            sim.take(100, XPlanePlatform::kFrequencyPerSecond);
            sim.send(sim.*row.from, kGood, kGood.size() - (row.cut ? 1 : 0));
        });
        const auto window = platform.findWindow("UIPCMAIN");
        simulator.join();
        EXPECT_EQ(window != 0, row.opens) << row.what;
        platform.releaseWindow(window);
    }
}

// On one platform: a foreign packet changes nothing, a 2 s silence asks again,
// the close cancels every subscription.
TEST(XPlaneSourceTest, AsksAgainAfterASilenceAndCancelsAtClose)
{
    FakeXPlane sim;
    XPlanePlatform platform(sim.choice(), 2000);
    const std::size_t count = rref::datarefs().size();
    std::thread simulator([&] {
        EXPECT_EQ(sim.take(300, XPlanePlatform::kFrequencyPerSecond), count);
        sim.send(sim.socket, kGood, kGood.size());
    });
    const auto window = platform.findWindow("UIPCMAIN");
    simulator.join();
    ASSERT_NE(window, 0u);
    sim.send(sim.foreign, kForeign, kForeign.size());
    const unsigned char junk[] = "DATA*junk";
    sim.socket.sendTo(sim.client, junk, sizeof junk);
    std::this_thread::sleep_for(100ms);
    platform.sendMessageTimeout(window, 0, 0, 0, 100); // takes what came
    EXPECT_EQ(platform.flightDetails().aircraftType, "R") << "the real values, not the foreign ones";

    std::this_thread::sleep_for(2100ms);
    platform.sendMessageTimeout(window, 0, 0, 0, 100);
    EXPECT_EQ(sim.take(300, XPlanePlatform::kFrequencyPerSecond), count) << "asked again after the loss";
    platform.releaseWindow(window);
    EXPECT_EQ(sim.take(300, 0), count) << "every subscription cancelled at close";
}

} // namespace
