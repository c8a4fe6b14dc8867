#pragma once

#include "fakeipcplatform.h"
#include "relayserver.h"
#include "simvariables.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

// quillon-relay's server in a thread of the test, on a loopback port, in front
// of the scripted module; what it logs is kept for the test to read.
struct RelayInThread {
    SimVariables vars;
    FakeIpcPlatform module;
    RelayConfig config;
    std::ostringstream log;
    RelayEndpoint endpoint; // where it listens
    std::unique_ptr<RelayServer> server;
    std::atomic<bool> stopping{false};
    std::thread thread;

    RelayInThread() { module.attachModule(&vars); }
    ~RelayInThread() { stop(); }

    // Serves on port (0: one the system chooses) until stop(); false when it cannot listen.
    bool start(std::uint16_t port = 0)
    {
        stop();
        stopping = false;
        server = std::make_unique<RelayServer>(module, config, log);
        relaysocket::Address address;
        std::string error;
        if (!resolveEndpoint({"127.0.0.1", port}, true, address, error) || !server->listen(address, error))
            return false;
        endpoint.port =
            ntohs(reinterpret_cast<const sockaddr_in&>(server->listeningAddress().storage).sin_port);
        thread = std::thread([this] {
            while (!stopping)
                server->serveFor(std::chrono::milliseconds(10));
        });
        return true;
    }
    // Stops serving and closes the port; returns the log so far.
    std::string stop()
    {
        stopping = true;
        if (thread.joinable())
            thread.join();
        server.reset();
        return log.str();
    }
};
