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
