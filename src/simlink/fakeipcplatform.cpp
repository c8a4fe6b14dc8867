#include "fakeipcplatform.h"

#include "blockprocessor.h"
#include "simvariables.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint32_t kModuleVersionOffset = 0x3304;
constexpr std::uint32_t kSimVersionOffset = 0x3308;

// The same id for a name in every process, as a registered message has.
std::uint32_t messageIdOf(const std::string& name)
{
    std::uint32_t sum = 0;
    for (unsigned char c : name)
        sum += c;
    return 0xC000 + sum % 0x4000;
}

std::string hexText(std::uintptr_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

} // namespace

void fillModuleVersions(SimVariables& vars, std::uint32_t moduleVersion, std::uint16_t simVersionCode)
{
    vars.setU32(kModuleVersionOffset, moduleVersion);
    vars.setU32(kSimVersionOffset, 0xFADE0000u | simVersionCode);
}

FakeIpcPlatform::FakeIpcPlatform() = default;
FakeIpcPlatform::~FakeIpcPlatform() = default;

void FakeIpcPlatform::setWindowClasses(std::vector<std::string> classNames)
{
    m_windowClasses = std::move(classNames);
}

void FakeIpcPlatform::setProcessId(std::uint32_t processId)
{
    m_processId = processId;
}

void FakeIpcPlatform::attachModule(SimVariables* vars)
{
    m_vars = vars;
}

void FakeIpcPlatform::setMessageHandler(MessageHandler handler)
{
    m_handler = std::move(handler);
}

void FakeIpcPlatform::failNext(Operation operation, std::uint32_t lastError)
{
    m_scriptedFailures[operation].push_back(lastError);
}

void FakeIpcPlatform::setDeliveryFailure(std::uint32_t lastError)
{
    m_deliveryFails = true;
    m_deliveryLastError = lastError;
}

void FakeIpcPlatform::clearDeliveryFailure()
{
    m_deliveryFails = false;
}

int FakeIpcPlatform::callCount(Operation operation) const
{
    const auto found = m_callCounts.find(operation);
    return found == m_callCounts.end() ? 0 : found->second;
}

bool FakeIpcPlatform::holdsNothing() const
{
    return m_windows.empty() && m_atoms.empty() && m_mappings.empty() && m_views.empty();
}

bool FakeIpcPlatform::takeFailure(Operation operation, std::uint32_t& lastError)
{
    auto& pending = m_scriptedFailures[operation];
    if (pending.empty())
        return false;
    lastError = pending.front();
    pending.pop_front();
    return true;
}

void FakeIpcPlatform::record(Operation operation, const std::string& text)
{
    m_calls.push_back(text);
    ++m_callCounts[operation];
}

IpcPlatform::WindowHandle FakeIpcPlatform::findWindow(const std::string& className)
{
    record(Operation::FindWindow, "findWindow(" + className + ")");
    std::uint32_t lastError = 0;
    if (takeFailure(Operation::FindWindow, lastError))
        return 0;
    if (std::find(m_windowClasses.begin(), m_windowClasses.end(), className) == m_windowClasses.end())
        return 0;
    const WindowHandle window = m_nextWindow++;
    m_windows.emplace(window, className);
    return window;
}

void FakeIpcPlatform::releaseWindow(WindowHandle window)
{
    recordRelease("releaseWindow(" + hexText(window) + ")");
    if (m_windows.erase(window) == 0)
        m_misuses.push_back("releaseWindow of a window not held: " + hexText(window));
}

std::uint32_t FakeIpcPlatform::registerMessage(const std::string& name)
{
    record(Operation::RegisterMessage, "registerMessage(" + name + ")");
    std::uint32_t lastError = 0;
    if (takeFailure(Operation::RegisterMessage, lastError))
        return 0;
    return messageIdOf(name);
}

std::uint32_t FakeIpcPlatform::currentProcessId()
{
    return m_processId;
}

std::uint16_t FakeIpcPlatform::addAtom(const std::string& name)
{
    record(Operation::AddAtom, "addAtom(" + name + ")");
    m_atomNames.push_back(name);
    std::uint32_t lastError = 0;
    if (takeFailure(Operation::AddAtom, lastError))
        return 0;
    const std::uint16_t atom = m_nextAtom++;
    m_atoms.emplace(atom, name);
    return atom;
}

void FakeIpcPlatform::deleteAtom(std::uint16_t atom)
{
    recordRelease("deleteAtom(" + hexText(atom) + ")");
    if (m_atoms.erase(atom) == 0)
        m_misuses.push_back("deleteAtom of an atom not held: " + hexText(atom));
}

IpcPlatform::Mapping FakeIpcPlatform::createMapping(const std::string& name, std::uint32_t sizeBytes)
{
    record(Operation::CreateMapping, "createMapping(" + name + ", " + std::to_string(sizeBytes) + ")");
    std::uint32_t lastError = 0;
    const bool scriptedFailure = takeFailure(Operation::CreateMapping, lastError);
    if (scriptedFailure && lastError != kErrorAlreadyExists)
        return {};

    // As on Windows: an existing object of that name is shared, and reported.
    std::shared_ptr<SharedMemory> memory = m_namedMemory[name].lock();
    const bool alreadyExisted = scriptedFailure || memory != nullptr;
    if (memory == nullptr) {
        memory = std::make_shared<SharedMemory>(SharedMemory{name, std::vector<std::uint8_t>(sizeBytes)});
        m_namedMemory[name] = memory;
    }
    const MappingHandle handle = m_nextMapping++;
    m_mappings.emplace(handle, memory);
    return {handle, alreadyExisted};
}

std::uint8_t* FakeIpcPlatform::mapView(MappingHandle mapping)
{
    record(Operation::MapView, "mapView(" + hexText(mapping) + ")");
    std::uint32_t lastError = 0;
    if (takeFailure(Operation::MapView, lastError))
        return nullptr;
    const auto found = m_mappings.find(mapping);
    if (found == m_mappings.end()) {
        m_misuses.push_back("mapView of a mapping not held: " + hexText(mapping));
        return nullptr;
    }
    std::uint8_t* view = found->second->bytes.data();
    m_views.emplace(view, found->second);
    return view;
}

void FakeIpcPlatform::unmapView(std::uint8_t* view)
{
    recordRelease("unmapView");
    if (m_views.erase(view) == 0)
        m_misuses.push_back("unmapView of a view not held");
}

void FakeIpcPlatform::closeMapping(MappingHandle mapping)
{
    recordRelease("closeMapping(" + hexText(mapping) + ")");
    if (m_mappings.erase(mapping) == 0)
        m_misuses.push_back("closeMapping of a mapping not held: " + hexText(mapping));
}

std::uint8_t* FakeIpcPlatform::blockOfAtom(std::uintptr_t atom, std::size_t& blockBytes)
{
    const auto name = m_atoms.find(static_cast<std::uint16_t>(atom));
    if (atom > 0xFFFF || name == m_atoms.end())
        return nullptr;
    const auto named = m_namedMemory.find(name->second);
    if (named == m_namedMemory.end())
        return nullptr;
    const std::shared_ptr<SharedMemory> memory = named->second.lock();
    if (memory == nullptr)
        return nullptr;
    blockBytes = memory->bytes.size();
    return memory->bytes.data();
}

IpcPlatform::SendResult FakeIpcPlatform::sendMessageTimeout(WindowHandle window, std::uint32_t message,
                                                            std::uintptr_t wParam, std::uintptr_t lParam,
                                                            std::uint32_t timeoutMs)
{
    record(Operation::SendMessage, "sendMessageTimeout(" + hexText(message) + ", " + hexText(wParam) + ")");
    std::uint32_t lastError = 0;
    if (isCancelled())
        return notDelivered(0);
    if (takeFailure(Operation::SendMessage, lastError))
        return notDelivered(lastError);
    if (m_deliveryFails)
        return notDelivered(m_deliveryLastError);
    if (m_windows.count(window) == 0)
        return notDelivered(kErrorInvalidWindow);

    Message received{window, message, wParam, lParam, timeoutMs, nullptr, 0};
    received.block = blockOfAtom(wParam, received.blockBytes);
    return m_handler ? m_handler(received) : serveWithModule(received);
}

IpcPlatform::SendResult FakeIpcPlatform::serveWithModule(const Message& message)
{
    // Like the real module: anything it cannot make sense of is answered with 0.
    const bool understood = m_vars != nullptr && message.block != nullptr &&
                            message.message == messageIdOf("FSASMLIB:IPC") && message.lParam == 0;
    if (!understood)
        return answered(0);
    return answered(processRequestBlock(*m_vars, message.block, message.blockBytes));
}

void FakeIpcPlatform::sleepMs(std::uint32_t milliseconds)
{
    ++m_pauseCount;
    m_pausedMs += milliseconds;
}
