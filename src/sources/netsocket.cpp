#include "netsocket.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketLength = int;
#else
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketLength = socklen_t;
#endif

namespace net {
namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
// Winsock must be started once per process before the first call.
bool startWinsock()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
int lastSocketError() { return WSAGetLastError(); }
bool isValid(NativeSocket s) { return s != INVALID_SOCKET; }
bool inProgress(int error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }
bool wouldBlock(int error) { return error == WSAEWOULDBLOCK; }
int closeNative(NativeSocket s) { return closesocket(s); }
int pollNative(WSAPOLLFD* fds, int waitMs) { return WSAPoll(fds, 1, waitMs); }
using PollFd = WSAPOLLFD;
constexpr int kSendFlags = 0;
#else
using NativeSocket = int;
bool startWinsock() { return true; }
int lastSocketError() { return errno; }
bool isValid(NativeSocket s) { return s >= 0; }
bool inProgress(int error) { return error == EINPROGRESS; }
bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }
int closeNative(NativeSocket s) { return ::close(s); }
int pollNative(pollfd* fds, int waitMs) { return ::poll(fds, 1, waitMs); }
using PollFd = pollfd;
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

NativeSocket native(std::intptr_t handle) { return static_cast<NativeSocket>(handle); }

std::string errorText(int error)
{
#ifdef _WIN32
    return "socket error " + std::to_string(error);
#else
    return std::strerror(error);
#endif
}

} // namespace

int Address::family() const
{
    return length == 0 ? AF_UNSPEC : reinterpret_cast<const sockaddr*>(storage)->sa_family;
}

bool Address::sameHost(const Address& other) const
{
    if (length == 0 || family() != other.family())
        return false;
    if (family() == AF_INET)
        return std::memcmp(&reinterpret_cast<const sockaddr_in*>(storage)->sin_addr,
                           &reinterpret_cast<const sockaddr_in*>(other.storage)->sin_addr, sizeof(in_addr)) == 0;
    return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(storage)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(other.storage)->sin6_addr, sizeof(in6_addr)) == 0;
}

bool resolveAll(const std::string& host, std::uint16_t port, std::vector<Address>& addresses, std::string& strError)
{
    addresses.clear();
    if (!startWinsock()) {
        strError = "Winsock could not be started";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM; // each address once
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        strError = "unknown host " + host;
        return false;
    }
    for (const addrinfo* each = found; each != nullptr; each = each->ai_next) {
        Address address;
        if (each->ai_addrlen > sizeof address.storage)
            continue;
        std::memcpy(address.storage, each->ai_addr, each->ai_addrlen);
        address.length = static_cast<int>(each->ai_addrlen);
        addresses.push_back(address);
    }
    freeaddrinfo(found);
    if (addresses.empty())
        strError = "address of " + host + " too long";
    return !addresses.empty();
}

bool resolve(const std::string& host, std::uint16_t port, Address& address, std::string& strError)
{
    std::vector<Address> addresses;
    if (!resolveAll(host, port, addresses, strError))
        return false;
    const auto ipv4 = std::find_if(addresses.begin(), addresses.end(),
                                   [](const Address& each) { return each.family() == AF_INET; });
    address = ipv4 != addresses.end() ? *ipv4 : addresses.front();
    return true;
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = other.m_handle;
        m_untried = std::move(other.m_untried);
        other.m_handle = kInvalid;
    }
    return *this;
}

void Socket::close()
{
    if (m_handle != kInvalid)
        closeNative(native(m_handle));
    m_handle = kInvalid;
}

bool Socket::makeSocket(int family, int type, std::string& strError)
{
    close();
    if (!startWinsock()) {
        strError = "Winsock could not be started";
        return false;
    }
    const NativeSocket s = ::socket(family, type, 0);
    if (!isValid(s)) {
        strError = errorText(lastSocketError());
        return false;
    }
    adopt(static_cast<std::intptr_t>(s));
    return true;
}

void Socket::adopt(std::intptr_t handle)
{
    m_handle = handle;
    const NativeSocket s = native(handle);
#ifdef _WIN32
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
#else
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
}

int Socket::waitFor(bool writable, int waitMs) const
{
    PollFd fd{};
    fd.fd = native(m_handle);
    fd.events = writable ? POLLOUT : POLLIN;
    const int ready = pollNative(&fd, waitMs);
    if (ready < 0)
        return wouldBlock(lastSocketError()) ? 0 : -1;
    return ready > 0 ? 1 : 0;
}

bool Socket::startConnect(const std::vector<Address>& addresses, std::string& strError)
{
    m_untried = addresses;
    return connectNext(strError);
}

// Addresses that fail at once (a family this computer lacks) are passed over too.
bool Socket::connectNext(std::string& strError)
{
    while (!m_untried.empty()) {
        const Address address = m_untried.front();
        m_untried.erase(m_untried.begin());
        if (!makeSocket(address.family(), SOCK_STREAM, strError))
            continue;
        int noDelay = 1;
        ::setsockopt(native(m_handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                     sizeof noDelay);
        if (::connect(native(m_handle), reinterpret_cast<const sockaddr*>(address.storage), address.length) == 0)
            return true;
        const int error = lastSocketError();
        if (inProgress(error))
            return true;
        strError = errorText(error);
        close();
    }
    return false;
}

int Socket::awaitConnected(int waitMs, std::string& strError)
{
    const int ready = waitFor(true, waitMs);
    if (ready == 0)
        return 0;
    int error = 0;
    SocketLength length = sizeof error;
    ::getsockopt(native(m_handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    if (ready > 0 && error == 0)
        return 1;
    strError = errorText(error != 0 ? error : lastSocketError());
    close();
    return connectNext(strError) ? 0 : -1;
}

bool Socket::sendAll(const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto count = ::send(native(m_handle), bytes.data() + sent, static_cast<int>(bytes.size() - sent), kSendFlags);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && wouldBlock(lastSocketError()) && waitFor(true, 50) > 0)
            continue;
        return false;
    }
    return true;
}

long Socket::receive(unsigned char* buffer, std::size_t capacity, int waitMs)
{
    const int ready = waitFor(false, waitMs);
    if (ready <= 0)
        return ready;
    const auto count = ::recv(native(m_handle), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
    if (count > 0)
        return static_cast<long>(count);
    if (count < 0 && wouldBlock(lastSocketError()))
        return 0;
    return -1; // closed by the peer, or broken
}

bool Socket::openDatagram(const Address& peer, std::string& strError)
{
    return makeSocket(peer.family(), SOCK_DGRAM, strError);
}

bool Socket::bindDatagram(const Address& local, std::string& strError)
{
    return bindTo(local, SOCK_DGRAM, strError);
}

bool Socket::listen(const Address& local, std::string& strError)
{
    return bindTo(local, SOCK_STREAM, strError);
}

bool Socket::bindTo(const Address& local, int type, std::string& strError)
{
    if (!makeSocket(local.family(), type, strError))
        return false;
    if (::bind(native(m_handle), reinterpret_cast<const sockaddr*>(local.storage), local.length) == 0 &&
        (type != SOCK_STREAM || ::listen(native(m_handle), SOMAXCONN) == 0))
        return true;
    strError = errorText(lastSocketError());
    close();
    return false;
}

Socket Socket::accept(int waitMs)
{
    Socket accepted;
    if (waitFor(false, waitMs) <= 0)
        return accepted;
    const NativeSocket s = ::accept(native(m_handle), nullptr, nullptr);
    if (isValid(s))
        accepted.adopt(static_cast<std::intptr_t>(s));
    return accepted;
}

bool Socket::sendTo(const Address& peer, const unsigned char* bytes, std::size_t length)
{
    return ::sendto(native(m_handle), reinterpret_cast<const char*>(bytes), static_cast<int>(length), 0,
                    reinterpret_cast<const sockaddr*>(peer.storage), peer.length) == static_cast<long>(length);
}

long Socket::receiveFrom(unsigned char* buffer, std::size_t capacity, int waitMs, Address& sender)
{
    const int ready = waitFor(false, waitMs);
    if (ready <= 0)
        return ready;
    SocketLength length = sizeof sender.storage;
    const auto count = ::recvfrom(native(m_handle), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                                  reinterpret_cast<sockaddr*>(sender.storage), &length);
    if (count < 0)
        return wouldBlock(lastSocketError()) ? 0 : -1;
    sender.length = static_cast<int>(length);
    return static_cast<long>(count);
}

std::uint16_t Socket::localPort() const
{
    Address local;
    SocketLength length = sizeof local.storage;
    if (::getsockname(native(m_handle), reinterpret_cast<sockaddr*>(local.storage), &length) != 0)
        return 0;
    local.length = static_cast<int>(length);
    const auto* any = reinterpret_cast<const sockaddr*>(local.storage);
    const std::uint16_t networkOrder = any->sa_family == AF_INET
                                           ? reinterpret_cast<const sockaddr_in*>(any)->sin_port
                                           : reinterpret_cast<const sockaddr_in6*>(any)->sin6_port;
    return ntohs(networkOrder);
}

} // namespace net
