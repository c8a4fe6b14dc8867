#include "sourceplatform.h"

#include "blockprocessor.h"

#include <algorithm>
#include <thread>

namespace {

constexpr const char* kModuleWindowClass = "UIPCMAIN";
constexpr std::uint32_t kMessageId = 0xC0DE;
constexpr IpcPlatform::WindowHandle kFeedWindow = 1;
constexpr std::uintptr_t kReplyFailed = 0;

} // namespace

SourcePlatform::SourcePlatform(int openWaitMs) : m_openWaitMs(openWaitMs) {}

SourcePlatform::~SourcePlatform() = default;

SourcePlatform::FlightDetails SourcePlatform::flightDetails() const
{
    const std::lock_guard lock(m_detailsMutex);
    return m_details;
}

void SourcePlatform::publish(const SimulatorState& state, Clock::time_point readSince)
{
    writeSimulatorState(state, m_vars);
    m_publishedAt = Clock::now();
    m_readSince = readSince;
    m_everPublished = true;
    m_silent = false;
    const std::lock_guard lock(m_detailsMutex);
    m_details = {state.aircraftType, state.aircraftId, state.closestAirportId};
}

SourcePlatform::Clock::duration SourcePlatform::dataAge() const
{
    return m_everPublished ? Clock::now() - m_publishedAt : Clock::duration::max();
}

// The first answer must come within the open's wait; later ones are checked per exchange.
IpcPlatform::WindowHandle SourcePlatform::findWindow(const std::string& className)
{
    if (className != kModuleWindowClass || m_open)
        return 0;
    std::string error;
    m_everPublished = false;
    m_gone = false;
    m_silent = false;
    if (!openFeed(error))
        return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_openWaitMs);
    while (!m_everPublished && !isCancelled() && Clock::now() < deadline) {
        if (!pumpFeed(kSliceMs))
            break;
    }
    if (!m_everPublished) {
        closeFeed();
        return 0;
    }
    m_open = true;
    m_readSince = m_exchangeEndedAt = Clock::now(); // the values the open waited for serve the start's exchanges
    return kFeedWindow;
}

void SourcePlatform::releaseWindow(WindowHandle window)
{
    if (window != kFeedWindow || !m_open)
        return;
    closeFeed();
    m_open = false;
}

std::uint32_t SourcePlatform::registerMessage(const std::string& /*name*/)
{
    return kMessageId;
}

std::uint32_t SourcePlatform::currentProcessId()
{
    return 1; // only names the in-process mapping
}

std::uint16_t SourcePlatform::addAtom(const std::string& name)
{
    const std::uint16_t atom = m_nextAtom++;
    m_atoms[atom] = name;
    return atom;
}

void SourcePlatform::deleteAtom(std::uint16_t atom)
{
    m_atoms.erase(atom);
}

IpcPlatform::Mapping SourcePlatform::createMapping(const std::string& name, std::uint32_t sizeBytes)
{
    if (const auto existing = m_mappingsByName.find(name);
        existing != m_mappingsByName.end() && !existing->second.expired())
        return {0, true};
    auto memory = std::make_shared<std::vector<std::uint8_t>>(sizeBytes);
    const MappingHandle handle = ++m_nextMapping;
    m_mappings[handle] = memory;
    m_mappingsByName[name] = memory;
    return {handle, false};
}

std::uint8_t* SourcePlatform::mapView(MappingHandle mapping)
{
    const auto found = m_mappings.find(mapping);
    if (found == m_mappings.end())
        return nullptr;
    std::uint8_t* view = found->second->data();
    m_views[view] = found->second;
    return view;
}

void SourcePlatform::unmapView(std::uint8_t* view)
{
    m_views.erase(view);
}

void SourcePlatform::closeMapping(MappingHandle mapping)
{
    m_mappings.erase(mapping);
}

IpcPlatform::SendResult SourcePlatform::sendMessageTimeout(WindowHandle window, std::uint32_t message,
                                                           std::uintptr_t wParam, std::uintptr_t lParam,
                                                           std::uint32_t timeoutMs)
{
    if (window != kFeedWindow || !m_open)
        return {false, kConnectionLost, 0};
    const Feed feed = awaitFreshValues(timeoutMs);
    m_exchangeEndedAt = Clock::now();
    switch (feed) {
    case Feed::Gone:
        return {false, kConnectionLost, 0};
    case Feed::Silent:
        return {false, 0, 0};
    case Feed::Fresh:
        break;
    }
    const auto atom = m_atoms.find(static_cast<std::uint16_t>(wParam));
    const auto named = atom == m_atoms.end() ? m_mappingsByName.end() : m_mappingsByName.find(atom->second);
    const auto block = named == m_mappingsByName.end() ? nullptr : named->second.lock();
    if (message != kMessageId || lParam != 0 || block == nullptr)
        return {true, 0, kReplyFailed};
    return {true, 0, processRequestBlock(m_vars, block->data(), block->size())};
}

// Retry pauses are skipped once the feed is known lost: the answer cannot change.
void SourcePlatform::sleepMs(std::uint32_t milliseconds)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_gone && !m_silent && !isCancelled()) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(kSliceMs)));
    }
}

SourcePlatform::Feed SourcePlatform::awaitFreshValues(std::uint32_t timeoutMs)
{
    using std::chrono::milliseconds;
    const auto begun = Clock::now();
    const auto deadline = begun + milliseconds(timeoutMs);
    const bool pollBegins = begun - m_exchangeEndedAt >= milliseconds(kPollPauseMs);
    for (int waitMs = 0;; waitMs = kSliceMs) { // first only what has arrived
        if (!m_gone && !pumpFeed(waitMs))
            m_gone = true;
        if (m_gone)
            return Feed::Gone;
        const auto now = Clock::now();
        const bool readForThisExchange = m_readSince >= begun;
        if (readForThisExchange)
            m_readSince = now; // they serve the rest of its poll
        if (readForThisExchange || (!pollBegins && now - m_readSince <= milliseconds(kFreshMs)))
            return Feed::Fresh;
        if (silence() >= milliseconds(kSilentMs))
            m_silent = true;
        if (m_silent || isCancelled() || now >= deadline)
            return Feed::Silent;
        if (!requestValues(begun)) {
            m_gone = true;
            return Feed::Gone;
        }
    }
}
