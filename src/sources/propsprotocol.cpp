#include "propsprotocol.h"

#include <cmath>
#include <cstdlib>
#include <optional>

namespace props {
namespace {

constexpr int kGearUnits = 10;
constexpr int kTanks = 24;

enum Field : std::size_t {
    kHour, kMinute, kSecond, kBrake, kReplay, kFreezeReplay, kAircraft, kAirport, kVersion, kFirstGear,
    kFirstTank = kFirstGear + kGearUnits, kFieldCount = kFirstTank + kTanks
};

std::vector<std::string> makePaths()
{
    std::vector<std::string> paths{"/sim/time/utc/hour", "/sim/time/utc/minute", "/sim/time/utc/second",
                                   "/controls/gear/brake-parking", "/sim/replay/replay-state",
                                   "/sim/freeze/replay-state", "/sim/aircraft", "/sim/airport/closest-airport-id",
                                   "/sim/version/flightgear"};
    for (int i = 0; i < kGearUnits; ++i)
        paths.push_back("/gear/gear[" + std::to_string(i) + "]/wow");
    for (int i = 0; i < kTanks; ++i)
        paths.push_back("/consumables/fuel/tank[" + std::to_string(i) + "]/level-lbs");
    return paths;
}

// A number, or "true"/"false" as 1/0; nothing for an empty or unreadable value.
std::optional<double> numberOf(const std::string& text)
{
    if (text == "true")
        return 1.0;
    if (text == "false")
        return 0.0;
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool isSet(const std::string& text)
{
    return numberOf(text).value_or(0.0) != 0.0;
}

} // namespace

const std::vector<std::string>& batchPaths()
{
    static const std::vector<std::string> paths = makePaths();
    return paths;
}

std::string dataModeCommand()
{
    return "data\r\n";
}

std::string batchRequest()
{
    std::string request;
    for (const std::string& path : batchPaths())
        request += "get " + path + "\r\n";
    return request;
}

bool stateFromValues(const std::vector<std::string>& values, SimulatorState& state)
{
    if (values.size() != kFieldCount)
        return false;
    const auto hour = numberOf(values[kHour]);
    const auto minute = numberOf(values[kMinute]);
    const auto second = numberOf(values[kSecond]);
    if (!hour || !minute || !second || *hour < 0 || *hour > 23 || *minute < 0 || *minute > 59 || *second < 0 ||
        *second >= 61)
        return false;
    state.utcHour = static_cast<int>(*hour);
    state.utcMinute = static_cast<int>(*minute);
    state.utcSecond = static_cast<int>(*second);
    state.parkingBrakeSet = isSet(values[kBrake]);
    state.replay = isSet(values[kReplay]) || isSet(values[kFreezeReplay]);
    state.onGround = false;
    for (int i = 0; i < kGearUnits; ++i)
        state.onGround = state.onGround || isSet(values[kFirstGear + i]);
    state.tankLbs.clear();
    for (int i = 0; i < kTanks; ++i)
        if (const auto lbs = numberOf(values[kFirstTank + i]))
            state.tankLbs.push_back(*lbs);
    state.aircraftType = values[kAircraft];
    state.aircraftId.clear();
    state.closestAirportId = values[kAirport];
    return true;
}

std::string versionFromValues(const std::vector<std::string>& values)
{
    return values.size() == kFieldCount ? values[kVersion] : std::string{};
}

bool LineReader::feed(const unsigned char* bytes, std::size_t length)
{
    for (std::size_t i = 0; i < length && !m_malformed; ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c == '\n') {
            if (!m_pending.empty() && m_pending.back() == '\r')
                m_pending.pop_back();
            m_lines.push_back(std::move(m_pending));
            m_pending.clear();
        } else if (m_pending.size() >= kMaxLineBytes) {
            m_malformed = true;
        } else {
            m_pending += c;
        }
    }
    return !m_malformed;
}

bool LineReader::nextLine(std::string& line)
{
    if (m_taken == m_lines.size()) {
        m_lines.clear();
        m_taken = 0;
        return false;
    }
    line = std::move(m_lines[m_taken++]);
    return true;
}

void LineReader::clear()
{
    m_pending.clear();
    m_lines.clear();
    m_taken = 0;
    m_malformed = false;
}

} // namespace props
