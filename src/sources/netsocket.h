#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

// Resolves numeric addresses and host names to every address, in the
// resolver's order; false with a reason when there is none.
bool resolveAll(const std::string& host, std::uint16_t port, std::vector<Address>& addresses, std::string& strError);
// The host's first IPv4 address, else its first: a datagram cannot tell which
// address is heard, and simulators listen on IPv4 at least ("localhost" may
// name ::1 first).
bool resolve(const std::string& host, std::uint16_t port, Address& address, std::string& strError);

// A socket, closed when the object ends. Not copyable.
class Socket {
public:
    Socket() = default;
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept : m_handle(other.m_handle), m_untried(std::move(other.m_untried))
    {
        other.m_handle = kInvalid;
    }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool isOpen() const { return m_handle != kInvalid; }
    void close();

    // Starts a TCP connection (TCP_NODELAY) to the first of addresses that
    // can be tried; finish it with awaitConnected.
    bool startConnect(const std::vector<Address>& addresses, std::string& strError);
    // Waits up to waitMs: 1 = connected, 0 = still connecting (or moved on to
    // the next address after a refusal), -1 = every address refused (the last
    // reason in strError).
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
    // A TCP socket listening on a local address (port 0 = any free port).
    bool listen(const Address& local, std::string& strError);
    // Waits up to waitMs for a connection: it, or a closed socket when none came.
    Socket accept(int waitMs);
    bool sendTo(const Address& peer, const unsigned char* bytes, std::size_t length);
    // Waits up to waitMs for one datagram: its length (0 = none came, -1 = error), and its sender.
    long receiveFrom(unsigned char* buffer, std::size_t capacity, int waitMs, Address& sender);
    // The bound local port (0 when unknown).
    std::uint16_t localPort() const;

private:
    static constexpr std::intptr_t kInvalid = -1;
    bool makeSocket(int family, int type, std::string& strError);
    void adopt(std::intptr_t handle); // non-blocking, not inherited
    bool bindTo(const Address& local, int type, std::string& strError);
    bool connectNext(std::string& strError);
    int waitFor(bool writable, int waitMs) const; // 1 ready, 0 time-out, -1 error

    std::intptr_t m_handle = kInvalid;
    std::vector<Address> m_untried; // the addresses a connection may still go to, in order
};

} // namespace net
