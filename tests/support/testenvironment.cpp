// Linked into every test program: before main() runs, the program's data and
// settings folders are pointed at its own scratch folders in the build tree,
// and its runtime folder at a fresh one under /tmp, so that no test touches a
// pilot's real log or settings, even when the program is started by hand.
// The runtime folder holds the link's Unix sockets, whose paths must stay
// within 107 bytes however deep the checkout is; it is removed at exit (and by
// scripts/test.sh after a crash).
// Processes the program starts inherit the same folders. On Windows the
// settings live in the registry and the user's folders cannot be moved, so
// the tests run only inside the throwaway Wine prefix of scripts/wine-env.sh.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#ifdef _WIN32
#include <direct.h>
#else
#include <filesystem>
#include <unistd.h>
#endif

namespace {
void setVariable(const char* name, const std::string& value, bool overwrite)
{
#ifdef _WIN32
    if (overwrite || !std::getenv(name))
        _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), overwrite ? 1 : 0);
#endif
}

void makeFolder(const std::string& path)
{
#ifdef _WIN32
    _mkdir(path.c_str());
#else
    mkdir(path.c_str(), 0700);
#endif
}

#ifdef _WIN32
std::string makeRuntimeFolder(const std::string& scratch)
{
    makeFolder(scratch + "/runtime");
    return scratch + "/runtime";
}
#else
std::string g_runtimeFolder;
pid_t g_owner = 0;

// Only the process that made the folder removes it: a forked child that
// exits normally must not pull it from under its parent.
void removeRuntimeFolder()
{
    std::error_code ignored;
    if (::getpid() == g_owner)
        std::filesystem::remove_all(g_runtimeFolder, ignored);
}

// Mode 0700, as a runtime folder must be. A run of scripts/test.sh gives its
// number in QUILLON_TEST_RUN, so that it removes the folders a crashed or
// timed-out test left.
std::string makeRuntimeFolder(const std::string&)
{
    const char* run = std::getenv("QUILLON_TEST_RUN");
    std::string name = std::string("/tmp/quillon-test-") + (run && *run ? std::string(run) + "-" : "") + "XXXXXX";
    if (::mkdtemp(name.data()) == nullptr)
        std::abort();
    g_runtimeFolder = name;
    g_owner = ::getpid();
    std::atexit(removeRuntimeFolder);
    return name;
}
#endif

const bool kScratchEnvironment = [] {
#ifdef _WIN32
    if (!std::getenv("QUILLON_THROWAWAY_PREFIX")) {
        std::fputs("These tests change the user's settings: run them through scripts/wine-env.sh\n", stderr);
        std::exit(2);
    }
#endif
    const std::string scratch = QUILLON_TEST_SCRATCH;
    for (const char* sub : {"", "/data", "/config"})
        makeFolder(scratch + sub);
    setVariable("XDG_DATA_HOME", scratch + "/data", true);
    setVariable("XDG_CONFIG_HOME", scratch + "/config", true);
    setVariable("XDG_RUNTIME_DIR", makeRuntimeFolder(scratch), true);
    setVariable("QUILLON_BIN_DIR", QUILLON_TEST_BIN_DIR, true);
    setVariable("QT_QPA_PLATFORM", "offscreen", false);
    // Without a console Qt on Windows sends the test log and its messages to the
    // debugger instead of the standard output that ctest reads.
    setVariable("QT_FORCE_STDERR_LOGGING", "1", false);
    return true;
}();
} // namespace
