#include "sourcechoice.h"

#include "relaykey.h"

#include <array>
#include <charconv>

namespace {

struct KindInfo {
    SourceChoice::Kind kind;
    const char* name;
    const char* title;
    std::uint16_t defaultPort;
};

constexpr std::array<KindInfo, 5> kKinds{{
    {SourceChoice::Kind::Automatic, "automatic", "Automatic", 0},
    {SourceChoice::Kind::Fsuipc, "fsuipc", "the FSUIPC module", 0},
    {SourceChoice::Kind::FlightGear, "flightgear", "FlightGear", SourceChoice::kFlightGearPort},
    {SourceChoice::Kind::XPlane, "xplane", "X-Plane", SourceChoice::kXPlanePort},
    {SourceChoice::Kind::Relay, "relay", "the relay", SourceChoice::kRelayPort},
}};

const KindInfo& infoOf(SourceChoice::Kind kind)
{
    for (const KindInfo& info : kKinds)
        if (info.kind == kind)
            return info;
    return kKinds[0];
}

bool parsePort(std::string_view text, std::uint16_t& port)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// "HOST[:PORT]" after the keyword's colon; a bracketed host may hold colons.
bool parseAddress(std::string_view text, SourceChoice& choice, std::string& strError)
{
    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            strError = "missing ']' after the IPv6 address";
            return false;
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            strError = "expected ':PORT' after ']'";
            return false;
        }
        if (!rest.empty())
            port = rest.substr(1);
        if (!rest.empty() && port.empty()) {
            strError = "missing port after ':'";
            return false;
        }
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.find(':') != std::string_view::npos) {
            strError = "an IPv6 address must be written in brackets, e.g. [::1]";
            return false;
        }
        if (port.empty()) {
            strError = "missing port after ':'";
            return false;
        }
    }
    if (host.empty()) {
        strError = "missing host";
        return false;
    }
    if (host.find_first_of(" \t[]/") != std::string_view::npos) {
        strError = "not a host name: " + std::string(host);
        return false;
    }
    choice.host = std::string(host);
    if (!port.empty() && !parsePort(port, choice.port)) {
        strError = "not a port (1 to 65535): " + std::string(port);
        return false;
    }
    return true;
}

} // namespace

SourceChoice SourceChoice::of(Kind kind)
{
    SourceChoice choice;
    choice.kind = kind;
    if (choice.isNetwork()) {
        choice.host = kLoopbackHost;
        choice.port = infoOf(kind).defaultPort;
    }
    return choice;
}

std::string SourceChoice::endpoint() const
{
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string SourceChoice::relayKeyPath() const
{
    return keyFile.empty() ? defaultRelayKeyPath() : keyFile;
}

std::string SourceChoice::text() const
{
    return isNetwork() ? std::string(sourceKindName(kind)) + ":" + endpoint() : sourceKindName(kind);
}

const char* sourceKindName(SourceChoice::Kind kind)
{
    return infoOf(kind).name;
}

const char* sourceKindTitle(SourceChoice::Kind kind)
{
    return infoOf(kind).title;
}

std::optional<SourceChoice> parseSourceChoice(std::string_view text, std::string& strError)
{
    const std::size_t colon = text.find(':');
    const std::string_view keyword = text.substr(0, colon);
    for (const KindInfo& info : kKinds) {
        if (keyword != info.name)
            continue;
        SourceChoice choice = SourceChoice::of(info.kind);
        if (colon == std::string_view::npos)
            return choice;
        if (!choice.isNetwork()) {
            strError = std::string(info.name) + " takes no address";
            return std::nullopt;
        }
        if (!parseAddress(text.substr(colon + 1), choice, strError))
            return std::nullopt;
        return choice;
    }
    strError = "unknown source '" + std::string(keyword) +
               "' (automatic, fsuipc, flightgear[:HOST[:PORT]], xplane[:HOST[:PORT]], relay[:HOST[:PORT]])";
    return std::nullopt;
}
