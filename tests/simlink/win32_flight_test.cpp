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
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
              (Lines{"Result: Okay", "Simulator: FS2002", "Version_FSUIPC: 1.998e", "Version_FS: FS2002"}));
    // At the gate at 1400: brake set, on the ground, no slew; then the fuel and its eleven tanks.
    EXPECT_EQ(lines[4].rfind("UTC: 140", 0), 0u) << lines[4];
    EXPECT_TRUE(lines[5].rfind("Parking brake: ", 0) == 0 && lines[5] != "Parking brake: 0") << lines[5];
    EXPECT_EQ(Lines(lines.begin() + 6, lines.begin() + 8), (Lines{"On ground: 1", "Slew: 0"}));
    EXPECT_EQ(lines[8].rfind("Fuel weight: ", 0), 0u) << lines[8];
    for (std::size_t i = 9; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind("Tank 0x", 0), 0u) << lines[i];
}

} // namespace
