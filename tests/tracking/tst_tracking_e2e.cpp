// End to end: quillon-sim flies in its own process, the tracker follows it
// over the real transport, and what it records must be what the stand-in
// printed. Also: the stand-in dies mid-flight and a new one takes over.
#include "clsacars.h"
#include "recordingevents.h"
#include "scratchdirectory.h"
#include "toolprocess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

// The phases as the stand-in printed its states ("state hhmm name brake=b ground=g slew=s fuel=lbs").
struct PrintedFlight {
    std::string out, off, on, in;
    long long fuelOut = 0, fuelIn = 0;
};

void readStates(const std::vector<std::string>& lines, PrintedFlight& flight)
{
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string kind, hhmm, name, brake, ground, slew, fuel;
        if (!(words >> kind >> hhmm >> name >> brake >> ground >> slew >> fuel) || kind != "state")
            continue;
        const bool brakeSet = brake == "brake=1";
        const bool onGround = ground == "ground=1";
        const long long lbs = std::stoll(fuel.substr(fuel.find('=') + 1));
        if (flight.out.empty() && !brakeSet) {
            flight.out = hhmm;
            flight.fuelOut = lbs;
        }
        if (flight.off.empty() && !onGround)
            flight.off = hhmm;
        if (!flight.off.empty() && flight.on.empty() && onGround)
            flight.on = hhmm;
        if (!flight.on.empty() && !flight.out.empty() && flight.in.empty() && brakeSet) {
            flight.in = hhmm;
            flight.fuelIn = lbs;
        }
    }
}

std::string fuelText(long long lbs)
{
    return lbs == 0 ? "" : std::to_string(lbs);
}

class TrackingEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.path().empty());
        scratch.useAsRuntimeDirectory();
        tracker.setEvents(&recorded);
    }

    // Polls much faster than the panel's 500 ms so that each phase is taken
    // within the simulator minute in which it happened.
    void pollUntil(const std::function<bool()>& done, std::chrono::seconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            tracker.Refresh();
            std::this_thread::sleep_for(20ms);
        }
    }

    bool startTracker()
    {
        std::string result;
        const bool started = tracker.Start(result);
        EXPECT_TRUE(started) << result;
        return started;
    }

    ScratchDirectory scratch;
    clsACARS tracker;
    RecordingEvents recorded;
};

TEST_F(TrackingEndToEnd, DemoFlightIsRecordedAsTheSimulatorFlewIt)
{
    ToolProcess sim;
    std::string error;
    ASSERT_TRUE(sim.startSim({"--speed", "120"}, error)) << error;
    ASSERT_TRUE(startTracker());
    pollUntil([&] { return !tracker.TIME_IN().empty(); }, 150s);
    ASSERT_TRUE(sim.waitFor("end ", 10s));

    PrintedFlight printed;
    readStates(sim.lines(), printed);
    EXPECT_EQ(printed.out + printed.off + printed.on + printed.in, "1402141015351541");
    EXPECT_EQ(recorded.events, (Events{"FlightOUT " + printed.out, "FuelOut " + fuelText(printed.fuelOut),
                                       "FlightOFF " + printed.off, "FlightON " + printed.on,
                                       "FlightIN " + printed.in, "FlightTime 1.7", "FlightTimeHHMM 1:39",
                                       "FuelIn " + fuelText(printed.fuelIn),
                                       "FuelUsed " + std::to_string(printed.fuelOut - printed.fuelIn)}));
    EXPECT_GT(printed.fuelOut, printed.fuelIn);
    EXPECT_GT(printed.fuelIn, 0);
}

constexpr const char* kTanks = "fuel-weight 6.7\ntank center 2000\ntank left-main 1500\n";

TEST_F(TrackingEndToEnd, SimulatorKilledMidFlightAndStartedAgain)
{
    const std::string departure = scratch.writeFile("departure.txt", std::string("start 0900\n") + kTanks +
        "at 0 gate brake=set ground=yes fuel=60,100\n"
        "at 2 pushback brake=off ground=yes\n"
        "at 4 takeoff brake=off ground=no fuel=58,99\n"
        "at 6 climb brake=off ground=no fuel=50,97\n");
    const std::string arrival = scratch.writeFile("arrival.txt", std::string("start 0910\n") + kTanks +
        "at 0 cruise brake=off ground=no fuel=40,95\n"
        "at 2 landing brake=off ground=yes fuel=30,90\n"
        "at 4 taxi-in brake=off ground=yes\n"
        "at 6 parked brake=set ground=yes\n");

    PrintedFlight printed;
    {
        ToolProcess first;
        std::string error;
        ASSERT_TRUE(first.startSim({"--speed", "120", "--scenario", departure}, error)) << error;
        ASSERT_TRUE(startTracker());
        pollUntil([&] { return !tracker.TIME_OFF().empty(); }, 30s);
        readStates(first.lines(), printed);
        first.stop(SIGKILL);
    }
    EXPECT_EQ(recorded.events, (Events{"FlightOUT 0902", "FuelOut " + fuelText(printed.fuelOut), "FlightOFF 0904"}));
    recorded.events.clear();

    tracker.Refresh(); // the first exchange fails: reported once, link closed
    ASSERT_EQ(recorded.events.size(), 1u);
    EXPECT_EQ(recorded.events[0].rfind("FSClosed IPC ", 0), 0u) << recorded.events[0];
    EXPECT_FALSE(tracker.isLinkOpen());
    recorded.events.clear();

    ToolProcess second;
    std::string error;
    ASSERT_TRUE(second.startSim({"--speed", "120", "--scenario", arrival}, error)) << error;
    ASSERT_TRUE(startTracker());
    pollUntil([&] { return !tracker.TIME_IN().empty(); }, 30s);
    ASSERT_TRUE(second.waitFor("end ", 10s));
    readStates(second.lines(), printed);

    EXPECT_EQ(printed.on + printed.in, "09120916");
    EXPECT_EQ(recorded.events, (Events{"FlightON 0912", "FlightIN 0916", "FlightTime 0.2", "FlightTimeHHMM 0:14",
                                       "FuelIn " + fuelText(printed.fuelIn),
                                       "FuelUsed " + std::to_string(printed.fuelOut - printed.fuelIn)}));
    EXPECT_EQ(tracker.TIME_OUT() + tracker.TIME_OFF(), "09020904");
}

// ---- quillon-probe --track ----------------------------------------------------------------------

TEST_F(TrackingEndToEnd, ProbeTrackPrintsEachEventUntilIn)
{
    const std::string flight = scratch.writeFile("hop.txt", std::string("start 2356\n") + kTanks +
        "at 0 gate brake=set ground=yes fuel=50,50\n"
        "at 2 pushback brake=off ground=yes\n"
        "at 4 takeoff brake=off ground=no\n"
        "at 6 landing brake=off ground=yes fuel=40,40\n"
        "at 8 parked brake=set ground=yes\n");
    ToolProcess sim;
    std::string error;
    // Slow enough that the probe's 500 ms ticks see each change within its minute.
    ASSERT_TRUE(sim.startSim({"--speed", "30", "--scenario", flight}, error)) << error;
    ToolProcess probe;
    ASSERT_TRUE(probe.start("quillon-probe", {"--track"}, error)) << error;
    ASSERT_TRUE(probe.waitFor("FuelUsed: ", 60s));
    EXPECT_EQ(probe.stop(0), 0);
    ASSERT_TRUE(sim.waitFor("end ", 10s));

    PrintedFlight printed;
    readStates(sim.lines(), printed);
    EXPECT_EQ(probe.lines(), (Events{"Result: Okay", "FlightOUT: 2358", "FuelOut: " + fuelText(printed.fuelOut),
                                     "FlightOFF: 0000", "FlightON: 0002", "FlightIN: 0004", "FlightTime: 0.1",
                                     "FlightTimeHHMM: 0:06", "FuelIn: " + fuelText(printed.fuelIn),
                                     "FuelUsed: " + std::to_string(printed.fuelOut - printed.fuelIn)}));
}

TEST_F(TrackingEndToEnd, ProbeTrackEndsOnInterrupt)
{
    const std::string parked = scratch.writeFile("parked.txt", std::string(kTanks) +
        "at 0 gate brake=set ground=yes fuel=50,50\n");
    ToolProcess sim;
    std::string error;
    ASSERT_TRUE(sim.startSim({"--scenario", parked}, error)) << error;
    ToolProcess probe;
    ASSERT_TRUE(probe.start("quillon-probe", {"--track"}, error)) << error;
    ASSERT_TRUE(probe.waitFor("Result: ", 10s));
    std::this_thread::sleep_for(1200ms); // a few ticks with nothing to tell
    EXPECT_EQ(probe.stop(SIGINT), 130);
    EXPECT_EQ(probe.lines(), Events{"Result: Okay"});
}

} // namespace
