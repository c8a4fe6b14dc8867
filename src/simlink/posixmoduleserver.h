#pragma once

#include "moduleserver.h"

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

// Serves the module on a Unix socket named after the window class
// (docs/transport.md). Peers of another user are refused; a malformed
// request or block is answered with 0 and serving goes on.
class PosixModuleServer final : public ModuleServer {
public:
    PosixModuleServer(SimVariables& vars, std::string className);
    ~PosixModuleServer() override; // closes every connection and removes its socket
    PosixModuleServer(const PosixModuleServer&) = delete;
    PosixModuleServer& operator=(const PosixModuleServer&) = delete;

    bool start(std::string& strError) override;
    bool serveFor(std::chrono::milliseconds duration) override;
    std::string endpoint() const override;

private:
    struct MappedBlock {
        std::string name;
        std::uint8_t* view = nullptr;
    };
    struct Connection {
        int fd = -1;
        std::vector<std::uint8_t> received;
        std::deque<MappedBlock> blocks; // mapped once, kept for the connection's life
    };

    bool removeStaleSocket(std::string& strError);
    void acceptClient();
    // Reads and answers what the connection has sent; false when it is to be closed.
    bool serveConnection(Connection& connection);
    bool answerRequests(Connection& connection);
    std::uint32_t answer(Connection& connection, const std::string& name, std::uint32_t message);
    std::uint8_t* blockFor(Connection& connection, const std::string& name);
    static void closeConnection(Connection& connection);

    SimVariables& m_vars;
    std::string m_className;
    std::string m_socketPath;
    int m_listenFd = -1;
    ino_t m_socketInode = 0;
    std::vector<Connection> m_connections;
    bool m_exitRequested = false;
};
