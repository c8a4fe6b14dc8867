#pragma once

#include "ipcplatform.h"
#include "sourceplatform.h"
#include "sourcechoice.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

// Makes the platform of a network source, or nothing for a kind that this
// build cannot reach. openWaitMs bounds the wait for the simulator's first answer.
std::unique_ptr<IpcPlatform> makeSourcePlatform(const SourceChoice& choice, int openWaitMs);

// Where "Automatic" looks on this computer.
struct AutomaticPorts {
    std::uint16_t relay = SourceChoice::kRelayPort;
    std::uint16_t flightGear = SourceChoice::kFlightGearPort;
    std::uint16_t xPlane = SourceChoice::kXPlanePort;
};

// The platform the tracker is given: it delegates to the source chosen at each
// open, so the tracker (and the phases it has recorded) outlives a change of
// source. The choice is made in findWindow("UIPCMAIN"), the first call of every
// open, on whatever thread opens the link. "Automatic" tries, on this
// computer, the FSUIPC module, the relay, FlightGear and X-Plane, and keeps
// the first that answers; each network attempt is bounded by kAutomaticOpenWaitMs.
class SourceSelector final : public IpcPlatform {
public:
    static constexpr int kChosenOpenWaitMs = 2000;
    static constexpr int kAutomaticOpenWaitMs = 500;

    // modulePlatform: the FSUIPC module's transport on this computer.
    explicit SourceSelector(IpcPlatform& modulePlatform = systemIpcPlatform(), AutomaticPorts ports = {});
    ~SourceSelector() override;

    // Safe from any thread; used from the next open on.
    void setSource(const SourceChoice& choice);
    SourceChoice source() const;
    // Called on the opening thread with the description of the simulator once
    // an open has succeeded, and with an empty text when its link is released.
    void setConnectionHook(std::function<void(const std::string&)> hook);

    std::string simulatorDescription() const override;
    std::string resultText(std::int32_t code) const override;
    void linkOpened(const std::string& description) override;
    // The source in use's; call it on the opening thread.
    FlightDetails flightDetails() const override;

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

private:
    WindowHandle choose(const SourceChoice& choice);
    WindowHandle tryNetworkSource(const SourceChoice& choice, int openWaitMs, bool keep);
    // The platform in use, following this selector's cancellation.
    IpcPlatform& active();
    void announce(const std::string& description);

    IpcPlatform& m_module;
    AutomaticPorts m_ports;
    mutable std::mutex m_mutex; // guards m_spec and m_hook
    SourceChoice m_spec;
    std::function<void(const std::string&)> m_hook;

    std::unique_ptr<IpcPlatform> m_network; // the network source in use, if any
    IpcPlatform* m_active;
    SourceChoice m_opened;          // what the last open tried
    bool m_nothingAnswered = false;
};
