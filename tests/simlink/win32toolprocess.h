#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// One of the project's tools (quillon-sim, quillon-probe) started from the
// test program's directory in a process of its own, its standard output collected
// line by line. Ends the process when it goes out of scope.
class Win32ToolProcess {
public:
    // A start that fails leaves its reason as the only output line.
    Win32ToolProcess(const std::string& tool, const std::vector<std::string>& arguments);
    ~Win32ToolProcess();

    // Starts quillon-sim and waits until its own window of className is up, so
    // that a client may open at once. Wine now and then fails to start a
    // process: a process that ends before its window appears is started again.
    // Nothing, and a test failure with what each attempt saw, when none worked.
    static std::unique_ptr<Win32ToolProcess> startModule(const std::vector<std::string>& arguments,
                                                         const std::string& className = "UIPCMAIN");

    // The first output line starting with prefix, waiting up to timeout for it.
    std::optional<std::string> waitForLine(const std::string& prefix,
                                           std::chrono::milliseconds timeout) const;
    std::vector<std::string> lines() const;
    // Waits for the process to end by itself and for the rest of its output;
    // its exit status, or nothing after the time-out or when it never started.
    std::optional<std::uint32_t> waitForEnd(std::chrono::milliseconds timeout);

private:
    void readOutput();
    bool hasEnded() const;
    // A window of that class owned by this process, not one left by another.
    bool ownsWindowOfClass(const std::string& className) const;

    void* m_process = nullptr; // HANDLE
    void* m_outputRead = nullptr;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};
