#include "sourceselector.h"

#include "clsfsuipc.h"
#include "flightgearplatform.h"
#include "relayipcplatform.h"
#include "xplaneplatform.h"

#include <utility>

namespace {

constexpr const char* kModuleWindowClass = "UIPCMAIN";

} // namespace

std::unique_ptr<IpcPlatform> makeSourcePlatform(const SourceChoice& choice, int openWaitMs)
{
    switch (choice.kind) {
    case SourceChoice::Kind::FlightGear:
        return std::make_unique<FlightGearPlatform>(choice, openWaitMs);
    case SourceChoice::Kind::XPlane:
        return std::make_unique<XPlanePlatform>(choice, openWaitMs);
    case SourceChoice::Kind::Relay:
        return std::make_unique<RelayIpcPlatform>(RelayEndpoint{choice.host, choice.port}, choice.relayKeyPath(),
                                                  openWaitMs);
    case SourceChoice::Kind::Automatic:
    case SourceChoice::Kind::Fsuipc:
        return nullptr;
    }
    return nullptr;
}

SourceSelector::SourceSelector(IpcPlatform& modulePlatform, AutomaticPorts ports)
    : m_module(modulePlatform), m_ports(ports), m_active(&modulePlatform)
{
}

SourceSelector::~SourceSelector()
{
    m_module.stopFollowing(this);
}

void SourceSelector::setSource(const SourceChoice& choice)
{
    const std::lock_guard lock(m_mutex);
    m_spec = choice;
}

SourceChoice SourceSelector::source() const
{
    const std::lock_guard lock(m_mutex);
    return m_spec;
}

void SourceSelector::setConnectionHook(std::function<void(const std::string&)> hook)
{
    const std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

void SourceSelector::announce(const std::string& description)
{
    std::function<void(const std::string&)> hook;
    {
        const std::lock_guard lock(m_mutex);
        hook = m_hook;
    }
    if (hook)
        hook(description);
}

void SourceSelector::linkOpened(const std::string& description)
{
    announce(description);
}

IpcPlatform::FlightDetails SourceSelector::flightDetails() const
{
    return m_active->flightDetails();
}

std::string SourceSelector::simulatorDescription() const
{
    return m_active->simulatorDescription();
}

std::string SourceSelector::resultText(std::int32_t code) const
{
    if (code == FSUIPC_ERR_NOFS && m_nothingAnswered)
        return "No simulator answered on this computer.  Quillon looked for:\r\n"
               "1) the FSUIPC module\r\n"
               "2) quillon-relay, listening on port " + std::to_string(SourceChoice::kRelayPort) + "\r\n"
               "3) FlightGear, started with the option --telnet=" + std::to_string(SourceChoice::kFlightGearPort) + "\r\n"
               "4) X-Plane, receiving on UDP port " + std::to_string(SourceChoice::kXPlanePort) + "\r\n"
               "Start your simulator, or choose it in Options, Simulator.";
    return m_active->resultText(code);
}

// The module's platform may be shared: the selector in use takes it over.
IpcPlatform& SourceSelector::active()
{
    m_active->followCancellation(this);
    return *m_active;
}

// A chosen source stays in use when it does not answer, for its own texts;
// an automatic attempt that fails is dropped.
IpcPlatform::WindowHandle SourceSelector::tryNetworkSource(const SourceChoice& choice, int openWaitMs, bool keep)
{
    std::unique_ptr<IpcPlatform> candidate = makeSourcePlatform(choice, openWaitMs);
    if (candidate == nullptr)
        return 0;
    candidate->followCancellation(this);
    const WindowHandle window = candidate->findWindow(kModuleWindowClass);
    if (window != 0 || keep) {
        m_network = std::move(candidate);
        m_active = m_network.get();
    }
    return window;
}

IpcPlatform::WindowHandle SourceSelector::choose(const SourceChoice& choice)
{
    m_opened = choice;
    m_nothingAnswered = false;
    m_network.reset();
    m_active = &m_module;
    switch (choice.kind) {
    case SourceChoice::Kind::Fsuipc:
        return active().findWindow(kModuleWindowClass);
    case SourceChoice::Kind::Automatic:
        if (const WindowHandle window = active().findWindow(kModuleWindowClass))
            return window;
        // After the module, in this order, all on this computer.
        for (const auto& [kind, port] : {std::pair{SourceChoice::Kind::Relay, m_ports.relay},
                                         {SourceChoice::Kind::FlightGear, m_ports.flightGear},
                                         {SourceChoice::Kind::XPlane, m_ports.xPlane}}) {
            SourceChoice choice = SourceChoice::of(kind);
            choice.port = port;
            if (isCancelled())
                break;
            if (const WindowHandle window = tryNetworkSource(choice, kAutomaticOpenWaitMs, false))
                return window;
        }
        m_nothingAnswered = true; // a networked module (FS98MAIN) may still answer
        return 0;
    default:
        return tryNetworkSource(choice, kChosenOpenWaitMs, true);
    }
}

IpcPlatform::WindowHandle SourceSelector::findWindow(const std::string& className)
{
    if (className != kModuleWindowClass) {
        // A networked module answers only where the module was asked for.
        const bool moduleAsked = m_opened.kind == SourceChoice::Kind::Fsuipc || m_nothingAnswered;
        return moduleAsked ? active().findWindow(className) : 0;
    }
    return choose(source());
}

void SourceSelector::releaseWindow(WindowHandle window)
{
    active().releaseWindow(window);
    announce({});
}

std::uint32_t SourceSelector::registerMessage(const std::string& name) { return active().registerMessage(name); }
std::uint32_t SourceSelector::currentProcessId() { return active().currentProcessId(); }
std::uint16_t SourceSelector::addAtom(const std::string& name) { return active().addAtom(name); }
void SourceSelector::deleteAtom(std::uint16_t atom) { active().deleteAtom(atom); }
IpcPlatform::Mapping SourceSelector::createMapping(const std::string& name, std::uint32_t sizeBytes)
{
    return active().createMapping(name, sizeBytes);
}
std::uint8_t* SourceSelector::mapView(MappingHandle mapping) { return active().mapView(mapping); }
void SourceSelector::unmapView(std::uint8_t* view) { active().unmapView(view); }
void SourceSelector::closeMapping(MappingHandle mapping) { active().closeMapping(mapping); }
IpcPlatform::SendResult SourceSelector::sendMessageTimeout(WindowHandle window, std::uint32_t message,
                                                           std::uintptr_t wParam, std::uintptr_t lParam,
                                                           std::uint32_t timeoutMs)
{
    return active().sendMessageTimeout(window, message, wParam, lParam, timeoutMs);
}
void SourceSelector::sleepMs(std::uint32_t milliseconds) { active().sleepMs(milliseconds); }
