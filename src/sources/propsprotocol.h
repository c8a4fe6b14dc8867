#pragma once

#include "simulatorstate.h"

#include <cstddef>
#include <string>
#include <vector>

// FlightGear's property server ("fgfs --telnet=PORT") in its data mode: each
// "get PATH" line is answered by one line holding the value as text, empty
// for a property that does not exist; lines end in CR LF. Quillon asks for
// all its properties in one pipelined batch (docs/flightgear.md).
namespace props {

// The properties of one batch, in order.
const std::vector<std::string>& batchPaths();
// "data\r\n": the mode in which replies are bare values.
std::string dataModeCommand();
// One "get" line per property of the batch.
std::string batchRequest();

// The flight as FlightGear tells it, from the batch's values in order. Nothing
// when the clock is missing or not a time of day.
bool stateFromValues(const std::vector<std::string>& values, SimulatorState& state);
// FlightGear's version text ("2020.3.16") from the batch's values; empty when unknown.
std::string versionFromValues(const std::vector<std::string>& values);

// Splits the server's byte stream into lines. A line longer than kMaxLineBytes
// cannot be a value Quillon asked for: the stream is then malformed and stays so.
class LineReader {
public:
    static constexpr std::size_t kMaxLineBytes = 1024;

    // Takes bytes; false once the stream is malformed.
    bool feed(const unsigned char* bytes, std::size_t length);
    // The next complete line without its terminator; false when none is complete.
    bool nextLine(std::string& line);
    bool malformed() const { return m_malformed; }
    void clear();

private:
    std::string m_pending;
    std::vector<std::string> m_lines;
    std::size_t m_taken = 0;
    bool m_malformed = false;
};

} // namespace props
