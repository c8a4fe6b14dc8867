// The Windows tools end to end under the Win32 link: the tracker follows the
// demo flight flown by quillon-sim.exe and records what the POSIX link
// records; quillon-probe.exe reads the module's variables.
#include "clsacars.h"
#include "recordingevents.h"
#include "win32toolprocess.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

TEST(Win32Tools, DemoFlightIsTrackedAsOverThePosixLink)
{
    const auto sim = Win32ToolProcess::startModule({"--speed", "120"});
    ASSERT_TRUE(sim);
    clsACARS tracker;
    RecordingEvents recorded;
    tracker.setEvents(&recorded);
    std::string result;
    ASSERT_TRUE(tracker.Start(result)) << result;
    // Faster than the panel's 500 ms, so each phase is taken within its simulator minute.
    const auto deadline = std::chrono::steady_clock::now() + 150s;
    while (tracker.TIME_IN().empty() && std::chrono::steady_clock::now() < deadline) {
        tracker.Refresh();
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(sim->waitForLine("end ", 10s));

    const std::string out = printedFuel(sim->lines(), "pushback"), in = printedFuel(sim->lines(), "parked");
    ASSERT_NE(in, "?");
    EXPECT_EQ(recorded.events, (Lines{"FlightOUT 1402", "FuelOut " + out, "FlightOFF 1410", "FlightON 1535",
                                      "FlightIN 1541", "FlightTime 1.7", "FlightTimeHHMM 1:39", "FuelIn " + in,
                                      "FuelUsed " + fuelUsed(out, in)}));
}

TEST(Win32Tools, ProbePrintsTheLinkAndTheVariables)
{
    const auto sim = Win32ToolProcess::startModule({});
    ASSERT_TRUE(sim);
    Win32ToolProcess probe("quillon-probe", {});
    const std::optional<std::uint32_t> status = probe.waitForEnd(20s);
    const Lines lines = probe.lines();
    ASSERT_EQ(status, 0u) << testing::PrintToString(lines);
    ASSERT_EQ(lines.size(), 20u) << "the link, the variables and eleven tanks";
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
              (Lines{"Result: Okay", "Simulator: FS2002", "Version_FSUIPC: 1.998e", "Version_FS: FS2002"}));
    EXPECT_EQ(lines[6], "On ground: 1");
}

} // namespace
