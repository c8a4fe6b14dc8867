#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The few socket calls the simulator sources need, the same on POSIX systems
// and on Windows (Winsock). Every socket is non-blocking; every wait is
// bounded by the caller, who waits in short slices so that it can give up.
namespace net {

// A resolved host and port (IPv4 or IPv6).
struct Address {
    unsigned char storage[128] = {};
    int length = 0; // 0 = none
    int family() const;
    // True when both name the same host, whatever the ports.
    bool sameHost(const Address& other) const;
};

// Resolves numeric addresses and host names; false with a reason.
bool resolve(const std::string& host, std::uint16_t port, Address& address, std::string& strError);

// A socket, closed when the object ends. Not copyable.
class Socket {
public:
    Socket() = default;
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept : m_handle(other.m_handle) { other.m_handle = kInvalid; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool isOpen() const { return m_handle != kInvalid; }
    void close();

    // Starts a TCP connection (TCP_NODELAY); finish it with awaitConnected.
    bool startConnect(const Address& address, std::string& strError);
    // Waits up to waitMs: 1 = connected, 0 = still connecting, -1 = refused (reason in strError).
    int awaitConnected(int waitMs, std::string& strError);
    // Queues bytes on a connected stream; false when the peer is gone or the
    // bytes would not fit at once (these sources send a few hundred bytes).
    bool sendAll(const std::string& bytes);
    // Waits up to waitMs for data: the byte count, 0 when none came, -1 when
    // the connection is closed or broken.
    long receive(unsigned char* buffer, std::size_t capacity, int waitMs);

    // A UDP socket of the address's family, bound to any local port.
    bool openDatagram(const Address& peer, std::string& strError);
    // A UDP socket bound to a local address (port 0 = any free port).
    bool bindDatagram(const Address& local, std::string& strError);
    bool sendTo(const Address& peer, const unsigned char* bytes, std::size_t length);
    // Waits up to waitMs for one datagram: its length (0 = none came, -1 = error), and its sender.
    long receiveFrom(unsigned char* buffer, std::size_t capacity, int waitMs, Address& sender);
    // The bound local port (0 when unknown).
    std::uint16_t localPort() const;

private:
    static constexpr std::intptr_t kInvalid = -1;
    bool makeSocket(int family, int type, std::string& strError);
    int waitFor(bool writable, int waitMs) const; // 1 ready, 0 time-out, -1 error

    std::intptr_t m_handle = kInvalid;
};

} // namespace net
