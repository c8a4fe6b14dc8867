#include "win32moduleserver.h"

#include "blockformat.h"
#include "blockprocessor.h"
#include "simvariables.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace {

constexpr char kMessageName[] = "FSASMLIB:IPC";
constexpr char kWindowTitle[] = "Quillon simulator module";

LRESULT CALLBACK moduleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* server = reinterpret_cast<Win32ModuleServer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (server != nullptr && message != 0 && message == server->message())
        return static_cast<LRESULT>(server->serveRequest(wParam));
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A mapped view of the client's block, released on every path. Its size is
// what the client really mapped (in whole pages), never more than a block, so
// a client with a smaller mapping cannot make the module run past its end.
class OpenedBlock {
public:
    explicit OpenedBlock(const char* name)
        : m_mapping(OpenFileMappingA(FILE_MAP_WRITE, FALSE, name))
    {
        if (m_mapping != nullptr)
            m_view = MapViewOfFile(m_mapping, FILE_MAP_WRITE, 0, 0, 0);
        MEMORY_BASIC_INFORMATION region{};
        if (m_view != nullptr && VirtualQuery(m_view, &region, sizeof region) == sizeof region)
            m_sizeBytes = std::min<std::size_t>(region.RegionSize, blockformat::kBlockBytes);
    }
    ~OpenedBlock()
    {
        if (m_view != nullptr)
            UnmapViewOfFile(m_view);
        if (m_mapping != nullptr)
            CloseHandle(m_mapping);
    }
    OpenedBlock(const OpenedBlock&) = delete;
    OpenedBlock& operator=(const OpenedBlock&) = delete;

    std::uint8_t* bytes() const { return static_cast<std::uint8_t*>(m_view); }
    std::size_t sizeBytes() const { return m_sizeBytes; }

private:
    HANDLE m_mapping;
    void* m_view = nullptr;
    std::size_t m_sizeBytes = 0;
};

} // namespace

Win32ModuleServer::Win32ModuleServer(SimVariables& vars, std::string className)
    : m_vars(vars), m_className(std::move(className))
{
}

Win32ModuleServer::~Win32ModuleServer()
{
    if (m_window != nullptr)
        DestroyWindow(static_cast<HWND>(m_window));
    if (m_classRegistered)
        UnregisterClassA(m_className.c_str(), GetModuleHandleA(nullptr));
}

bool Win32ModuleServer::start(std::string& strError)
{
    m_message = RegisterWindowMessageA(kMessageName);
    if (m_message == 0) {
        strError = "cannot register the message " + std::string(kMessageName);
        return false;
    }
    // Window classes are private to a process, so a second module would register
    // and the client would reach whichever window it found first.
    if (FindWindowExA(nullptr, nullptr, m_className.c_str(), nullptr) != nullptr) {
        strError = "Another module is already serving " + m_className;
        return false;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = moduleWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = m_className.c_str();
    m_classRegistered = RegisterClassA(&windowClass) != 0;
    if (!m_classRegistered) {
        strError = "cannot register the window class " + m_className;
        return false;
    }
    // A hidden top-level window, not a message-only one: clients find the
    // module with FindWindowExA, which on Windows skips message-only windows.
    m_window = CreateWindowExA(0, m_className.c_str(), kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                               windowClass.hInstance, this);
    if (m_window == nullptr) {
        strError = "cannot create the window of class " + m_className;
        return false;
    }
    return true;
}

bool Win32ModuleServer::serveFor(std::chrono::milliseconds duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!m_quit) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                m_quit = true;
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            break;
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        // Wakes as soon as a message, sent or posted, arrives; PeekMessageA above delivers it.
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(waitMs) + 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return !m_quit;
}

std::uintptr_t Win32ModuleServer::serveRequest(std::uintptr_t atom)
{
    switch (nextRequest()) {
    case Disposition::Answer:
        break;
    case Disposition::Hang:
        for (;;)
            Sleep(INFINITE);
    case Disposition::Exit:
        ExitProcess(kExitStatusEndedMidRequest);
    }
    std::array<char, MAX_PATH> name{};
    if (GlobalGetAtomNameA(static_cast<ATOM>(atom), name.data(), static_cast<int>(name.size())) == 0)
        return 0;
    const OpenedBlock block(name.data());
    if (block.sizeBytes() == 0)
        return 0;
    return processRequestBlock(m_vars, block.bytes(), block.sizeBytes());
}

std::unique_ptr<ModuleServer> makeModuleServer(SimVariables& vars, const std::string& className)
{
    return std::make_unique<Win32ModuleServer>(vars, className);
}
