#include "posixmoduleserver.h"

#include "blockformat.h"
#include "blockprocessor.h"
#include "posixtransport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kListenBacklog = 16;
constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kMaxBlocksPerConnection = 8; // a client maps one block per open

int millisecondsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

bool sendReply(int fd, std::uint32_t sequence, std::uint32_t value)
{
    const auto bytes = PosixTransport::encodeReply({sequence, value});
    ssize_t written;
    do {
        written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (written < 0 && errno == EINTR);
    // A client that stopped reading its replies is dropped rather than waited for.
    return written == static_cast<ssize_t>(bytes.size());
}

} // namespace

PosixModuleServer::PosixModuleServer(SimVariables& vars, std::string className)
    : m_vars(vars), m_className(std::move(className))
{
}

PosixModuleServer::~PosixModuleServer()
{
    for (Connection& connection : m_connections)
        closeConnection(connection);
    if (m_listenFd < 0)
        return;
    ::close(m_listenFd);
    // Only our own socket: another module may have replaced it since.
    struct stat status {};
    if (::lstat(m_socketPath.c_str(), &status) == 0 && status.st_ino == m_socketInode)
        ::unlink(m_socketPath.c_str());
}

bool PosixModuleServer::start(std::string& strError)
{
    m_socketPath = PosixTransport::socketPath(m_className);
    if (m_socketPath.empty()) {
        strError = "The window class \"" + m_className + "\" cannot name a socket in " +
                   PosixTransport::socketDirectory() + " (a file name, and at most 107 bytes of path)";
        return false;
    }
    if (!PosixTransport::prepareSocketDirectory(strError) || !removeStaleSocket(strError))
        return false;

    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, m_socketPath.c_str(), m_socketPath.size() + 1);
    struct stat status {};
    if (m_listenFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, kListenBacklog) != 0 || ::lstat(m_socketPath.c_str(), &status) != 0) {
        strError = "Cannot listen on " + m_socketPath + ": " + std::strerror(errno);
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    m_socketInode = status.st_ino;
    return true;
}

// A socket file that nobody answers on was left by a module that crashed.
bool PosixModuleServer::removeStaleSocket(std::string& strError)
{
    struct stat status {};
    if (::lstat(m_socketPath.c_str(), &status) != 0)
        return true;
    if (!S_ISSOCK(status.st_mode)) {
        strError = m_socketPath + " exists and is not a socket";
        return false;
    }
    const int fd = PosixTransport::connectUnixSocket(m_socketPath);
    if (fd >= 0) {
        ::close(fd);
        strError = "Another module is already serving " + m_className + " at " + m_socketPath;
        return false;
    }
    if (errno != ECONNREFUSED || ::unlink(m_socketPath.c_str()) != 0) {
        strError = "Cannot replace " + m_socketPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool PosixModuleServer::serveFor(std::chrono::milliseconds duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!m_exitRequested) {
        std::vector<pollfd> waiting;
        waiting.push_back({m_listenFd, POLLIN, 0});
        for (const Connection& connection : m_connections)
            waiting.push_back({connection.fd, POLLIN, 0});
        const int ready = ::poll(waiting.data(), waiting.size(), millisecondsUntil(deadline));
        if (ready <= 0)
            return true; // time is up, or a signal the caller will look at
        std::vector<Connection> kept;
        for (std::size_t i = 0; i < m_connections.size(); ++i) {
            Connection& connection = m_connections[i];
            if (waiting[i + 1].revents == 0 || serveConnection(connection))
                kept.push_back(std::move(connection));
            else
                closeConnection(connection);
        }
        m_connections = std::move(kept);
        if (waiting[0].revents & POLLIN)
            acceptClient();
    }
    return false;
}

std::string PosixModuleServer::endpoint() const
{
    return m_socketPath;
}

void PosixModuleServer::acceptClient()
{
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    unsigned peerUid = 0;
    if (m_connections.size() >= kMaxConnections || !PosixTransport::peerUserId(fd, peerUid) ||
        peerUid != ::geteuid()) {
        ::close(fd);
        return;
    }
    Connection connection;
    connection.fd = fd;
    m_connections.push_back(std::move(connection));
}

bool PosixModuleServer::serveConnection(Connection& connection)
{
    for (;;) {
        std::uint8_t buffer[4096];
        const ssize_t count = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (count > 0) {
            connection.received.insert(connection.received.end(), buffer, buffer + count);
            if (!answerRequests(connection))
                return false;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

bool PosixModuleServer::answerRequests(Connection& connection)
{
    std::size_t taken = 0;
    bool keep = true;
    while (keep && !m_exitRequested) {
        PosixTransport::Request request;
        std::size_t consumed = 0;
        const auto status = PosixTransport::parseRequest(
            connection.received.data() + taken, connection.received.size() - taken, request, consumed);
        if (status == PosixTransport::ParseStatus::NeedMore)
            break;
        const Disposition disposition = nextRequest();
        if (disposition == Disposition::Exit) {
            m_exitRequested = true;
            break;
        }
        if (status == PosixTransport::ParseStatus::Malformed) {
            // The stream cannot be followed past a bad length: answer it, then drop the connection.
            if (disposition == Disposition::Answer)
                sendReply(connection.fd, request.sequence, 0);
            return false;
        }
        taken += consumed;
        if (disposition == Disposition::Answer)
            keep =
                sendReply(connection.fd, request.sequence, answer(connection, request.name, request.message));
    }
    connection.received.erase(connection.received.begin(), connection.received.begin() + taken);
    return keep;
}

std::uint32_t PosixModuleServer::answer(Connection& connection, const std::string& name,
                                        std::uint32_t message)
{
    if (message != PosixTransport::messageId(PosixTransport::kMessageName))
        return 0;
    std::uint8_t* block = blockFor(connection, name);
    if (block == nullptr)
        return 0;
    return static_cast<std::uint32_t>(processRequestBlock(m_vars, block, blockformat::kBlockBytes));
}

// Maps a client's block on first use; the client removes the name after its
// first answered exchange, so the mapping is kept for the connection's life.
std::uint8_t* PosixModuleServer::blockFor(Connection& connection, const std::string& name)
{
    for (const MappedBlock& block : connection.blocks) {
        if (block.name == name)
            return block.view;
    }
    if (!PosixTransport::isValidMappingName(name))
        return nullptr;
    const int fd = ::shm_open(PosixTransport::sharedMemoryName(name).c_str(), O_RDWR, 0);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    void* view = MAP_FAILED;
    // A block shorter than the view would fault when touched.
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
        status.st_size >= static_cast<off_t>(blockformat::kBlockBytes))
        view = ::mmap(nullptr, blockformat::kBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (view == MAP_FAILED)
        return nullptr;
    if (connection.blocks.size() >= kMaxBlocksPerConnection) {
        ::munmap(connection.blocks.front().view, blockformat::kBlockBytes);
        connection.blocks.pop_front();
    }
    connection.blocks.push_back({name, static_cast<std::uint8_t*>(view)});
    return connection.blocks.back().view;
}

void PosixModuleServer::closeConnection(Connection& connection)
{
    for (const MappedBlock& block : connection.blocks)
        ::munmap(block.view, blockformat::kBlockBytes);
    connection.blocks.clear();
    ::close(connection.fd);
    connection.fd = -1;
}

std::unique_ptr<ModuleServer> makeModuleServer(SimVariables& vars, const std::string& className)
{
    return std::make_unique<PosixModuleServer>(vars, className);
}
