#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// One of the project's tools (quillon-sim, quillon-probe) run as a child
// process, its standard output read line by line. POSIX only. The child
// inherits the environment, so client and module meet in the same
// XDG_RUNTIME_DIR.
class ToolProcess {
public:
    ToolProcess() = default;
    ~ToolProcess(); // SIGTERM, then waits
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Starts the tool from $QUILLON_BIN_DIR (else beside this program).
    bool start(const std::string& tool, const std::vector<std::string>& arguments, std::string& strError);
    // quillon-sim with the arguments, once it has printed its "ready" line.
    bool startSim(const std::vector<std::string>& arguments, std::string& strError);
    // The next line not taken yet, waiting at most timeout.
    std::optional<std::string> nextLine(std::chrono::milliseconds timeout);
    // Waits for a line starting with prefix, keeping every line read on the way.
    std::optional<std::string> waitFor(const std::string& prefix, std::chrono::milliseconds timeout);
    // Every line read so far, taken or not.
    std::vector<std::string> lines();
    // SIGKILL and wait: the module vanishes mid-flight.
    void kill();
    // Sends the signal (0: none) and waits for the end; the exit status, or
    // 128 + the signal that ended it.
    int stop(int signal);

private:
    void readOutput(int fd);

    int m_pid = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    std::size_t m_taken = 0;
    bool m_closed = false;
};
