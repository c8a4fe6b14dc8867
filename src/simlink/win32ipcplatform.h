#pragma once

#include "ipcplatform.h"

// The link's platform on Windows: each operation is the one Win32 call the
// module protocol is defined by (window lookup, registered message, global
// atom, paging-file mapping, blocking SendMessageTimeoutA).
class Win32IpcPlatform final : public IpcPlatform {
public:
    // Windows reports a SendMessageTimeoutA time-out as this last error.
    static constexpr std::uint32_t kErrorTimeout = 1460;

    WindowHandle findWindow(const std::string& className) override;
    void releaseWindow(WindowHandle window) override;
    std::uint32_t registerMessage(const std::string& name) override;
    std::uint32_t currentProcessId() override;
    std::uint16_t addAtom(const std::string& name) override;
    void deleteAtom(std::uint16_t atom) override;
    Mapping createMapping(const std::string& name, std::uint32_t sizeBytes) override;
    std::uint8_t* mapView(MappingHandle mapping) override;
    void unmapView(std::uint8_t* view) override;
    void closeMapping(MappingHandle mapping) override;
    // A time-out is reported with last error 0, as on every other platform, so
    // that an unanswering module gives "timed out" rather than "sendmessage failed".
    SendResult sendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::uintptr_t lParam, std::uint32_t timeoutMs) override;
    void sleepMs(std::uint32_t milliseconds) override;
};
