// X-Plane's UDP packets as any sender could make them: the input is one
// datagram, read as a subscription (the stand-in's side) and as a reply
// whose values are taken into the source's table and turned into a flight.
#include "rrefprotocol.h"
#include "simulatorstate.h"
#include "simvariables.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rref::decodeRequest(data, size);
    const auto pairs = rref::decodeReply(data, size);
    if (!pairs)
        return 0;
    rref::Values values;
    values.take(*pairs);
    SimVariables vars;
    writeSimulatorState(values.state(), vars);
    return 0;
}
