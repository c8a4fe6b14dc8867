#pragma once

#include "ipcplatform.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class SimVariables;

// A scripted IpcPlatform for tests: in-process mappings (real memory), an
// in-process module, and switches that make any call fail.
//
//   SimVariables vars;
//   fillModuleVersions(vars);            // a module the client accepts
//   FakeIpcPlatform fake;                // one "UIPCMAIN" window present
//   fake.attachModule(&vars);            // messages are served by processRequestBlock
//   clsFSUIPC link(fake);                // ... open, change vars between exchanges ("fly") ...
//
// Failures: failNext(Operation::AddAtom) makes the next addAtom return 0;
// failNext(Operation::CreateMapping, 183) reports an existing mapping;
// failNext(Operation::SendMessage, 233) fails one delivery with that last error
// (0 = a time-out); setDeliveryFailure(lastError) fails every delivery until
// clearDeliveryFailure(). setMessageHandler() answers messages in place of the
// module: it may rewrite the block, return any reply value, or fail delivery.
// sleepMs never sleeps; it only counts, so retries cost no time. Once cancelled,
// no message is delivered (a time-out) until clearCancel().
// The fake records every call and what is still held (windows, atoms,
// mappings, views) so tests can check that nothing leaks.
class FakeIpcPlatform : public IpcPlatform {
public:
    enum class Operation { FindWindow, RegisterMessage, AddAtom, CreateMapping, MapView, SendMessage };

    static constexpr std::uint32_t kErrorAlreadyExists = 183;
    static constexpr std::uint32_t kErrorInvalidWindow = 1400;
    static constexpr std::uint32_t kDefaultProcessId = 0x3F2A;

    // One message as the module sees it; block is nullptr when the atom does
    // not lead to a live mapping.
    struct Message {
        WindowHandle window = 0;
        std::uint32_t message = 0;
        std::uintptr_t wParam = 0;
        std::uintptr_t lParam = 0;
        std::uint32_t timeoutMs = 0;
        std::uint8_t* block = nullptr;
        std::size_t blockBytes = 0;
    };
    using MessageHandler = std::function<SendResult(const Message&)>;

    static SendResult answered(std::uintptr_t reply) { return {true, 0, reply}; }
    static SendResult notDelivered(std::uint32_t lastError) { return {false, lastError, 0}; }

    FakeIpcPlatform();
    ~FakeIpcPlatform() override;

    // --- the scenario ---
    void setWindowClasses(std::vector<std::string> classNames); // default {"UIPCMAIN"}
    void setProcessId(std::uint32_t processId);
    void attachModule(SimVariables* vars);          // not owned; nullptr = no module (reply 0)
    void setMessageHandler(MessageHandler handler); // answers in place of the module; empty = module again
    // The attached module's answer to a message, for handlers that wrap it.
    SendResult serveWithModule(const Message& message);
    void failNext(Operation operation, std::uint32_t lastError = 0);
    void setDeliveryFailure(std::uint32_t lastError); // persistent; 0 = every message times out
    void clearDeliveryFailure();
    // What flightDetails() tells from now on (set it while no exchange runs).
    void setFlightDetails(FlightDetails details) { m_details = std::move(details); }

    // --- what happened ---
    const std::vector<std::string>& calls() const { return m_calls; } // e.g. "addAtom(FSASMLIB:IPC:3F2A:1)"
    int callCount(Operation operation) const;
    const std::vector<std::string>& atomNames() const { return m_atomNames; } // names added, in order
    std::size_t heldWindows() const { return m_windows.size(); }
    std::size_t heldAtoms() const { return m_atoms.size(); }
    std::size_t heldMappings() const { return m_mappings.size(); }
    std::size_t heldViews() const { return m_views.size(); }
    bool holdsNothing() const;
    // Releases of handles the fake never gave out or already took back.
    const std::vector<std::string>& misuses() const { return m_misuses; }
    int pauseCount() const { return m_pauseCount; }
    std::uint64_t pausedMs() const { return m_pausedMs; }

    // --- IpcPlatform ---
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
    SendResult sendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::uintptr_t lParam, std::uint32_t timeoutMs) override;
    void sleepMs(std::uint32_t milliseconds) override;
    FlightDetails flightDetails() const override { return m_details; }

private:
    struct SharedMemory {
        std::string name;
        std::vector<std::uint8_t> bytes;
    };

    // True (and the scripted last error in lastError) when this call is to fail.
    bool takeFailure(Operation operation, std::uint32_t& lastError);
    void record(Operation operation, const std::string& text);
    void recordRelease(const std::string& text) { m_calls.push_back(text); }
    std::uint8_t* blockOfAtom(std::uintptr_t atom, std::size_t& blockBytes);

    std::vector<std::string> m_windowClasses{"UIPCMAIN"};
    std::uint32_t m_processId = kDefaultProcessId;
    SimVariables* m_vars = nullptr;
    MessageHandler m_handler;
    std::map<Operation, std::deque<std::uint32_t>> m_scriptedFailures;
    bool m_deliveryFails = false;
    std::uint32_t m_deliveryLastError = 0;
    FlightDetails m_details;

    std::map<WindowHandle, std::string> m_windows;
    WindowHandle m_nextWindow = 0x100;
    std::map<std::uint16_t, std::string> m_atoms;
    std::uint16_t m_nextAtom = 0xC001;
    std::map<MappingHandle, std::shared_ptr<SharedMemory>> m_mappings;
    MappingHandle m_nextMapping = 0x200;
    std::map<std::string, std::weak_ptr<SharedMemory>> m_namedMemory;
    std::map<std::uint8_t*, std::shared_ptr<SharedMemory>> m_views;

    std::vector<std::string> m_calls;
    std::map<Operation, int> m_callCounts;
    std::vector<std::string> m_atomNames;
    std::vector<std::string> m_misuses;
    int m_pauseCount = 0;
    std::uint64_t m_pausedMs = 0;
};

// Puts version numbers the client accepts into a module's variables: the
// module version at 0x3304 and 0xFADE with the simulator code at 0x3308.
void fillModuleVersions(SimVariables& vars, std::uint32_t moduleVersion = 0x19980005,
                        std::uint16_t simVersionCode = 6);
