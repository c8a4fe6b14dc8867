#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The operating-system calls that the simulator link needs, one virtual per
// call. On Windows each maps onto one Win32 call of the same purpose; on
// POSIX systems they are served by a Unix-domain socket and POSIX shared
// memory; tests use a scripted fake. Every call returns 0 (or nullptr, or
// delivered == false) on failure, as the Windows calls do.
class IpcPlatform {
public:
    using WindowHandle = std::uintptr_t;  // 0 = no window
    using MappingHandle = std::uintptr_t; // 0 = no mapping

    struct Mapping {
        MappingHandle handle = 0;
        bool alreadyExisted = false; // Windows: GetLastError() == 183
    };

    struct SendResult {
        bool delivered = false;
        std::uint32_t lastError = 0; // 0 after a time-out, non-zero when the message could not be sent
        std::uintptr_t reply = 0;    // the module's reply value when delivered
    };

    virtual ~IpcPlatform() = default;

    // FindWindowExA(nullptr, nullptr, className, nullptr).
    virtual WindowHandle findWindow(const std::string& className) = 0;
    // Releases what findWindow holds (the POSIX connection); nothing on Windows.
    virtual void releaseWindow(WindowHandle window) = 0;
    // RegisterWindowMessageA.
    virtual std::uint32_t registerMessage(const std::string& name) = 0;
    virtual std::uint32_t currentProcessId() = 0;
    // GlobalAddAtomA / GlobalDeleteAtom.
    virtual std::uint16_t addAtom(const std::string& name) = 0;
    virtual void deleteAtom(std::uint16_t atom) = 0;
    // CreateFileMappingA on the paging file, read-write, sizeBytes long.
    virtual Mapping createMapping(const std::string& name, std::uint32_t sizeBytes) = 0;
    // MapViewOfFile (write access, whole mapping) / UnmapViewOfFile.
    virtual std::uint8_t* mapView(MappingHandle mapping) = 0;
    virtual void unmapView(std::uint8_t* view) = 0;
    // CloseHandle on a mapping.
    virtual void closeMapping(MappingHandle mapping) = 0;
    // SendMessageTimeoutA(window, message, wParam, lParam, SMTO_BLOCK, timeoutMs, &reply).
    virtual SendResult sendMessageTimeout(WindowHandle window, std::uint32_t message,
                                          std::uintptr_t wParam, std::uintptr_t lParam,
                                          std::uint32_t timeoutMs) = 0;
    virtual void sleepMs(std::uint32_t milliseconds) = 0;

    // Which simulator answers behind this platform, for the pilot ("FlightGear
    // 2020.3.16 at 127.0.0.1:5401"); empty when the module itself says it
    // (its simulator version code).
    virtual std::string simulatorDescription() const { return {}; }
    // The platform's own text for a result code where the module's text would
    // mislead (a FlightGear pilot has no FSUIPC.DLL to install); empty = the
    // module's text.
    virtual std::string resultText(std::int32_t /*code*/) const { return {}; }
    // Told once an open has succeeded, with the simulator's description
    // (the platform's own, else the module's simulator version).
    virtual void linkOpened(const std::string& /*description*/) {}

    // What the simulator tells of the flight that the pilot would otherwise
    // type; empty strings where it says nothing (the module says nothing).
    struct FlightDetails {
        std::string aircraftType;
        std::string aircraftId;
        std::string closestAirportId;
    };
    virtual FlightDetails flightDetails() const { return {}; }

    // Cancellation, callable from any thread: a wait inside sendMessageTimeout
    // or sleepMs ends within 50 ms (not delivered), and so does every later
    // wait until clearCancel(). Platforms wait in slices and check isCancelled().
    // A platform that another delegates to follows its owner's flag too, so
    // cancelling the owner ends the delegate's wait; one owner at a time.
    void cancel() { m_cancelled = true; }
    void clearCancel() { m_cancelled = false; }
    bool isCancelled() const
    {
        const IpcPlatform* owner = m_owner;
        return m_cancelled || (owner != nullptr && owner->isCancelled());
    }
    void followCancellation(const IpcPlatform* owner) { m_owner = owner; }
    // Forgets owner unless another has taken its place.
    void stopFollowing(const IpcPlatform* owner) { m_owner.compare_exchange_strong(owner, nullptr); }

private:
    std::atomic<bool> m_cancelled{false};
    std::atomic<const IpcPlatform*> m_owner{nullptr};
};

// The process's real platform: POSIX sockets and shared memory, or Win32.
IpcPlatform& systemIpcPlatform();
