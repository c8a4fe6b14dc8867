#include "win32ipcplatform.h"

#include <windows.h>

#include <algorithm>

namespace {

// Sleeps are cut into slices of at most this length, so that a cancel ends them soon.
constexpr DWORD kSleepSliceMs = 50;

HWND toHwnd(IpcPlatform::WindowHandle window)
{
    return reinterpret_cast<HWND>(window);
}

HANDLE toHandle(IpcPlatform::MappingHandle mapping)
{
    return reinterpret_cast<HANDLE>(mapping);
}

} // namespace

IpcPlatform::WindowHandle Win32IpcPlatform::findWindow(const std::string& className)
{
    return reinterpret_cast<WindowHandle>(FindWindowExA(nullptr, nullptr, className.c_str(), nullptr));
}

void Win32IpcPlatform::releaseWindow(WindowHandle)
{
    // A window handle owns nothing on the client's side.
}

std::uint32_t Win32IpcPlatform::registerMessage(const std::string& name)
{
    return RegisterWindowMessageA(name.c_str());
}

std::uint32_t Win32IpcPlatform::currentProcessId()
{
    return GetCurrentProcessId();
}

std::uint16_t Win32IpcPlatform::addAtom(const std::string& name)
{
    return GlobalAddAtomA(name.c_str());
}

void Win32IpcPlatform::deleteAtom(std::uint16_t atom)
{
    GlobalDeleteAtom(atom);
}

IpcPlatform::Mapping Win32IpcPlatform::createMapping(const std::string& name, std::uint32_t sizeBytes)
{
    Mapping mapping;
    SetLastError(0);
    const HANDLE handle =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeBytes, name.c_str());
    mapping.alreadyExisted = GetLastError() == ERROR_ALREADY_EXISTS;
    mapping.handle = reinterpret_cast<MappingHandle>(handle);
    return mapping;
}

std::uint8_t* Win32IpcPlatform::mapView(MappingHandle mapping)
{
    return static_cast<std::uint8_t*>(MapViewOfFile(toHandle(mapping), FILE_MAP_WRITE, 0, 0, 0));
}

void Win32IpcPlatform::unmapView(std::uint8_t* view)
{
    UnmapViewOfFile(view);
}

void Win32IpcPlatform::closeMapping(MappingHandle mapping)
{
    CloseHandle(toHandle(mapping));
}

IpcPlatform::SendResult Win32IpcPlatform::sendMessageTimeout(WindowHandle window, std::uint32_t message,
                                                             std::uintptr_t wParam, std::uintptr_t lParam,
                                                             std::uint32_t timeoutMs)
{
    SendResult result;
    // SendMessageTimeoutA cannot be interrupted: a cancel takes effect before
    // the next message, so a cancelled link waits out at most the message in flight.
    if (isCancelled())
        return result;
    DWORD_PTR reply = 0;
    // A failure that sets no error of its own must not report a stale one.
    SetLastError(0);
    const LRESULT sent = SendMessageTimeoutA(toHwnd(window), message, wParam, static_cast<LPARAM>(lParam),
                                             SMTO_BLOCK, timeoutMs, &reply);
    if (sent == 0) {
        const DWORD error = GetLastError();
        result.lastError = error == kErrorTimeout ? 0 : error;
        return result;
    }
    result.delivered = true;
    result.reply = reply;
    return result;
}

void Win32IpcPlatform::sleepMs(std::uint32_t milliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); !isCancelled() && now < deadline; now = GetTickCount64())
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kSleepSliceMs)));
}

// Never destroyed: a worker thread that could not be joined when the program
// closed may still be inside a call at exit. Links close their own objects.
IpcPlatform& systemIpcPlatform()
{
    static auto* platform = new Win32IpcPlatform;
    return *platform;
}
