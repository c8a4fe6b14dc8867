#pragma once

#include "ipcplatform.h"

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Lines to print after FlightOUT (false) or FlightIN (true): what the simulator
// tells of the aircraft and the airports.
using FlightDetailLines = std::function<std::vector<std::string>(bool arrived)>;

// quillon-probe --track: follows a flight with the tracker, polling every
// interval, and prints each event as it is raised ("FlightOUT: 1402"), and
// after each successful Start the simulator that answered ("Simulator: ...").
// A lost link is opened again on the following ticks. Returns 0 once IN has
// been recorded, 1 when the first Start fails, 130 after SIGINT.
int runTrackCommand(std::ostream& out, IpcPlatform& platform = systemIpcPlatform(),
                    std::chrono::milliseconds interval = std::chrono::milliseconds(500),
                    FlightDetailLines details = {});
