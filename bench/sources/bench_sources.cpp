// One tracker Refresh (slew, brake, slew, ground: four exchanges, no phase
// change) through each simulator source beside the same Refresh through the
// local module in another process: a source must not be slower. Refreshes are
// spaced as the window's polls are, so that each one is a poll of its own and
// FlightGear's includes the round trip for its fresh batch. FlightGear's
// property server is the test stub and X-Plane the stand-in's UDP server,
// each on a thread of this program and a loopback port of its own.
#include "clsacars.h"
#include "flightplayer.h"
#include "scenario.h"
#include "moduleserver.h"
#include "posixtransport.h"
#include "propsserverstub.h"
#include "simvariables.h"
#include "sourceplatform.h"
#include "sourceselector.h"
#include "xplaneserver.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Longer than the pause after which a source takes an exchange as a new poll.
constexpr auto kPollPause = std::chrono::milliseconds(SourcePlatform::kPollPauseMs + 50);
constexpr int kPolls = 40;

// Parked at the gate: the brake set, on the ground, nothing to record.
void parkAtTheGate(SimVariables& vars)
{
    vars.setU32(0x3304, 0x19980005);
    vars.setU32(0x3308, 0xFADE0006);
    vars.setU16(0x0BC8, 32767);
    vars.setU16(0x0366, 1);
    vars.setU8(0x023B, 14);
}

void refreshLoop(benchmark::State& state, SourceSelector& selector)
{
    clsACARS tracker(selector);
    std::string result;
    if (!tracker.Start(result)) {
        state.SkipWithError(result.c_str());
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(kPollPause);
        state.ResumeTiming();
        tracker.Refresh();
    }
    if (!tracker.isLinkOpen() || !tracker.TIME_OUT().empty())
        state.SkipWithError("the link was lost or a phase recorded");
}

void BM_RefreshLocalModule(benchmark::State& state)
{
    std::string error;
    if (!PosixTransport::prepareSocketDirectory(error))
        throw std::runtime_error(error);
    const pid_t pid = ::fork();
    if (pid == 0) {
        SimVariables vars;
        parkAtTheGate(vars);
        auto server = makeModuleServer(vars, "UIPCMAIN");
        if (!server->start(error))
            ::_exit(1);
        while (server->serveFor(1s)) {
        }
        ::_exit(0);
    }
    std::this_thread::sleep_for(300ms);
    SourceSelector selector;
    selector.setSource(SourceChoice::of(SourceChoice::Kind::Fsuipc));
    refreshLoop(state, selector);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}
BENCHMARK(BM_RefreshLocalModule)->Unit(benchmark::kMicrosecond)->Iterations(kPolls);

void BM_RefreshFlightGear(benchmark::State& state)
{
    PropsServerStub fg;
    for (const char* path : {"/sim/time/utc/hour", "/sim/time/utc/minute", "/sim/time/utc/second"})
        fg.set(path, "14");
    fg.set("/gear/gear[0]/wow", "true");
    fg.set("/controls/gear/brake-parking", "1");
    SourceSelector selector;
    selector.setSource(SourceChoice{SourceChoice::Kind::FlightGear, "127.0.0.1", fg.port()});
    refreshLoop(state, selector);
}
BENCHMARK(BM_RefreshFlightGear)->Unit(benchmark::kMicrosecond)->Iterations(kPolls);

void BM_RefreshXPlane(benchmark::State& state)
{
    SimVariables vars;
    FlightPlayer player(demoScenario(), vars, FlightPlayer::Versions{});
    player.advanceTo(0); // at the gate, brake set
    XPlaneServer server(vars, player, 0);
    std::string error;
    if (!server.start(error))
        throw std::runtime_error(error);
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop)
            server.serveFor(20ms);
    });
    SourceSelector selector;
    selector.setSource(SourceChoice{SourceChoice::Kind::XPlane, "127.0.0.1", static_cast<std::uint16_t>(
                                      std::stoi(server.endpoint().substr(server.endpoint().rfind(':') + 1)))});
    refreshLoop(state, selector);
    stop = true;
    serving.join();
}
BENCHMARK(BM_RefreshXPlane)->Unit(benchmark::kMicrosecond)->Iterations(kPolls);

} // namespace

BENCHMARK_MAIN();
