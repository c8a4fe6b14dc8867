// What one polling step of the tracker costs, in time and in exchanges with
// quillon-sim over the real transport. Targets: a Refresh without a phase
// change at most 4.5 exchanges, a fuel reading at most 24.
//
// The machine is shared, so each iteration also times as many single-read
// exchanges on a second link as the step should cost, right beside it; the
// "exchanges" counters divide by their mean. The fuel reading is the Refresh that records OUT
// less a Refresh without change and less one exchange (the time read).
#include "clsacars.h"
#include "clsfsuipc.h"
#include "posixsimprocess.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>

namespace {

using Clock = std::chrono::steady_clock;

// Taxiing with the brake off, held for good: after OUT nothing changes.
constexpr const char* kTaxiScenario = "fuel-weight 6.7\n"
                                      "tank center 2000\ntank left-main 1500\ntank right-main 1500\n"
                                      "at 0 taxi brake=off ground=yes fuel=60,100,100\n";
constexpr std::int32_t kParkingBrakeOffset = 0x0BC8;

template <typename Step>
double secondsOf(Step step)
{
    const auto start = Clock::now();
    step();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One read of 2 bytes, one message: the link's own unit of cost.
class SingleExchange {
public:
    bool open(benchmark::State& state)
    {
        std::int32_t dwResult = 0;
        if (m_link.FSUIPC_Open(0, dwResult))
            return true;
        state.SkipWithError(m_link.Get_Result(dwResult).c_str());
        return false;
    }
    void operator()(int count)
    {
        for (int i = 0; i < count; ++i)
            once();
    }

private:
    void once()
    {
        std::uint16_t brake = 0;
        std::int32_t dwResult = 0;
        if (m_link.FSUIPC_Read(kParkingBrakeOffset, 2, &brake, dwResult))
            m_link.FSUIPC_Process(dwResult);
        benchmark::DoNotOptimize(brake);
    }

    clsFSUIPC m_link;
};

bool startTracker(clsACARS& tracker, benchmark::State& state)
{
    std::string result;
    if (tracker.Start(result))
        return true;
    state.SkipWithError(result.c_str());
    return false;
}

void BM_SingleExchange(benchmark::State& state)
{
    SingleExchange exchange;
    if (!exchange.open(state))
        return;
    for (auto _ : state)
        exchange(1);
}
BENCHMARK(BM_SingleExchange)->UseRealTime();

void BM_RefreshWithoutPhaseChange(benchmark::State& state)
{
    SingleExchange exchange;
    clsACARS tracker;
    if (!exchange.open(state) || !startTracker(tracker, state))
        return;
    tracker.Refresh(); // OUT; from now on every Refresh only polls
    constexpr int kPolls = 4;
    double refreshSeconds = 0.0;
    double exchangeSeconds = 0.0;
    for (auto _ : state) {
        const double refresh = secondsOf([&] { tracker.Refresh(); });
        exchangeSeconds += secondsOf([&] { exchange(kPolls); }) / kPolls;
        refreshSeconds += refresh;
        state.SetIterationTime(refresh);
    }
    state.counters["exchanges"] = refreshSeconds / exchangeSeconds;
}
BENCHMARK(BM_RefreshWithoutPhaseChange)->UseManualTime();

// A Refresh that records OUT: the four polls, the time and the fuel reading.
void BM_RefreshRecordingOut(benchmark::State& state)
{
    SingleExchange exchange;
    clsACARS tracker;
    if (!exchange.open(state) || !startTracker(tracker, state))
        return;
    constexpr int kExchangesOfOut = 4 + 1 + 23 + 4; // both Refresh calls below
    double outSeconds = 0.0;
    double pollSeconds = 0.0;
    double exchangeSeconds = 0.0;
    for (auto _ : state) {
        tracker.Reset();
        const double out = secondsOf([&] { tracker.Refresh(); });
        pollSeconds += secondsOf([&] { tracker.Refresh(); });
        exchangeSeconds += secondsOf([&] { exchange(kExchangesOfOut); }) / kExchangesOfOut;
        outSeconds += out;
        state.SetIterationTime(out);
    }
    state.counters["exchanges"] = outSeconds / exchangeSeconds;
    state.counters["fuel_exchanges"] = (outSeconds - pollSeconds - exchangeSeconds) / exchangeSeconds;
}
BENCHMARK(BM_RefreshRecordingOut)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // The program's own scratch runtime directory: no other module is met there.
    const std::string scenario = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/taxi.txt";
    std::ofstream(scenario) << kTaxiScenario;
    SimProcess sim({"--scenario", scenario});
    if (!sim.ok()) {
        std::fprintf(stderr, "quillon-sim did not start\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
