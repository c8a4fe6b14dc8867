// End to end: quillon-sim flies in its own process and quillon-probe --track
// follows it over the real transport; what it prints must be what the stand-in
// printed. (The demo flight is flown end to end once per layer: by the tracker
// under Wine, through the ACARS panel, and through the relay under Wine.)
#include "posixsimprocess.h"
#include "recordingevents.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

// The lines the process prints until one starts with prefix (or 60 s pass in all: a whole flight).
Events linesUntil(ChildProcess& process, const std::string& prefix)
{
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    Events lines;
    std::string line;
    while (process.readLineBy(line, deadline)) {
        lines.push_back(line);
        if (line.rfind(prefix, 0) == 0)
            break;
    }
    return lines;
}

// A hop across midnight, slow enough that the probe's 500 ms ticks see each change within its minute.
TEST(TrackingEndToEnd, ProbeTrackPrintsEachEventUntilIn)
{
    const ScratchRuntimeDir runtime("trk");
    const std::string scenario = (runtime.path() / "hop.txt").string();
    std::ofstream(scenario) << "fuel-weight 6.7\ntank center 2000\ntank left-main 1500\nstart 2356\n"
                               "at 0 gate brake=set ground=yes fuel=50,50\n"
                               "at 2 pushback brake=off ground=yes\n"
                               "at 4 takeoff brake=off ground=no\n"
                               "at 6 landing brake=off ground=yes fuel=40,40\n"
                               "at 8 parked brake=set ground=yes\n";
    SimProcess sim({"--speed", "30", "--scenario", scenario});
    ASSERT_TRUE(sim.ok());
    ChildProcess probe("quillon-probe", {"--track"});
    const Events lines = linesUntil(probe, "FuelUsed: ");
    EXPECT_EQ(probe.waitExit(10s), 0);

    const Events printed = linesUntil(sim, "end ");
    const std::string out = printedFuel(printed, "pushback"), in = printedFuel(printed, "parked");
    EXPECT_EQ(lines, (Events{"Result: Okay", "Simulator: FS2002", "FlightOUT: 2358", "FuelOut: " + out,
                             "FlightOFF: 0000", "FlightON: 0002", "FlightIN: 0004", "FlightTime: 0.1",
                             "FlightTimeHHMM: 0:06", "FuelIn: " + in, "FuelUsed: " + fuelUsed(out, in)}));
}

} // namespace
