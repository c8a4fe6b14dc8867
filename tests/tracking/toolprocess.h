#pragma once

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

// One of the project's tools (quillon-sim, quillon-probe) run as a child
// process, its standard output read line by line. POSIX only. The child
// inherits the environment, so client and module meet in the same
// XDG_RUNTIME_DIR.
class ToolProcess {
public:
    ToolProcess() = default;
    ~ToolProcess() { stop(SIGTERM); }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Starts the tool from $QUILLON_BIN_DIR (else beside this program).
    bool start(const std::string& tool, const std::vector<std::string>& arguments, std::string& strError);
    // quillon-sim with the arguments, once it has printed its "ready" line.
    bool startSim(const std::vector<std::string>& arguments, std::string& strError);
    // Waits for a line starting with prefix, keeping every line read on the way.
    std::optional<std::string> waitFor(const std::string& prefix, std::chrono::milliseconds timeout);
    // Every line printed so far.
    std::vector<std::string> lines();
    // Sends the signal (0: none) and waits for the end; the exit status, or
    // 128 + the signal that ended it.
    int stop(int signal);

private:
    // Reads what arrives within timeoutMs into complete lines; false when
    // nothing came (time-out or the end of the output).
    bool readSome(int timeoutMs);

    int m_pid = -1;
    int m_output = -1;
    std::string m_pending;
    std::vector<std::string> m_lines;
    std::size_t m_taken = 0;
};
