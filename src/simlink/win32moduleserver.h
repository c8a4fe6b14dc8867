#pragma once

#include "moduleserver.h"

#include <chrono>
#include <cstdint>
#include <string>

// The simulator module's side of the link on Windows: a hidden top-level
// window of the module's class that answers the registered message by opening
// the client's named mapping (its name travels as a global atom), processing
// the request block against the variables and replying 1 (0 when the block
// could not be reached or was malformed).
// Must be used from one thread: the one that pumps its messages. A hang
// blocks that thread for good, as a hung simulator does; an exit ends the
// process inside the request, so the client's message is never answered.
class Win32ModuleServer final : public ModuleServer {
public:
    // Exit status of the process when told to exit in the middle of a request.
    static constexpr unsigned kExitStatusEndedMidRequest = 3;

    Win32ModuleServer(SimVariables& vars, std::string className);
    ~Win32ModuleServer() override;
    Win32ModuleServer(const Win32ModuleServer&) = delete;
    Win32ModuleServer& operator=(const Win32ModuleServer&) = delete;

    // Registers the window class and message and creates the window; false with a reason on failure.
    bool start(std::string& strError) override;
    // Answers requests until the duration has passed; false once the window was told to quit.
    bool serveFor(std::chrono::milliseconds duration) override;
    // The window class served.
    std::string endpoint() const override { return m_className; }

    // The window procedure's entry for the registered message.
    std::uintptr_t serveRequest(std::uintptr_t atom);
    std::uint32_t message() const { return m_message; }

private:
    SimVariables& m_vars;
    std::string m_className;
    void* m_window = nullptr; // HWND
    std::uint32_t m_message = 0;
    bool m_classRegistered = false;
    bool m_quit = false;
};
