// quillon-sim: a stand-in for the simulator and its module. Serves the link
// on a window class and flies a scenario on an accelerated clock, printing
// every state change (formats in docs/scenario.md).
#include "flightplayer.h"
#include "moduleserver.h"
#include "scenario.h"
#include "simvariables.h"
#include "xplaneserver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRequested = 3;       // --exit-after reached
constexpr double kMinimumHoldMs = 1000; // two of the tracker's 500 ms polls
constexpr std::chrono::milliseconds kServeSlice{50};

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void stopOnSignal(int signalNumber)
{
    g_stopSignal = signalNumber;
}

struct Options {
    std::string className = "UIPCMAIN";
    double speed = 60;
    std::optional<int> startHhmm;
    std::string scenarioFile;
    FlightPlayer::Versions versions;
    std::int64_t hangAfter = -1;
    std::int64_t exitAfter = -1;
    std::optional<std::uint16_t> xplanePort; // serve X-Plane's UDP interface instead of the module
};

const char* const kUsage =
    "usage: quillon-sim [--class NAME] [--speed N] [--start HHMM | --midnight] [--scenario FILE]\n"
    "                   [--module-version HEX] [--sim-version HEX] [--hang-after N] [--exit-after N]\n"
    "                   [--xplane PORT]\n";

bool parseUnsigned(const std::string& text, int base, std::uint64_t limit, std::uint64_t& value)
{
    try {
        std::size_t used = 0;
        value = std::stoull(text, &used, base);
        return used == text.size() && text[0] != '-' && value <= limit;
    } catch (const std::exception&) {
        return false;
    }
}

// Fills options from the arguments; false with the reason on a bad one.
bool parseArguments(const std::vector<std::string>& args, Options& options, std::string& strError)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--midnight") {
            options.startHhmm = 2350;
            continue;
        }
        if (i + 1 >= args.size()) {
            strError = "unknown option or missing value: " + name;
            return false;
        }
        const std::string& value = args[++i];
        std::uint64_t number = 0;
        bool valid = true;
        if (name == "--class") {
            valid = !value.empty();
            options.className = value;
        } else if (name == "--speed") {
            try {
                options.speed = std::stod(value);
            } catch (const std::exception&) {
                valid = false;
            }
            valid = valid && options.speed > 0 && options.speed <= 3600;
        } else if (name == "--start") {
            valid = value.size() == 4 && parseUnsigned(value, 10, 2359, number) && number % 100 < 60;
            options.startHhmm = static_cast<int>(number);
        } else if (name == "--scenario") {
            options.scenarioFile = value;
        } else if (name == "--module-version" || name == "--sim-version") {
            valid = parseUnsigned(value, 16, 0xFFFFFFFF, number);
            (name == "--module-version" ? options.versions.module : options.versions.simulator) =
                static_cast<std::uint32_t>(number);
        } else if (name == "--xplane") {
            valid = parseUnsigned(value, 10, 65535, number);
            options.xplanePort = static_cast<std::uint16_t>(number);
        } else if (name == "--hang-after" || name == "--exit-after") {
            valid = parseUnsigned(value, 10, INT64_MAX, number);
            (name == "--hang-after" ? options.hangAfter : options.exitAfter) =
                static_cast<std::int64_t>(number);
        } else {
            strError = "unknown option: " + name;
            return false;
        }
        if (!valid) {
            strError = "bad value for " + name + ": " + value;
            return false;
        }
    }
    return true;
}

bool loadScenario(const Options& options, Scenario& scenario, std::string& strError)
{
    scenario = demoScenario();
    if (!options.scenarioFile.empty()) {
        std::ifstream file(options.scenarioFile);
        if (!file) {
            strError = "cannot read " + options.scenarioFile;
            return false;
        }
        if (!parseScenario(file, scenario, strError)) {
            strError = options.scenarioFile + ", " + strError;
            return false;
        }
    }
    if (options.startHhmm)
        scenario.startMinuteOfDay = *options.startHhmm / 100 * 60 + *options.startHhmm % 100;
    const double holdMs = shortestHoldMinutes(scenario) * 60.0 / options.speed * 1000.0;
    if (scenario.states.size() > 1 && holdMs < kMinimumHoldMs) {
        std::ostringstream reason;
        reason << "at speed " << options.speed << " a state would be held only " << static_cast<int>(holdMs)
               << " ms; a tracker polling every 500 ms needs 1000 ms";
        strError = reason.str();
        return false;
    }
    return true;
}

// Serves and flies until a signal or --exit-after ends it.
int fly(ModuleServer& server, FlightPlayer& player, double speed)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    bool endPrinted = false;
    while (g_stopSignal == 0) {
        const double simSeconds = std::chrono::duration<double>(Clock::now() - start).count() * speed;
        for (const std::size_t index : player.advanceTo(simSeconds))
            std::cout << player.stateLine(index) << std::endl;
        if (player.finished() && !endPrinted) {
            std::cout << player.endLine() << std::endl;
            endPrinted = true;
        }
        auto slice = kServeSlice;
        if (!player.finished()) {
            const double untilNextMs = (player.nextStateSeconds() - simSeconds) / speed * 1000.0;
            slice =
                std::min(slice, std::chrono::milliseconds(static_cast<long long>(std::ceil(untilNextMs))));
        }
        if (!server.serveFor(std::max(slice, std::chrono::milliseconds(1))))
            return kExitRequested;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    Scenario scenario;
    std::string error;
    if (!parseArguments(std::vector<std::string>(argv + 1, argv + argc), options, error) ||
        !loadScenario(options, scenario, error)) {
        std::cerr << "quillon-sim: " << error << "\n" << kUsage;
        return kExitUsage;
    }

    SimVariables vars;
    FlightPlayer player(std::move(scenario), vars, options.versions);
    std::unique_ptr<ModuleServer> server = options.xplanePort ? makeXPlaneServer(vars, player, *options.xplanePort)
                                                              : makeModuleServer(vars, options.className);
    server->setHangAfter(options.hangAfter);
    server->setExitAfter(options.exitAfter);
    if (!server->start(error)) {
        std::cerr << "quillon-sim: " << error << "\n";
        return kExitFailure;
    }
    std::signal(SIGINT, stopOnSignal);
    std::signal(SIGTERM, stopOnSignal);
    if (options.xplanePort)
        std::cout << "ready xplane address=" << server->endpoint() << std::endl;
    else
        std::cout << "ready class=" << options.className << " socket=" << server->endpoint() << std::endl;
    return fly(*server, player, options.speed);
}
