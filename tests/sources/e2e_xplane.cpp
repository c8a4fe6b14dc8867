// X-Plane through its stand-in (quillon-sim --xplane) over real UDP: the
// probe follows a whole flight, and a simulator that stops sending is a lost
// link that "On" continues.
#include "clsacars.h"
#include "posixsimprocess.h"
#include "recordingevents.h"
#include "sourceselector.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The stand-in flying the short hop, serving on a port of its own; address is "127.0.0.1:PORT".
struct XPlaneStandIn : ChildProcess {
    std::string address;
    XPlaneStandIn()
        : ChildProcess("quillon-sim", {"--xplane", "0", "--speed", "60", "--scenario",
                                       QUILLON_SOURCES_TEST_DIR "/hop.scenario"})
    {
        std::string line;
        if (readLine(line, 10s) && line.rfind("ready xplane address=", 0) == 0)
            address = line.substr(line.find('=') + 1);
    }
    // The "state hhmm name ... fuel=N" lines printed, by state name: {hhmm, fuel}.
    std::map<std::string, std::pair<std::string, std::string>> states()
    {
        std::map<std::string, std::pair<std::string, std::string>> states;
        for (std::string line; readLine(line, 2s) && line.rfind("end", 0) != 0;) {
            std::istringstream words(line);
            std::string state, hhmm, name;
            words >> state >> hhmm >> name;
            states[name] = {hhmm, line.substr(line.find("fuel=") + 5)};
        }
        return states;
    }
};

TEST(XPlaneStandInTest, ProbeFollowsTheFlightWithTheSimulatorsTimesAndFuel)
{
    XPlaneStandIn sim;
    ASSERT_FALSE(sim.address.empty());
    ChildProcess probe("quillon-probe", {"--track", "--source", "xplane:" + sim.address});
    const std::string output = probe.readAll(20s);
    EXPECT_EQ(probe.waitExit(2s), 0) << output;
    const auto states = sim.states();
    const auto [out, fuelOut] = states.at("pushback");
    const auto [in, fuelIn] = states.at("parked");
    EXPECT_EQ(output, "Result: Okay\nSimulator: X-Plane at " + sim.address + "\nFlightOUT: " + out +
                          "\nAircraft type: B738\nAircraft ID: N738QL\nFuelOut: " + fuelOut +
                          "\nFlightOFF: " + states.at("takeoff").first +
                          "\nFlightON: " + states.at("landing").first + "\nFlightIN: " + in +
                          "\nFlightTime: 0.1\nFlightTimeHHMM: 0:05\nFuelIn: " + fuelIn +
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
    const auto pollUntil = [&](const auto& recorded) {
        for (int poll = 0; poll < 40 && recorded().empty(); ++poll) {
            std::this_thread::sleep_for(200ms);
            tracker.Refresh();
        }
        return !recorded().empty();
    };
    std::string result;
    ASSERT_TRUE(tracker.Start(result)) << result;
    ASSERT_TRUE(pollUntil([&] { return tracker.TIME_OFF(); }));

    sim.signal(SIGSTOP);
    std::this_thread::sleep_for(600ms);
    tracker.Refresh();
    EXPECT_FALSE(tracker.isLinkOpen());
    EXPECT_EQ(events.events.back(),
              "FSClosed X-Plane at " + sim.address + " stopped sending (nothing for 2 seconds).\r\n"
              "If X-Plane has ended or hangs, start it again, then click On.");
    sim.signal(SIGCONT);

    ASSERT_TRUE(tracker.Start(result)) << result;
    EXPECT_TRUE(pollUntil([&] { return tracker.TIME_IN(); })) << "the flight goes on after the gap";
    EXPECT_FALSE(tracker.TIME_OUT().empty());
}

} // namespace
