#include "posixipcplatform.h"
#include "posixtransport.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using PosixTransport::ParseStatus;

TEST(PosixTransport, MessageIdIsTheSumOfTheNameBytes)
{
    EXPECT_EQ(PosixTransport::messageId("FSASMLIB:IPC"), 0xC367u);
    EXPECT_EQ(PosixTransport::messageId(""), 0xC000u);
    EXPECT_EQ(PosixTransport::messageId(std::string(255, '\xFF')), 0xC000u + (255u * 255u) % 0x4000u)
        << "bytes are summed unsigned and the sum wraps inside 0xC000..0xFFFF";
}

TEST(PosixTransport, RequestsSurviveTheWireAndArriveInPieces)
{
    PosixTransport::Request sent{0xC367, 0xC001, 0, 42, "FSASMLIB:IPC:3F2A:1"};
    std::vector<std::uint8_t> stream = PosixTransport::encodeRequest(sent);
    const std::size_t firstLength = stream.size();
    const auto second = PosixTransport::encodeRequest({1, 2, 3, 43, ""});
    stream.insert(stream.end(), second.begin(), second.end());

    PosixTransport::Request received;
    std::size_t consumed = 0;
    EXPECT_EQ(PosixTransport::parseRequest(stream.data(), 19, received, consumed), ParseStatus::NeedMore);
    EXPECT_EQ(PosixTransport::parseRequest(stream.data(), firstLength - 1, received, consumed), ParseStatus::NeedMore);
    ASSERT_EQ(PosixTransport::parseRequest(stream.data(), stream.size(), received, consumed), ParseStatus::Complete);
    EXPECT_EQ(consumed, firstLength);
    EXPECT_EQ(received.message, 0xC367u);
    EXPECT_EQ(received.wParam, 0xC001u);
    EXPECT_EQ(received.sequence, 42u);
    EXPECT_EQ(received.name, sent.name);
    ASSERT_EQ(PosixTransport::parseRequest(stream.data() + consumed, stream.size() - consumed, received, consumed),
              ParseStatus::Complete);
    EXPECT_EQ(received.sequence, 43u);
    EXPECT_EQ(received.name, "");
}

TEST(PosixTransport, ANameLongerThan255BytesIsMalformedButKeepsItsSequence)
{
    std::vector<std::uint8_t> stream = PosixTransport::encodeRequest({0xC367, 0, 0, 7, std::string(256, 'x')});
    PosixTransport::Request received;
    std::size_t consumed = 0;
    EXPECT_EQ(PosixTransport::parseRequest(stream.data(), 20, received, consumed), ParseStatus::Malformed);
    EXPECT_EQ(received.sequence, 7u);
}

TEST(PosixTransport, SocketDirectoryFollowsXdgRuntimeDir)
{
    ScratchRuntimeDir runtime("socketdir");
    EXPECT_EQ(PosixTransport::socketDirectory(), runtime.path().string() + "/fsipc");
    EXPECT_EQ(PosixTransport::socketPath("UIPCMAIN"), runtime.path().string() + "/fsipc/UIPCMAIN");
    EXPECT_EQ(PosixTransport::socketPath("../UIPCMAIN"), "") << "a class cannot leave the directory";
    EXPECT_EQ(PosixTransport::socketPath(std::string(200, 'A')), "") << "too long for a socket address";
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(PosixTransport::socketDirectory(), "/tmp/fsipc-" + std::to_string(::geteuid()));
}

struct DirectoryCase {
    std::string name;
    std::function<bool(const fs::path& dir)> prepare; // false: cannot be set up here (skip)
    bool accepted;
};

void PrintTo(const DirectoryCase& row, std::ostream* out) { *out << row.name; }

class SocketDirectory : public testing::TestWithParam<DirectoryCase> {};

TEST_P(SocketDirectory, IsCheckedBeforeUse)
{
    ScratchRuntimeDir runtime("dircheck");
    if (!GetParam().prepare(runtime.socketDir()))
        GTEST_SKIP() << "needs to own files as another user";
    std::string error;
    EXPECT_EQ(PosixTransport::prepareSocketDirectory(error), GetParam().accepted) << error;
    EXPECT_EQ(error.empty(), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_EQ(fs::status(runtime.socketDir()).permissions() & fs::perms::all, fs::perms::owner_all);
    }
}

bool makeDirWithMode(const fs::path& dir, fs::perms perms)
{
    fs::create_directory(dir);
    fs::permissions(dir, perms);
    return true;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SocketDirectory,
    testing::Values(
        DirectoryCase{"MissingIsCreatedPrivate", [](const fs::path&) { return true; }, true},
        DirectoryCase{"PrivateIsUsed", [](const fs::path& d) { return makeDirWithMode(d, fs::perms::owner_all); }, true},
        DirectoryCase{"GroupWritableIsRefused",
                      [](const fs::path& d) {
                          return makeDirWithMode(d, fs::perms::owner_all | fs::perms::group_write);
                      },
                      false},
        DirectoryCase{"ReadableByOthersIsRefused",
                      [](const fs::path& d) {
                          return makeDirWithMode(d, fs::perms::owner_all | fs::perms::others_read |
                                                        fs::perms::others_exec);
                      },
                      false},
        DirectoryCase{"AFileIsRefused",
                      [](const fs::path& d) {
                          ::close(::open(d.c_str(), O_CREAT | O_WRONLY, 0600));
                          return true;
                      },
                      false},
        DirectoryCase{"ASymlinkToAPrivateDirIsRefused",
                      [](const fs::path& d) {
                          makeDirWithMode(d.string() + "-real", fs::perms::owner_all);
                          fs::create_directory_symlink(d.string() + "-real", d);
                          return true;
                      },
                      false},
        DirectoryCase{"AnotherUsersDirIsRefused",
                      [](const fs::path& d) {
                          makeDirWithMode(d, fs::perms::owner_all);
                          return ::chown(d.c_str(), 65534, 65534) == 0;
                      },
                      false}),
    [](const testing::TestParamInfo<DirectoryCase>& info) { return info.param.name; });

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
    const int fd = ::shm_open(("/" + name).c_str(), O_RDONLY, 0);
    EXPECT_LT(fd, 0) << "close removes a name no exchange has removed";
    if (fd >= 0)
        ::close(fd);
    EXPECT_EQ(platform.createMapping("a/b", 0x8000).handle, 0u) << "a name cannot leave the shm namespace";
}

TEST(PosixIpcPlatform, AtomsAreCountedPerName)
{
    PosixIpcPlatform platform;
    const std::uint16_t atom = platform.addAtom("FSASMLIB:IPC:1:1");
    ASSERT_NE(atom, 0);
    EXPECT_EQ(platform.addAtom("FSASMLIB:IPC:1:1"), atom);
    const std::uint16_t other = platform.addAtom("FSASMLIB:IPC:1:2");
    EXPECT_NE(other, 0);
    EXPECT_NE(other, atom);
    platform.deleteAtom(atom);
    EXPECT_EQ(platform.addAtom("FSASMLIB:IPC:1:1"), atom) << "still held once";
    EXPECT_EQ(platform.addAtom(""), 0);
    EXPECT_EQ(platform.addAtom(std::string(256, 'n')), 0) << "longer than a message can carry";
}

TEST(PosixIpcPlatform, WithoutAModuleThereIsNoWindowAndNoDelivery)
{
    ScratchRuntimeDir runtime("nomodule");
    PosixIpcPlatform platform;
    EXPECT_EQ(platform.findWindow("UIPCMAIN"), 0u);
    EXPECT_TRUE(fs::is_directory(runtime.socketDir())) << "the first side to come creates the directory";
    const auto result = platform.sendMessageTimeout(99, 0xC367, 0, 0, 2000);
    EXPECT_FALSE(result.delivered);
    EXPECT_NE(result.lastError, 0u) << "a dead window must read as a send failure, not a time-out";
}

} // namespace
