#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#endif

// The few socket calls the relay and its client need, the same on POSIX and
// Winsock, and the other system calls they make: one place for the
// differences (handle type, close, error numbers, poll, private files), so
// that the rest is written once.
namespace relaysocket {

#ifdef _WIN32
using NativeSocket = SOCKET;
using PollEntry = WSAPOLLFD;
inline constexpr NativeSocket kNoSocket = INVALID_SOCKET;
#else
using NativeSocket = int;
using PollEntry = pollfd;
inline constexpr NativeSocket kNoSocket = -1;
#endif

// A socket address of either family with its length, as accept() and getaddrinfo() give it.
struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// An owned socket, closed when it ends.
class Socket {
public:
    Socket() = default;
    explicit Socket(NativeSocket native) : m_native(native) {}
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept : m_native(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return m_native != kNoSocket; }
    NativeSocket native() const { return m_native; }
    NativeSocket release();
    void close();

private:
    NativeSocket m_native = kNoSocket;
};

// Starts Winsock once per process; nothing on POSIX. False when sockets cannot be used.
bool startup();

// The last socket error of this thread (errno or WSAGetLastError()), and its text.
std::uint32_t lastError();
std::string errorText(std::uint32_t error);
bool wouldBlock(std::uint32_t error);  // EAGAIN/EWOULDBLOCK/EINPROGRESS and their Winsock forms
std::uint32_t connectionResetError(); // ECONNRESET / WSAECONNRESET
bool outOfDescriptors(std::uint32_t error); // EMFILE/ENFILE/ENOBUFS/ENOMEM and their Winsock forms

bool setNonBlocking(NativeSocket socket);
// TCP_NODELAY and SO_KEEPALIVE: each frame leaves at once, and a dead peer is noticed.
// With a limit, the connection also fails once bytes sent stay unacknowledged that
// long (TCP_USER_TIMEOUT / TCP_MAXRT): a live peer's system acknowledges even when
// its program is idle, a vanished one does not.
void setLowLatencyKeepAlive(NativeSocket socket, std::chrono::milliseconds unacknowledgedLimit = {});

// poll() / WSAPoll(); the number of ready entries, 0 at the time-out, -1 on error.
int pollSockets(PollEntry* entries, std::size_t count, int timeoutMs);

// Sends or receives what the socket takes now, without waiting: the byte count,
// 0 for nothing now (would block), -1 on a failure (lastError()) and, for
// receive, -2 at the peer's orderly end.
long sendSome(NativeSocket socket, const std::uint8_t* data, std::size_t size);
long receiveSome(NativeSocket socket, std::uint8_t* data, std::size_t size);

// A non-blocking stream socket of the address's family, its connect started;
// invalid (lastError()) when the connect failed at once.
Socket startConnect(const Address& address);
// The outcome of a started connect once the socket is writable: 0 or the error.
std::uint32_t connectError(NativeSocket socket);
// A non-blocking listening socket bound to the address; invalid with the reason.
Socket listenOn(const Address& address, std::string& error);
// The next waiting connection, non-blocking, with its peer's address; invalid when none.
Socket acceptOne(NativeSocket listener, Address& peer);
// The address a socket is bound to (the port the system chose for port 0).
Address localAddress(NativeSocket socket);

// "127.0.0.1:5230", "[::1]:5230".
std::string addressText(const Address& address);

std::uint32_t currentProcessId();
// Fills size bytes from the system's cryptographic random source; false if it failed.
bool randomBytes(std::uint8_t* data, std::size_t size);
// Creates a new file (never through a link) that only this user can open,
// and writes bytes into it: mode 0600 on POSIX, a DACL granting this user
// alone, inheriting nothing, on Windows. False with the reason, naming the file.
bool writePrivateFile(const std::string& path, const std::string& bytes, std::string& error);

} // namespace relaysocket
