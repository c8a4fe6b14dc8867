// The flight phase tracker flown against the in-process module: phases,
// times, fuel, block time, exchange counts, and a link that fails mid-flight.
#include "clsacars.h"
#include "fakeipcplatform.h"
#include "recordingevents.h"
#include "simvariables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <utility>

namespace {

using Events = std::vector<std::string>;
using Tanks = std::vector<std::pair<std::uint32_t, std::uint32_t>>; // (level, capacity) in table order

constexpr std::uint32_t kFull = 128 * 65536; // level of a full tank
constexpr std::uint32_t kAnyOffset = 0xFFFFFFFF;
constexpr const char* kSendFailed = "FSClosed IPC sendmessage failed all retries";
constexpr const char* kNotOpen = "Error Call cannot execute, link not Open";
constexpr std::uint32_t kLevelOffsets[] = {0x0B74, 0x1244, 0x124C, 0x0B7C, 0x0B84, 0x0B8C,
                                           0x0B94, 0x0B9C, 0x0BA4, 0x1254, 0x125C};

// The offset the message's (one-read) request block asks for.
std::uint32_t readOffset(const FakeIpcPlatform::Message& message)
{
    std::uint32_t offset = 0;
    std::memcpy(&offset, message.block + 4, 4);
    return offset;
}

// One Refresh of a flight: what the simulator shows, what is done first, and what is raised.
struct Step {
    bool brake = true;
    bool ground = true;
    bool slew = false;
    int hhmm = 1000;
    Tanks tanks = {}; // replaces every tank; empty = unchanged
    std::uint32_t weightRaw = 256; // 1 lb per gallon
    std::uint32_t failOffset = 0;  // reads of it fail (kAnyOffset: all); 0 = none
    std::uint32_t failError = FakeIpcPlatform::kErrorInvalidWindow;
    bool restart = false, reset = false, stop = false; // Start, Reset or Stop_ before the Refresh
    Events expect = {};
    int exchanges = -1; // of the Refresh; -1 = not checked
};

class TrackerTest : public testing::Test {
protected:
    void SetUp() override
    {
        fillModuleVersions(vars);
        fake.attachModule(&vars);
        tracker.setEvents(&recorded);
        apply({.tanks = {{kFull, 1000}}});
        start();
    }

    void start()
    {
        std::string result;
        ASSERT_TRUE(tracker.Start(result)) << result;
    }
    void apply(Step step)
    {
        vars.setU16(0x0BC8, step.brake ? 32767 : 0);
        vars.setU16(0x0366, step.ground ? 1 : 0);
        vars.setU16(0x05DC, step.slew ? 1 : 0);
        vars.setU8(0x023B, static_cast<std::uint8_t>(step.hhmm / 100));
        vars.setU8(0x023C, static_cast<std::uint8_t>(step.hhmm % 100));
        if (!step.tanks.empty()) {
            vars.setU32(0x0AF4, step.weightRaw);
            step.tanks.resize(std::size(kLevelOffsets));
            for (std::size_t i = 0; i < step.tanks.size(); ++i) {
                vars.setU32(kLevelOffsets[i], step.tanks[i].first);
                vars.setU32(kLevelOffsets[i] + 4, step.tanks[i].second);
            }
        }
        fake.setMessageHandler({});
        if (step.failOffset != 0)
            fake.setMessageHandler([this, step](const FakeIpcPlatform::Message& message) {
                if (step.failOffset == kAnyOffset || readOffset(message) == step.failOffset)
                    return FakeIpcPlatform::notDelivered(step.failError);
                return fake.serveWithModule(message);
            });
    }
    Events refresh()
    {
        EXPECT_FALSE(tracker.Refresh());
        return std::exchange(recorded.events, {});
    }

    SimVariables vars;
    FakeIpcPlatform fake;
    clsACARS tracker{fake};
    RecordingEvents recorded;
};

// ---- Flights, one Refresh per step ------------------------------------------------------------

// Rows print as their names in test lists and failures, not as bytes.
template <typename Row>
    requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

struct FlightRow {
    const char* name;
    std::vector<Step> steps;
};

class FlightTest : public TrackerTest, public testing::WithParamInterface<FlightRow> {};

TEST_P(FlightTest, RaisesTheEventsOfEachStep)
{
    int number = 0;
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(++number));
        apply(step);
        if (step.restart)
            start();
        if (step.reset)
            tracker.Reset();
        if (step.stop)
            tracker.Stop_();
        EXPECT_TRUE(!step.stop || fake.holdsNothing());
        const int sent = fake.callCount(FakeIpcPlatform::Operation::SendMessage);
        EXPECT_EQ(refresh(), step.expect);
        const int exchanges = fake.callCount(FakeIpcPlatform::Operation::SendMessage) - sent;
        EXPECT_TRUE(step.exchanges < 0 || exchanges == step.exchanges) << exchanges << " exchanges";
    }
}

const Events kOut1000{"FlightOUT 1000", "FuelOut 1000"};

// Also a start in the air with the brake off: OUT and OFF at once.
Step outAndOff(int hhmm)
{
    const std::string at = std::to_string(hhmm);
    return {.brake = false, .ground = false, .hhmm = hhmm,
            .expect = {"FlightOUT " + at, "FuelOut 1000", "FlightOFF " + at}};
}

// OUT and OFF at out, ON, then the arrival steps.
FlightRow flown(const char* name, int out, const std::vector<Step>& arrival)
{
    std::vector<Step> steps{outAndOff(out),
                            {.brake = false, .hhmm = out, .expect = {"FlightON " + std::to_string(out)}}};
    steps.insert(steps.end(), arrival.begin(), arrival.end());
    return {name, steps};
}

Events inEvents(const std::string& in, const std::string& hours, const std::string& hoursMinutes,
                const std::string& fuelIn = "1000", const std::string& fuelUsed = "0")
{
    return {"FlightIN " + in, "FlightTime " + hours, "FlightTimeHHMM " + hoursMinutes, "FuelIn " + fuelIn,
            "FuelUsed " + fuelUsed};
}

// A fuel reading at OUT with the tanks.
FlightRow fuelAtOut(const char* name, const Tanks& tanks, const char* fuelOut, std::uint32_t weightRaw = 256)
{
    return {name, {{.brake = false, .tanks = tanks, .weightRaw = weightRaw,
                    .expect = {"FlightOUT 1000", std::string("FuelOut ") + fuelOut}}}};
}

INSTANTIATE_TEST_SUITE_P(Rows, FlightTest, testing::Values(
    FlightRow{"SlewAtTheFirstRead", {{.brake = false, .ground = false, .slew = true}}},
    FlightRow{"BrakeOffIsOneOutAndSetAgainNoIn", {{.brake = false, .expect = kOut1000}, {.brake = false}, {}}},
    FlightRow{"StartedInTheAirWithTheBrakeSet", // no IN before OUT
              {{.ground = false, .expect = {"FlightOFF 1000"}}, {.hhmm = 1020, .expect = {"FlightON 1020"}},
               {.brake = false, .hhmm = 1025, .expect = {"FlightOUT 1025", "FuelOut 1000"}},
               {.hhmm = 1030, .expect = inEvents("1030", "0.1", "0:05")}}},
    // slew, brake, slew, ground; at OUT also the time and the fuel reading (23)
    FlightRow{"EveryReadIsOneExchange",
              {{.exchanges = 4}, {.brake = false, .expect = kOut1000, .exchanges = 28},
               {.slew = true, .exchanges = 1}}},
    FlightRow{"StopForgetsTheFlightAndClosesTheLink",
              {{.brake = false, .expect = kOut1000},
               {.brake = false, .stop = true, .expect = {kNotOpen}, .exchanges = 0},
               {.brake = false, .restart = true, .expect = kOut1000}}},
    flown("AcrossMidnight", 2330, {{.hhmm = 115, .expect = inEvents("0115", "1.8", "1:45")}}),
    flown("FiftySevenMinutesCarryToTheNextHour", 1000,
          {{.hhmm = 1157, .expect = inEvents("1157", "2.0", "1:57")}}),
    flown("ThreeMinutesRoundUp", 1000, {{.hhmm = 1003, .expect = inEvents("1003", "0.1", "0:03")}}),
    flown("TwoMinutesRoundDown", 1000, {{.hhmm = 1002, .expect = inEvents("1002", "0.0", "0:02")}}),
    flown("ClockOutOfRangeGivesNoBlockTime", 1000, {{.hhmm = 2400, .expect = inEvents("2400", "", "")}}),
    flown("AllTanksEmptyAtIn", 1000,
          {{.tanks = {{0, 1000}}, .expect = inEvents("1000", "0.0", "0:00", "", "")}}),
    flown("MoreFuelAtIn", 1000,
          {{.tanks = {{kFull, 1200}}, .expect = inEvents("1000", "0.0", "0:00", "1200", "-200")}}),
    flown("ResetAfterInWaitsForTheBrakeRelease", 1000, // after IN nothing more until Reset
          {{.expect = inEvents("1000", "0.0", "0:00")}, {.brake = false, .ground = false}, {.reset = true},
           {.brake = false, .hhmm = 1200, .expect = {"FlightOUT 1200", "FuelOut 1000"}}}),
    fuelAtOut("EveryTankCountsOnce", // each tank its own bit of the sum
              {{kFull, 1}, {kFull, 2}, {kFull, 4}, {kFull, 8}, {kFull, 16}, {kFull, 32}, {kFull, 64},
               {kFull, 128}, {kFull, 256}, {kFull, 512}, {kFull, 1024}}, "2047"),
    fuelAtOut("HalfPoundRoundsUp", {{kFull / 2, 1}}, "1"),
    fuelAtOut("RoundingToZeroIsEmpty", {{kFull / 4, 1}}, ""),
    fuelAtOut("NegativeValuesAreSkipped", {{0xFFFFFFFFu, 100}, {kFull, 0xFFFFFF9Cu}, {kFull, 7}}, "7"),
    fuelAtOut("LargeLoadHasNoSeparators", {{kFull, 5000}, {kFull, 5000}}, "66992", 1715),
    // A failed read never records a phase; the link closes; Start resumes the flight.
    FlightRow{"LinkLostAndReopened",
              {outAndOff(1000),
               {.brake = false, .hhmm = 1040, .failOffset = kAnyOffset, .expect = {kSendFailed}},
               {.brake = false, .hhmm = 1040, .expect = {kNotOpen}},
               {.brake = false, .hhmm = 1040, .restart = true, .expect = {"FlightON 1040"}}}},
    FlightRow{"LinkTimedOut", {{.brake = false, .hhmm = 1040, .failOffset = kAnyOffset, .failError = 0,
                                .expect = {"FSClosed IPC timed out all retries"}},
                               {.brake = false, .hhmm = 1041, .restart = true,
                                .expect = {"FlightOUT 1041", "FuelOut 1000"}}}},
    FlightRow{"FailedBrakeReadAtTheGateIsNoOut",
              {{.failOffset = 0x0BC8, .expect = {kSendFailed}}, {.restart = true}}},
    FlightRow{"FailedGroundReadIsNoOff", {{.brake = false, .expect = kOut1000},
                                          {.brake = false, .ground = false, .failOffset = 0x0366,
                                           .expect = {kSendFailed}}}},
    FlightRow{"FailedTimeReadLeavesOutOpen", {{.brake = false, .failOffset = 0x023B, .expect = {kSendFailed}},
                                              {.brake = false, .restart = true, .expect = kOut1000}}},
    // A fuel reading cut off by the link is unknown, never a partial sum, and is
    // read again once the link is back while the aircraft is where it was measured.
    FlightRow{"FuelOutCutOffIsReadAgainBeforeOff",
              {{.brake = false, .ground = false, .failOffset = 0x0B84, .expect = {"FlightOUT 1000", kSendFailed}},
               {.brake = false, .ground = false, .restart = true, .expect = {"FuelOut 1000", "FlightOFF 1000"}},
               {.brake = false, .ground = false, .exchanges = 4}}},
    flown("FuelInCutOffIsReadAgainAtTheGate", 1000,
          {{.hhmm = 1100, .failOffset = 0x0AF4,
            .expect = {"FlightIN 1100", "FlightTime 1.0", "FlightTimeHHMM 1:00", kSendFailed}},
           {.restart = true, .expect = {"FuelIn 1000", "FuelUsed 0"}}, {.exchanges = 4}}),
    flown("FuelInCutOffIsNotReadAwayFromTheGate", 1000,
          {{.hhmm = 1100, .failOffset = 0x0AF4,
            .expect = {"FlightIN 1100", "FlightTime 1.0", "FlightTimeHHMM 1:00", kSendFailed}},
           {.brake = false, .restart = true, .exchanges = 4}})),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrackerTest, SlewSwitchedOnAfterTheBrakeReadSkipsTheGroundTest)
{
    apply({.brake = false, .ground = false});
    fake.setMessageHandler([this](const FakeIpcPlatform::Message& message) {
        const auto reply = fake.serveWithModule(message);
        if (readOffset(message) == 0x0BC8)
            vars.setU16(0x05DC, 1);
        return reply;
    });
    EXPECT_EQ(refresh(), kOut1000);
}

// A flight taken up from an earlier run goes on from its recorded phases.
TEST_F(TrackerTest, RestoredFlightContinues)
{
    FlightPhases earlier;
    earlier.strTimeOut = "0950";
    earlier.strTimeOff = "1000";
    earlier.fuelOut = "1500";
    tracker.Restore(earlier);
    apply({.brake = false, .hhmm = 1100});
    EXPECT_EQ(refresh(), Events{"FlightON 1100"});
    apply({.hhmm = 1105});
    EXPECT_EQ(refresh(), inEvents("1105", "1.3", "1:15", "1000", "500"));
}

TEST_F(TrackerTest, StartKeepsTheVersionsOfTheLastSuccess)
{
    EXPECT_EQ(tracker.FS_Version() + " " + tracker.FSUIPC_Version(), "FS2002 1.998e");
    std::string result;
    EXPECT_FALSE(tracker.Start(result));
    EXPECT_EQ(result + " " + tracker.FS_Version(), "Attempt to Open when already Open FS2002");

    tracker.Stop_();
    fillModuleVersions(vars, 0x19980005, 13); // a simulator newer than the name table
    EXPECT_TRUE(tracker.Start(result));
    EXPECT_EQ(result + " " + tracker.FS_Version(), "Okay Unknown (13)");
}

} // namespace
