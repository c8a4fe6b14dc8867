#pragma once

#include <string>
#include <vector>

class SimVariables;

// What a simulator tells about the flight, in its own units, before it is put
// into the table of simulator variables that the link answers from.
struct SimulatorState {
    int utcHour = 0;
    int utcMinute = 0;
    int utcSecond = 0;
    bool onGround = true;
    bool parkingBrakeSet = false;
    bool replay = false;              // a replay records nothing: reported as slew
    std::vector<double> tankLbs;      // one per tank that exists
    std::string aircraftType;         // empty when the simulator does not say
    std::string aircraftId;
    std::string closestAirportId;
};

// Fills the table as the module would: the clock, the ground, brake and slew
// words, and the fuel as eleven tanks at one fuel weight, each capacity the
// tank's content rounded up to whole gallons, so that the tracker's sum comes
// to the simulator's fuel within a fraction of a pound. Tanks past the
// eleventh are added to the last; a tank that is not a number counts as
// empty, an absurd one as the fullest tank the table can hold. Also puts the module's version words in
// place (the lowest the client accepts, simulator code 0: "Any").
void writeSimulatorState(const SimulatorState& state, SimVariables& vars);

