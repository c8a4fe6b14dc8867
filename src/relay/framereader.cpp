#include "framereader.h"

#include "blockformat.h"

#include <algorithm>
#include <utility>

std::size_t FrameReader::consume(std::span<const std::uint8_t> bytes)
{
    std::size_t taken = 0;
    while (taken < bytes.size() && (m_state == State::Header || m_state == State::Payload)) {
        if (m_state == State::Header) {
            const std::size_t count = std::min(relayframe::kHeaderBytes - m_filled, bytes.size() - taken);
            std::copy_n(bytes.data() + taken, count, m_header + m_filled);
            m_filled += count;
            taken += count;
            if (m_filled == relayframe::kHeaderBytes)
                checkHeader();
        } else {
            const std::size_t count = std::min(m_frame.payload.size() - m_filled, bytes.size() - taken);
            std::copy_n(bytes.data() + taken, count, m_frame.payload.data() + m_filled);
            m_filled += count;
            taken += count;
            if (m_filled == m_frame.payload.size())
                m_state = State::Complete;
        }
    }
    return taken;
}

relayframe::Frame FrameReader::next()
{
    relayframe::Frame frame = std::exchange(m_frame, {});
    if (m_state == State::Complete) {
        m_state = State::Header;
        m_filled = 0;
    }
    return frame;
}

void FrameReader::checkHeader()
{
    const std::uint32_t magic = blockformat::loadU32LE(m_header);
    const unsigned version = blockformat::loadU16LE(m_header + 4);
    const std::uint16_t kind = blockformat::loadU16LE(m_header + 6);
    const std::size_t length = blockformat::loadU32LE(m_header + 8);
    if (magic != relayframe::kMagic)
        return fail("not a relay frame (wrong magic number)");
    if (version != relayframe::kVersion)
        return fail("frame version " + std::to_string(version) + ", expected " +
                    std::to_string(relayframe::kVersion));
    if (!relayframe::isKindFor(m_side, kind))
        return fail("unexpected frame kind " + std::to_string(kind));
    if (m_side == relayframe::Reader::Relay && !m_greeted &&
        (kind != static_cast<std::uint16_t>(relayframe::Kind::Hello) || length != relayframe::kKeyBytes))
        return fail("the first frame was not a greeting with the key");
    m_frame.kind = static_cast<relayframe::Kind>(kind);
    if (length > relayframe::maxPayloadBytes(m_frame.kind))
        return fail("frame of kind " + std::to_string(kind) + " claims " + std::to_string(length) +
                    " bytes, more than its limit of " + std::to_string(relayframe::maxPayloadBytes(m_frame.kind)));
    m_frame.payload.assign(length, 0);
    m_filled = 0;
    m_state = length == 0 ? State::Complete : State::Payload;
}

void FrameReader::fail(std::string reason)
{
    m_state = State::Failed;
    m_error = std::move(reason);
}
