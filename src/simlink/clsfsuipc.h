#pragma once

#include "ipcplatform.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Result codes of the link operations; clsFSUIPC::Get_Result gives their texts.
inline constexpr std::int32_t FSUIPC_OK = 0;
inline constexpr std::int32_t FSUIPC_ERR_OPEN = 1;     // already open
inline constexpr std::int32_t FSUIPC_ERR_NOFS = 2;     // no module window
inline constexpr std::int32_t FSUIPC_ERR_REGMSG = 3;   // message registration failed
inline constexpr std::int32_t FSUIPC_ERR_ATOM = 4;     // atom for the mapping name failed
inline constexpr std::int32_t FSUIPC_ERR_MAP = 5;      // mapping failed or already existed
inline constexpr std::int32_t FSUIPC_ERR_VIEW = 6;     // view of the mapping failed
inline constexpr std::int32_t FSUIPC_ERR_VERSION = 7;  // module too old or not the module
inline constexpr std::int32_t FSUIPC_ERR_WRONGFS = 8;  // simulator is not the version asked for
inline constexpr std::int32_t FSUIPC_ERR_NOTOPEN = 9;  // link not open
inline constexpr std::int32_t FSUIPC_ERR_NODATA = 10;  // nothing queued
inline constexpr std::int32_t FSUIPC_ERR_TIMEOUT = 11; // every attempt timed out
inline constexpr std::int32_t FSUIPC_ERR_SENDMSG = 12; // every attempt failed to deliver
inline constexpr std::int32_t FSUIPC_ERR_DATA = 13;    // module refused or garbled the block
inline constexpr std::int32_t FSUIPC_ERR_RUNNING = 14; // networked stand-in without a simulator behind it
inline constexpr std::int32_t FSUIPC_ERR_SIZE = 15;    // request does not fit in the block

namespace fsuipc {

// A read the client queued: where its record starts in the block, how many data
// bytes follow the header, and where they go. The module never sees the address.
struct QueuedRead {
    std::size_t position = 0;
    std::size_t sizeBytes = 0;
    void* destination = nullptr;
};

// Walks a reply block and copies each read's data to its queued destination.
// Returns false (after copying the reads met so far) when the block holds an
// unknown record id, a record running past blockBytes, a read record that is
// not the next queued read (position or size differ), or ends before all
// queued reads were met. Reads only inside block[0, blockBytes) and writes
// only the queued destinations with the queued sizes.
bool scanReplyBlock(const std::uint8_t* block, std::size_t blockBytes, std::span<const QueuedRead> reads);

} // namespace fsuipc

// Client side of the simulator module's protocol: queues reads and writes in
// a shared block and exchanges the whole batch with the module in one message.
// Never throws for protocol failures: every operation returns false and a
// result code. One thread; not copyable (it owns the link's resources).
class clsFSUIPC {
public:
    explicit clsFSUIPC(IpcPlatform& platform = systemIpcPlatform());
    ~clsFSUIPC(); // runs FSUIPC_Close
    clsFSUIPC(const clsFSUIPC&) = delete;
    clsFSUIPC& operator=(const clsFSUIPC&) = delete;

    // dwFSReq: simulator version code required, 0 = any.
    bool FSUIPC_Open(std::int32_t dwFSReq, std::int32_t& dwResult);
    void FSUIPC_Close();
    // pDest must stay valid until the next FSUIPC_Process, which fills it.
    bool FSUIPC_Read(std::int32_t dwOffset, std::int32_t dwSize, void* pDest, std::int32_t& dwResult);
    bool FSUIPC_Write(std::int32_t dwOffset, std::int32_t dwSize, const void* pSrce, std::int32_t& dwResult);
    // Writes the text's first dwSize bytes; bytes past the text are sent as zeros.
    bool FSUIPC_WriteS(std::int32_t dwOffset, std::int32_t dwSize, const std::string& strSrce,
                       std::int32_t& dwResult);
    // Sends the batch; the block is empty afterwards whatever the outcome.
    bool FSUIPC_Process(std::int32_t& dwResult);

    std::string Get_Result(std::int32_t dwResult) const; // std::out_of_range outside 0..15
    std::string Version_FS() const;                      // "Unknown (13)" for codes outside the table
    std::string Version_FSUIPC() const;                  // e.g. "1.998e"
    // The simulator behind the link: the platform's description, else Version_FS.
    std::string Description() const;
    bool isOpen() const { return m_pView != nullptr; }

    // Name of the mapping made by the last open that got that far; empty before.
    const std::string& mappingName() const { return m_strMappingName; }
    // A new block's name, unique in the process: "FSASMLIB:IPC:" + the process id
    // and a counter in hexadecimal, cut to the 24 characters a module reads.
    static std::string nextMappingName(std::uint32_t processId);

private:
    bool openLink(std::int32_t dwFSReq, std::int32_t& dwResult);
    bool failOpen(std::int32_t code, std::int32_t& dwResult);
    bool versionHandshake(std::int32_t& dwResult);
    // Checks the space rule and reserves a record of headerBytes + dwSize, its
    // id, offset and size filled in; returns the start of its data (nullptr and
    // a code when refused).
    std::uint8_t* queueRecord(std::uint32_t id, std::size_t headerBytes, std::int32_t dwOffset,
                              std::int32_t dwSize, std::int32_t& dwResult);
    bool sendBatch(std::int32_t& dwResult);
    void emptyBlock();

    IpcPlatform& m_platform;
    IpcPlatform::WindowHandle m_hWnd = 0;
    std::uint32_t m_msg = 0;
    std::uint16_t m_atom = 0;
    IpcPlatform::MappingHandle m_hMap = 0;
    std::uint8_t* m_pView = nullptr;
    std::uint8_t* m_pNext = nullptr;
    std::int32_t m_lngFSUIPCVersion = 0;
    std::int32_t m_lngFSVersion = 0;
    const std::int16_t m_intLibVersion = 0; // library version word written at open
    bool m_blnViaWideClient = false;
    std::string m_strMappingName;
    std::vector<fsuipc::QueuedRead> m_queuedReads;
};
