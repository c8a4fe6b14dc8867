#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// A flight as timed states, each held until the next; the last one is held
// for good. Text form: docs/scenario.md.
struct SimTank {
    std::string name;              // "center", "left-main", ...
    std::uint32_t levelOffset = 0; // capacity at levelOffset + 4
    std::uint32_t capacityGallons = 0;
};

struct FlightState {
    int minute = 0; // whole simulator minutes after the start
    std::string name;
    bool brakeSet = false;
    bool onGround = true;
    bool slew = false;
    std::vector<double> levelsPercent; // one per tank, in tank order
};

struct Scenario {
    int startMinuteOfDay = 14 * 60; // simulator UTC at minute 0
    double fuelWeightLbsPerGallon = 6.7;
    std::vector<SimTank> tanks;
    std::vector<FlightState> states; // minutes strictly increasing, the first at 0
};

// The built-in demo: gate, pushback, taxi, take-off, cruise burning from three tanks, landing, taxi, parked.
Scenario demoScenario();

// Reads a scenario; false with "line N: reason" in strError when the text is not valid.
bool parseScenario(std::istream& input, Scenario& scenario, std::string& strError);

// Level offset of a tank name of the eleven ("center", "left-main", ...); 0 when unknown.
std::uint32_t tankLevelOffset(const std::string& name);

// Shortest time any state is held, in simulator minutes (0 for fewer than two states).
int shortestHoldMinutes(const Scenario& scenario);
