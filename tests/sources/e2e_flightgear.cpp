// A flight across midnight through the real FlightGear: the test plays the
// flight by setting the gear, the brake and the tanks through FlightGear's
// property server while its clock runs, and quillon-probe --track records it.
// Every time and fuel text is checked against FlightGear's clock and tanks as
// read back from FlightGear itself.
#include "flightgearprocess.h"
#include "posixsimprocess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string hhmm(int secondOfDay)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02d", secondOfDay / 3600 % 24, secondOfDay / 60 % 60);
    return text;
}

struct FlightGearFlight : testing::Test {
    void SetUp() override
    {
        if (!FlightGearProcess::installed()) {
            const char* required = std::getenv("QUILLON_REQUIRE_FLIGHTGEAR");
            if (required != nullptr && std::string(required) == "1")
                FAIL() << "FlightGear is not installed, and QUILLON_REQUIRE_FLIGHTGEAR=1";
            GTEST_SKIP() << "FlightGear is not installed (scripts/setup.sh --with-flightgear)";
        }
        const auto before = Clock::now();
        ASSERT_TRUE(fg.waitReady(180s)) << "FlightGear did not start";
        std::printf("FlightGear answered %.1f s after its start, with an empty FG_HOME\n",
                    std::chrono::duration<double>(Clock::now() - before).count());
    }

    // Reads the probe's lines until one starts with prefix; the rest of it, or "" at the time-out.
    std::string awaitLine(ChildProcess& probe, const std::string& prefix, std::vector<std::string>& lines)
    {
        std::string line;
        while (probe.readLine(line, 15s)) {
            lines.push_back(line);
            if (line.rfind(prefix, 0) == 0)
                return line.substr(prefix.size());
        }
        std::string seen;
        for (const std::string& earlier : lines)
            seen += "\n  " + earlier;
        ADD_FAILURE() << "no " << prefix << " after:" << seen;
        return {};
    }

    // Waits until FlightGear's clock reads secondOfDay (bounded by 90 s).
    void waitForClock(int secondOfDay)
    {
        for (const auto deadline = Clock::now() + 90s; Clock::now() < deadline;) {
            const int now = fg.utcSecondOfDay();
            if ((secondOfDay - now + 86400) % 86400 > 43200)
                return; // reached or passed
            std::this_thread::sleep_for(200ms);
        }
    }

    // The clock's minute before and after an event must be the event's time.
    void expectClockAround(const std::string& eventTime, int clockBefore)
    {
        const int clockAfter = fg.utcSecondOfDay();
        EXPECT_TRUE(eventTime == hhmm(clockBefore) || eventTime == hhmm(clockAfter))
            << eventTime << " not within " << hhmm(clockBefore) << ".." << hhmm(clockAfter);
    }

    long tankLbsReadBack()
    {
        const auto tanks = fg.send({"get /consumables/fuel/tank[0]/level-lbs", "get /consumables/fuel/tank[1]/level-lbs"});
        return std::lround(std::atof(tanks[0].c_str()) + std::atof(tanks[1].c_str()));
    }

    FlightGearProcess fg;
};

TEST_F(FlightGearFlight, ProbeRecordsAFlightAcrossMidnightWithFlightGearsClockAndFuel)
{
    constexpr int kMidnight = 86400;
    fg.send({"setb /gear/gear[0]/wow true", "seti /controls/gear/brake-parking 1",
             "setd /consumables/fuel/tank[0]/level-lbs 3000.4", "setd /consumables/fuel/tank[1]/level-lbs 1500.3"});
    ASSERT_TRUE(fg.setUtcSecondOfDay(kMidnight - 30));

    ChildProcess probe("quillon-probe", {"--track", "--source", "flightgear:127.0.0.1:" + std::to_string(fg.port())});
    std::vector<std::string> lines;
    const std::string simulator = awaitLine(probe, "Simulator: ", lines);
    ASSERT_EQ(simulator, "FlightGear 2020.3.16 at 127.0.0.1:" + std::to_string(fg.port()));

    int clock = fg.utcSecondOfDay();
    fg.send({"seti /controls/gear/brake-parking 0"});
    const std::string out = awaitLine(probe, "FlightOUT: ", lines);
    expectClockAround(out, clock);
    EXPECT_EQ(awaitLine(probe, "Aircraft type: ", lines), "ufo");
    EXPECT_EQ(awaitLine(probe, "Origin: ", lines), "KSFO");
    const std::string fuelOut = awaitLine(probe, "FuelOut: ", lines);
    EXPECT_EQ(fuelOut, std::to_string(tankLbsReadBack()));

    clock = fg.utcSecondOfDay();
    fg.send({"setb /gear/gear[0]/wow false"});
    const std::string off = awaitLine(probe, "FlightOFF: ", lines);
    expectClockAround(off, clock);

    waitForClock(10); // 00:00:10, after midnight
    clock = fg.utcSecondOfDay();
    fg.send({"setb /gear/gear[0]/wow true", "setd /consumables/fuel/tank[1]/level-lbs 700.2"});
    const std::string on = awaitLine(probe, "FlightON: ", lines);
    expectClockAround(on, clock);
    EXPECT_EQ(on.substr(0, 2), "00") << "after midnight";

    clock = fg.utcSecondOfDay();
    fg.send({"setb /controls/gear/brake-parking true"}); // any non-zero brake value counts as set
    const std::string in = awaitLine(probe, "FlightIN: ", lines);
    expectClockAround(in, clock);
    EXPECT_EQ(awaitLine(probe, "Destination: ", lines), "KSFO");
    const int blockMinutes = (std::stoi(in.substr(0, 2)) * 60 + std::stoi(in.substr(2)) + 1440 -
                              std::stoi(out.substr(0, 2)) * 60 - std::stoi(out.substr(2))) % 1440;
    const std::string fuelIn = awaitLine(probe, "FuelIn: ", lines);
    EXPECT_EQ(fuelIn, std::to_string(tankLbsReadBack()));
    EXPECT_EQ(probe.waitExit(5s), 0);
    for (std::string line; probe.readLine(line, 1s);)
        lines.push_back(line);
    // Nothing else: no stray failure, no event twice.
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Result: Okay", "Simulator: " + simulator, "FlightOUT: " + out, "Aircraft type: ufo",
                         "Origin: KSFO", "FuelOut: " + fuelOut, "FlightOFF: " + off, "FlightON: " + on,
                         "FlightIN: " + in, "Destination: KSFO",
                         "FlightTime: 0." + std::to_string((blockMinutes + 3) / 6),
                         "FlightTimeHHMM: 0:0" + std::to_string(blockMinutes), "FuelIn: " + fuelIn,
                         "FuelUsed: " + std::to_string(std::stol(fuelOut) - std::stol(fuelIn))}));
    for (const std::string& line : lines)
        std::printf("probe: %s\n", line.c_str());
}

} // namespace
