#include "relayframe.h"

#include "blockformat.h"
#include "simoffsets.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace relayframe {

using blockformat::loadU32LE;
using blockformat::storeU16LE;
using blockformat::storeU32LE;

namespace {

// Header followed by room for the payload; the caller fills the payload.
std::vector<std::uint8_t> frameWithPayload(Kind kind, std::size_t payloadBytes)
{
    std::vector<std::uint8_t> frame(kHeaderBytes + payloadBytes);
    storeU32LE(&frame[0], kMagic);
    storeU16LE(&frame[4], static_cast<std::uint16_t>(kVersion));
    storeU16LE(&frame[6], static_cast<std::uint16_t>(kind));
    storeU32LE(&frame[8], static_cast<std::uint32_t>(payloadBytes));
    return frame;
}

bool isBoolean(std::uint32_t value)
{
    return value == 0 || value == 1;
}

} // namespace

bool isKindFor(Reader reader, std::uint16_t kind)
{
    switch (static_cast<Kind>(kind)) {
    case Kind::Hello:
    case Kind::LookUpWindow:
    case Kind::Exchange:
        return reader == Reader::Relay;
    case Kind::Welcome:
    case Kind::WindowFound:
    case Kind::ExchangeResult:
        return reader == Reader::Client;
    case Kind::KeepAlive:
        return true;
    }
    return false;
}

std::size_t maxPayloadBytes(Kind kind)
{
    switch (kind) {
    case Kind::Hello:
        return kKeyBytes;
    case Kind::LookUpWindow:
        return 4 + kMaxClassNameBytes;
    case Kind::WindowFound:
        return 8;
    case Kind::Exchange:
        return kExchangeHeaderBytes + blockformat::kBlockLimitBytes;
    case Kind::ExchangeResult:
        return kResultHeaderBytes + blockformat::kBlockLimitBytes;
    case Kind::Welcome:
    case Kind::KeepAlive:
        return 0;
    }
    return 0;
}

std::vector<std::uint8_t> encode(Kind kind, std::span<const std::uint8_t> payload)
{
    std::vector<std::uint8_t> frame = frameWithPayload(kind, payload.size());
    if (!payload.empty())
        std::memcpy(frame.data() + kHeaderBytes, payload.data(), payload.size());
    return frame;
}

std::vector<std::uint8_t> encodeHello(std::span<const std::uint8_t, kKeyBytes> key)
{
    return encode(Kind::Hello, key);
}

std::vector<std::uint8_t> encodeFindWindow(const FindWindowRequest& request)
{
    std::vector<std::uint8_t> frame = frameWithPayload(Kind::LookUpWindow, 4 + request.className.size());
    storeU32LE(&frame[kHeaderBytes], request.sequence);
    std::memcpy(frame.data() + kHeaderBytes + 4, request.className.data(), request.className.size());
    return frame;
}

std::vector<std::uint8_t> encodeWindowFound(const WindowReply& reply)
{
    std::vector<std::uint8_t> frame = frameWithPayload(Kind::WindowFound, 8);
    storeU32LE(&frame[kHeaderBytes], reply.sequence);
    storeU32LE(&frame[kHeaderBytes + 4], reply.found ? 1 : 0);
    return frame;
}

std::vector<std::uint8_t> encodeExchange(const ExchangeRequest& request)
{
    std::vector<std::uint8_t> frame = frameWithPayload(Kind::Exchange, kExchangeHeaderBytes + request.block.size());
    storeU32LE(&frame[kHeaderBytes], request.sequence);
    storeU32LE(&frame[kHeaderBytes + 4], request.timeoutMs);
    std::memcpy(frame.data() + kHeaderBytes + kExchangeHeaderBytes, request.block.data(), request.block.size());
    return frame;
}

std::vector<std::uint8_t> encodeExchangeResult(const ExchangeReply& reply)
{
    const std::size_t blockBytes = reply.delivered ? reply.block.size() : 0;
    std::vector<std::uint8_t> frame = frameWithPayload(Kind::ExchangeResult, kResultHeaderBytes + blockBytes);
    std::uint8_t* payload = frame.data() + kHeaderBytes;
    storeU32LE(payload, reply.sequence);
    storeU32LE(payload + 4, reply.delivered ? 1 : 0);
    storeU32LE(payload + 8, reply.lastError);
    storeU32LE(payload + 12, reply.reply);
    if (blockBytes != 0)
        std::memcpy(payload + kResultHeaderBytes, reply.block.data(), blockBytes);
    return frame;
}

bool decodeFindWindow(const Frame& frame, FindWindowRequest& request, std::string& reason)
{
    const auto& payload = frame.payload;
    if (payload.size() < 5 || payload.size() > 4 + kMaxClassNameBytes) {
        reason = "window class name of bad length";
        return false;
    }
    request.sequence = loadU32LE(payload.data());
    request.className.assign(payload.begin() + 4, payload.end());
    for (const char c : request.className) {
        if (c < 0x21 || c > 0x7E) {
            reason = "window class name with a character outside printable ASCII";
            return false;
        }
    }
    return true;
}

bool decodeWindowFound(const Frame& frame, WindowReply& reply, std::string& reason)
{
    if (frame.payload.size() != 8 || !isBoolean(loadU32LE(&frame.payload[4]))) {
        reason = "malformed window answer";
        return false;
    }
    reply.sequence = loadU32LE(&frame.payload[0]);
    reply.found = frame.payload[4] == 1;
    return true;
}

bool decodeExchange(const Frame& frame, ExchangeRequest& request, std::string& reason)
{
    const auto& payload = frame.payload;
    if (payload.size() < kExchangeHeaderBytes) {
        reason = "exchange shorter than its header";
        return false;
    }
    request.sequence = loadU32LE(&payload[0]);
    request.timeoutMs = loadU32LE(&payload[4]);
    if (request.timeoutMs == 0 || request.timeoutMs > kMaxTimeoutMs) {
        reason = "time-out of " + std::to_string(request.timeoutMs) + " ms outside 1.." +
                 std::to_string(kMaxTimeoutMs);
        return false;
    }
    request.block = std::span<const std::uint8_t>(payload).subspan(kExchangeHeaderBytes);
    const std::size_t blockBytes = requestBlockBytes(request.block, reason);
    if (blockBytes == 0)
        return false;
    if (blockBytes != request.block.size()) {
        reason = "bytes after the request block's end marker";
        return false;
    }
    return true;
}

bool decodeExchangeResult(const Frame& frame, ExchangeReply& reply, std::string& reason)
{
    const auto& payload = frame.payload;
    if (payload.size() < kResultHeaderBytes || !isBoolean(loadU32LE(&payload[4]))) {
        reason = "malformed exchange result";
        return false;
    }
    reply.sequence = loadU32LE(&payload[0]);
    reply.delivered = payload[4] == 1;
    reply.lastError = loadU32LE(&payload[8]);
    reply.reply = loadU32LE(&payload[12]);
    reply.block = std::span<const std::uint8_t>(payload).subspan(kResultHeaderBytes);
    if (!reply.delivered && !reply.block.empty()) {
        reason = "a block with an undelivered exchange";
        return false;
    }
    return true;
}

std::size_t requestBlockBytes(std::span<const std::uint8_t> bytes, std::string& reason)
{
    const std::size_t limit = std::min(bytes.size(), blockformat::kBlockLimitBytes);
    std::size_t position = 0;
    while (limit - position >= blockformat::kEndMarkerBytes) {
        const std::uint32_t id = loadU32LE(&bytes[position]);
        if (id == blockformat::kEndId)
            return position + blockformat::kEndMarkerBytes;
        if (id != blockformat::kReadId && id != blockformat::kWriteId) {
            reason = "record id " + std::to_string(id) + " at byte " + std::to_string(position);
            return 0;
        }
        const std::size_t headerBytes =
            id == blockformat::kReadId ? blockformat::kReadHeaderBytes : blockformat::kWriteHeaderBytes;
        if (limit - position < headerBytes || limit - position - headerBytes < loadU32LE(&bytes[position + 8])) {
            reason = "record at byte " + std::to_string(position) + " runs past the block";
            return 0;
        }
        position += headerBytes + loadU32LE(&bytes[position + 8]);
    }
    reason = "request block without its end marker";
    return 0;
}

bool writesOnlyTheVersionWord(std::span<const std::uint8_t> block, std::string& refused)
{
    std::size_t position = 0;
    for (std::uint32_t id; (id = loadU32LE(&block[position])) != blockformat::kEndId;) {
        const std::uint32_t offset = loadU32LE(&block[position + 4]);
        const std::uint32_t sizeBytes = loadU32LE(&block[position + 8]);
        if (id == blockformat::kWriteId &&
            (offset != static_cast<std::uint32_t>(SimOffset::kLibraryVersion) || sizeBytes != 2)) {
            std::ostringstream text;
            text << sizeBytes << " bytes at 0x" << std::uppercase << std::hex << offset;
            refused = text.str();
            return false;
        }
        position += (id == blockformat::kReadId ? blockformat::kReadHeaderBytes : blockformat::kWriteHeaderBytes) +
                    sizeBytes;
    }
    return true;
}

} // namespace relayframe
