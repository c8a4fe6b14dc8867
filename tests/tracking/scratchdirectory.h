#pragma once

#include <string>

// A scratch directory of its own, removed with everything in it at the end.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::string& path() const { return m_path; }
    // Writes a file in it and returns its path.
    std::string writeFile(const std::string& name, const std::string& contents) const;

private:
    std::string m_path;
};

// Points XDG_RUNTIME_DIR at a fresh private directory so that this process
// and the simulators it starts do not meet any other module.
void usePrivateRuntimeDirectory(const ScratchDirectory& scratch);
