// The tracker through the source selector: FlightGear's property server (a
// stub here), a gone or silent simulator, cancellation, and the FSUIPC
// module behind the same selector.
#include "clsacars.h"
#include "fakeipcplatform.h"
#include "netsocket.h"
#include "propsserverstub.h"
#include "recordingevents.h"
#include "rrefprotocol.h"
#include "simoffsets.h"
#include "simvariables.h"
#include "sourceselector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

    FlightGearSource()
    {
        module.setWindowClasses({});
        selector.setSource(SourceChoice{SourceChoice::Kind::FlightGear, "127.0.0.1", fg.port()});
        selector.setConnectionHook([this](const std::string& text) { announced.push_back(text); });
        tracker.setEvents(&events);
        fg.set("/sim/version/flightgear", "2020.3.16");
        fg.set("/sim/aircraft", "c172p");
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

    // Values may be one poll old: poll until the tracker has raised count events.
    void refreshUntil(std::size_t count)
    {
        for (int poll = 0; poll < 20 && events.events.size() < count; ++poll) {
            std::this_thread::sleep_for(20ms);
            tracker.Refresh();
        }
    }

    std::string start()
    {
        std::string result;
        tracker.Start(result);
        return result;
    }
};

TEST_F(FlightGearSource, TracksAFlightAcrossMidnightWithTheSimulatorsClockAndFuel)
{
    ASSERT_EQ(start(), "Okay");
    EXPECT_EQ(tracker.Simulator_Description(), "FlightGear 2020.3.16 at 127.0.0.1:" + std::to_string(fg.port()));
    EXPECT_EQ(announced, std::vector<std::string>{tracker.Simulator_Description()});
    EXPECT_EQ(selector.flightDetails().closestAirportId, "KSFO");

    fg.set("/controls/gear/brake-parking", "0");
    refreshUntil(2);
    fg.set("/gear/gear[1]/wow", "false");
    setClock(23, 59, 59);
    refreshUntil(3);
    setClock(0, 0, 1);
    fg.set("/gear/gear[1]/wow", "true");
    fg.set("/consumables/fuel/tank[1]/level-lbs", "0");
    refreshUntil(4);
    setClock(0, 3, 0);
    fg.set("/controls/gear/brake-parking", "true");
    refreshUntil(9);
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"FlightOUT 2359", "FuelOut 501", "FlightOFF 2359", "FlightON 0000",
                                        "FlightIN 0003", "FlightTime 0.1", "FlightTimeHHMM 0:04", "FuelIn 250",
                                        "FuelUsed 251"}));
}

TEST_F(FlightGearSource, AClosedConnectionFailsAtOnceAndOnContinuesTheFlight)
{
    ASSERT_EQ(start(), "Okay");
    fg.set("/controls/gear/brake-parking", "0");
    refreshUntil(2);
    fg.dropConnections();
    std::this_thread::sleep_for(50ms);
    const auto before = Clock::now();
    tracker.Refresh();
    EXPECT_LT(Clock::now() - before, 500ms) << "no retries against a closed connection";
    ASSERT_EQ(events.events.back(),
              "FSClosed FlightGear at 127.0.0.1:" + std::to_string(fg.port()) + " closed the connection.");
    EXPECT_EQ(announced.back(), "") << "the status bar forgets the simulator";

    // "On" again, through another source: the module, its aircraft airborne at 00:01.
    fillModuleVersions(moduleVars);
    moduleVars.setU8(SimOffset::kZuluTime + 1, 1);
    module.setWindowClasses({"UIPCMAIN"});
    module.attachModule(&moduleVars);
    selector.setSource(SourceChoice::of(SourceChoice::Kind::Fsuipc));
    ASSERT_EQ(start(), "Okay");
    refreshUntil(4);
    EXPECT_EQ(events.events.back(), "FlightOFF 0001");
    EXPECT_EQ(tracker.TIME_OUT(), "2359") << "recorded phases survive the change of source";
}

TEST_F(FlightGearSource, ASilentSimulatorTimesOutOnceInsteadOfElevenTimes)
{
    ASSERT_EQ(start(), "Okay");
    fg.setSilent(true);
    tracker.Refresh(); // the answer already sent is still taken
    std::this_thread::sleep_for(600ms); // past its freshness
    const auto before = Clock::now();
    tracker.Refresh();
    const auto took = Clock::now() - before;
    EXPECT_GT(took, 1000ms) << "waits for the answer until it is 2 s late";
    EXPECT_LT(took, 2500ms) << "then fails every retry at once";
    ASSERT_FALSE(events.events.empty());
    EXPECT_EQ(events.events.back(), "FSClosed FlightGear at 127.0.0.1:" + std::to_string(fg.port()) +
                                        " stopped answering (nothing for 2 seconds).");
}

TEST_F(FlightGearSource, CancellingEndsTheWaitWithin50ms)
{
    ASSERT_EQ(start(), "Okay");
    fg.setSilent(true);
    tracker.Refresh();
    std::this_thread::sleep_for(600ms);
    std::thread canceller([this] {
        std::this_thread::sleep_for(200ms);
        selector.cancel();
    });
    const auto before = Clock::now();
    tracker.Refresh();
    const auto took = Clock::now() - before;
    canceller.join();
    EXPECT_LT(took, 400ms);
    EXPECT_FALSE(tracker.isLinkOpen());
}

TEST_F(FlightGearSource, RefusesTheLinkWithTextsThatNameFlightGear)
{
    const std::string endpoint = "127.0.0.1:" + std::to_string(fg.port());
    fg.setSilent(true);
    EXPECT_EQ(start().find("Unable to connect to FlightGear at " + endpoint + "."), 0u) << "an answer that never comes";
    fg.setSilent(false);
    fg.set("/sim/time/utc/hour", "");
    EXPECT_NE(start().find("--telnet=" + std::to_string(fg.port())), std::string::npos) << "no clock: not FlightGear";

    setClock(12, 0, 0);
    ASSERT_EQ(start(), "Okay");
    fg.sendRaw(std::string(2000, 'x'));
    std::this_thread::sleep_for(100ms);
    tracker.Refresh();
    ASSERT_FALSE(events.events.empty());
    EXPECT_EQ(events.events.back(),
              "FSClosed FlightGear at " + endpoint + " closed the connection (it sent a line longer than 1024 bytes).");
}

TEST(SourceSelectorTest, TheModuleKeepsItsOwnTextsAndVersionName)
{
    SimVariables vars;
    fillModuleVersions(vars);
    FakeIpcPlatform module;
    module.attachModule(&vars);
    std::vector<std::string> announced;
    SourceSelector selector(module);
    selector.setConnectionHook([&](const std::string& text) { announced.push_back(text); });
    selector.setSource(SourceChoice::of(SourceChoice::Kind::Fsuipc));
    clsACARS tracker(selector);
    std::string result;
    ASSERT_TRUE(tracker.Start(result));
    EXPECT_EQ(tracker.Simulator_Description(), "FS2002");
    EXPECT_EQ(announced, std::vector<std::string>{"FS2002"}) << "once the handshake has named it";
    tracker.Stop_();

    module.setWindowClasses({});
    EXPECT_FALSE(tracker.Start(result));
    EXPECT_EQ(result.substr(0, 30), "Unable to connect to FSUIPC.  ");

    module.setWindowClasses({"UIPCMAIN"});
    EXPECT_TRUE(tracker.Start(result));

    // Cancelling the selector ends a wait inside the module's exchange.
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

// Answers every X-Plane subscription it receives while answering is set.
struct XPlaneResponder {
    net::Socket socket;
    std::atomic<bool> answering{true}, stop{false};
    std::thread thread;
    XPlaneResponder()
    {
        std::string error;
        net::Address local;
        EXPECT_TRUE(net::resolve("127.0.0.1", 0, local, error) && socket.bindDatagram(local, error));
        thread = std::thread([this] {
            const auto reply = rref::encodeReply({{0, 3600}, {1, 1}, {2, 1}, {3, 100}, {4, 0}});
            unsigned char packet[512];
            net::Address from;
            while (!stop)
                if (socket.receiveFrom(packet, sizeof packet, 20, from) > 0 && answering)
                    socket.sendTo(from, reply.data(), reply.size());
        });
    }
    ~XPlaneResponder()
    {
        stop = true;
        thread.join();
    }
};

TEST(SourceSelectorTest, AutomaticTakesTheFirstToAnswerOfModuleRelayFlightGearAndXPlane)
{
    SimVariables vars;
    fillModuleVersions(vars);
    FakeIpcPlatform module;
    module.attachModule(&vars);
    PropsServerStub fg;
    for (const auto& [path, value] : {std::pair{"/sim/time/utc/hour", "12"}, {"/sim/time/utc/minute", "0"},
                                      {"/sim/time/utc/second", "0"}})
        fg.set(path, value);
    XPlaneResponder xplane;
    std::uint16_t closedPort = 0; // nothing listens there: the relay is refused at once
    {
        const PropsServerStub gone;
        closedPort = gone.port();
    }
    SourceSelector selector(module, {closedPort, fg.port(), xplane.socket.localPort()});
    selector.setSource(SourceChoice::of(SourceChoice::Kind::Automatic));
    clsACARS tracker(selector);
    const struct {
        bool module, flightGear, xPlane;
        const char* chosen; // the start of the description or of the failure
    } rows[] = {
        {true, true, true, "FS2002"},
        {false, true, true, "FlightGear"},
        {false, false, true, "X-Plane"},
        {false, false, false, "No simulator answered on this computer."},
    };
    for (const auto& row : rows) {
        module.setWindowClasses(row.module ? std::vector<std::string>{"UIPCMAIN"} : std::vector<std::string>{});
        fg.setSilent(!row.flightGear);
        xplane.answering = row.xPlane;
        std::string result;
        const auto before = Clock::now();
        if (tracker.Start(result))
            result = tracker.Simulator_Description();
        tracker.Stop_();
        EXPECT_EQ(result.rfind(row.chosen, 0), 0u) << result;
        EXPECT_LT(Clock::now() - before, 1500ms) << "detection is quick";
    }
}

} // namespace
