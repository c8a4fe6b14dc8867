// The Windows tools end to end under the Win32 link: the tracker follows the
// demo flight flown by quillon-sim.exe and records what the POSIX link
// records; quillon-probe.exe reads the module's variables.
#include "clsacars.h"
#include "clsfsuipc.h"
#include "recordingevents.h"
#include "win32toolprocess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

// Fuel on board printed with the first state after the brake's release and with the last state.
struct PrintedFuel {
    long long outLbs = -1;
    long long inLbs = -1;
};

PrintedFuel printedFuel(const Lines& lines)
{
    PrintedFuel fuel;
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string kind, hhmm, name, brake, ground, slew, fuelField;
        if (!(words >> kind >> hhmm >> name >> brake >> ground >> slew >> fuelField) || kind != "state")
            continue;
        const long long lbs = std::stoll(fuelField.substr(fuelField.find('=') + 1));
        if (fuel.outLbs < 0 && brake == "brake=0")
            fuel.outLbs = lbs;
        fuel.inLbs = lbs;
    }
    return fuel;
}

TEST(Win32Tools, DemoFlightIsTrackedAsOverThePosixLink)
{
    std::string failure;
    const auto sim = Win32ToolProcess::startModule({"--speed", "120"}, "UIPCMAIN", failure);
    ASSERT_TRUE(sim) << failure;
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

    const PrintedFuel fuel = printedFuel(sim->lines());
    ASSERT_GT(fuel.inLbs, 0);
    EXPECT_EQ(recorded.events,
              (Lines{"FlightOUT 1402", "FuelOut " + std::to_string(fuel.outLbs), "FlightOFF 1410", "FlightON 1535",
                     "FlightIN 1541", "FlightTime 1.7", "FlightTimeHHMM 1:39", "FuelIn " + std::to_string(fuel.inLbs),
                     "FuelUsed " + std::to_string(fuel.outLbs - fuel.inLbs)}));
}

TEST(Win32Tools, ProbePrintsTheLinkAndTheVariables)
{
    std::string failure;
    const auto sim = Win32ToolProcess::startModule({}, "UIPCMAIN", failure);
    ASSERT_TRUE(sim) << failure;
    Win32ToolProcess probe("quillon-probe", {});
    ASSERT_TRUE(probe.started()) << "error " << probe.startError();
    ASSERT_EQ(probe.waitForEnd(20s), 0u);
    const Lines lines = probe.lines();
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3),
              (Lines{"Result: Okay", "Version_FSUIPC: 1.998e", "Version_FS: FS2002"}));
    EXPECT_EQ(lines[3].rfind("UTC: 140", 0), 0u) << lines[3];
    // At the gate: brake set, on the ground, no slew.
    EXPECT_NE(lines[4], "Parking brake: 0");
    EXPECT_EQ(lines[4].rfind("Parking brake: ", 0), 0u) << lines[4];
    EXPECT_EQ(Lines(lines.begin() + 5, lines.begin() + 7), (Lines{"On ground: 1", "Slew: 0"}));
    EXPECT_EQ(lines[7].rfind("Fuel weight: ", 0), 0u) << lines[7];
    const char* const tanks[] = {"0x0B74", "0x1244", "0x124C", "0x0B7C", "0x0B84", "0x0B8C",
                                 "0x0B94", "0x0B9C", "0x0BA4", "0x1254", "0x125C"};
    for (std::size_t i = 0; i < std::size(tanks); ++i)
        EXPECT_EQ(lines[8 + i].rfind("Tank " + std::string(tanks[i]) + ": level ", 0), 0u) << lines[8 + i];
}

TEST(Win32Tools, ProbeWithoutModuleReportsIt)
{
    Win32ToolProcess probe("quillon-probe", {});
    ASSERT_TRUE(probe.started()) << "error " << probe.startError();
    ASSERT_EQ(probe.waitForEnd(20s), 1u);
    ASSERT_FALSE(probe.lines().empty());
    EXPECT_EQ(probe.lines().front(), "Result: Unable to connect to FSUIPC.  Possible causes:");
}

} // namespace
