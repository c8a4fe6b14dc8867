#include "posixtransport.h"

#include "blockformat.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace PosixTransport {

using blockformat::loadU32LE;
using blockformat::storeU32LE;

namespace {

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
    storeU32LE(&bytes[0], request.message);
    storeU32LE(&bytes[4], request.wParam);
    storeU32LE(&bytes[8], request.lParam);
    storeU32LE(&bytes[12], request.sequence);
    storeU32LE(&bytes[16], static_cast<std::uint32_t>(request.name.size()));
    std::memcpy(bytes.data() + kRequestHeaderBytes, request.name.data(), request.name.size());
    return bytes;
}

ParseStatus parseRequest(const std::uint8_t* data, std::size_t size, Request& request, std::size_t& consumed)
{
    if (size < kRequestHeaderBytes)
        return ParseStatus::NeedMore;
    request.message = loadU32LE(data);
    request.wParam = loadU32LE(data + 4);
    request.lParam = loadU32LE(data + 8);
    request.sequence = loadU32LE(data + 12);
    const std::uint32_t nameBytes = loadU32LE(data + 16);
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
    storeU32LE(&bytes[0], reply.sequence);
    storeU32LE(&bytes[4], reply.value);
    return bytes;
}

Reply decodeReply(const std::uint8_t* data)
{
    return Reply{loadU32LE(data), loadU32LE(data + 4)};
}

int connectUnixSocket(const std::string& path, const std::function<bool()>& cancelled)
{
    sockaddr_un address{};
    if (!fillAddress(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    // A module that has stopped accepting would otherwise hold connect() for
    // good once its backlog is full: a Unix socket that cannot connect at once
    // says EAGAIN, so it is tried again in slices, bounded like a message.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    int error = 0;
    while (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINTR)
            continue;
        if (error != EAGAIN || std::chrono::steady_clock::now() >= deadline)
            break;
        if (cancelled && cancelled()) {
            error = ECANCELED;
            break;
        }
        ::poll(nullptr, 0, kConnectSliceMs);
        error = 0;
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    // The socket is used as before: blocking, each call choosing its own waits.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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
