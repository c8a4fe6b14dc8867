// Linked into every test program: before main() runs, the program's data,
// settings and runtime folders are pointed at its own scratch folders in the
// build tree, so that no test touches a pilot's real log or settings, even when
// the program is started by hand. Processes it starts inherit the same folders.
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#ifdef _WIN32
#include <direct.h>
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

const bool kScratchEnvironment = [] {
    const std::string scratch = QUILLON_TEST_SCRATCH;
    for (const char* sub : {"", "/data", "/config", "/runtime"})
        makeFolder(scratch + sub);
    setVariable("XDG_DATA_HOME", scratch + "/data", true);
    setVariable("XDG_CONFIG_HOME", scratch + "/config", true);
    setVariable("XDG_RUNTIME_DIR", scratch + "/runtime", true);
    setVariable("QUILLON_BIN_DIR", QUILLON_TEST_BIN_DIR, true);
    setVariable("QT_QPA_PLATFORM", "offscreen", false);
    return true;
}();
} // namespace
