#include "toolprocess.h"

#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

bool ToolProcess::start(const std::string& tool, const std::vector<std::string>& arguments, std::string& strError)
{
    // The tools sit beside the test and benchmark programs in the build's bin directory.
    const char* binDir = std::getenv("QUILLON_BIN_DIR");
    const std::string program
        = (binDir ? std::filesystem::path(binDir) : std::filesystem::read_symlink("/proc/self/exe").parent_path())
          / tool;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    int output[2];
    if (pipe(output) != 0 || (m_pid = fork()) < 0) {
        strError = "cannot start " + program;
        return false;
    }
    if (m_pid == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        execv(program.c_str(), pointers.data());
        _exit(127);
    }
    close(output[1]);
    m_output = output[0];
    return true;
}

bool ToolProcess::startSim(const std::vector<std::string>& arguments, std::string& strError)
{
    if (!start("quillon-sim", arguments, strError))
        return false;
    if (!waitFor("ready ", std::chrono::seconds(10))) {
        strError = "quillon-sim did not get ready";
        return false;
    }
    return true;
}

bool ToolProcess::readSome(int timeoutMs)
{
    pollfd ready{m_output, POLLIN, 0};
    if (m_output < 0 || poll(&ready, 1, timeoutMs) <= 0)
        return false;
    char buffer[512];
    const ssize_t count = read(m_output, buffer, sizeof buffer);
    if (count <= 0) {
        close(m_output);
        m_output = -1;
        return false;
    }
    m_pending.append(buffer, static_cast<std::size_t>(count));
    for (std::size_t end; (end = m_pending.find('\n')) != std::string::npos; m_pending.erase(0, end + 1))
        m_lines.push_back(m_pending.substr(0, end));
    return true;
}

std::optional<std::string> ToolProcess::waitFor(const std::string& prefix, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        while (m_taken < m_lines.size()) {
            const std::string& line = m_lines[m_taken++];
            if (line.rfind(prefix, 0) == 0)
                return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_output < 0)
            return std::nullopt;
        readSome(static_cast<int>(left.count()));
    }
}

std::vector<std::string> ToolProcess::lines()
{
    while (readSome(0)) {
    }
    return m_lines;
}

int ToolProcess::stop(int signal)
{
    int status = 0;
    if (m_pid > 0) {
        if (signal != 0)
            kill(m_pid, signal);
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    while (readSome(1000)) { // the rest of what it printed
    }
    if (m_output >= 0) {
        close(m_output);
        m_output = -1;
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
