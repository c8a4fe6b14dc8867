#pragma once

#include "ipcplatform.h"
#include "simulatorstate.h"
#include "simvariables.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A substitute for the simulator's module: answers the client's request
// blocks in-process from a table of simulator variables that a feed keeps up
// to date from the simulator's own interface. The "window" is the feed's
// connection; it is opened for the class "UIPCMAIN" only (no networked module
// stands behind a source). Subclasses speak one simulator's protocol.
//
// Freshness: an exchange that comes kPollPauseMs or more after the previous
// one ended begins a poll and asks for new values; a later exchange of the same
// poll asks only when the values are older than kFreshMs. It waits for them
// within its own time-out, in slices of at most kSliceMs; the values read for
// it then serve the rest of its poll for kFreshMs, however long the simulator
// took to send them (so a poll that follows a slow one at once uses them too). A simulator that has owed an answer for
// kSilentMs fails every exchange at once as timed out (code 11), one whose
// connection is gone as undeliverable (code 12); the retry pauses in between
// are then skipped too.
class SourcePlatform : public IpcPlatform {
public:
    static constexpr int kFreshMs = 500;
    static constexpr int kSilentMs = 2000;
    static constexpr int kSliceMs = 50;
    static constexpr int kPollPauseMs = 100;
    static constexpr std::uint32_t kConnectionLost = 10054; // the "connection reset" error of Winsock and POSIX alike

    ~SourcePlatform() override;

    // Safe from any thread.
    FlightDetails flightDetails() const override;

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

protected:
    using Clock = std::chrono::steady_clock;

    // openWaitMs bounds how long findWindow waits for the simulator's first answer.
    explicit SourcePlatform(int openWaitMs);

    // Connects and asks for the values; false with the reason when it cannot.
    virtual bool openFeed(std::string& strError) = 0;
    virtual void closeFeed() = 0;
    // Takes what the simulator sent within waitMs (0 = only what is there) and
    // calls publish() for each complete set of values. False once the
    // connection is gone.
    virtual bool pumpFeed(int waitMs) = 0;
    // Asks for values read from now on, unless values asked for at or after
    // since are on their way; false once the connection is gone. A feed that
    // streams has nothing to ask.
    virtual bool requestValues(Clock::time_point /*since*/) { return true; }
    // How long the simulator has owed an answer; a feed that streams owes one
    // at all times.
    virtual Clock::duration silence() const { return dataAge(); }

    // A complete, consistent set of values that the simulator read no earlier than readSince.
    void publish(const SimulatorState& state, Clock::time_point readSince = Clock::now());
    // Time since the last publish (a very long time before the first).
    Clock::duration dataAge() const;

private:
    enum class Feed { Fresh, Silent, Gone };
    Feed awaitFreshValues(std::uint32_t timeoutMs);

    int m_openWaitMs;
    bool m_open = false;
    bool m_gone = false;
    bool m_silent = false;
    Clock::time_point m_publishedAt{};
    Clock::time_point m_readSince{}; // the values in the table
    Clock::time_point m_exchangeEndedAt{};
    bool m_everPublished = false;
    SimVariables m_vars;
    mutable std::mutex m_detailsMutex;
    FlightDetails m_details;

    std::map<std::uint16_t, std::string> m_atoms;
    std::uint16_t m_nextAtom = 0xC000;
    std::map<MappingHandle, std::shared_ptr<std::vector<std::uint8_t>>> m_mappings;
    std::map<std::string, std::weak_ptr<std::vector<std::uint8_t>>> m_mappingsByName;
    MappingHandle m_nextMapping = 0;
    std::map<std::uint8_t*, std::shared_ptr<std::vector<std::uint8_t>>> m_views;
};
