#include "posixipcplatform.h"

#include "posixtransport.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::uint16_t kFirstAtom = 0xC000; // the range of string atoms on Windows
constexpr std::uint32_t kConnectionBroken = ECONNRESET;

// The longest single wait in poll(), so that a wait can be looked in on (a cancel) this often.
constexpr std::chrono::milliseconds::rep kWaitSliceMs = 50;

// Milliseconds for the next poll(): what is left until the deadline, rounded
// up so that a wait never ends just short of it, and at most one slice.
int nextWaitMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left, 0, kWaitSliceMs));
}

} // namespace

PosixIpcPlatform::~PosixIpcPlatform()
{
    for (auto& [view, sizeBytes] : m_views)
        ::munmap(view, sizeBytes);
    for (auto& [handle, object] : m_objects) {
        if (!object.unlinked)
            ::shm_unlink(PosixTransport::sharedMemoryName(object.name).c_str());
        ::close(object.fd);
    }
    for (auto& [handle, connection] : m_connections)
        ::close(connection.fd);
}

IpcPlatform::WindowHandle PosixIpcPlatform::findWindow(const std::string& className)
{
    std::string error;
    const std::string path = PosixTransport::socketPath(className);
    if (path.empty() || !PosixTransport::prepareSocketDirectory(error))
        return 0;
    const int fd = PosixTransport::connectUnixSocket(path, [this] { return isCancelled(); });
    if (fd < 0)
        return 0;
    unsigned peerUid = 0;
    if (!PosixTransport::peerUserId(fd, peerUid) || peerUid != ::geteuid()) {
        ::close(fd);
        return 0;
    }
    const WindowHandle window = ++m_lastWindow;
    m_connections[window].fd = fd;
    return window;
}

void PosixIpcPlatform::releaseWindow(WindowHandle window)
{
    const auto found = m_connections.find(window);
    if (found == m_connections.end())
        return;
    ::close(found->second.fd);
    m_connections.erase(found);
}

std::uint32_t PosixIpcPlatform::registerMessage(const std::string& name)
{
    return PosixTransport::messageId(name);
}

std::uint32_t PosixIpcPlatform::currentProcessId()
{
    return static_cast<std::uint32_t>(::getpid());
}

std::uint16_t PosixIpcPlatform::addAtom(const std::string& name)
{
    if (name.empty() || name.size() > PosixTransport::kMaxNameBytes)
        return 0;
    for (auto& [atom, entry] : m_atoms) {
        if (entry.name == name) {
            ++entry.references;
            return atom;
        }
    }
    for (std::uint32_t candidate = kFirstAtom; candidate <= 0xFFFF; ++candidate) {
        const auto atom = static_cast<std::uint16_t>(candidate);
        if (m_atoms.find(atom) == m_atoms.end()) {
            m_atoms[atom] = AtomEntry{name, 1};
            return atom;
        }
    }
    return 0;
}

void PosixIpcPlatform::deleteAtom(std::uint16_t atom)
{
    const auto found = m_atoms.find(atom);
    if (found != m_atoms.end() && --found->second.references == 0)
        m_atoms.erase(found);
}

IpcPlatform::Mapping PosixIpcPlatform::createMapping(const std::string& name, std::uint32_t sizeBytes)
{
    if (!PosixTransport::isValidMappingName(name) || sizeBytes == 0)
        return {};
    const std::string objectName = PosixTransport::sharedMemoryName(name);
    const int fd = ::shm_open(objectName.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    if (fd < 0)
        return Mapping{0, errno == EEXIST};
    if (::ftruncate(fd, sizeBytes) != 0) {
        ::shm_unlink(objectName.c_str());
        ::close(fd);
        return {};
    }
    const MappingHandle handle = ++m_lastMapping;
    m_objects[handle] = SharedObject{fd, name, sizeBytes, false};
    return Mapping{handle, false};
}

std::uint8_t* PosixIpcPlatform::mapView(MappingHandle mapping)
{
    const auto found = m_objects.find(mapping);
    if (found == m_objects.end())
        return nullptr;
    void* view =
        ::mmap(nullptr, found->second.sizeBytes, PROT_READ | PROT_WRITE, MAP_SHARED, found->second.fd, 0);
    if (view == MAP_FAILED)
        return nullptr;
    auto* bytes = static_cast<std::uint8_t*>(view);
    m_views[bytes] = found->second.sizeBytes;
    return bytes;
}

void PosixIpcPlatform::unmapView(std::uint8_t* view)
{
    const auto found = m_views.find(view);
    if (found == m_views.end())
        return;
    ::munmap(found->first, found->second);
    m_views.erase(found);
}

void PosixIpcPlatform::closeMapping(MappingHandle mapping)
{
    const auto found = m_objects.find(mapping);
    if (found == m_objects.end())
        return;
    if (!found->second.unlinked)
        ::shm_unlink(PosixTransport::sharedMemoryName(found->second.name).c_str());
    ::close(found->second.fd);
    m_objects.erase(found);
}

IpcPlatform::SendResult PosixIpcPlatform::sendMessageTimeout(WindowHandle window, std::uint32_t message,
                                                             std::uintptr_t wParam, std::uintptr_t lParam,
                                                             std::uint32_t timeoutMs)
{
    const auto found = m_connections.find(window);
    if (found == m_connections.end())
        return SendResult{false, EBADF, 0};
    Connection& connection = found->second;
    if (connection.broken)
        return SendResult{false, kConnectionBroken, 0};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

    PosixTransport::Request request;
    request.message = message;
    request.wParam = static_cast<std::uint32_t>(wParam);
    request.lParam = static_cast<std::uint32_t>(lParam);
    request.sequence = ++connection.sequence;
    request.name = atomName(static_cast<std::uint16_t>(wParam));

    SendResult result;
    if (isCancelled())
        return result;
    if (!sendRequest(connection, PosixTransport::encodeRequest(request), deadline, result) ||
        !awaitReply(connection, request.sequence, deadline, result))
        return result;
    // The module holds the block now; take the name away so nothing is left behind if this process dies.
    if (result.reply == 1)
        unlinkSharedObject(request.name);
    return result;
}

void PosixIpcPlatform::sleepMs(std::uint32_t milliseconds)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!isCancelled() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(nextWaitMs(deadline)));
}

// A cancel ends a wait as its deadline would.
bool PosixIpcPlatform::waitIsOver(Clock::time_point deadline) const
{
    return isCancelled() || Clock::now() >= deadline;
}

ssize_t PosixIpcPlatform::sendBytes(int fd, const std::uint8_t* bytes, std::size_t count)
{
    return ::send(fd, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
}

ssize_t PosixIpcPlatform::receiveBytes(int fd, std::uint8_t* buffer, std::size_t size)
{
    return ::recv(fd, buffer, size, MSG_DONTWAIT);
}

// Never blocks past the deadline, even when a hung module has stopped reading.
// A request cut off part-way would garble every later one on the stream, so
// the connection is then given up for good.
bool PosixIpcPlatform::sendRequest(Connection& connection, const std::vector<std::uint8_t>& bytes,
                                   Clock::time_point deadline, SendResult& failure)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = sendBytes(connection.fd, bytes.data() + sent, bytes.size() - sent);
        if (written >= 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            failure = breakConnection(connection, static_cast<std::uint32_t>(errno));
            return false;
        }
        if (waitIsOver(deadline)) {
            failure = sent == 0 ? SendResult{false, 0, 0} : breakConnection(connection, kConnectionBroken);
            return false;
        }
        pollfd waiting{connection.fd, POLLOUT, 0};
        ::poll(&waiting, 1, nextWaitMs(deadline));
    }
    return true;
}

// Replies to earlier, timed-out requests may still arrive; only the one with
// this request's sequence number counts, and only until the deadline.
bool PosixIpcPlatform::awaitReply(Connection& connection, std::uint32_t sequence, Clock::time_point deadline,
                                  SendResult& result)
{
    auto& received = connection.received;
    for (;;) {
        while (received.size() >= PosixTransport::kReplyBytes) {
            const PosixTransport::Reply reply = PosixTransport::decodeReply(received.data());
            received.erase(received.begin(), received.begin() + PosixTransport::kReplyBytes);
            if (reply.sequence == sequence) {
                result = SendResult{true, 0, reply.value};
                return true;
            }
        }
        if (waitIsOver(deadline)) {
            result = SendResult{false, 0, 0};
            return false;
        }
        pollfd waiting{connection.fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, nextWaitMs(deadline));
        if (ready == 0 || (ready < 0 && errno == EINTR))
            continue;
        if (ready < 0) {
            result = breakConnection(connection, static_cast<std::uint32_t>(errno));
            return false;
        }
        std::uint8_t buffer[256];
        const ssize_t count = receiveBytes(connection.fd, buffer, sizeof buffer);
        if (count > 0) {
            received.insert(received.end(), buffer, buffer + count);
        } else if (count == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            result = breakConnection(connection, count == 0 ? kConnectionBroken : static_cast<std::uint32_t>(errno));
            return false;
        }
    }
}

IpcPlatform::SendResult PosixIpcPlatform::breakConnection(Connection& connection, std::uint32_t lastError)
{
    connection.broken = true;
    connection.received.clear();
    return SendResult{false, lastError, 0};
}

std::string PosixIpcPlatform::atomName(std::uint16_t atom) const
{
    const auto found = m_atoms.find(atom);
    return found == m_atoms.end() ? std::string{} : found->second.name;
}

void PosixIpcPlatform::unlinkSharedObject(const std::string& name)
{
    for (auto& [handle, object] : m_objects) {
        if (object.name == name && !object.unlinked) {
            ::shm_unlink(PosixTransport::sharedMemoryName(object.name).c_str());
            object.unlinked = true;
        }
    }
}

// Never destroyed: a worker thread that could not be joined when the program
// closed may still be inside a call at exit. Links close their own objects.
IpcPlatform& systemIpcPlatform()
{
    static auto* platform = new PosixIpcPlatform;
    return *platform;
}
