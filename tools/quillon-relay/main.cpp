// quillon-relay: carries the simulator link over TCP, so that Quillon on
// another machine (or outside Wine) reaches the module on this one. Starts
// closed: loopback only, read-only, and only clients holding its key.
#include "relayoptions.h"
#include "relayserver.h"

#include <csignal>
#include <iostream>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::chrono::milliseconds kServeSlice{100};

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void stopOnSignal(int signalNumber)
{
    g_stopSignal = signalNumber;
}

} // namespace

int main(int argc, char** argv)
{
    RelayOptions options;
    std::string error;
    if (!parseRelayOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "quillon-relay: " << error << "\n" << kRelayUsage;
        return kExitUsage;
    }
    if (options.help) {
        std::cout << kRelayUsage;
        return 0;
    }
    RelayConfig config;
    relaysocket::Address address;
    bool created = false;
    if (!relaysocket::startup() || !resolveEndpoint(options.listen, true, address, error) ||
        !checkListenAllowed(address, options, error) ||
        !RelayKey::loadOrCreate(options.keyFile, config.key, created, error)) {
        std::cerr << "quillon-relay: " << (error.empty() ? "sockets cannot be used" : error) << "\n";
        return kExitFailure;
    }
    config.allow.insert(config.allow.end(), options.allow.begin(), options.allow.end());
    config.readWrite = options.readWrite;
    RelayServer server(systemIpcPlatform(), std::move(config), std::cerr);
    if (!server.listen(address, error)) {
        std::cerr << "quillon-relay: " << error << "\n";
        return kExitFailure;
    }
    std::signal(SIGINT, stopOnSignal);
    std::signal(SIGTERM, stopOnSignal);
    std::cout << "Key file: " << options.keyFile << (created ? " (new key made)" : "") << "\n"
              << "Listening on " << relaysocket::addressText(server.listeningAddress())
              << (options.readWrite ? " (read-write)" : " (read-only)") << std::endl;
    while (g_stopSignal == 0)
        server.serveFor(kServeSlice);
    return 0;
}
