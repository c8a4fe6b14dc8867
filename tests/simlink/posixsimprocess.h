#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

// A child process of a test, killed and reaped when the object ends whatever
// the test's outcome, and killed by the kernel if the test program dies
// first, so that no run leaves one behind (nor a pipe that keeps ctest waiting).
class ChildProcess {
public:
    // A tool of this build (found through QUILLON_BIN_DIR) with its standard output on a pipe.
    ChildProcess(const std::string& tool, const std::vector<std::string>& args);
    // A fork of this program that runs body, then exits.
    explicit ChildProcess(const std::function<void()>& body);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of output (without its end), or false at the time-out or the end of output.
    bool readLine(std::string& line, std::chrono::milliseconds timeout);
    bool readLineBy(std::string& line, std::chrono::steady_clock::time_point deadline);
    // Everything the child writes until it closes its output (or the time-out, for all of it).
    std::string readAll(std::chrono::milliseconds timeout);
    void signal(int signalNumber) const;
    // The exit status, or -1 when the child is still running at the time-out
    // or ended by a signal.
    int waitExit(std::chrono::milliseconds timeout);

private:
    pid_t m_pid = -1;
    int m_output = -1;
    bool m_reaped = false;
    std::string m_buffered;
};

// quillon-sim with the arguments, started and serving; ok() is false when its ready line never came.
class SimProcess : public ChildProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args = {});
    bool ok() const { return m_ready; }

private:
    bool m_ready = false;
};
