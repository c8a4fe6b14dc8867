#include "win32toolprocess.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

namespace {

constexpr int kStartAttempts = 3;
constexpr auto kModuleReadyTimeout = std::chrono::seconds(20);

// A file of its own in the runtime folder for each process's output.
std::string newOutputPath(const std::string& tool)
{
    static std::atomic<int> started{0};
    return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + tool + "-" + std::to_string(++started) +
           ".txt";
}

} // namespace

Win32ToolProcess::Win32ToolProcess(const std::string& tool, const std::vector<std::string>& arguments)
    : m_outputPath(newOutputPath(tool))
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = CreateFileA(m_outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // Windows looks for a bare program name in the test program's directory first.
    std::string line = tool + ".exe";
    for (const std::string& argument : arguments)
        line += ' ' + argument;
    PROCESS_INFORMATION info{};
    // A failed start under Wine is usually passing; a missing program fails every time.
    for (int attempt = 0; attempt < kStartAttempts && m_process == nullptr; ++attempt) {
        if (output != INVALID_HANDLE_VALUE && CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                                             nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            m_process = info.hProcess;
        } else if (attempt + 1 == kStartAttempts) {
            m_failure = "cannot start " + line + ", error " + std::to_string(GetLastError());
        } else {
            Sleep(250);
        }
    }
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
}

Win32ToolProcess::~Win32ToolProcess()
{
    if (m_process != nullptr) {
        TerminateProcess(m_process, 0);
        WaitForSingleObject(m_process, INFINITE);
        CloseHandle(m_process);
    }
    DeleteFileA(m_outputPath.c_str());
}

std::unique_ptr<Win32ToolProcess> Win32ToolProcess::startModule(const std::vector<std::string>& arguments)
{
    std::string failure;
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        auto sim = std::make_unique<Win32ToolProcess>("quillon-sim", arguments);
        if (sim->waitForLine("ready ", kModuleReadyTimeout))
            return sim;
        if (!sim->hasEnded()) {
            ADD_FAILURE() << "quillon-sim.exe runs without a module window"; // a fault of the module
            return nullptr;
        }
        failure += "attempt " + std::to_string(attempt) + ": quillon-sim.exe ended, output:\n";
        for (const std::string& text : sim->lines())
            failure += "  | " + text + "\n";
    }
    ADD_FAILURE() << "no module serving:\n" << failure;
    return nullptr;
}

std::optional<std::string> Win32ToolProcess::waitForLine(const std::string& prefix,
                                                         std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const bool ended = hasEnded(); // then every line it wrote is in the file
        for (const std::string& text : lines()) {
            if (text.rfind(prefix, 0) == 0)
                return text;
        }
        if (ended || std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        Sleep(20);
    }
}

std::vector<std::string> Win32ToolProcess::lines() const
{
    if (!m_failure.empty())
        return {m_failure};
    std::vector<std::string> lines;
    std::ifstream output(m_outputPath);
    for (std::string text; std::getline(output, text);) {
        // Text-mode output ends lines with CR LF, and texts may carry their own CR.
        while (!text.empty() && text.back() == '\r')
            text.pop_back();
        lines.push_back(text);
    }
    return lines;
}

bool Win32ToolProcess::hasEnded() const
{
    return m_process == nullptr || WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0;
}

std::optional<std::uint32_t> Win32ToolProcess::waitForEnd(std::chrono::milliseconds timeout) const
{
    if (m_process == nullptr ||
        WaitForSingleObject(m_process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD status = 0;
    GetExitCodeProcess(m_process, &status);
    return status;
}
