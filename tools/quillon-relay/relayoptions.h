#pragma once

#include "relayaddress.h"

#include <string>
#include <vector>

inline constexpr const char* kRelayUsage =
    "usage: quillon-relay [--listen ADDR:PORT] [--allow ADDR[/BITS]]... [--read-write] [--key-file FILE]\n";

struct RelayOptions {
    bool help = false;
    RelayEndpoint listen;       // loopback and the relay's port unless --listen
    std::vector<AllowRule> allow;
    bool readWrite = false;
    std::string keyFile;        // defaultRelayKeyPath() unless --key-file
};

// Fills options from the command line; false with the reason on a bad one.
bool parseRelayOptions(const std::vector<std::string>& args, RelayOptions& options, std::string& error);
// A relay may listen beyond loopback only with at least one --allow; false with the reason.
bool checkListenAllowed(const relaysocket::Address& listenAddress, const RelayOptions& options, std::string& error);
