// FlightGear's property server as any peer could answer: the input is cut
// into reads at bytes below 4 (each such byte ends a read), fed to the line
// reader, and every batch-long run of lines is turned into a flight.
#include "propsprotocol.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    props::LineReader reader;
    std::vector<std::string> values;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] >= 4)
            continue;
        if (!reader.feed(data + start, i - start))
            return 0;
        start = i + 1;
        for (std::string line; reader.nextLine(line);) {
            values.push_back(line);
            if (values.size() == props::batchPaths().size()) {
                SimulatorState state;
                props::stateFromValues(values, state);
                values.clear();
            }
        }
    }
    return 0;
}
