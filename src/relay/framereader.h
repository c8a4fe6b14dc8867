#pragma once

#include "relayframe.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Reassembles relay frames from bytes in whatever pieces the socket gives
// them. A byte state machine with no socket of its own: the header is checked
// (magic, version, a kind this side accepts, a length within that kind's
// limit) before any room is made for the payload. On the relay's side, until
// greeted() a header is taken only as a greeting of its exact size, so that a
// stranger makes the relay hold no more than that. After a complete frame it
// takes no more bytes until next(); after a bad one it stays failed.
class FrameReader {
public:
    enum class State { Header, Payload, Complete, Failed };

    explicit FrameReader(relayframe::Reader side) : m_side(side) {}

    // Takes bytes up to the end of one frame; returns how many it took.
    std::size_t consume(std::span<const std::uint8_t> bytes);

    State state() const { return m_state; }
    // True while part of a frame has been read (a peer that stops here stopped mid-frame).
    bool midFrame() const { return m_state == State::Payload || (m_state == State::Header && m_filled != 0); }
    const relayframe::Frame& frame() const { return m_frame; }
    const std::string& error() const { return m_error; }
    // Gives up the complete frame and waits for the next header.
    relayframe::Frame next();
    // The peer has shown the key: every kind for this side may follow.
    void greeted() { m_greeted = true; }

private:
    void checkHeader();
    void fail(std::string reason);

    relayframe::Reader m_side;
    bool m_greeted = false;
    State m_state = State::Header;
    std::uint8_t m_header[relayframe::kHeaderBytes] = {};
    std::size_t m_filled = 0; // bytes of the header, then of the payload
    relayframe::Frame m_frame;
    std::string m_error;
};
