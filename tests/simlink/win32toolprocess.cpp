#include "win32toolprocess.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>

namespace {

constexpr int kStartAttempts = 3;
constexpr auto kModuleWindowTimeout = std::chrono::seconds(20);

// Polls done until it holds or the time-out passes; whether it held.
template <typename Condition> bool waitUntil(std::chrono::milliseconds timeout, Condition done)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        Sleep(20);
    }
    return true;
}

} // namespace

Win32ToolProcess::Win32ToolProcess(const std::string& tool, const std::vector<std::string>& arguments)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outputWrite = nullptr;
    if (!CreatePipe(&m_outputRead, &outputWrite, &inheritable, 0)) {
        m_lines.push_back("no pipe for " + tool + ", error " + std::to_string(GetLastError()));
        return;
    }
    SetHandleInformation(m_outputRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outputWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // Windows looks for a bare program name in the test program's directory first.
    std::string line = tool + ".exe";
    for (const std::string& argument : arguments)
        line += ' ' + argument;
    PROCESS_INFORMATION info{};
    // A failed start under Wine is usually passing; a missing program fails every time.
    for (int attempt = 0; attempt < kStartAttempts && m_process == nullptr; ++attempt) {
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                           &info)) {
            CloseHandle(info.hThread);
            m_process = info.hProcess;
        } else if (attempt + 1 == kStartAttempts) {
            m_lines.push_back("cannot start " + line + ", error " + std::to_string(GetLastError()));
        } else {
            Sleep(250);
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
    while (ReadFile(m_outputRead, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
           got > 0) {
        pending.append(buffer.data(), got);
        for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            std::string text = pending.substr(0, end);
            pending.erase(0, end + 1);
            // Text-mode output ends lines with CR LF, and texts may carry their own CR.
            while (!text.empty() && text.back() == '\r')
                text.pop_back();
            const std::lock_guard lock(m_mutex);
            m_lines.push_back(std::move(text));
        }
    }
}

std::unique_ptr<Win32ToolProcess> Win32ToolProcess::startModule(const std::vector<std::string>& arguments,
                                                                const std::string& className)
{
    std::string failure;
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        auto sim = std::make_unique<Win32ToolProcess>("quillon-sim", arguments);
        waitUntil(kModuleWindowTimeout, [&] { return sim->ownsWindowOfClass(className) || sim->hasEnded(); });
        if (sim->ownsWindowOfClass(className))
            return sim;
        if (!sim->hasEnded()) {
            ADD_FAILURE() << "quillon-sim.exe runs without a " << className << " window"; // a fault of the module
            return nullptr;
        }
        failure += "attempt " + std::to_string(attempt) + ": quillon-sim.exe ended, output:\n";
        for (const std::string& text : sim->lines())
            failure += "  | " + text + "\n";
    }
    ADD_FAILURE() << "no module serving " << className << ":\n" << failure;
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

std::optional<std::string> Win32ToolProcess::waitForLine(const std::string& prefix,
                                                         std::chrono::milliseconds timeout) const
{
    std::optional<std::string> found;
    waitUntil(timeout, [&] {
        for (const std::string& text : lines()) {
            if (text.rfind(prefix, 0) == 0) {
                found = text;
                return true;
            }
        }
        return false;
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
    if (m_process == nullptr ||
        WaitForSingleObject(m_process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    if (m_reader.joinable())
        m_reader.join();
    DWORD status = 0;
    GetExitCodeProcess(m_process, &status);
    return status;
}
