#include "scratchdirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-tracking-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
        m_path = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

std::string ScratchDirectory::writeFile(const std::string& name, const std::string& contents) const
{
    const std::string path = m_path + "/" + name;
    std::ofstream(path) << contents;
    return path;
}

void usePrivateRuntimeDirectory(const ScratchDirectory& scratch)
{
    const std::string runtime = scratch.path() + "/runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}
