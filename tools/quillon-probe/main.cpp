// quillon-probe: the link check a user runs when something is wrong. Opens
// the link to the simulator's module, prints the result and one reading of
// the variables Quillon uses, and closes.
#include "clsfsuipc.h"
#include "relayipcplatform.h"
#include "relaykey.h"
#include "simoffsets.h"
#include "trackcommand.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitLinkFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage = "usage: quillon-probe [--track] [--source relay[:HOST[:PORT]] [--key-file FILE]]\n";

struct ProbeOptions {
    bool help = false;
    bool track = false; // follow a flight with the tracker instead of one reading
    std::optional<RelayEndpoint> relay; // --source relay[:HOST[:PORT]]: through a quillon-relay
    std::string keyFile;                // the relay's key file; its default place unless given
};

// "relay", "relay:HOST", "relay:HOST:PORT", "relay:[IPv6]:PORT".
bool parseRelaySource(const std::string& source, ProbeOptions& options, std::string& strError)
{
    if (source != "relay" && source.rfind("relay:", 0) != 0) {
        strError = "unknown source: " + source;
        return false;
    }
    RelayEndpoint endpoint;
    if (source != "relay" && !parseEndpoint(source.substr(6), endpoint, strError))
        return false;
    options.relay = endpoint;
    return true;
}

// Fills options from the arguments; false with the reason on a bad one.
bool parseArguments(const std::vector<std::string>& args, ProbeOptions& options, std::string& strError)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if ((arg == "--source" || arg == "--key-file") && i + 1 >= args.size()) {
            strError = "missing value for " + arg;
            return false;
        }
        if (arg == "--source") {
            if (!parseRelaySource(args[++i], options, strError))
                return false;
        } else if (arg == "--key-file") {
            options.keyFile = args[++i];
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--track") {
            options.track = true;
        } else {
            strError = "unknown option: " + arg;
            return false;
        }
    }
    return true;
}

using SimOffset::kTankLevels;

struct Reading {
    std::array<std::uint8_t, 3> clock{}; // hour, minute, second
    std::uint16_t brake = 0;
    std::uint16_t onGround = 0;
    std::uint16_t slew = 0;
    std::int32_t fuelWeight = 0; // pounds per gallon x 256
    std::array<std::int32_t, 11> levels{};
    std::array<std::int32_t, 11> capacities{};
};

// Queues every variable in one batch and exchanges it.
bool readVariables(clsFSUIPC& link, Reading& reading, std::int32_t& dwResult)
{
    bool queued = link.FSUIPC_Read(SimOffset::kZuluTime, 3, reading.clock.data(), dwResult) &&
                  link.FSUIPC_Read(SimOffset::kParkingBrake, 2, &reading.brake, dwResult) &&
                  link.FSUIPC_Read(SimOffset::kOnGround, 2, &reading.onGround, dwResult) &&
                  link.FSUIPC_Read(SimOffset::kSlew, 2, &reading.slew, dwResult) &&
                  link.FSUIPC_Read(SimOffset::kFuelWeight, 4, &reading.fuelWeight, dwResult);
    for (std::size_t i = 0; queued && i < kTankLevels.size(); ++i) {
        queued = link.FSUIPC_Read(kTankLevels[i], 4, &reading.levels[i], dwResult) &&
                 link.FSUIPC_Read(kTankLevels[i] + SimOffset::kTankCapacityAfterLevel, 4, &reading.capacities[i], dwResult);
    }
    return queued && link.FSUIPC_Process(dwResult);
}

void printReading(const Reading& reading)
{
    char line[96];
    std::snprintf(line, sizeof line, "UTC: %02u%02uZ", unsigned{reading.clock[0]}, unsigned{reading.clock[1]});
    std::cout << line << "\n"
              << "Parking brake: " << reading.brake << "\n"
              << "On ground: " << reading.onGround << "\n"
              << "Slew: " << reading.slew << "\n";
    std::snprintf(line, sizeof line, "Fuel weight: %d (%.3f lbs/gal)", reading.fuelWeight,
                  reading.fuelWeight / 256.0);
    std::cout << line << "\n";
    for (std::size_t i = 0; i < kTankLevels.size(); ++i) {
        std::snprintf(line, sizeof line, "Tank 0x%04X: level %d capacity %d", unsigned(kTankLevels[i]),
                      reading.levels[i], reading.capacities[i]);
        std::cout << line << "\n";
    }
}

int probe(IpcPlatform& platform)
{
    clsFSUIPC link(platform);
    std::int32_t dwResult = FSUIPC_OK;
    if (!link.FSUIPC_Open(0, dwResult)) {
        std::cout << "Result: " << link.Get_Result(dwResult) << std::endl;
        return kExitLinkFailed;
    }
    std::cout << "Result: " << link.Get_Result(dwResult) << "\n"
              << "Version_FSUIPC: " << link.Version_FSUIPC() << "\n"
              << "Version_FS: " << link.Version_FS() << "\n";
    Reading reading;
    if (!readVariables(link, reading, dwResult)) {
        std::cout << "Reading failed: " << link.Get_Result(dwResult) << std::endl;
        return kExitLinkFailed;
    }
    printReading(reading);
    std::cout.flush();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ProbeOptions options;
    std::string error;
    if (!parseArguments(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "quillon-probe: " << error << "\n" << kUsage;
        return kExitUsage;
    }
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    std::unique_ptr<RelayIpcPlatform> relay;
    if (options.relay)
        relay = std::make_unique<RelayIpcPlatform>(
            *options.relay, options.keyFile.empty() ? defaultRelayKeyPath() : options.keyFile);
    IpcPlatform& platform = relay ? *relay : systemIpcPlatform();
    const int status = options.track ? runTrackCommand(std::cout, platform) : probe(platform);
    if (relay && !relay->connectProblem().empty())
        std::cerr << "quillon-probe: " << relay->connectProblem() << "\n";
    return status;
}
