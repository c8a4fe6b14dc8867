#pragma once

#include "scenario.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class SimVariables;

// Plays a scenario into the module's variables on the simulator's clock.
// Knows nothing of real time: the caller says how far the simulator has got.
class FlightPlayer {
public:
    struct Versions {
        std::uint32_t module = 0x19980005;
        std::uint32_t simulator = 0xFADE0006; // FS2002
    };

    FlightPlayer(Scenario scenario, SimVariables& vars, Versions versions);

    // Sets the clock to simSeconds after the start and applies every state
    // reached since the last call; returns their indices in order.
    std::vector<std::size_t> advanceTo(double simSeconds);
    // Simulator seconds from the start to the next state; negative when all are played.
    double nextStateSeconds() const;
    bool finished() const { return m_nextState >= m_scenario.states.size(); }
    // The simulator's clock in seconds of the day, with its fraction.
    double secondOfDay() const { return m_secondOfDay; }

    // "state hhmm name brake=b ground=g slew=s fuel=lbs" for a state just applied.
    std::string stateLine(std::size_t index) const;
    // "end hhmm" with the time of the last state.
    std::string endLine() const;

private:
    std::string clockText(int minuteFromStart) const;
    void applyState(const FlightState& state);
    void setClock(double simSeconds);

    Scenario m_scenario;
    SimVariables& m_vars;
    std::size_t m_nextState = 0;
    double m_secondOfDay = 0;
    // Fuel on board as each state took effect: a late call applies several
    // states at once, and each line must show its own state's fuel.
    std::vector<std::int64_t> m_fuelAtState;
};

// Fuel on board in pounds, worked out exactly as the tracker does from the
// variables: weight/256 x the sum over the eleven tanks (in the tracker's
// order) of level/65536/128 x capacity; fuelOnBoardLbs rounds halves away
// from zero to whole pounds, as the tracker does.
double fuelOnBoardExactLbs(const SimVariables& vars);
std::int64_t fuelOnBoardLbs(const SimVariables& vars);
