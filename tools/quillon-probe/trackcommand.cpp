#include "trackcommand.h"

#include "clsacars.h"

#include <algorithm>
#include <csignal>
#include <string>
#include <thread>
#include <utility>

namespace {

constexpr int kExitArrived = 0;
constexpr int kExitLinkFailed = 1;
constexpr int kExitInterrupted = 130;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}

// One line per event, flushed at once so a watcher sees it as it happens.
class PrintingEvents : public clsACARSEvents {
public:
    PrintingEvents(std::ostream& out, FlightDetailLines details) : m_out(out), m_details(std::move(details)) {}

    void FlightOUT(const std::string& s) override
    {
        print("FlightOUT", s);
        if (!s.empty())
            printDetails(false);
    }
    void FlightOFF(const std::string& s) override { print("FlightOFF", s); }
    void FlightON(const std::string& s) override { print("FlightON", s); }
    void FlightIN(const std::string& s) override
    {
        print("FlightIN", s);
        if (!s.empty())
            printDetails(true);
    }
    void FlightTime(const std::string& s) override { print("FlightTime", s); }
    void FlightTimeHHMM(const std::string& s) override { print("FlightTimeHHMM", s); }
    void FuelOut(const std::string& s) override { print("FuelOut", s); }
    void FuelIn(const std::string& s) override { print("FuelIn", s); }
    void FuelUsed(const std::string& s) override { print("FuelUsed", s); }
    void FSClosed(const std::string& s) override { print("FSClosed", s); }
    void Error(const std::string& s) override { print("Error", s); }

    void print(const char* name, const std::string& text) { m_out << name << ": " << text << std::endl; }

private:
    void printDetails(bool arrived)
    {
        if (m_details)
            for (const std::string& line : m_details(arrived))
                m_out << line << std::endl;
    }

    std::ostream& m_out;
    FlightDetailLines m_details;
};

// Sleeps until the deadline in short steps, so that SIGINT ends the wait soon.
void sleepUntil(std::chrono::steady_clock::time_point deadline)
{
    constexpr auto kStep = std::chrono::milliseconds(50);
    while (!g_interrupted && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            kStep, deadline - std::chrono::steady_clock::now()));
}

} // namespace

int runTrackCommand(std::ostream& out, IpcPlatform& platform, std::chrono::milliseconds interval,
                    FlightDetailLines details)
{
    g_interrupted = 0;
    const auto previousHandler = std::signal(SIGINT, onInterrupt);
    clsACARS tracker(platform);
    PrintingEvents events(out, std::move(details));
    tracker.setEvents(&events);

    std::string result;
    const bool started = tracker.Start(result);
    events.print("Result", result);
    if (started)
        events.print("Simulator", tracker.Simulator_Description());
    int exitCode = started ? kExitInterrupted : kExitLinkFailed;
    auto tick = std::chrono::steady_clock::now();
    while (started && !g_interrupted) {
        if (!tracker.isLinkOpen()) {
            if (tracker.Start(result)) { // quietly until the simulator is back
                events.print("Result", result);
                events.print("Simulator", tracker.Simulator_Description());
            }
        } else {
            tracker.Refresh();
            if (!tracker.TIME_IN().empty()) {
                exitCode = kExitArrived;
                break;
            }
        }
        // Like a timer: a late tick is followed by one at once, not by a burst.
        tick = std::max(tick + interval, std::chrono::steady_clock::now());
        sleepUntil(tick);
    }
    std::signal(SIGINT, previousHandler);
    return exitCode;
}
