#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One of the project's tools (quillon-sim, quillon-probe) started from the
// test program's directory in a process of its own, its standard output kept
// in a file of the runtime folder. Ends the process when it goes out of scope.
class Win32ToolProcess {
public:
    // A start that fails leaves its reason as the only output line.
    Win32ToolProcess(const std::string& tool, const std::vector<std::string>& arguments);
    ~Win32ToolProcess();
    Win32ToolProcess(const Win32ToolProcess&) = delete;
    Win32ToolProcess& operator=(const Win32ToolProcess&) = delete;

    // Starts quillon-sim and waits until it says its window is up, so that a
    // client may open at once. Wine now and then fails to start a process: a
    // process that ends before it is ready is started again. Nothing, and a
    // test failure with what each attempt saw, when none worked.
    static std::unique_ptr<Win32ToolProcess> startModule(const std::vector<std::string>& arguments);

    // The first output line starting with prefix, waiting up to timeout for it
    // while the process runs.
    std::optional<std::string> waitForLine(const std::string& prefix,
                                           std::chrono::milliseconds timeout) const;
    // The lines written so far.
    std::vector<std::string> lines() const;
    // Waits for the process to end by itself; its exit status, or nothing
    // after the time-out or when it never started.
    std::optional<std::uint32_t> waitForEnd(std::chrono::milliseconds timeout) const;

private:
    bool hasEnded() const;

    void* m_process = nullptr; // HANDLE
    std::string m_outputPath;
    std::string m_failure;
};
