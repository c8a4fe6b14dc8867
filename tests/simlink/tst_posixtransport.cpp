// Where the link's sockets live and who may own their folder, the shared
// block's names, and the client's side against module sockets that misbehave.
#include "posixipcplatform.h"
#include "posixtransport.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(PosixTransport, SocketDirectoryFallsBackToTmpPerUser)
{
    ScratchRuntimeDir runtime("xdg");
    EXPECT_EQ(PosixTransport::socketPath("UIPCMAIN"), runtime.path().string() + "/fsipc/UIPCMAIN");
    EXPECT_EQ(PosixTransport::socketPath("../UIPCMAIN"), "") << "a class cannot leave the directory";
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(PosixTransport::socketDirectory(), "/tmp/fsipc-" + std::to_string(::geteuid()));
}

enum class Found { Nothing, Dir, File, SymlinkToDir, OthersDir };

struct DirectoryCase {
    std::string name;
    Found found;
    fs::perms perms; // of the directory found
    bool accepted;
    friend void PrintTo(const DirectoryCase& row, std::ostream* out) { *out << row.name; }
};
class SocketDirectory : public testing::TestWithParam<DirectoryCase> {};

// Puts what the row finds at dir; false when that cannot be set up here.
bool prepare(const fs::path& dir, const DirectoryCase& row)
{
    if (row.found == Found::Nothing)
        return true;
    if (row.found == Found::File)
        return ::close(::open(dir.c_str(), O_CREAT | O_WRONLY, 0600)) == 0;
    const fs::path real = row.found == Found::SymlinkToDir ? fs::path(dir.string() + "-real") : dir;
    fs::create_directory(real);
    fs::permissions(real, row.perms);
    if (row.found == Found::SymlinkToDir)
        fs::create_directory_symlink(real, dir);
    return row.found != Found::OthersDir || ::chown(dir.c_str(), 65534, 65534) == 0;
}

TEST_P(SocketDirectory, IsCheckedBeforeUse)
{
    ScratchRuntimeDir runtime("dir");
    if (!prepare(runtime.socketDir(), GetParam()))
        GTEST_SKIP() << "needs to give files to another user";
    std::string error;
    EXPECT_EQ(PosixTransport::prepareSocketDirectory(error), GetParam().accepted) << error;
    EXPECT_EQ(error.empty(), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_EQ(fs::status(runtime.socketDir()).permissions() & fs::perms::all, fs::perms::owner_all);
    }
}

constexpr fs::perms kPrivate = fs::perms::owner_all;

INSTANTIATE_TEST_SUITE_P(
    Rules, SocketDirectory,
    testing::Values(
        DirectoryCase{"MissingIsCreatedPrivate", Found::Nothing, kPrivate, true},
        DirectoryCase{"PrivateIsUsed", Found::Dir, kPrivate, true},
        DirectoryCase{"GroupWritableIsRefused", Found::Dir, kPrivate | fs::perms::group_write, false},
        DirectoryCase{"ReadableByOthersIsRefused", Found::Dir, kPrivate | fs::perms::others_read, false},
        DirectoryCase{"AFileIsRefused", Found::File, kPrivate, false},
        DirectoryCase{"ASymlinkToAPrivateDirIsRefused", Found::SymlinkToDir, kPrivate, false},
        DirectoryCase{"AnotherUsersDirIsRefused", Found::OthersDir, kPrivate, false}),
    [](const auto& info) { return info.param.name; });

TEST(PosixIpcPlatform, MappingNamesAreExclusiveAndGoneAfterClose)
{
    PosixIpcPlatform platform;
    const std::string name = "FSASMLIB:IPC:test:" + std::to_string(::getpid());
    const auto first = platform.createMapping(name, 0x8000);
    ASSERT_NE(first.handle, 0u);
    EXPECT_FALSE(first.alreadyExisted);
    const auto second = platform.createMapping(name, 0x8000);
    EXPECT_EQ(second.handle, 0u);
    EXPECT_TRUE(second.alreadyExisted) << "the already-exists case";
    std::uint8_t* view = platform.mapView(first.handle);
    ASSERT_NE(view, nullptr);
    view[0x7FFF] = 1; // the whole block is writable
    platform.unmapView(view);
    platform.closeMapping(first.handle);
    EXPECT_FALSE(fs::exists("/dev/shm/" + name)) << "close removes a name no exchange has removed";
    EXPECT_EQ(platform.createMapping("a/b", 0x8000).handle, 0u) << "a name cannot leave the shm namespace";
}

// A socket bound where the module of "UIPCMAIN" listens, as a module that is not quillon-sim.
int bindModuleSocket(sockaddr_un& address)
{
    std::string error;
    if (!PosixTransport::prepareSocketDirectory(error))
        throw std::runtime_error(error);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address = {AF_UNIX, {}};
    PosixTransport::socketPath("UIPCMAIN").copy(address.sun_path, sizeof address.sun_path - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind");
    return fd;
}

double secondsOf(const std::function<void()>& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What can sit where the module's socket should be, and none of it may cost a hang.
enum class NoModule { StaleSocket, BacklogFull, BacklogFullCancelled, DirectoryOpenToOthers };

struct NoModuleCase {
    std::string name;
    NoModule found;
    friend void PrintTo(const NoModuleCase& row, std::ostream* out) { *out << row.name; }
};
class PosixNoModule : public testing::TestWithParam<NoModuleCase> {};

TEST_P(PosixNoModule, GivesNoWindow)
{
    ScratchRuntimeDir runtime("none");
    sockaddr_un address;
    std::vector<int> fds{bindModuleSocket(address)};
    const NoModule found = GetParam().found;
    if (found == NoModule::StaleSocket)
        ::close(fds.back());                        // the socket file stays, as after a crash
    if (found == NoModule::DirectoryOpenToOthers) { // anyone could have planted the socket
        ASSERT_EQ(::listen(fds.back(), 1), 0);
        fs::permissions(runtime.socketDir(), fs::perms::all);
    }
    if (found == NoModule::BacklogFull ||
        found == NoModule::BacklogFullCancelled) { // a module that never accepts
        ASSERT_EQ(::listen(fds.back(), 0), 0);
        while (fds.size() < 9) {
            fds.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
            if (::connect(fds.back(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                break;
        }
    }
    PosixIpcPlatform platform;
    std::jthread canceller;
    if (found == NoModule::BacklogFullCancelled)
        canceller = std::jthread([&platform] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            platform.cancel();
        });
    const double seconds = secondsOf([&] { EXPECT_EQ(platform.findWindow("UIPCMAIN"), 0u); });
    EXPECT_LT(seconds, found == NoModule::BacklogFullCancelled
                           ? 0.4
                           : PosixTransport::kConnectTimeoutMs / 1000.0 + 0.5);
    for (const int fd : fds)
        ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PosixNoModule,
    testing::Values(NoModuleCase{"StaleSocketOfACrashedModule", NoModule::StaleSocket},
                    NoModuleCase{"ModuleThatStoppedAccepting", NoModule::BacklogFull},
                    NoModuleCase{"CancelledWhileBacklogFull", NoModule::BacklogFullCancelled},
                    NoModuleCase{"SocketDirectoryOpenToOthers", NoModule::DirectoryOpenToOthers}),
    [](const auto& info) { return info.param.name; });

// A platform that plays two modules no real socket can be made to: one that
// stops reading half-way through a request (half goes out, then the socket
// stays full), and one that answers only other requests, as fast as they are
// read, for two seconds.
class MisbehavingModule : public PosixIpcPlatform {
public:
    bool cutRequests = false;
    bool otherReplies = false;

protected:
    ssize_t sendBytes(int fd, const std::uint8_t* bytes, std::size_t count) override
    {
        if (!cutRequests)
            return PosixIpcPlatform::sendBytes(fd, bytes, count);
        if (std::exchange(m_halfSent, true)) {
            errno = EAGAIN;
            return -1;
        }
        return PosixIpcPlatform::sendBytes(fd, bytes, count / 2);
    }
    ssize_t receiveBytes(int fd, std::uint8_t* buffer, std::size_t size) override
    {
        if (!otherReplies)
            return PosixIpcPlatform::receiveBytes(fd, buffer, size);
        const auto now = std::chrono::steady_clock::now();
        if (m_repliesEnd == std::chrono::steady_clock::time_point{})
            m_repliesEnd = now + std::chrono::seconds(2);
        if (now > m_repliesEnd)
            return 0; // the module hangs up
        const auto reply = PosixTransport::encodeReply({++m_sequence + 1000, 1});
        std::copy(reply.begin(), reply.end(), buffer);
        return static_cast<ssize_t>(reply.size());
    }

private:
    bool m_halfSent = false;
    std::uint32_t m_sequence = 0;
    std::chrono::steady_clock::time_point m_repliesEnd;
};

// How the module's end of the connection answers each request.
enum class Answer { Never, StaleThenReal, HalfThenGone };

void sendReply(int fd, std::uint32_t sequence, std::uint32_t value)
{
    const auto bytes = PosixTransport::encodeReply({sequence, value});
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// Reads requests until the client hangs up, answering each as told; closes fd.
void answerRequests(int fd, Answer answer)
{
    std::uint8_t bytes[PosixTransport::kRequestHeaderBytes + PosixTransport::kMaxNameBytes];
    PosixTransport::Request request;
    std::size_t used = 0;
    while (::recv(fd, bytes, 20, MSG_WAITALL) == 20 &&
           ::recv(fd, bytes + 20, bytes[16], MSG_WAITALL) == bytes[16]) {
        PosixTransport::parseRequest(bytes, 20 + bytes[16], request, used);
        if (answer == Answer::HalfThenGone) {
            ::send(fd, "\1\0\0", 3, MSG_NOSIGNAL);
            break;
        }
        if (answer == Answer::StaleThenReal) {
            sendReply(fd, request.sequence - 1, 0);
            sendReply(fd, request.sequence, 1);
        }
    }
    ::close(fd);
}

struct WaitCase {
    std::string name;
    Answer answer;
    bool otherReplies, cutRequests;
    bool delivered, broken; // of each of two messages
    bool cancelled = false; // by another thread, 50 ms into a 2 s wait
    friend void PrintTo(const WaitCase& row, std::ostream* out) { *out << row.name; }
};
class PosixWait : public testing::TestWithParam<WaitCase> {};

// A message is answered only by its own reply and never outlasts its time-out,
// whatever the module sends; a request or reply cut short leaves a garbled
// stream, so that connection fails from then on.
TEST_P(PosixWait, EndsAtItsReplyOrTheDeadline)
{
    const WaitCase& row = GetParam();
    ScratchRuntimeDir runtime("wait");
    sockaddr_un address;
    const int listener = bindModuleSocket(address);
    ASSERT_EQ(::listen(listener, 1), 0);
    std::jthread module; // ends when the platform hangs up
    MisbehavingModule platform;
    const auto window = platform.findWindow("UIPCMAIN");
    ASSERT_NE(window, 0u);
    const int moduleFd = ::accept(listener, nullptr, nullptr);
    if (row.otherReplies)
        ::send(moduleFd, "", 1, MSG_NOSIGNAL); // so that the connection always has something to read
    module = std::jthread(answerRequests, moduleFd, row.answer);
    platform.otherReplies = row.otherReplies;
    platform.cutRequests = row.cutRequests;
    const std::uint16_t atom = platform.addAtom("FSASMLIB:IPC:1:1");
    std::jthread canceller;
    if (row.cancelled)
        canceller = std::jthread([&platform] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            platform.cancel();
        });
    const std::uint32_t timeoutMs = row.cancelled ? 2000 : 200;
    for (int call = 0; call < 2; ++call) {
        IpcPlatform::SendResult sent;
        const double seconds =
            secondsOf([&] { sent = platform.sendMessageTimeout(window, 0xC367, atom, 0, timeoutMs); });
        EXPECT_EQ(sent.delivered, row.delivered);
        EXPECT_EQ(sent.reply, row.delivered ? 1u : 0u);
        EXPECT_EQ(sent.lastError != 0, row.broken) << "a time-out, or a broken connection";
        if (row.broken && call > 0) {
            EXPECT_LT(seconds, 0.05) << "a broken connection fails at once";
        } else if (row.cancelled) {
            EXPECT_LT(seconds, 0.5) << "a cancel ends the wait, and later ones, long before 2 s";
        } else if (!row.delivered && !row.broken) {
            EXPECT_GE(seconds, 0.2);
            EXPECT_LT(seconds, 0.6) << "call "
                                    << call; // room for a busy machine; the fault waits 2 s and more
        }
    }
    ::close(listener);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Modules, PosixWait, testing::Values(
    WaitCase{"Silent", Answer::Never, false, false, false, false},
    WaitCase{"SilentButCancelled", Answer::Never, false, false, false, false, true},
    WaitCase{"AnsweringOnlyOtherRequests", Answer::Never, true, false, false, false},
    WaitCase{"StoppingHalfWayThroughARequest", Answer::Never, false, true, false, true},
    WaitCase{"StaleReplyBeforeTheRealOne", Answer::StaleThenReal, false, false, true, false},
    WaitCase{"HalfAReplyThenGone", Answer::HalfThenGone, false, false, false, true}),
    [](const auto& info) { return info.param.name; });
// clang-format on

} // namespace
