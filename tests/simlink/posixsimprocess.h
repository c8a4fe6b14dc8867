#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

// A tool of this build (found through QUILLON_BIN_DIR) run as a child
// process with its standard output on a pipe; killed when the object ends.
class ChildProcess {
public:
    ChildProcess(const std::string& tool, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of output (without its end), or false at the time-out or the end of output.
    bool readLine(std::string& line, std::chrono::milliseconds timeout);
    // Everything the child writes until it closes its output.
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
