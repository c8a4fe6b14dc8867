#pragma once

#include "ipcplatform.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

// The link's platform on Linux and other POSIX systems: a window is a
// connection to the module's Unix socket, a mapping a POSIX shared-memory
// object, a message a request on the connection answered by the module
// (docs/transport.md). Atoms live in this object's own table, since there is
// no global one; every message carries the name.
class PosixIpcPlatform : public IpcPlatform {
public:
    PosixIpcPlatform() = default;
    ~PosixIpcPlatform() override; // releases whatever its users left open
    PosixIpcPlatform(const PosixIpcPlatform&) = delete;
    PosixIpcPlatform& operator=(const PosixIpcPlatform&) = delete;

    WindowHandle findWindow(const std::string& className) override;
    void releaseWindow(WindowHandle window) override;
    std::uint32_t registerMessage(const std::string& name) override;
    std::uint32_t currentProcessId() override;
    std::uint16_t addAtom(const std::string& name) override;
    void deleteAtom(std::uint16_t atom) override;
    Mapping createMapping(const std::string& name, std::uint32_t sizeBytes) override;
    std::uint8_t* mapView(MappingHandle mapping) override;
    void unmapView(std::uint8_t* view) override;
    void closeMapping(MappingHandle mapping) override;
    SendResult sendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::uintptr_t lParam, std::uint32_t timeoutMs) override;
    void sleepMs(std::uint32_t milliseconds) override;

protected:
    // One non-blocking send() and recv() on a connection: seams through which
    // tests play modules that misbehave in ways a real socket cannot be made to.
    virtual ssize_t sendBytes(int fd, const std::uint8_t* bytes, std::size_t count);
    virtual ssize_t receiveBytes(int fd, std::uint8_t* buffer, std::size_t size);

private:
    using Clock = std::chrono::steady_clock;

    struct Connection {
        int fd = -1;
        std::uint32_t sequence = 0;
        std::vector<std::uint8_t> received; // reply bytes not yet taken
        bool broken = false;                // every later message fails at once
    };
    struct AtomEntry {
        std::string name;
        unsigned references = 0;
    };
    struct SharedObject {
        int fd = -1;
        std::string name;
        std::size_t sizeBytes = 0;
        bool unlinked = false;
    };

    bool sendRequest(Connection& connection, const std::vector<std::uint8_t>& bytes,
                     Clock::time_point deadline, SendResult& failure);
    bool awaitReply(Connection& connection, std::uint32_t sequence, Clock::time_point deadline,
                    SendResult& result);
    static SendResult breakConnection(Connection& connection, std::uint32_t lastError);
    bool waitIsOver(Clock::time_point deadline) const;
    std::string atomName(std::uint16_t atom) const;
    void unlinkSharedObject(const std::string& name);

    std::map<WindowHandle, Connection> m_connections;
    WindowHandle m_lastWindow = 0;
    std::map<std::uint16_t, AtomEntry> m_atoms;
    std::map<MappingHandle, SharedObject> m_objects;
    MappingHandle m_lastMapping = 0;
    std::map<std::uint8_t*, std::size_t> m_views; // view -> its length
};
