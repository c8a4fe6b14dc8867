#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The relay's frames (docs/relay.md): a 12-byte header (magic, version, kind,
// payload length; little-endian) and a payload whose layout the kind fixes.
// Encoders build a whole frame in one buffer, so that it leaves in one write;
// decoders check every field and say what is wrong.
namespace relayframe {

inline constexpr std::uint32_t kMagic = 0x594C5251; // "QRLY" on the wire
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::size_t kHeaderBytes = 12;
inline constexpr std::size_t kKeyBytes = 16;
inline constexpr std::size_t kMaxClassNameBytes = 64;
inline constexpr std::uint32_t kMaxTimeoutMs = 10000;
inline constexpr std::size_t kExchangeHeaderBytes = 8; // sequence, time-out
inline constexpr std::size_t kResultHeaderBytes = 16;  // sequence, delivered, last error, reply

enum class Kind : std::uint16_t {
    Hello = 1,        // client: the key
    Welcome = 2,      // relay: the key was right
    LookUpWindow = 3, // client: is a module window of this class there?
    WindowFound = 4,  // relay: the answer
    Exchange = 5,     // client: one request block for the module
    ExchangeResult = 6, // relay: the send result and the block as the module left it
    KeepAlive = 7,    // either side, ignored by the other
};

// Which side reads: each accepts only the other side's kinds.
enum class Reader { Relay, Client };

bool isKindFor(Reader reader, std::uint16_t kind);
// The largest payload a kind may carry.
std::size_t maxPayloadBytes(Kind kind);

struct Frame {
    Kind kind = Kind::KeepAlive;
    std::vector<std::uint8_t> payload;
};

struct FindWindowRequest {
    std::uint32_t sequence = 0;
    std::string className;
};
struct WindowReply {
    std::uint32_t sequence = 0;
    bool found = false;
};
struct ExchangeRequest {
    std::uint32_t sequence = 0;
    std::uint32_t timeoutMs = 0;
    std::span<const std::uint8_t> block; // into the frame's payload
};
struct ExchangeReply {
    std::uint32_t sequence = 0;
    bool delivered = false;
    std::uint32_t lastError = 0;
    std::uint32_t reply = 0;
    std::span<const std::uint8_t> block; // empty unless delivered
};

std::vector<std::uint8_t> encode(Kind kind, std::span<const std::uint8_t> payload = {});
std::vector<std::uint8_t> encodeHello(std::span<const std::uint8_t, kKeyBytes> key);
std::vector<std::uint8_t> encodeFindWindow(const FindWindowRequest& request);
std::vector<std::uint8_t> encodeWindowFound(const WindowReply& reply);
std::vector<std::uint8_t> encodeExchange(const ExchangeRequest& request);
std::vector<std::uint8_t> encodeExchangeResult(const ExchangeReply& reply);

// Each decoder fills its out-argument from a frame of its kind; false with the reason when a field is wrong.
bool decodeFindWindow(const Frame& frame, FindWindowRequest& request, std::string& reason);
bool decodeWindowFound(const Frame& frame, WindowReply& reply, std::string& reason);
bool decodeExchange(const Frame& frame, ExchangeRequest& request, std::string& reason);
bool decodeExchangeResult(const Frame& frame, ExchangeReply& reply, std::string& reason);

// The length of a well-formed request block: records of known ids whose data
// lie inside it, ended by the end marker; at most the block limit. 0 when the
// bytes are no such block (then reason says why).
// For a read-only relay: true when a well-formed block's only writes are the
// client's own version word (2 bytes at 0x330A, which every open writes);
// otherwise false with the first other write, e.g. "2 bytes at 0xBC8".
bool writesOnlyTheVersionWord(std::span<const std::uint8_t> block, std::string& refused);
std::size_t requestBlockBytes(std::span<const std::uint8_t> bytes, std::string& reason);

} // namespace relayframe
