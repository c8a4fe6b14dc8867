#pragma once

#include <string>

// A private scratch directory, removed with everything in it at the end.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::string& path() const { return m_path; }
    // Writes a file in it and returns its path.
    std::string writeFile(const std::string& name, const std::string& contents) const;
    // Points XDG_RUNTIME_DIR inside it, so that this process and the
    // simulators it starts meet no other module.
    void useAsRuntimeDirectory() const;

private:
    std::string m_path;
};
