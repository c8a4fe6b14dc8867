#include "posixtransport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace PosixTransport {

namespace {

void putU32(std::uint8_t* out, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t getU32(const std::uint8_t* in)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t{in[i]} << (8 * i);
    return value;
}

bool fillAddress(const std::string& path, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

std::uint32_t messageId(const std::string& name)
{
    std::uint32_t sum = 0;
    for (const unsigned char byte : name)
        sum += byte;
    return 0xC000 + sum % 0x4000;
}

std::string socketDirectory()
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && *runtimeDir != '\0')
        return std::string(runtimeDir) + "/fsipc";
    return "/tmp/fsipc-" + std::to_string(::geteuid());
}

bool prepareSocketDirectory(std::string& strError)
{
    const std::string directory = socketDirectory();
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        strError = "Cannot create " + directory + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::lstat(directory.c_str(), &status) != 0) {
        strError = "Cannot examine " + directory + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        strError = directory + " is not a directory";
        return false;
    }
    if (status.st_uid != ::geteuid()) {
        strError = directory + " belongs to another user";
        return false;
    }
    if ((status.st_mode & 077) != 0) {
        strError = directory + " is open to group or others (mode must be 0700)";
        return false;
    }
    return true;
}

std::string socketPath(const std::string& className)
{
    if (className.empty() || className.find('/') != std::string::npos || className == "." ||
        className == "..")
        return {};
    std::string path = socketDirectory() + "/" + className;
    sockaddr_un address{};
    return fillAddress(path, address) ? path : std::string{};
}

std::string sharedMemoryName(const std::string& mappingName)
{
    return "/" + mappingName;
}

bool isValidMappingName(const std::string& mappingName)
{
    return !mappingName.empty() && mappingName.size() <= kMaxNameBytes &&
           mappingName.find('/') == std::string::npos && mappingName.find('\0') == std::string::npos;
}

std::vector<std::uint8_t> encodeRequest(const Request& request)
{
    std::vector<std::uint8_t> bytes(kRequestHeaderBytes + request.name.size());
    putU32(&bytes[0], request.message);
    putU32(&bytes[4], request.wParam);
    putU32(&bytes[8], request.lParam);
    putU32(&bytes[12], request.sequence);
    putU32(&bytes[16], static_cast<std::uint32_t>(request.name.size()));
    std::memcpy(bytes.data() + kRequestHeaderBytes, request.name.data(), request.name.size());
    return bytes;
}

ParseStatus parseRequest(const std::uint8_t* data, std::size_t size, Request& request, std::size_t& consumed)
{
    if (size < kRequestHeaderBytes)
        return ParseStatus::NeedMore;
    request.message = getU32(data);
    request.wParam = getU32(data + 4);
    request.lParam = getU32(data + 8);
    request.sequence = getU32(data + 12);
    const std::uint32_t nameBytes = getU32(data + 16);
    if (nameBytes > kMaxNameBytes)
        return ParseStatus::Malformed;
    if (size < kRequestHeaderBytes + nameBytes)
        return ParseStatus::NeedMore;
    request.name.assign(reinterpret_cast<const char*>(data + kRequestHeaderBytes), nameBytes);
    consumed = kRequestHeaderBytes + nameBytes;
    return ParseStatus::Complete;
}

std::array<std::uint8_t, kReplyBytes> encodeReply(const Reply& reply)
{
    std::array<std::uint8_t, kReplyBytes> bytes{};
    putU32(&bytes[0], reply.sequence);
    putU32(&bytes[4], reply.value);
    return bytes;
}

Reply decodeReply(const std::uint8_t* data)
{
    return Reply{getU32(data), getU32(data + 4)};
}

int connectUnixSocket(const std::string& path)
{
    sockaddr_un address{};
    if (!fillAddress(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // A module that has stopped accepting would otherwise hold connect() for
    // good once its backlog is full; the wait is bounded like a message's.
    const timeval connectTimeout{kConnectTimeoutMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &connectTimeout, sizeof connectTimeout);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool peerUserId(int socketFd, unsigned& uid)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    uid = credentials.uid;
    return true;
}

} // namespace PosixTransport
