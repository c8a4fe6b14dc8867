#ifdef _WIN32
#define _CRT_RAND_S
#endif
#include "relaysocket.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/random.h>
#include <unistd.h>
#endif

namespace relaysocket {

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        m_native = other.release();
    }
    return *this;
}

NativeSocket Socket::release()
{
    const NativeSocket native = m_native;
    m_native = kNoSocket;
    return native;
}

void Socket::close()
{
    if (m_native == kNoSocket)
        return;
#ifdef _WIN32
    ::closesocket(m_native);
#else
    ::close(m_native);
#endif
    m_native = kNoSocket;
}

#ifdef _WIN32

bool startup()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

std::uint32_t lastError()
{
    return static_cast<std::uint32_t>(WSAGetLastError());
}

std::string errorText(std::uint32_t error)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                        0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

bool wouldBlock(std::uint32_t error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}

std::uint32_t connectionResetError()
{
    return WSAECONNRESET;
}

bool outOfDescriptors(std::uint32_t error)
{
    return error == WSAEMFILE || error == WSAENOBUFS;
}

bool setNonBlocking(NativeSocket socket)
{
    u_long on = 1;
    return ::ioctlsocket(socket, FIONBIO, &on) == 0;
}

int pollSockets(PollEntry* entries, std::size_t count, int timeoutMs)
{
    if (count == 0) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return 0;
    }
    return ::WSAPoll(entries, static_cast<ULONG>(count), timeoutMs);
}

std::uint32_t currentProcessId()
{
    return GetCurrentProcessId();
}

bool randomBytes(std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        unsigned int value = 0;
        if (rand_s(&value) != 0)
            return false;
        data[i] = static_cast<std::uint8_t>(value);
    }
    return true;
}

namespace {

// This process's user: the security identifier its token names, copied out of it.
std::vector<std::uint8_t> currentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<std::uint8_t> user(size), sid;
    if (size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
        const PSID found = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
        sid.resize(GetLengthSid(found));
        CopySid(static_cast<DWORD>(sid.size()), sid.data(), found);
    }
    CloseHandle(token);
    return sid;
}

} // namespace

bool writePrivateFile(const std::string& path, const std::string& bytes, std::string& error)
{
    std::vector<std::uint8_t> user = currentUserSid();
    const PSID sid = user.empty() ? nullptr : user.data();
    const DWORD aclBytes = sid == nullptr ? 0 : sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
    std::vector<std::uint8_t> aclBuffer(aclBytes);
    ACL* acl = reinterpret_cast<ACL*>(aclBuffer.data());
    SECURITY_DESCRIPTOR descriptor{};
    if (sid == nullptr || !InitializeAcl(acl, aclBytes, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        error = "cannot make the key file " + path + " private: error " + std::to_string(GetLastError());
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const HANDLE file =
        CreateFileW(std::filesystem::path(path).c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create the key file " + path + ": error " + std::to_string(GetLastError());
        return false;
    }
    DWORD written = 0;
    const bool complete =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    if (!CloseHandle(file) || !complete) {
        error = "cannot write the key file " + path;
        DeleteFileW(std::filesystem::path(path).c_str());
        return false;
    }
    return true;
}

namespace {
constexpr int kSendFlags = 0;
}

#else

bool startup()
{
    return true;
}

std::uint32_t lastError()
{
    return static_cast<std::uint32_t>(errno);
}

std::string errorText(std::uint32_t error)
{
    return std::strerror(static_cast<int>(error));
}

bool wouldBlock(std::uint32_t error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS || error == EINTR;
}

std::uint32_t connectionResetError()
{
    return ECONNRESET;
}

bool outOfDescriptors(std::uint32_t error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

bool setNonBlocking(NativeSocket socket)
{
    const int flags = ::fcntl(socket, F_GETFL);
    return flags >= 0 && ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

int pollSockets(PollEntry* entries, std::size_t count, int timeoutMs)
{
    const int ready = ::poll(entries, count, timeoutMs);
    return ready < 0 && errno == EINTR ? 0 : ready;
}

std::uint32_t currentProcessId()
{
    return static_cast<std::uint32_t>(::getpid());
}

bool randomBytes(std::uint8_t* data, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t count = ::getrandom(data + filled, size - filled, 0);
        if (count < 0 && errno != EINTR)
            return false;
        filled += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    return true;
}

bool writePrivateFile(const std::string& path, const std::string& bytes, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create the key file " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (!(::close(fd) == 0 && written)) {
        error = "cannot write the key file " + path;
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

namespace {
constexpr int kSendFlags = MSG_NOSIGNAL;
}

#endif

void setLowLatencyKeepAlive(NativeSocket socket, std::chrono::milliseconds unacknowledgedLimit)
{
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    if (unacknowledgedLimit.count() <= 0)
        return;
#ifdef _WIN32
#ifdef TCP_MAXRT
    const DWORD seconds = static_cast<DWORD>(std::max<long long>(unacknowledgedLimit.count() / 1000, 1));
    ::setsockopt(socket, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&seconds), sizeof seconds);
#endif
#else
    const unsigned milliseconds = static_cast<unsigned>(unacknowledgedLimit.count());
    ::setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &milliseconds, sizeof milliseconds);
#endif
}

long sendSome(NativeSocket socket, const std::uint8_t* data, std::size_t size)
{
    const auto sent = ::send(socket, reinterpret_cast<const char*>(data), static_cast<int>(size), kSendFlags);
    if (sent >= 0)
        return static_cast<long>(sent);
    return wouldBlock(lastError()) ? 0 : -1;
}

long receiveSome(NativeSocket socket, std::uint8_t* data, std::size_t size)
{
    const auto received = ::recv(socket, reinterpret_cast<char*>(data), static_cast<int>(size), 0);
    if (received > 0)
        return static_cast<long>(received);
    if (received == 0)
        return -2;
    return wouldBlock(lastError()) ? 0 : -1;
}

Socket startConnect(const Address& address)
{
    Socket socket(::socket(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP));
    if (!socket.valid() || !setNonBlocking(socket.native()))
        return {};
    if (::connect(socket.native(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0 &&
        !wouldBlock(lastError()))
        return {};
    return socket;
}

std::uint32_t connectError(NativeSocket socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
        return lastError();
    return static_cast<std::uint32_t>(error);
}

Socket listenOn(const Address& address, std::string& error)
{
    Socket socket(::socket(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP));
    const int on = 1, off = 0;
#ifdef _WIN32
    // Windows lets a second program take a port bound with SO_REUSEADDR; this refuses that.
    ::setsockopt(socket.native(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
#else
    ::setsockopt(socket.native(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    if (address.storage.ss_family == AF_INET6) // [::] takes IPv4 clients too
        ::setsockopt(socket.native(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off), sizeof off);
    if (!socket.valid() ||
        ::bind(socket.native(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0 ||
        ::listen(socket.native(), SOMAXCONN) != 0 || !setNonBlocking(socket.native())) {
        error = "cannot listen on " + addressText(address) + ": " + errorText(lastError());
        return {};
    }
    return socket;
}

Socket acceptOne(NativeSocket listener, Address& peer)
{
    peer.length = sizeof peer.storage;
    Socket socket(::accept(listener, reinterpret_cast<sockaddr*>(&peer.storage), &peer.length));
    if (socket.valid() && !setNonBlocking(socket.native()))
        return {};
    return socket;
}

Address localAddress(NativeSocket socket)
{
    Address address;
    address.length = sizeof address.storage;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address.storage), &address.length);
    return address;
}

std::string addressText(const Address& address)
{
    char host[INET6_ADDRSTRLEN] = "?";
    unsigned port = 0;
    if (address.storage.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address.storage);
        ::inet_ntop(AF_INET, &in.sin_addr, host, sizeof host);
        port = ntohs(in.sin_port);
        return std::string(host) + ":" + std::to_string(port);
    }
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address.storage);
    ::inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
    port = ntohs(in6.sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
}

} // namespace relaysocket
