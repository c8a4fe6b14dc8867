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

TEST(PosixTransport, MessageIdIsTheSumOfTheNameBytes)
{
    EXPECT_EQ(PosixTransport::messageId("FSASMLIB:IPC"), 0xC367u);
    EXPECT_EQ(PosixTransport::messageId(std::string(255, '\xFF')), 0xC000u + (255u * 255u) % 0x4000u)
        << "bytes are summed unsigned and the sum wraps inside 0xC000..0xFFFF";
}

TEST(PosixTransport, ANameLongerThan255BytesIsMalformedButKeepsItsSequence)
{
    const auto stream = PosixTransport::encodeRequest({0xC367, 0, 0, 7, std::string(256, 'x')});
    PosixTransport::Request received;
    std::size_t consumed = 0;
    EXPECT_EQ(PosixTransport::parseRequest(stream.data(), 20, received, consumed),
              PosixTransport::ParseStatus::Malformed);
    EXPECT_EQ(received.sequence, 7u);
}

TEST(PosixTransport, SocketDirectoryFallsBackToTmpPerUser)
{
    ScratchRuntimeDir runtime("xdg");
    EXPECT_EQ(PosixTransport::socketPath("UIPCMAIN"), runtime.path().string() + "/fsipc/UIPCMAIN");
    EXPECT_EQ(PosixTransport::socketPath("../UIPCMAIN"), "") << "a class cannot leave the directory";
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(PosixTransport::socketDirectory(), "/tmp/fsipc-" + std::to_string(::geteuid()));
}

struct DirectoryCase {
    std::string name;
    std::function<bool(const fs::path& dir)> prepare; // false: cannot be set up here (skip)
    bool accepted;
};

void PrintTo(const DirectoryCase& row, std::ostream* out)
{
    *out << row.name;
}

class SocketDirectory : public testing::TestWithParam<DirectoryCase> {};

TEST_P(SocketDirectory, IsCheckedBeforeUse)
{
    ScratchRuntimeDir runtime("dir");
    if (!GetParam().prepare(runtime.socketDir()))
        GTEST_SKIP() << "needs to give files to another user";
    std::string error;
    EXPECT_EQ(PosixTransport::prepareSocketDirectory(error), GetParam().accepted) << error;
    EXPECT_EQ(error.empty(), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_EQ(fs::status(runtime.socketDir()).permissions() & fs::perms::all, fs::perms::owner_all);
    }
}

bool makeDir(const fs::path& dir, fs::perms perms)
{
    fs::create_directory(dir);
    fs::permissions(dir, perms);
    return true;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SocketDirectory,
    testing::Values(DirectoryCase{"MissingIsCreatedPrivate", [](const fs::path&) { return true; }, true},
                    DirectoryCase{"GroupWritableIsRefused",
                                  [](const fs::path& d) {
                                      return makeDir(d, fs::perms::owner_all | fs::perms::group_write);
                                  },
                                  false},
                    DirectoryCase{"ReadableByOthersIsRefused",
                                  [](const fs::path& d) {
                                      return makeDir(d, fs::perms::owner_all | fs::perms::others_read);
                                  },
                                  false},
                    DirectoryCase{"AFileIsRefused",
                                  [](const fs::path& d) {
                                      return ::close(::open(d.c_str(), O_CREAT | O_WRONLY, 0600)) == 0;
                                  },
                                  false},
                    DirectoryCase{"ASymlinkToAPrivateDirIsRefused",
                                  [](const fs::path& d) {
                                      makeDir(d.string() + "-real", fs::perms::owner_all);
                                      fs::create_directory_symlink(d.string() + "-real", d);
                                      return true;
                                  },
                                  false},
                    DirectoryCase{"AnotherUsersDirIsRefused",
                                  [](const fs::path& d) {
                                      return makeDir(d, fs::perms::owner_all) &&
                                             ::chown(d.c_str(), 65534, 65534) == 0;
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
    EXPECT_FALSE(fs::exists("/dev/shm/" + name)) << "close removes a name no exchange has removed";
    EXPECT_EQ(platform.createMapping("a/b", 0x8000).handle, 0u) << "a name cannot leave the shm namespace";
}

TEST(PosixIpcPlatform, AtomsAreCountedPerName)
{
    PosixIpcPlatform platform;
    const std::uint16_t atom = platform.addAtom("FSASMLIB:IPC:1:1");
    ASSERT_NE(atom, 0);
    EXPECT_EQ(platform.addAtom("FSASMLIB:IPC:1:1"), atom);
    EXPECT_NE(platform.addAtom("FSASMLIB:IPC:1:2"), atom);
    platform.deleteAtom(atom);
    EXPECT_EQ(platform.addAtom("FSASMLIB:IPC:1:1"), atom) << "still held once";
    EXPECT_EQ(platform.addAtom(std::string(256, 'n')), 0) << "longer than a message can carry";
}

} // namespace
