#include "clsfsuipc.h"

#include "blockformat.h"
#include "simoffsets.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <stdexcept>

namespace {

using namespace blockformat;

constexpr const char* kPrimaryWindowClass = "UIPCMAIN";
constexpr const char* kWideClientWindowClass = "FS98MAIN";
constexpr const char* kMessageName = "FSASMLIB:IPC";
constexpr std::size_t kMappingNameChars = 24;

constexpr int kSendAttempts = 11;
constexpr std::uint32_t kRetryPauseMs = 100;
constexpr std::uint32_t kSendTimeoutMs = 2000;
constexpr std::uintptr_t kReplyProcessed = 1;

constexpr int kHandshakeRounds = 5;
constexpr std::uint32_t kHandshakePauseMs = 100;
constexpr std::int32_t kMinimumModuleVersion = 0x19980005;
constexpr std::uint32_t kSimVersionCheckPattern = 0xFADE;

constexpr std::array<const char*, 16> kResultTexts = {
    "Okay",
    "Attempt to Open when already Open",
    "Unable to connect to FSUIPC.  Possible causes:\r\n"
    "1) Flight Simulator may not be running\r\n"
    "2) The FSUIPC.DLL may not be installed in ..\\Flight Simulator\\Modules.",
    "Failed to Register common message with Windows",
    "Failed to create Atom for mapping filename",
    "Failed to create a file mapping object",
    "Failed to open a view to the file map",
    "Incorrect version of FSUIPC, or not FSUIPC",
    "Sim is not version requested",
    "Call cannot execute, link not Open",
    "Call cannot execute: no requests accumulated",
    "IPC timed out all retries",
    "IPC sendmessage failed all retries",
    "IPC request contains bad data",
    "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
    "Read or Write request cannot be added, memory for Process is full",
};

constexpr std::array<const char*, 9> kFSNames = {
    "Any", "FS98", "FS2000", "CFS2", "CFS1", "FLY", "FS2002", "FSNEXT", "FSYETANOTHER",
};

// Counts opens for the life of the process so that every mapping name differs.
std::atomic<std::uint32_t> g_openCounter{0};

std::string toUpperHex(std::uint32_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

// Appends a character of the single-byte (Latin-1) range as UTF-8.
void appendLatin1(std::string& text, unsigned code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
        return;
    }
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
}

} // namespace

namespace fsuipc {

bool scanReplyBlock(const std::uint8_t* block, std::size_t blockBytes, std::span<const QueuedRead> reads)
{
    std::size_t position = 0; // invariant: position <= blockBytes
    std::size_t nextRead = 0;
    for (;;) {
        if (blockBytes - position < kEndMarkerBytes)
            return false;
        const std::uint32_t id = loadU32LE(block + position);
        if (id == kEndId)
            return nextRead == reads.size();
        if (id != kReadId && id != kWriteId)
            return false;
        const std::size_t headerBytes = id == kReadId ? kReadHeaderBytes : kWriteHeaderBytes;
        if (blockBytes - position < headerBytes)
            return false;
        const std::size_t sizeBytes = loadU32LE(block + position + 8);
        if (blockBytes - position - headerBytes < sizeBytes)
            return false;
        if (id == kReadId) {
            if (nextRead == reads.size())
                return false;
            const QueuedRead& read = reads[nextRead++];
            if (read.position != position || read.sizeBytes != sizeBytes)
                return false;
            if (read.destination != nullptr && sizeBytes != 0)
                std::memcpy(read.destination, block + position + headerBytes, sizeBytes);
        }
        position += headerBytes + sizeBytes;
    }
}

} // namespace fsuipc

clsFSUIPC::clsFSUIPC(IpcPlatform& platform) : m_platform(platform) {}

clsFSUIPC::~clsFSUIPC()
{
    FSUIPC_Close();
}

bool clsFSUIPC::FSUIPC_Open(std::int32_t dwFSReq, std::int32_t& dwResult)
{
    m_lngFSUIPCVersion = 0;
    m_lngFSVersion = 0;
    if (isOpen()) {
        dwResult = FSUIPC_ERR_OPEN;
        return false;
    }
    // A platform call that throws half-way must not leave a half-open link
    // behind: every later open would then be refused with code 1.
    try {
        return openLink(dwFSReq, dwResult);
    } catch (...) {
        FSUIPC_Close();
        throw;
    }
}

bool clsFSUIPC::openLink(std::int32_t dwFSReq, std::int32_t& dwResult)
{
    m_blnViaWideClient = false;
    m_hWnd = m_platform.findWindow(kPrimaryWindowClass);
    if (m_hWnd == 0) {
        m_hWnd = m_platform.findWindow(kWideClientWindowClass);
        m_blnViaWideClient = true;
    }
    if (m_hWnd == 0)
        return failOpen(FSUIPC_ERR_NOFS, dwResult);

    m_msg = m_platform.registerMessage(kMessageName);
    if (m_msg == 0)
        return failOpen(FSUIPC_ERR_REGMSG, dwResult);

    m_strMappingName = nextMappingName(m_platform.currentProcessId());
    m_atom = m_platform.addAtom(m_strMappingName);
    if (m_atom == 0)
        return failOpen(FSUIPC_ERR_ATOM, dwResult);

    const IpcPlatform::Mapping mapping = m_platform.createMapping(m_strMappingName, kBlockBytes);
    m_hMap = mapping.handle;
    if (m_hMap == 0 || mapping.alreadyExisted)
        return failOpen(FSUIPC_ERR_MAP, dwResult);

    m_pView = m_platform.mapView(m_hMap);
    if (m_pView == nullptr)
        return failOpen(FSUIPC_ERR_VIEW, dwResult);
    emptyBlock();

    if (!versionHandshake(dwResult)) {
        FSUIPC_Close();
        return false;
    }

    const bool moduleTooOld = m_lngFSUIPCVersion < kMinimumModuleVersion;
    const bool notASimulator = (static_cast<std::uint32_t>(m_lngFSVersion) >> 16) != kSimVersionCheckPattern;
    if (moduleTooOld || notASimulator)
        return failOpen(m_blnViaWideClient ? FSUIPC_ERR_RUNNING : FSUIPC_ERR_VERSION, dwResult);

    m_lngFSVersion &= 0xFFFF;
    if (dwFSReq != 0 && dwFSReq != m_lngFSVersion)
        return failOpen(FSUIPC_ERR_WRONGFS, dwResult);

    dwResult = FSUIPC_OK;
    m_platform.linkOpened(Description());
    return true;
}

bool clsFSUIPC::failOpen(std::int32_t code, std::int32_t& dwResult)
{
    dwResult = code;
    FSUIPC_Close();
    return false;
}

// Asks for both version numbers until the module has given them, at most five times.
bool clsFSUIPC::versionHandshake(std::int32_t& dwResult)
{
    for (int round = 1; round <= kHandshakeRounds && (m_lngFSUIPCVersion == 0 || m_lngFSVersion == 0);
         ++round) {
        if (!FSUIPC_Read(SimOffset::kModuleVersion, 4, &m_lngFSUIPCVersion, dwResult))
            return false;
        if (!FSUIPC_Read(SimOffset::kSimulatorVersion, 4, &m_lngFSVersion, dwResult))
            return false;
        if (!FSUIPC_Write(SimOffset::kLibraryVersion, 2, &m_intLibVersion, dwResult) && round == 1)
            return false;
        if (!FSUIPC_Process(dwResult))
            return false;
        m_platform.sleepMs(kHandshakePauseMs);
    }
    return true;
}

void clsFSUIPC::FSUIPC_Close()
{
    if (m_hWnd != 0)
        m_platform.releaseWindow(m_hWnd);
    m_hWnd = 0;
    m_msg = 0;
    m_pNext = nullptr;
    m_queuedReads.clear();
    if (m_atom != 0) {
        m_platform.deleteAtom(m_atom);
        m_atom = 0;
    }
    if (m_pView != nullptr) {
        m_platform.unmapView(m_pView);
        m_pView = nullptr;
    }
    if (m_hMap != 0) {
        m_platform.closeMapping(m_hMap);
        m_hMap = 0;
    }
}

std::uint8_t* clsFSUIPC::queueRecord(std::uint32_t id, std::size_t headerBytes, std::int32_t dwOffset,
                                     std::int32_t dwSize, std::int32_t& dwResult)
{
    if (!isOpen()) {
        dwResult = FSUIPC_ERR_NOTOPEN;
        return nullptr;
    }
    // Sizes are widened before adding, so a huge or negative count cannot wrap into a small one.
    const auto usedBytes = static_cast<std::size_t>(m_pNext - m_pView);
    if (dwSize < 0 || usedBytes + kEndMarkerBytes + headerBytes + static_cast<std::size_t>(dwSize) >
                          kBlockLimitBytes) {
        dwResult = FSUIPC_ERR_SIZE;
        return nullptr;
    }
    storeU32LE(m_pNext, id);
    storeU32LE(m_pNext + 4, static_cast<std::uint32_t>(dwOffset));
    storeU32LE(m_pNext + 8, static_cast<std::uint32_t>(dwSize));
    std::uint8_t* data = m_pNext + headerBytes;
    m_pNext = data + dwSize;
    dwResult = FSUIPC_OK;
    return data;
}

bool clsFSUIPC::FSUIPC_Read(std::int32_t dwOffset, std::int32_t dwSize, void* pDest, std::int32_t& dwResult)
{
    std::uint8_t* data = queueRecord(kReadId, kReadHeaderBytes, dwOffset, dwSize, dwResult);
    if (data == nullptr)
        return false;
    std::uint8_t* header = data - kReadHeaderBytes;
    // The destination field carries the read's number, never an address: results
    // are copied by the client's own list.
    m_queuedReads.push_back(
        {static_cast<std::size_t>(header - m_pView), static_cast<std::size_t>(dwSize), pDest});
    storeU32LE(header + 12, static_cast<std::uint32_t>(m_queuedReads.size()));
    std::memset(data, 0, static_cast<std::size_t>(dwSize));
    return true;
}

bool clsFSUIPC::FSUIPC_Write(std::int32_t dwOffset, std::int32_t dwSize, const void* pSrce,
                             std::int32_t& dwResult)
{
    std::uint8_t* data = queueRecord(kWriteId, kWriteHeaderBytes, dwOffset, dwSize, dwResult);
    if (data == nullptr)
        return false;
    if (dwSize > 0)
        std::memcpy(data, pSrce, static_cast<std::size_t>(dwSize));
    return true;
}

bool clsFSUIPC::FSUIPC_WriteS(std::int32_t dwOffset, std::int32_t dwSize, const std::string& strSrce,
                              std::int32_t& dwResult)
{
    std::uint8_t* data = queueRecord(kWriteId, kWriteHeaderBytes, dwOffset, dwSize, dwResult);
    if (data == nullptr)
        return false;
    const auto sizeBytes = static_cast<std::size_t>(dwSize);
    const std::size_t textBytes = std::min(sizeBytes, strSrce.size());
    std::memcpy(data, strSrce.data(), textBytes);
    std::memset(data + textBytes, 0, sizeBytes - textBytes);
    return true;
}

bool clsFSUIPC::FSUIPC_Process(std::int32_t& dwResult)
{
    if (!isOpen()) {
        dwResult = FSUIPC_ERR_NOTOPEN;
        return false;
    }
    if (m_pNext == m_pView) {
        dwResult = FSUIPC_ERR_NODATA;
        return false;
    }
    storeU32LE(m_pNext, kEndId);
    const std::vector<fsuipc::QueuedRead> reads = std::move(m_queuedReads);
    emptyBlock();

    if (!sendBatch(dwResult))
        return false;
    // A garbled reply is reported with its own code rather than leaving an earlier "Okay" in place.
    if (!fsuipc::scanReplyBlock(m_pView, kBlockBytes, reads)) {
        dwResult = FSUIPC_ERR_DATA;
        return false;
    }
    dwResult = FSUIPC_OK;
    return true;
}

// One message for the whole batch: up to eleven attempts, 100 ms apart; none after a cancel.
bool clsFSUIPC::sendBatch(std::int32_t& dwResult)
{
    IpcPlatform::SendResult sent;
    for (int attempt = 0; attempt < kSendAttempts && !sent.delivered && !m_platform.isCancelled(); ++attempt) {
        if (attempt > 0)
            m_platform.sleepMs(kRetryPauseMs);
        sent = m_platform.sendMessageTimeout(m_hWnd, m_msg, m_atom, 0, kSendTimeoutMs);
    }
    if (!sent.delivered) {
        dwResult = sent.lastError != 0 ? FSUIPC_ERR_SENDMSG : FSUIPC_ERR_TIMEOUT;
        return false;
    }
    if (sent.reply != kReplyProcessed) {
        dwResult = FSUIPC_ERR_DATA;
        return false;
    }
    return true;
}

void clsFSUIPC::emptyBlock()
{
    m_pNext = m_pView;
    m_queuedReads.clear();
}

std::string clsFSUIPC::nextMappingName(std::uint32_t processId)
{
    const std::uint32_t counter = ++g_openCounter;
    std::string name = std::string(kMessageName) + ":" + toUpperHex(processId) + ":" + toUpperHex(counter);
    name.resize(std::min(name.size(), kMappingNameChars));
    return name;
}

std::string clsFSUIPC::Get_Result(std::int32_t dwResult) const
{
    const std::string moduleText = kResultTexts.at(static_cast<std::size_t>(dwResult));
    std::string platformText = m_platform.resultText(dwResult);
    return platformText.empty() ? moduleText : platformText;
}

std::string clsFSUIPC::Description() const
{
    std::string description = m_platform.simulatorDescription();
    return description.empty() ? Version_FS() : description;
}

std::string clsFSUIPC::Version_FS() const
{
    if (m_lngFSVersion >= 0 && static_cast<std::size_t>(m_lngFSVersion) < kFSNames.size())
        return kFSNames[static_cast<std::size_t>(m_lngFSVersion)];
    return "Unknown (" + std::to_string(m_lngFSVersion) + ")";
}

std::string clsFSUIPC::Version_FSUIPC() const
{
    const auto version = static_cast<std::uint32_t>(m_lngFSUIPCVersion);
    const auto digit = [version](int shift) { return static_cast<char>(48 + ((version >> shift) & 0xF)); };
    std::string text{digit(28), '.', digit(24), digit(20), digit(16)};
    if ((version & 0xFFFF) != 0) {
        // The build letter: low byte 1 is "a"; a letter beyond the single-byte range cannot be shown.
        const unsigned letter = 97 + (version & 0xFF) - 1;
        if (letter > 0xFF)
            return "Unknown";
        appendLatin1(text, letter);
    }
    return text;
}
