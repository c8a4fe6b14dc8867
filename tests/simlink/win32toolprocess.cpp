#include "win32toolprocess.h"

#include <windows.h>

#include <algorithm>
#include <array>

namespace {

constexpr int kCreateAttempts = 3;
constexpr DWORD kCreatePauseMs = 250;
constexpr int kModuleStartAttempts = 3;
constexpr auto kModuleWindowTimeout = std::chrono::seconds(20);

std::string commandLine(const std::string& program, const std::vector<std::string>& arguments)
{
    std::string line = '"' + program + '"';
    for (const std::string& argument : arguments)
        line += ' ' + argument;
    return line;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string Win32ToolProcess::programDirectory()
{
    std::array<char, MAX_PATH> path{};
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::string directory(path.data(), length);
    return directory.substr(0, directory.find_last_of("\\/") + 1);
}

Win32ToolProcess::Win32ToolProcess(const std::string& tool, const std::vector<std::string>& arguments)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    if (!CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) {
        m_startError = GetLastError();
        return;
    }
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
    m_outputRead = outputRead;

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outputWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    std::string line = commandLine(programDirectory() + tool + ".exe", arguments);
    // A failed start under Wine is usually passing; a missing program fails every time.
    for (int attempt = 1; attempt <= kCreateAttempts && m_process == nullptr; ++attempt) {
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            m_process = info.hProcess;
            m_startError = 0;
        } else {
            m_startError = GetLastError();
            Sleep(kCreatePauseMs);
        }
    }
    // Only the child holds the writing end now, so the reader ends when the child does.
    CloseHandle(outputWrite);
    m_reader = std::thread(&Win32ToolProcess::readOutput, this);
}

Win32ToolProcess::~Win32ToolProcess()
{
    if (m_process != nullptr) {
        TerminateProcess(m_process, 0);
        WaitForSingleObject(m_process, INFINITE);
        CloseHandle(m_process);
    }
    if (m_reader.joinable())
        m_reader.join();
    if (m_outputRead != nullptr)
        CloseHandle(m_outputRead);
}

void Win32ToolProcess::readOutput()
{
    std::string pending;
    std::array<char, 512> buffer{};
    DWORD got = 0;
    while (ReadFile(m_outputRead, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
        pending.append(buffer.data(), got);
        std::size_t end = 0;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string text = pending.substr(0, end);
            pending.erase(0, end + 1);
            // Text-mode output ends lines with CR LF, and texts may carry their own CR.
            while (!text.empty() && text.back() == '\r')
                text.pop_back();
            const std::lock_guard lock(m_mutex);
            m_lines.push_back(std::move(text));
            m_lineAdded.notify_all();
        }
    }
}

std::unique_ptr<Win32ToolProcess> Win32ToolProcess::startModule(const std::vector<std::string>& arguments,
                                                                const std::string& className, std::string& failure)
{
    failure.clear();
    for (int attempt = 1; attempt <= kModuleStartAttempts; ++attempt) {
        auto sim = std::make_unique<Win32ToolProcess>("quillon-sim", arguments);
        if (sim->waitForWindow(className, kModuleWindowTimeout))
            return sim;
        failure += "attempt " + std::to_string(attempt) + ": ";
        if (!sim->started()) {
            failure += "quillon-sim.exe did not start, error " + std::to_string(sim->startError()) + "\n";
            continue;
        }
        const std::optional<std::uint32_t> status = sim->waitForEnd(std::chrono::milliseconds(0));
        if (!status) {
            // Running but windowless: a fault of the module, not of the start.
            failure += "no " + className + " window within the time-out\n";
            return nullptr;
        }
        failure += "quillon-sim.exe ended with status " + std::to_string(*status) + " before its " + className +
                   " window appeared\n";
        for (const std::string& text : sim->lines())
            failure += "  | " + text + "\n";
    }
    return nullptr;
}

bool Win32ToolProcess::ownsWindowOfClass(const std::string& className) const
{
    const DWORD processId = GetProcessId(m_process);
    for (HWND window = FindWindowExA(nullptr, nullptr, className.c_str(), nullptr); window != nullptr;
         window = FindWindowExA(nullptr, window, className.c_str(), nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId)
            return true;
    }
    return false;
}

bool Win32ToolProcess::waitForWindow(const std::string& className, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_process == nullptr || !ownsWindowOfClass(className)) {
        if (std::chrono::steady_clock::now() >= deadline || hasEnded())
            return false;
        Sleep(20);
    }
    return true;
}

std::optional<std::string> Win32ToolProcess::waitForLine(const std::string& prefix, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    std::optional<std::string> found;
    m_lineAdded.wait_for(lock, timeout, [&] {
        const auto line = std::find_if(m_lines.begin(), m_lines.end(),
                                       [&](const std::string& text) { return startsWith(text, prefix); });
        if (line != m_lines.end())
            found = *line;
        return found.has_value();
    });
    return found;
}

std::vector<std::string> Win32ToolProcess::lines() const
{
    const std::lock_guard lock(m_mutex);
    return m_lines;
}

bool Win32ToolProcess::hasEnded() const
{
    return m_process == nullptr || WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0;
}

std::optional<std::uint32_t> Win32ToolProcess::waitForEnd(std::chrono::milliseconds timeout)
{
    if (m_process == nullptr || WaitForSingleObject(m_process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    if (m_reader.joinable())
        m_reader.join();
    DWORD status = 0;
    GetExitCodeProcess(m_process, &status);
    return status;
}
