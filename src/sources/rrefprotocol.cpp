#include "rrefprotocol.h"

#include "blockformat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rref {
namespace {

constexpr char kTag[] = "RREF";
constexpr double kLbsPerKg = 2.20462262;
constexpr double kSecondsPerDay = 86400;
constexpr std::size_t kIcaoChars = 8;
constexpr std::size_t kTailChars = 12;

// Positions of the datarefs: the five Quillon must have, then the text bytes.
enum : std::size_t { kZuluTime, kOnGround, kParkingBrake, kFuelKg, kReplay, kRequiredCount, kFirstIcao = kRequiredCount,
                     kFirstTail = kFirstIcao + kIcaoChars, kCount = kFirstTail + kTailChars };

std::vector<std::string> makeDatarefs()
{
    std::vector<std::string> names{"sim/time/zulu_time_sec", "sim/flightmodel/failures/onground_any",
                                   "sim/cockpit2/controls/parking_brake_ratio", "sim/flightmodel/weight/m_fuel_total",
                                   "sim/time/is_in_replay"};
    for (std::size_t i = 0; i < kIcaoChars; ++i)
        names.push_back("sim/aircraft/view/acf_ICAO[" + std::to_string(i) + "]");
    for (std::size_t i = 0; i < kTailChars; ++i)
        names.push_back("sim/aircraft/view/acf_tailnum[" + std::to_string(i) + "]");
    return names;
}

void storeI32(unsigned char* at, std::int32_t value)
{
    blockformat::storeU32LE(at, static_cast<std::uint32_t>(value));
}

} // namespace

std::array<unsigned char, kRequestBytes> encodeRequest(const Request& request)
{
    std::array<unsigned char, kRequestBytes> packet{};
    std::memcpy(packet.data(), kTag, 4);
    storeI32(packet.data() + 5, request.frequency);
    storeI32(packet.data() + 9, request.index);
    std::memcpy(packet.data() + 13, request.name.data(), std::min(request.name.size(), kNameBytes - 1));
    return packet;
}

std::optional<Request> decodeRequest(const unsigned char* bytes, std::size_t length)
{
    if (length != kRequestBytes || std::memcmp(bytes, kTag, 4) != 0 || bytes[4] != 0)
        return std::nullopt;
    Request request;
    request.frequency = static_cast<std::int32_t>(blockformat::loadU32LE(bytes + 5));
    request.index = static_cast<std::int32_t>(blockformat::loadU32LE(bytes + 9));
    const auto* name = reinterpret_cast<const char*>(bytes + 13);
    request.name.assign(name, strnlen(name, kNameBytes));
    return request;
}

std::optional<std::vector<std::pair<std::int32_t, float>>> decodeReply(const unsigned char* bytes, std::size_t length)
{
    if (length < kReplyHeaderBytes || std::memcmp(bytes, kTag, 4) != 0 ||
        (length - kReplyHeaderBytes) % kPairBytes != 0)
        return std::nullopt;
    std::vector<std::pair<std::int32_t, float>> pairs;
    for (std::size_t at = kReplyHeaderBytes; at < length; at += kPairBytes) {
        const std::uint32_t bits = blockformat::loadU32LE(bytes + at + 4);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        pairs.emplace_back(static_cast<std::int32_t>(blockformat::loadU32LE(bytes + at)), value);
    }
    return pairs;
}

std::vector<unsigned char> encodeReply(const std::vector<std::pair<std::int32_t, float>>& pairs)
{
    std::vector<unsigned char> packet(kReplyHeaderBytes + pairs.size() * kPairBytes);
    std::memcpy(packet.data(), kTag, 4);
    packet[4] = ',';
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &pairs[i].second, sizeof bits);
        storeI32(packet.data() + kReplyHeaderBytes + i * kPairBytes, pairs[i].first);
        storeI32(packet.data() + kReplyHeaderBytes + i * kPairBytes + 4, static_cast<std::int32_t>(bits));
    }
    return packet;
}

const std::vector<std::string>& datarefs()
{
    static const std::vector<std::string> names = makeDatarefs();
    return names;
}

Values::Values() : m_values(kCount) {}

bool Values::take(const std::vector<std::pair<std::int32_t, float>>& pairs)
{
    for (const auto& [index, value] : pairs)
        if (index >= 0 && static_cast<std::size_t>(index) < m_values.size() && std::isfinite(value))
            m_values[static_cast<std::size_t>(index)] = value;
    return complete();
}

bool Values::complete() const
{
    for (std::size_t i = 0; i < kRequiredCount; ++i)
        if (!m_values[i])
            return false;
    return true;
}

void Values::clear()
{
    m_values.assign(kCount, std::nullopt);
}

// Byte-array elements as characters, up to the first zero or missing one.
std::string Values::text(std::size_t first, std::size_t count) const
{
    std::string result;
    for (std::size_t i = first; i < first + count && m_values[i]; ++i) {
        const float code = *m_values[i];
        if (code < 32 || code > 126)
            break;
        result += static_cast<char>(code);
    }
    return result;
}

SimulatorState Values::state() const
{
    SimulatorState state;
    // Whole seconds are cut, never rounded: 3599.9 s is still 00:59.
    const double seconds = std::fmod(std::max(0.0, static_cast<double>(m_values[kZuluTime].value_or(0))), kSecondsPerDay);
    const auto whole = static_cast<long>(std::floor(seconds));
    state.utcHour = static_cast<int>(whole / 3600 % 24);
    state.utcMinute = static_cast<int>(whole / 60 % 60);
    state.utcSecond = static_cast<int>(whole % 60);
    state.onGround = m_values[kOnGround].value_or(0) != 0;
    state.parkingBrakeSet = m_values[kParkingBrake].value_or(0) != 0;
    state.replay = m_values[kReplay].value_or(0) != 0;
    state.tankLbs = {m_values[kFuelKg].value_or(0) * kLbsPerKg};
    state.aircraftType = text(kFirstIcao, kIcaoChars);
    state.aircraftId = text(kFirstTail, kTailChars);
    return state;
}

} // namespace rref
