#pragma once

#include "clsacars.h"

#include <string>
#include <vector>

// Keeps every tracker event as "Name text", in the order raised.
class RecordingEvents : public clsACARSEvents {
public:
    std::vector<std::string> events;

    void FlightOUT(const std::string& s) override { add("FlightOUT", s); }
    void FlightOFF(const std::string& s) override { add("FlightOFF", s); }
    void FlightON(const std::string& s) override { add("FlightON", s); }
    void FlightIN(const std::string& s) override { add("FlightIN", s); }
    void FlightTime(const std::string& s) override { add("FlightTime", s); }
    void FlightTimeHHMM(const std::string& s) override { add("FlightTimeHHMM", s); }
    void FuelOut(const std::string& s) override { add("FuelOut", s); }
    void FuelIn(const std::string& s) override { add("FuelIn", s); }
    void FuelUsed(const std::string& s) override { add("FuelUsed", s); }
    void FSClosed(const std::string& s) override { add("FSClosed", s); }
    void Error(const std::string& s) override { add("Error", s); }

private:
    void add(const char* name, const std::string& text) { events.push_back(std::string(name) + " " + text); }
};

// The fuel the stand-in printed with that state ("state hhmm name ... fuel=lbs"),
// as the tracker tells it ("" for none); "?" when the state was not printed.
inline std::string printedFuel(const std::vector<std::string>& lines, const std::string& state)
{
    for (const std::string& line : lines) {
        if (line.rfind("state ", 0) == 0 && line.find(" " + state + " ") != std::string::npos) {
            const std::string lbs = line.substr(line.find("fuel=") + 5);
            return lbs == "0" ? "" : lbs;
        }
    }
    return "?";
}

inline std::string fuelUsed(const std::string& out, const std::string& in)
{
    return std::to_string(std::stoll(out) - std::stoll(in));
}
