// The relay's frame reader and payload decoders on both sides, fed any bytes
// in pieces whose sizes the input chooses; the sources are compiled in so
// that they are instrumented.
#include "framereader.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

void decodeFrame(const relayframe::Frame& frame)
{
    std::string reason;
    relayframe::FindWindowRequest find;
    relayframe::WindowReply window;
    relayframe::ExchangeRequest exchange;
    relayframe::ExchangeReply result;
    relayframe::decodeFindWindow(frame, find, reason);
    relayframe::decodeWindowFound(frame, window, reason);
    if (relayframe::decodeExchange(frame, exchange, reason)) {
        if (relayframe::requestBlockBytes(exchange.block, reason) != exchange.block.size())
            __builtin_trap(); // a decoded exchange is exactly one well-formed block
        relayframe::writesOnlyTheVersionWord(exchange.block, reason); // the read-only filter walks it safely
    }
    relayframe::decodeExchangeResult(frame, result, reason);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte sets the piece size, as a socket would cut the stream.
    const std::size_t piece = data[0] % 64 + 1;
    // The relay's side before the key (greeted by its first frame, as the relay does) and after it; the client's.
    for (const auto [side, keyShown] : {std::pair{relayframe::Reader::Relay, false},
                                        std::pair{relayframe::Reader::Relay, true},
                                        std::pair{relayframe::Reader::Client, true}}) {
        FrameReader reader(side);
        if (keyShown)
            reader.greeted();
        for (std::size_t at = 1; at < size && reader.state() != FrameReader::State::Failed;) {
            const std::size_t length = std::min(piece, size - at);
            at += reader.consume({data + at, length});
            if (reader.state() == FrameReader::State::Complete) {
                const relayframe::Frame frame = reader.next();
                reader.greeted();
                if (frame.payload.size() > relayframe::maxPayloadBytes(frame.kind))
                    __builtin_trap();
                decodeFrame(frame);
            }
        }
    }
    return 0;
}
