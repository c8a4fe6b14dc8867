// quillon-probe: the link check a user runs when something is wrong. Opens
// the link to the simulator (its module, or a simulator source), prints the
// result, which simulator answered and one reading of the variables Quillon
// uses, and closes.
#include "clsfsuipc.h"
#include "simoffsets.h"
#include "sourceselector.h"
#include "sourcechoice.h"
#include "trackcommand.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitLinkFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: quillon-probe [--source SOURCE [--key-file FILE]] [--track]\n"
    "  SOURCE: fsuipc (default), automatic, flightgear[:HOST[:PORT]] (127.0.0.1:5401),\n"
    "          xplane[:HOST[:PORT]] (127.0.0.1:49000), relay[:HOST[:PORT]] (127.0.0.1:5230);\n"
    "          IPv6 hosts in brackets\n"
    "  --key-file FILE: the relay's key, when not in its default place\n";

struct ProbeOptions {
    bool help = false;
    bool track = false; // follow a flight with the tracker instead of one reading
    SourceChoice source = SourceChoice::of(SourceChoice::Kind::Fsuipc);
    std::string keyFile; // the relay's key file, when not in its default place
};

// Fills options from the arguments; false with the reason on a bad one.
bool parseArguments(const std::vector<std::string>& args, ProbeOptions& options, std::string& strError)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--track") {
            options.track = true;
        } else if (arg == "--source") {
            if (i + 1 >= args.size()) {
                strError = "--source needs a value";
                return false;
            }
            const std::optional<SourceChoice> source = parseSourceChoice(args[++i], strError);
            if (!source) {
                strError = "--source: " + strError;
                return false;
            }
            options.source = *source;
        } else if (arg == "--key-file") {
            if (i + 1 >= args.size()) {
                strError = "--key-file needs a value";
                return false;
            }
            options.keyFile = args[++i];
        } else {
            strError = "unknown option: " + arg;
            return false;
        }
    }
    if (!options.keyFile.empty() && options.source.kind != SourceChoice::Kind::Relay) {
        strError = "--key-file is for --source relay";
        return false;
    }
    options.source.keyFile = options.keyFile;
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

void printDetails(const SourceSelector& selector)
{
    const IpcPlatform::FlightDetails details = selector.flightDetails();
    if (!details.aircraftType.empty())
        std::cout << "Aircraft type: " << details.aircraftType << "\n";
    if (!details.aircraftId.empty())
        std::cout << "Aircraft ID: " << details.aircraftId << "\n";
    if (!details.closestAirportId.empty())
        std::cout << "Closest airport: " << details.closestAirportId << "\n";
}

int probe(SourceSelector& selector)
{
    clsFSUIPC link(selector);
    std::int32_t dwResult = FSUIPC_OK;
    if (!link.FSUIPC_Open(0, dwResult)) {
        std::cout << "Result: " << link.Get_Result(dwResult) << std::endl;
        return kExitLinkFailed;
    }
    std::cout << "Result: " << link.Get_Result(dwResult) << "\n"
              << "Simulator: " << link.Description() << "\n";
    // Only the module (here or through a relay) has versions of its own; a source's would be placeholders.
    if (selector.simulatorDescription().empty())
        std::cout << "Version_FSUIPC: " << link.Version_FSUIPC() << "\n"
                  << "Version_FS: " << link.Version_FS() << "\n";
    printDetails(selector);
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
    SourceSelector selector;
    selector.setSource(options.source);
    if (options.track) {
        // What the pilot would otherwise type, as the simulator tells it at OUT and at IN.
        const auto details = [&selector](bool arrived) {
            const IpcPlatform::FlightDetails d = selector.flightDetails();
            std::vector<std::string> lines;
            if (!arrived && !d.aircraftType.empty())
                lines.push_back("Aircraft type: " + d.aircraftType);
            if (!arrived && !d.aircraftId.empty())
                lines.push_back("Aircraft ID: " + d.aircraftId);
            if (!d.closestAirportId.empty())
                lines.push_back((arrived ? "Destination: " : "Origin: ") + d.closestAirportId);
            return lines;
        };
        return runTrackCommand(std::cout, selector, std::chrono::milliseconds(500), details);
    }
    return probe(selector);
}
