#include "posixsimprocess.h"

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// fork(), with the child bound to die with this process.
pid_t forkBound()
{
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork");
    if (pid == 0 && (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent))
        ::_exit(127); // the parent is already gone
    return pid;
}

} // namespace

ChildProcess::ChildProcess(const std::string& tool, const std::vector<std::string>& args)
{
    const char* binDir = std::getenv("QUILLON_BIN_DIR");
    int pipeFds[2];
    if (binDir == nullptr || ::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("QUILLON_BIN_DIR is not set or no pipe");
    const std::string path = std::string(binDir) + "/" + tool;
    m_pid = forkBound();
    if (m_pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_output = pipeFds[0];
}

ChildProcess::ChildProcess(const std::function<void()>& body) : m_pid(forkBound())
{
    if (m_pid == 0) {
        body();
        ::_exit(0); // no exit handlers: they belong to the test program
    }
}

ChildProcess::~ChildProcess()
{
    if (!m_reaped && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_output >= 0)
        ::close(m_output);
}

bool ChildProcess::readLine(std::string& line, std::chrono::milliseconds timeout)
{
    return readLineBy(line, std::chrono::steady_clock::now() + timeout);
}

bool ChildProcess::readLineBy(std::string& line, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto end = m_buffered.find('\n');
        if (end != std::string::npos) {
            line = m_buffered.substr(0, end);
            m_buffered.erase(0, end + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waiting{m_output, POLLIN, 0};
        char buffer[1024];
        ssize_t count = 0;
        if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) <= 0 ||
            (count = ::read(m_output, buffer, sizeof buffer)) <= 0)
            return false;
        m_buffered.append(buffer, static_cast<std::size_t>(count));
    }
}

std::string ChildProcess::readAll(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string all, line;
    while (readLineBy(line, deadline))
        all += line + "\n";
    return all + std::exchange(m_buffered, {});
}

void ChildProcess::signal(int signalNumber) const
{
    ::kill(m_pid, signalNumber);
}

int ChildProcess::waitExit(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_reaped = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

SimProcess::SimProcess(const std::vector<std::string>& args) : ChildProcess("quillon-sim", args)
{
    std::string line;
    m_ready = readLine(line, std::chrono::seconds(10)) && line.rfind("ready ", 0) == 0;
}
