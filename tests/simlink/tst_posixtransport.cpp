#include "posixipcplatform.h"
#include "posixtransport.h"
#include "scratchruntimedir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <fcntl.h>
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

} // namespace
