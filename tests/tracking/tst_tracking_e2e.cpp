// End to end: quillon-sim flies in its own process, the tracker follows it
// over the real transport, and what it records must be what the stand-in
// printed, even when the stand-in dies mid-flight and a new one takes over.
// (The demo flight is flown end to end once, through the ACARS panel.)
#include "clsacars.h"
#include "posixsimprocess.h"
#include "recordingevents.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

// The lines the process prints until one starts with prefix (or 10 s pass).
Events linesUntil(ChildProcess& process, const std::string& prefix)
{
    Events lines;
    std::string line;
    while (process.readLine(line, 10s)) {
        lines.push_back(line);
        if (line.rfind(prefix, 0) == 0)
            break;
    }
    return lines;
}

// The fuel the stand-in printed with that state ("state hhmm name ... fuel=lbs"), as the tracker tells it.
std::string printedFuel(const Events& lines, const std::string& state)
{
    for (const std::string& line : lines) {
        if (line.rfind("state ", 0) == 0 && line.find(" " + state + " ") != std::string::npos) {
            const std::string lbs = line.substr(line.find("fuel=") + 5);
            return lbs == "0" ? "" : lbs;
        }
    }
    return "?";
}

std::string fuelUsed(const std::string& out, const std::string& in)
{
    return std::to_string(std::stoll(out) - std::stoll(in));
}

class TrackingEndToEnd : public testing::Test {
protected:
    void SetUp() override { tracker.setEvents(&recorded); }

    std::string writeScenario(const std::string& name, const std::string& text)
    {
        const std::string path = (runtime.path() / name).string();
        std::ofstream(path) << "fuel-weight 6.7\ntank center 2000\ntank left-main 1500\n" << text;
        return path;
    }

    // Starts the tracker and polls much faster than the panel's 500 ms, so that
    // each phase is taken within the simulator minute in which it happened.
    void trackUntil(const std::function<bool()>& done, std::chrono::seconds limit)
    {
        std::string result;
        ASSERT_TRUE(tracker.Start(result)) << result;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            tracker.Refresh();
            std::this_thread::sleep_for(20ms);
        }
    }

    ScratchRuntimeDir runtime{"trk"};
    clsACARS tracker;
    RecordingEvents recorded;
};

TEST_F(TrackingEndToEnd, SimulatorKilledMidFlightAndStartedAgain)
{
    std::string out;
    {
        SimProcess first({"--speed", "120", "--scenario", writeScenario("departure.txt", "start 0900\n"
            "at 0 gate brake=set ground=yes fuel=60,100\n"
            "at 2 pushback brake=off ground=yes\n"
            "at 4 takeoff brake=off ground=no fuel=58,99\n")});
        ASSERT_TRUE(first.ok());
        trackUntil([&] { return !tracker.TIME_OFF().empty(); }, 30s);
        out = printedFuel(linesUntil(first, "state 0904"), "pushback");
        first.signal(SIGKILL);
        first.waitExit(10s);
    }
    EXPECT_EQ(std::exchange(recorded.events, {}),
              (Events{"FlightOUT 0902", "FuelOut " + out, "FlightOFF 0904"}));

    tracker.Refresh(); // the first exchange fails: reported once, link closed
    ASSERT_EQ(recorded.events.size(), 1u);
    EXPECT_EQ(recorded.events[0].rfind("FSClosed IPC ", 0), 0u) << recorded.events[0];
    EXPECT_FALSE(tracker.isLinkOpen());
    recorded.events.clear();

    SimProcess second({"--speed", "120", "--scenario", writeScenario("arrival.txt", "start 0910\n"
        "at 0 cruise brake=off ground=no fuel=40,95\n"
        "at 2 landing brake=off ground=yes fuel=30,90\n"
        "at 4 parked brake=set ground=yes\n")});
    ASSERT_TRUE(second.ok());
    trackUntil([&] { return !tracker.TIME_IN().empty(); }, 30s);
    const std::string in = printedFuel(linesUntil(second, "end "), "parked");
    EXPECT_EQ(recorded.events, (Events{"FlightON 0912", "FlightIN 0914", "FlightTime 0.2",
                                       "FlightTimeHHMM 0:12", "FuelIn " + in,
                                       "FuelUsed " + fuelUsed(out, in)}));
    EXPECT_EQ(tracker.TIME_OUT() + tracker.TIME_OFF(), "09020904");
}

// ---- quillon-probe --track ----------------------------------------------------------------------

TEST_F(TrackingEndToEnd, ProbeTrackPrintsEachEventUntilIn)
{
    // Slow enough that the probe's 500 ms ticks see each change within its minute.
    SimProcess sim({"--speed", "30", "--scenario", writeScenario("hop.txt", "start 2356\n"
        "at 0 gate brake=set ground=yes fuel=50,50\n"
        "at 2 pushback brake=off ground=yes\n"
        "at 4 takeoff brake=off ground=no\n"
        "at 6 landing brake=off ground=yes fuel=40,40\n"
        "at 8 parked brake=set ground=yes\n")});
    ASSERT_TRUE(sim.ok());
    ChildProcess probe("quillon-probe", {"--track"});
    const Events lines = linesUntil(probe, "FuelUsed: ");
    EXPECT_EQ(probe.waitExit(10s), 0);

    const Events printed = linesUntil(sim, "end ");
    const std::string out = printedFuel(printed, "pushback"), in = printedFuel(printed, "parked");
    EXPECT_EQ(lines, (Events{"Result: Okay", "Simulator: FS2002", "FlightOUT: 2358", "FuelOut: " + out, "FlightOFF: 0000",
                             "FlightON: 0002", "FlightIN: 0004", "FlightTime: 0.1", "FlightTimeHHMM: 0:06",
                             "FuelIn: " + in, "FuelUsed: " + fuelUsed(out, in)}));
}

} // namespace
