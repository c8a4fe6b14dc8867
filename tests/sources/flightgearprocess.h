#pragma once

#include "netsocket.h"
#include "posixsimprocess.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A real FlightGear (Debian's /usr/games/fgfs) for one test program: its own
// X server (Xvfb), its own empty FG_HOME, the null flight model, the UFO at
// KSFO, its property server on a free loopback port and its frame rate
// throttled. Both processes are killed and the home removed when the object
// ends, whatever the outcome.
class FlightGearProcess {
public:
    static constexpr const char* kExecutable = "/usr/games/fgfs";
    static bool installed();

    FlightGearProcess();
    ~FlightGearProcess();
    FlightGearProcess(const FlightGearProcess&) = delete;
    FlightGearProcess& operator=(const FlightGearProcess&) = delete;

    // Waits until the simulation runs and its property server answers; false at the time-out.
    bool waitReady(std::chrono::seconds timeout);
    std::uint16_t port() const { return m_port; }

    // Property server commands in data mode, on a connection of the test's own.
    // Every "get" line of commands is answered, in order.
    std::vector<std::string> send(const std::vector<std::string>& commands);
    // Seconds since midnight of FlightGear's UTC clock.
    int utcSecondOfDay();
    // Moves FlightGear's clock (its time offset) to the given UTC second of the
    // day; false when the clock did not follow.
    bool setUtcSecondOfDay(int second);

private:
    bool connect();

    std::string m_home;
    std::unique_ptr<ChildProcess> m_xvfb;
    std::unique_ptr<ChildProcess> m_fgfs;
    std::uint16_t m_port = 0;
    net::Socket m_client;
    std::string m_received;
};
