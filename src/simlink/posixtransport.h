#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The Linux link between client and module, shared by both sides (see
// docs/transport.md): a Unix-domain stream socket per window class in a
// private directory, requests naming a POSIX shared-memory block, and short
// little-endian messages.
namespace PosixTransport {

constexpr std::size_t kRequestHeaderBytes = 20; // message id, wParam, lParam, sequence, name length
constexpr std::size_t kReplyBytes = 8;          // sequence, reply value
constexpr std::size_t kMaxNameBytes = 255;
constexpr const char* kMessageName = "FSASMLIB:IPC";

// Registered message id: 0xC000 + (sum of the name's bytes mod 0x4000).
std::uint32_t messageId(const std::string& name);

// $XDG_RUNTIME_DIR/fsipc, or /tmp/fsipc-<uid> when that variable is unset or empty.
std::string socketDirectory();
// Creates the socket directory with mode 0700 if missing. Refuses (false, with
// the reason) a directory that is not a directory, belongs to another user,
// or is open to group or others.
bool prepareSocketDirectory(std::string& strError);
// Socket path of a window class; empty when the class name cannot be a file name or the path is too long.
std::string socketPath(const std::string& className);
// Shared-memory object name of a mapping name: "/" + name.
std::string sharedMemoryName(const std::string& mappingName);
// A mapping name usable as a shared-memory object: 1..255 bytes, no "/".
bool isValidMappingName(const std::string& mappingName);

struct Request {
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
    std::uint32_t sequence = 0;
    std::string name;
};

struct Reply {
    std::uint32_t sequence = 0;
    std::uint32_t value = 0;
};

std::vector<std::uint8_t> encodeRequest(const Request& request);

enum class ParseStatus { NeedMore, Complete, Malformed };
// Takes one request from the front of a byte stream. On Complete, consumed is
// the request's length; on Malformed (a name longer than 255 bytes) the
// sequence number is still set so the module can answer 0.
ParseStatus parseRequest(const std::uint8_t* data, std::size_t size, Request& request, std::size_t& consumed);

std::array<std::uint8_t, kReplyBytes> encodeReply(const Reply& reply);
Reply decodeReply(const std::uint8_t* data); // kReplyBytes bytes

constexpr int kConnectTimeoutMs = 2000;
// The longest single wait while connecting, so that a cancel is seen this often.
constexpr int kConnectSliceMs = 50;
// A connected, close-on-exec stream socket to path, or -1 with errno set
// (EAGAIN when the listener's backlog stayed full for kConnectTimeoutMs,
// ECANCELED when `cancelled` answered true first).
int connectUnixSocket(const std::string& path, const std::function<bool()>& cancelled = {});
// The peer's user id of a connected Unix socket; false when it cannot be read.
bool peerUserId(int socketFd, unsigned& uid);

} // namespace PosixTransport
