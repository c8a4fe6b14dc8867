// The tracker through the source selector: FlightGear's property server (a
// stub here), prompt or slower than a poll, gone, silent or cancelled; the
// FSUIPC module behind the same selector; and the order Automatic tries.
#include "clsacars.h"
#include "fakeipcplatform.h"
#include "netsocket.h"
#include "propsprotocol.h"
#include "propsserverstub.h"
#include "recordingevents.h"
#include "relayinthread.h"
#include "rrefprotocol.h"
#include "simoffsets.h"
#include "simvariables.h"
#include "sourceselector.h"
#include "xplaneplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct FlightGearSource : testing::Test {
    PropsServerStub fg;
    SimVariables moduleVars;
    FakeIpcPlatform module; // no module on this computer
    SourceSelector selector{module};
    std::vector<std::string> announced;
    RecordingEvents events;
    clsACARS tracker{selector}; // ended first: its link is released while the rest still stands
    const std::string name = "FlightGear at 127.0.0.1:" + std::to_string(fg.port());
    Clock::time_point pollBegan;

    FlightGearSource()
    {
        module.setWindowClasses({});
        selector.setSource(SourceChoice{SourceChoice::Kind::FlightGear, "127.0.0.1", fg.port(), {}});
        selector.setConnectionHook([this](const std::string& text) { announced.push_back(text); });
        tracker.setEvents(&events);
        fg.set("/sim/version/flightgear", "2020.3.16");
        fg.set("/sim/airport/closest-airport-id", "KSFO");
        setClock(23, 59, 30);
        fg.set("/gear/gear[1]/wow", "true");
        fg.set("/controls/gear/brake-parking", "1");
        fg.set("/consumables/fuel/tank[0]/level-lbs", "250.4");
        fg.set("/consumables/fuel/tank[1]/level-lbs", "250.3");
    }

    void setClock(int hour, int minute, int second)
    {
        fg.set("/sim/time/utc/hour", std::to_string(hour));
        fg.set("/sim/time/utc/minute", std::to_string(minute));
        fg.set("/sim/time/utc/second", std::to_string(second));
    }

    // The window's next poll, 500 ms after the last began; FlightGear changes
    // after it answered the last poll, at least 200 ms before. How long the poll took.
    Clock::duration poll(const std::function<void()>& change = {})
    {
        if (change)
            change();
        std::this_thread::sleep_until(std::max(pollBegan + 500ms, Clock::now() + 200ms));
        pollBegan = Clock::now();
        tracker.Refresh();
        return Clock::now() - pollBegan;
    }

    std::string start()
    {
        std::string result;
        pollBegan = Clock::now();
        tracker.Start(result);
        return result;
    }
};

// FlightGear's delay in answering a batch.
struct FlightGearFlight : FlightGearSource, testing::WithParamInterface<std::chrono::milliseconds> {};

// One poll per step: a value FlightGear changed before the poll is seen by it,
// from the one batch that poll asked for.
TEST_P(FlightGearFlight, EachPollSeesWhatFlightGearReadAfterItBegan)
{
    fg.setDelay(GetParam());
    ASSERT_EQ(start(), "Okay");
    const std::size_t getsBefore = fg.gets();
    EXPECT_EQ(tracker.Simulator_Description(), "FlightGear 2020.3.16 at 127.0.0.1:" + std::to_string(fg.port()));
    EXPECT_EQ(announced, std::vector<std::string>{tracker.Simulator_Description()});
    EXPECT_EQ(selector.flightDetails().closestAirportId, "KSFO");

    poll([&] { fg.set("/controls/gear/brake-parking", "0"); });
    poll([&] {
        fg.set("/gear/gear[1]/wow", "false");
        setClock(23, 59, 59);
    });
    poll([&] {
        setClock(0, 0, 1);
        fg.set("/gear/gear[1]/wow", "true");
        fg.set("/consumables/fuel/tank[1]/level-lbs", "0");
    });
    poll([&] {
        setClock(0, 3, 0);
        fg.set("/controls/gear/brake-parking", "true");
    });
    EXPECT_EQ(fg.gets() - getsBefore, 4 * props::batchPaths().size()) << "one batch per poll";
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"FlightOUT 2359", "FuelOut 501", "FlightOFF 2359", "FlightON 0000",
                                        "FlightIN 0003", "FlightTime 0.1", "FlightTimeHHMM 0:04", "FuelIn 250",
                                        "FuelUsed 251"}));
}

INSTANTIATE_TEST_SUITE_P(AnswerDelay, FlightGearFlight, testing::Values(50ms, 800ms),
                         [](const auto& info) { return info.param == 50ms ? "AFrameLater" : "SlowerThanAPoll"; });

TEST_F(FlightGearSource, ALostFlightGearFailsOnceWithItsReasonAndOnContinuesFromTheModule)
{
    ASSERT_EQ(start(), "Okay");
    poll([&] { fg.set("/controls/gear/brake-parking", "0"); });
    ASSERT_EQ(tracker.TIME_OUT(), "2359");
    const std::string startAgain =
        "\r\nIf FlightGear has ended or hangs, start it again with --telnet=" + std::to_string(fg.port()) + ", then click On.";
    const struct {
        const char* what;
        std::function<void(PropsServerStub&)> lose;
        bool cancelled; // while the poll waits
        std::chrono::milliseconds atLeast, within;
        const char* failure; // between the simulator's name and what to do; nullptr: not checked
    } rows[] = {
        {"closed", [](PropsServerStub& fg) { fg.dropConnections(); }, false, 0ms, 500ms, " closed the connection."},
        {"a line too long", [](PropsServerStub& fg) { fg.set("/sim/aircraft", std::string(2000, 'x')); }, false, 0ms, 500ms,
         " closed the connection (it sent a line longer than 1024 bytes)."},
        {"silent: waited for 2 s, not 11 times", [](PropsServerStub& fg) { fg.setSilent(true); }, false, 1500ms,
         2500ms, " stopped answering (nothing for 2 seconds)."},
        {"cancelled while silent", [](PropsServerStub& fg) { fg.setSilent(true); }, true, 0ms, 400ms, nullptr},
        {"answering without a clock: silent too", [](PropsServerStub& fg) { fg.set("/sim/time/utc/hour", ""); }, false,
         1500ms, 2500ms, " stopped answering (nothing for 2 seconds)."},
    };
    for (const auto& row : rows) {
        fg.setSilent(false);
        fg.set("/sim/aircraft", "ufo");
        selector.clearCancel();
        if (!tracker.isLinkOpen()) { // the first row finds it open since the flight began
            ASSERT_EQ(start(), "Okay") << row.what;
        }
        std::thread canceller;
        if (row.cancelled)
            canceller = std::thread([&] {
                std::this_thread::sleep_for(650ms);
                selector.cancel();
            });
        const auto took = poll([&] { row.lose(fg); });
        if (canceller.joinable())
            canceller.join();
        EXPECT_GE(took, row.atLeast) << row.what;
        EXPECT_LT(took, row.within) << row.what;
        EXPECT_FALSE(tracker.isLinkOpen()) << row.what;
        EXPECT_EQ(announced.back(), "") << row.what << ": the status bar forgets the simulator";
        if (row.failure != nullptr) {
            EXPECT_EQ(events.events.back(), "FSClosed " + name + row.failure + startAgain) << row.what;
        }
    }

    // "On" again, through another source: the module, its aircraft airborne at 00:01.
    selector.clearCancel();
    fillModuleVersions(moduleVars);
    moduleVars.setU8(SimOffset::kZuluTime + 1, 1);
    module.setWindowClasses({"UIPCMAIN"});
    module.attachModule(&moduleVars);
    selector.setSource(SourceChoice::of(SourceChoice::Kind::Fsuipc));
    ASSERT_EQ(start(), "Okay");
    poll();
    EXPECT_EQ(events.events.back(), "FlightOFF 0001");
    EXPECT_EQ(tracker.TIME_OUT(), "2359") << "recorded phases survive the change of source";
}

TEST_F(FlightGearSource, RefusesTheLinkWithTextsThatNameFlightGear)
{
    fg.setSilent(true);
    EXPECT_EQ(start().find("Unable to connect to " + name + "."), 0u) << "an answer that never comes";
    fg.setSilent(false);
    fg.set("/sim/time/utc/hour", "");
    EXPECT_NE(start().find("--telnet=" + std::to_string(fg.port())), std::string::npos) << "no clock: not FlightGear";
}

// A host may name an address where nothing listens first ("localhost": ::1).
TEST(NetSocketTest, ConnectsToTheFirstAddressThatAccepts)
{
    PropsServerStub fg; // on 127.0.0.1 only
    std::vector<net::Address> addresses(2);
    std::string error;
    ASSERT_TRUE(net::resolve("::1", fg.port(), addresses[0], error));
    ASSERT_TRUE(net::resolve("127.0.0.1", fg.port(), addresses[1], error));
    net::Socket socket;
    int connected = socket.startConnect(addresses, error) ? 0 : -1;
    for (const auto until = Clock::now() + 1s; connected == 0 && Clock::now() < until;)
        connected = socket.awaitConnected(50, error);
    EXPECT_EQ(connected, 1) << error;
}

// Cancelling the selector ends a wait inside the module's exchange.
TEST(SourceSelectorTest, CancellingEndsAWaitInsideTheModulesExchange)
{
    SimVariables vars;
    fillModuleVersions(vars);
    FakeIpcPlatform module;
    module.attachModule(&vars);
    SourceSelector selector(module);
    selector.setSource(SourceChoice::of(SourceChoice::Kind::Fsuipc));
    clsACARS tracker(selector);
    std::string result;
    ASSERT_TRUE(tracker.Start(result));
    module.setMessageHandler([&](const FakeIpcPlatform::Message&) {
        for (const auto until = Clock::now() + 3s; !module.isCancelled() && Clock::now() < until;)
            std::this_thread::sleep_for(5ms);
        return FakeIpcPlatform::notDelivered(0);
    });
    std::thread canceller([&] {
        std::this_thread::sleep_for(200ms);
        selector.cancel();
    });
    const auto waiting = Clock::now();
    tracker.Refresh();
    canceller.join();
    EXPECT_LT(Clock::now() - waiting, 300ms);
}

#ifdef _WIN32
constexpr bool kOtherLoopbackSends = false; // Wine sends from 127.0.0.1 whatever address a socket is bound to
#else
constexpr bool kOtherLoopbackSends = true;
#endif

const auto kXPlaneReply = rref::encodeReply({{0, 3600}, {1, 1}, {2, 1}, {3, 100}, {4, 0}, {5, 'R'}});

// A fake X-Plane on a loopback port of its own: records the frequencies of
// the requests it receives and answers each with reply, from the socket set
// (its own port, another port of its address, another address) or not at all.
struct FakeXPlane {
    net::Socket socket, otherPort, foreign;
    std::mutex mutex; // guards the rest
    net::Socket* answerFrom = &socket;
    std::vector<unsigned char> reply = kXPlaneReply;
    std::vector<std::int32_t> frequencies;
    std::atomic<bool> stop{false};
    std::thread thread;

    FakeXPlane()
    {
        std::string error;
        net::Address local, other;
        EXPECT_TRUE(net::resolve("127.0.0.1", 0, local, error) && socket.bindDatagram(local, error) &&
                    otherPort.bindDatagram(local, error));
        EXPECT_TRUE(net::resolve("127.0.0.2", 0, other, error) && foreign.bindDatagram(other, error));
        thread = std::thread([this] {
            unsigned char packet[512];
            for (net::Address from; !stop;) {
                const long length = socket.receiveFrom(packet, sizeof packet, 20, from);
                const auto request = length > 0 ? rref::decodeRequest(packet, std::size_t(length)) : std::nullopt;
                const std::lock_guard lock(mutex);
                if (!request)
                    continue;
                frequencies.push_back(request->frequency);
                if (answerFrom != nullptr)
                    answerFrom->sendTo(from, reply.data(), reply.size());
            }
        });
    }
    ~FakeXPlane()
    {
        stop = true;
        thread.join();
    }
    SourceChoice choice() const { return {SourceChoice::Kind::XPlane, "127.0.0.1", socket.localPort(), {}}; }
    void answer(net::Socket* from, std::size_t cutBytes = 0)
    {
        const std::lock_guard lock(mutex);
        answerFrom = from;
        reply = kXPlaneReply;
        reply.resize(reply.size() - cutBytes);
    }
    // The requests of this frequency that came (within 200 ms) since the last call.
    std::size_t taken(std::int32_t frequency)
    {
        std::this_thread::sleep_for(200ms);
        const std::lock_guard lock(mutex);
        const auto count = static_cast<std::size_t>(std::count(frequencies.begin(), frequencies.end(), frequency));
        frequencies.clear();
        return count;
    }
};

TEST(XPlaneSourceTest, AcceptsItsSimulatorsAddressFromAnyPortAndNothingElse)
{
    const struct {
        const char* what;
        net::Socket FakeXPlane::*from;
        std::size_t cutBytes;
        bool opens;
    } rows[] = {
        {"from the simulator's port", &FakeXPlane::socket, 0, true},
        {"from another port of its address", &FakeXPlane::otherPort, 0, true},
        {"from another address", &FakeXPlane::foreign, 0, false},
        {"cut mid-pair", &FakeXPlane::socket, 1, false},
    };
    FakeXPlane sim;
    for (const auto& row : rows) {
        if (row.from == &FakeXPlane::foreign && !kOtherLoopbackSends)
            continue;
        sim.answer(&(sim.*row.from), row.cutBytes);
        XPlanePlatform platform(sim.choice(), 800);
        const auto window = platform.findWindow("UIPCMAIN");
        EXPECT_EQ(window != 0, row.opens) << row.what;
        platform.releaseWindow(window);
    }
}

// On one platform: a 2 s silence asks again, the close cancels every subscription.
TEST(XPlaneSourceTest, AsksAgainAfterASilenceAndCancelsAtClose)
{
    FakeXPlane sim;
    XPlanePlatform platform(sim.choice(), 2000);
    const std::size_t count = rref::datarefs().size();
    const auto window = platform.findWindow("UIPCMAIN");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(sim.taken(XPlanePlatform::kFrequencyPerSecond), count);
    sim.answer(nullptr);
    platform.sendMessageTimeout(window, 0, 0, 0, 100); // takes the answers to the other requests
    std::this_thread::sleep_for(2100ms);
    platform.sendMessageTimeout(window, 0, 0, 0, 100);
    EXPECT_EQ(sim.taken(XPlanePlatform::kFrequencyPerSecond), count) << "asked again after the loss";
    platform.releaseWindow(window);
    EXPECT_EQ(sim.taken(0), count) << "every subscription cancelled at close";
}

// Every source answers where its row says so; the module and the relay's
// module name themselves FS2002 and FS2000.
TEST(SourceSelectorTest, TakesTheChosenSourceOrInAutomaticTheFirstToAnswer)
{
    SimVariables vars;
    fillModuleVersions(vars);
    FakeIpcPlatform module;
    module.attachModule(&vars);
    RelayInThread relay; // its key in its default place
    fillModuleVersions(relay.vars, 0x19980005, 2);
    bool created = false;
    std::string error;
    ASSERT_TRUE(RelayKey::loadOrCreate(defaultRelayKeyPath(), relay.config.key, created, error)) << error;
    ASSERT_TRUE(relay.start());
    PropsServerStub fg;
    for (const auto& [path, value] : {std::pair{"/sim/time/utc/hour", "12"}, {"/sim/time/utc/minute", "0"},
                                      {"/sim/time/utc/second", "0"}})
        fg.set(path, value);
    FakeXPlane xplane;
    SourceSelector selector(module, {relay.endpoint.port, fg.port(), xplane.socket.localPort()});
    std::vector<std::string> announced;
    selector.setConnectionHook([&](const std::string& text) { announced.push_back(text); });
    clsACARS tracker(selector);
    using Kind = SourceChoice::Kind;
    const struct {
        Kind kind;
        bool module, relay, flightGear, xPlane;
        const char* chosen; // the start of the description or of the failure
    } rows[] = {
        {Kind::Automatic, true, true, true, true, "FS2002"},
        {Kind::Automatic, false, true, true, true, "FS2000"},
        {Kind::Automatic, false, false, true, true, "FlightGear"},
        {Kind::Automatic, false, false, false, true, "X-Plane"},
        {Kind::Automatic, false, false, false, false, "No simulator answered on this computer."},
        {Kind::Fsuipc, false, true, true, true, "Unable to connect to FSUIPC.  "},
        {Kind::Fsuipc, true, false, false, false, "FS2002"},
    };
    for (const auto& row : rows) {
        const auto windows = [](bool answers) {
            return answers ? std::vector<std::string>{"UIPCMAIN"} : std::vector<std::string>{};
        };
        module.setWindowClasses(windows(row.module));
        relay.module.setWindowClasses(windows(row.relay));
        fg.setSilent(!row.flightGear);
        xplane.answer(row.xPlane ? &xplane.socket : nullptr);
        selector.setSource(SourceChoice::of(row.kind));
        announced.clear();
        std::string result;
        const auto before = Clock::now();
        if (tracker.Start(result))
            result = tracker.Simulator_Description();
        tracker.Stop_();
        EXPECT_EQ(result.rfind(row.chosen, 0), 0u) << result;
        EXPECT_LT(Clock::now() - before, 1500ms) << "detection is quick";
        if (row.kind == Kind::Fsuipc && row.module) {
            EXPECT_EQ(announced, (std::vector<std::string>{"FS2002", ""})) << "once the handshake has named it";
        }
    }
}

} // namespace
