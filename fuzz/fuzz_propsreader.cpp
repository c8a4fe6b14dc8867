// FlightGear's property server as any peer could answer: the input is a run
// of reads, each a length byte and that many bytes, fed to the line reader;
// every batch-long run of lines is turned into a flight and put into the table.
#include "propsprotocol.h"
#include "simvariables.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    props::LineReader reader;
    std::vector<std::string> values;
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        if (!reader.feed(data + at + 1, length))
            return 0;
        at += 1 + length;
        for (std::string line; reader.nextLine(line);) {
            values.push_back(line);
            if (values.size() < props::batchPaths().size())
                continue;
            SimulatorState state;
            if (props::stateFromValues(values, state)) {
                SimVariables vars;
                writeSimulatorState(state, vars);
            }
            values.clear();
        }
    }
    return 0;
}
