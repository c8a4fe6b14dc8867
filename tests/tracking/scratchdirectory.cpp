#include "scratchdirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

void ScratchDirectory::useAsRuntimeDirectory() const
{
    setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1); // mkdtemp made it 0700
}
