#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

// Points XDG_RUNTIME_DIR at a fresh private folder inside the test program's
// own runtime folder for one test, so that tests never meet each other's
// sockets; restores it and removes the folder afterwards.
class ScratchRuntimeDir {
public:
    // name is kept short: socket paths must fit in 107 bytes.
    explicit ScratchRuntimeDir(const std::string& name)
    {
        const char* base = std::getenv("XDG_RUNTIME_DIR");
        if (base == nullptr)
            throw std::runtime_error("XDG_RUNTIME_DIR is not set");
        m_previous = base;
        m_path = std::filesystem::path(m_previous) / name;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
    }
    ~ScratchRuntimeDir()
    {
        ::setenv("XDG_RUNTIME_DIR", m_previous.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchRuntimeDir(const ScratchRuntimeDir&) = delete;
    ScratchRuntimeDir& operator=(const ScratchRuntimeDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path socketDir() const { return m_path / "fsipc"; }

private:
    std::string m_previous;
    std::filesystem::path m_path;
};
