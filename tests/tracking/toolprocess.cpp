#include "toolprocess.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

ToolProcess::~ToolProcess()
{
    stop(SIGTERM);
}

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
    if (pipe(output) != 0) {
        strError = "pipe failed";
        return false;
    }
    m_pid = fork();
    if (m_pid == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        execv(program.c_str(), pointers.data());
        _exit(127);
    }
    close(output[1]);
    if (m_pid < 0) {
        close(output[0]);
        strError = "fork failed";
        return false;
    }
    m_reader = std::thread([this, fd = output[0]] { readOutput(fd); });
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

void ToolProcess::readOutput(int fd)
{
    std::string pending;
    char buffer[512];
    ssize_t count = 0;
    while ((count = read(fd, buffer, sizeof buffer)) > 0) {
        pending.append(buffer, static_cast<std::size_t>(count));
        std::size_t end = 0;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::lock_guard lock(m_mutex);
            m_lines.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
            m_changed.notify_all();
        }
    }
    close(fd);
    const std::lock_guard lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

std::optional<std::string> ToolProcess::nextLine(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, timeout, [this] { return m_taken < m_lines.size() || m_closed; })
        || m_taken == m_lines.size())
        return std::nullopt;
    return m_lines[m_taken++];
}

std::optional<std::string> ToolProcess::waitFor(const std::string& prefix, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const std::optional<std::string> line = nextLine(left);
        if (!line)
            return std::nullopt;
        if (line->rfind(prefix, 0) == 0)
            return line;
    }
    return std::nullopt;
}

std::vector<std::string> ToolProcess::lines()
{
    const std::lock_guard lock(m_mutex);
    return m_lines;
}

void ToolProcess::kill()
{
    stop(SIGKILL);
}

int ToolProcess::stop(int signal)
{
    int status = 0;
    if (m_pid > 0) {
        if (signal != 0)
            ::kill(m_pid, signal);
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    if (m_reader.joinable())
        m_reader.join();
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
