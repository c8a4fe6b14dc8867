#include "scenario.h"

#include <array>
#include <cmath>
#include <sstream>
#include <utility>

namespace {

struct TankName {
    const char* name;
    std::uint32_t levelOffset;
};

constexpr std::array<TankName, 11> kTankNames{{
    {"center", 0x0B74},
    {"center-2", 0x1244},
    {"center-3", 0x124C},
    {"left-main", 0x0B7C},
    {"left-aux", 0x0B84},
    {"left-tip", 0x0B8C},
    {"right-main", 0x0B94},
    {"right-aux", 0x0B9C},
    {"right-tip", 0x0BA4},
    {"external-1", 0x1254},
    {"external-2", 0x125C},
}};

FlightState state(int minute, std::string name, bool brakeSet, bool onGround, std::vector<double> levels)
{
    return FlightState{minute, std::move(name), brakeSet, onGround, false, std::move(levels)};
}

// Parses a whole number or decimal with nothing after it.
bool parseNumber(const std::string& text, double& value)
{
    std::istringstream stream(text);
    stream >> value;
    return !text.empty() && stream && stream.peek() == std::char_traits<char>::eof() && std::isfinite(value);
}

bool parseWhole(const std::string& text, long long& value)
{
    double number = 0;
    if (!parseNumber(text, number) || number != std::floor(number) || std::fabs(number) > 1e12)
        return false;
    value = static_cast<long long>(number);
    return true;
}

bool parseFlag(const std::string& text, const char* on, const char* off, bool& value)
{
    if (text == on || text == off) {
        value = text == on;
        return true;
    }
    return false;
}

bool parseLevels(const std::string& text, std::vector<double>& levels)
{
    levels.clear();
    std::istringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        double percent = 0;
        if (!parseNumber(item, percent) || percent < 0 || percent > 100)
            return false;
        levels.push_back(percent);
    }
    return !levels.empty();
}

class ScenarioReader {
public:
    explicit ScenarioReader(Scenario& scenario) : m_scenario(scenario) {}

    // One line without its comment; empty string when it is good, else the reason.
    std::string readLine(const std::string& line)
    {
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword))
            return {};
        if (keyword == "start")
            return readStart(words);
        if (keyword == "fuel-weight")
            return readFuelWeight(words);
        if (keyword == "tank")
            return readTank(words);
        if (keyword == "at")
            return readState(words);
        return "unknown keyword \"" + keyword + "\"";
    }

    std::string finish() const
    {
        return m_scenario.states.empty() ? "no \"at\" line: the flight has no state" : "";
    }

private:
    std::string readStart(std::istringstream& words)
    {
        std::string hhmm;
        long long value = 0;
        if (!(words >> hhmm) || hhmm.size() != 4 || !parseWhole(hhmm, value) || value / 100 > 23 ||
            value % 100 > 59 || value < 0)
            return "start needs a time hhmm, 0000 to 2359";
        m_scenario.startMinuteOfDay = static_cast<int>(value / 100 * 60 + value % 100);
        return extraWords(words);
    }

    std::string readFuelWeight(std::istringstream& words)
    {
        std::string text;
        double weight = 0;
        if (!(words >> text) || !parseNumber(text, weight) || weight <= 0 || weight >= 100)
            return "fuel-weight needs pounds per gallon above 0 and below 100";
        m_scenario.fuelWeightLbsPerGallon = weight;
        return extraWords(words);
    }

    std::string readTank(std::istringstream& words)
    {
        if (!m_scenario.states.empty())
            return "tank lines must come before the first \"at\" line";
        std::string name, capacityText;
        long long capacity = 0;
        if (!(words >> name >> capacityText))
            return "tank needs a name and a capacity in gallons";
        const std::uint32_t offset = tankLevelOffset(name);
        if (offset == 0)
            return "unknown tank \"" + name + "\"";
        for (const SimTank& tank : m_scenario.tanks) {
            if (tank.levelOffset == offset)
                return "tank \"" + name + "\" given twice";
        }
        if (!parseWhole(capacityText, capacity) || capacity <= 0 || capacity > 0x7FFFFFFF)
            return "tank capacity must be a whole number of gallons above 0";
        m_scenario.tanks.push_back({name, offset, static_cast<std::uint32_t>(capacity)});
        return extraWords(words);
    }

    std::string readState(std::istringstream& words)
    {
        std::string minuteText;
        FlightState next;
        long long minute = 0;
        if (!(words >> minuteText >> next.name) || !parseWhole(minuteText, minute))
            return "at needs a whole minute and a state name";
        if (m_scenario.states.empty() ? minute != 0 : minute <= m_scenario.states.back().minute)
            return m_scenario.states.empty() ? "the first state must be at minute 0"
                                             : "minutes must increase from state to state";
        if (minute > 7 * 24 * 60)
            return "a flight may last at most a week";
        next.minute = static_cast<int>(minute);
        if (!m_scenario.states.empty())
            next.levelsPercent = m_scenario.states.back().levelsPercent;
        bool hasBrake = false, hasGround = false;
        std::string setting;
        while (words >> setting) {
            const auto equals = setting.find('=');
            const std::string key = setting.substr(0, equals);
            const std::string value = equals == std::string::npos ? "" : setting.substr(equals + 1);
            bool valid = false;
            if (key == "brake")
                valid = hasBrake = parseFlag(value, "set", "off", next.brakeSet);
            else if (key == "ground")
                valid = hasGround = parseFlag(value, "yes", "no", next.onGround);
            else if (key == "slew")
                valid = parseFlag(value, "on", "off", next.slew);
            else if (key == "fuel")
                valid = parseLevels(value, next.levelsPercent);
            if (!valid)
                return "bad setting \"" + setting + "\"";
        }
        if (!hasBrake || !hasGround)
            return "every state needs brake= and ground=";
        if (next.levelsPercent.size() != m_scenario.tanks.size())
            return "fuel= needs one level in percent per tank (" + std::to_string(m_scenario.tanks.size()) +
                   ")";
        m_scenario.states.push_back(std::move(next));
        return {};
    }

    static std::string extraWords(std::istringstream& words)
    {
        std::string extra;
        return words >> extra ? "unexpected \"" + extra + "\"" : "";
    }

    Scenario& m_scenario;
};

} // namespace

Scenario demoScenario()
{
    Scenario demo;
    demo.startMinuteOfDay = 14 * 60;
    demo.fuelWeightLbsPerGallon = 6.7;
    demo.tanks = {{"center", 0x0B74, 2000}, {"left-main", 0x0B7C, 1500}, {"right-main", 0x0B94, 1500}};
    demo.states = {
        state(0, "gate", true, true, {60, 100, 100}),
        state(2, "pushback", false, true, {60, 100, 100}),
        state(5, "taxi-out", false, true, {60, 99.5, 99.5}),
        state(10, "takeoff", false, false, {58, 99, 99}),
        state(15, "climb", false, false, {50, 97, 97}),
        state(30, "cruise", false, false, {35, 94, 94}),
        state(55, "cruise-2", false, false, {15, 90, 90}),
        state(80, "cruise-3", false, false, {0, 82, 82}),
        state(90, "descent", false, false, {0, 78, 78}),
        state(95, "landing", false, true, {0, 76, 76}),
        state(98, "taxi-in", false, true, {0, 75.5, 75.5}),
        state(101, "parked", true, true, {0, 75.5, 75.5}),
    };
    return demo;
}

bool parseScenario(std::istream& input, Scenario& scenario, std::string& strError)
{
    Scenario parsed;
    ScenarioReader reader(parsed);
    std::string line;
    for (int number = 1; std::getline(input, line); ++number) {
        const std::string reason = reader.readLine(line.substr(0, line.find('#')));
        if (!reason.empty()) {
            strError = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
    }
    const std::string reason = reader.finish();
    if (!reason.empty()) {
        strError = reason;
        return false;
    }
    scenario = std::move(parsed);
    return true;
}

std::uint32_t tankLevelOffset(const std::string& name)
{
    for (const TankName& tank : kTankNames) {
        if (name == tank.name)
            return tank.levelOffset;
    }
    return 0;
}

int shortestHoldMinutes(const Scenario& scenario)
{
    int shortest = 0;
    for (std::size_t i = 1; i < scenario.states.size(); ++i) {
        const int hold = scenario.states[i].minute - scenario.states[i - 1].minute;
        if (shortest == 0 || hold < shortest)
            shortest = hold;
    }
    return shortest;
}
